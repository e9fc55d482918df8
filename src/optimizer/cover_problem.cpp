#include "optimizer/cover_problem.h"

namespace zorvane::optimizer {

using coverage::CoverageTable;
using coverage::TestRegistry;
using coverage::BranchGroup;
using coverage::BranchSlot;

CoverProblem buildCoverProblem(CoverageTable &table, const TestRegistry &registry) {
  CoverProblem problem;
  problem.coverCounts = table.buildCoverCounts();
  table.buildTestLists();
  problem.maxTestsPerBranch = table.maxTestsPerBranch();
  problem.branches.reserve(problem.coverCounts.size());
  for (const BranchGroup &group : table.groups())
    for (const auto &[index, id] : group.branches)
      if (const BranchSlot slot = table.slot(id); slot.isLive())
        problem.branches.push_back({slot.entries(), &group, index});
  const auto counts = registry.covItemCounts();
  problem.testCounts.assign(counts.begin(), counts.end());
  return problem;
}

CoverInstance coverInstanceOf(const CoverProblem &problem, std::uint32_t testCount) {
  std::vector<std::span<const std::uint32_t>> lists;
  lists.reserve(problem.branches.size());
  for (const LiveBranch &branch : problem.branches) lists.push_back(branch.tests);
  return CoverInstance(testCount, lists);
}

}  // namespace zorvane::optimizer
