#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace zorvane;
using namespace zorvane::coverage;

void fuzzFailure(const std::string &what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

void checkReadInvariants(CoverageTable &table, const TestRegistry &registry,
                         std::size_t fileCount) {
  const TestNumber lastTest = registry.lastTest();
  const auto counts = registry.entryCounts();
  if (registry.wasEverUsed())
    require(counts.size() == std::size_t{lastTest} + 1, "count array size");

  std::vector<std::uint64_t> entriesOf(std::size_t{lastTest} + 1, 0);
  std::uint32_t liveBranches = 0;
  table.buildTestLists();
  const BranchGroup *previous = nullptr;
  for (const BranchGroup &group : table.groups()) {
    if (previous)
      require(GroupKey{previous->ftKey, previous->dcKey, previous->branchKind} <
                  GroupKey{group.ftKey, group.dcKey, group.branchKind},
              "group keys strictly ascending");
    previous = &group;
    for (std::size_t k = 0; k < group.branches.size(); ++k) {
      require(k == 0 || group.branches[k - 1].index < group.branches[k].index,
              "branch indexes strictly ascending");
      const Branch reached = table.branch(group.branches[k].id);
      if (!reached.isLive()) continue;
      require(reached.entries().size() == reached.count &&
                  (reached.count != 1 || reached.entries().front() == reached.onlyTest),
              "list agrees with the branch's count and only test");
      ++liveBranches;
      TestNumber before = 1;
      for (TestNumber test : reached.entries()) {
        require(test >= before && test <= lastTest, "test list non-decreasing, real tests only");
        before = test;
        ++entriesOf[test];
      }
    }
  }
  require(liveBranches == table.liveBranchCount(), "live branch count");
  for (TestNumber test = 1; test <= lastTest; ++test) {
    require(counts[test] != 0, "kept tests have entries");
    require(counts[test] == entriesOf[test], "entry count equals the entries in the table");
    require(registry.record(test).fileIndex < fileCount, "file index");
  }
}
