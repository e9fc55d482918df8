#include "optimizer/table_instance.h"

#include <span>

namespace zorvane::optimizer {

using coverage::Branch;
using coverage::BranchGroup;
using coverage::CoverageTable;
using coverage::IndexedBranch;
using coverage::TestNumber;
using coverage::TestRegistry;

CoverInstance coverInstanceOfTable(CoverageTable &table, const TestRegistry &registry) {
  const std::size_t liveBranches = table.buildCoverCounts().size();
  table.buildTestLists();
  std::vector<std::span<const TestNumber>> lists;
  lists.reserve(liveBranches);
  for (const BranchGroup &group : table.groups())
    for (const IndexedBranch &branch : group.branches)
      if (const Branch reached = table.branch(branch.id); reached.isLive())
        lists.push_back(reached.entries());
  std::vector<std::uint32_t> fileOfTest;
  fileOfTest.reserve(registry.endTest());
  for (TestNumber test = 0; test < registry.endTest(); ++test)
    fileOfTest.push_back(registry.record(test).fileIndex);
  return CoverInstance(registry.endTest(), lists, std::move(fileOfTest));
}

std::vector<BranchOrigin> branchOriginsOfTable(const CoverageTable &table) {
  std::vector<BranchOrigin> origins;
  for (const BranchGroup &group : table.groups())
    for (const IndexedBranch &branch : group.branches)
      if (table.branch(branch.id).isLive()) origins.push_back({&group, branch.index});
  return origins;
}

}  // namespace zorvane::optimizer
