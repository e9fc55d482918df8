#include "optimizer/table_instance.h"

namespace zorvane::optimizer {

using coverage::Branch;
using coverage::BranchGroup;
using coverage::CoverageTable;
using coverage::IndexedBranch;
using coverage::TestNumber;
using coverage::TestRegistry;

CoverInstance coverInstanceOfTable(CoverageTable &table, const TestRegistry &registry) {
  const std::size_t liveBranches = table.buildCoverCounts().size();
  // The instance takes the table's lists as they lie, rather than a copy.
  CoverageTable::TestLists lists = table.takeTestLists();
  std::vector<std::uint64_t> starts;
  std::vector<std::uint32_t> sizes;
  starts.reserve(liveBranches);
  sizes.reserve(liveBranches);
  for (const BranchGroup &group : table.groups())
    for (const IndexedBranch &branch : group.branches)
      if (const Branch reached = table.branch(branch.id); reached.isLive()) {
        starts.push_back(lists.starts[branch.id]);
        sizes.push_back(reached.count);
      }
  std::vector<std::uint32_t> fileOfTest;
  fileOfTest.reserve(registry.endTest());
  for (TestNumber test = 0; test < registry.endTest(); ++test)
    fileOfTest.push_back(registry.record(test).fileIndex);
  return CoverInstance(registry.endTest(), std::move(lists.entries), std::move(starts),
                       std::move(sizes), std::move(fileOfTest));
}

std::vector<BranchOrigin> branchOriginsOfTable(const CoverageTable &table) {
  std::vector<BranchOrigin> origins;
  for (const BranchGroup &group : table.groups())
    for (const IndexedBranch &branch : group.branches)
      if (table.branch(branch.id).isLive()) origins.push_back({&group, branch.index});
  return origins;
}

}  // namespace zorvane::optimizer
