#include "optimizer/mandatory_reduction.h"

#include <algorithm>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "base/diagnostics.h"

namespace zorvane::optimizer {

using coverage::Branch;
using coverage::BranchGroup;
using coverage::BranchId;
using coverage::CoverageTable;
using coverage::IndexedBranch;
using coverage::TestNumber;
using coverage::TestRegistry;

namespace {

// Which branches (by id) hold an entry of a marked test: found through the
// marked tests' own entries, without the branches' lists.
std::vector<bool> branchesReachedBy(const CoverageTable &table,
                                    const std::vector<bool> &mandatoryMarks) {
  std::vector<bool> reached(table.branchCount(), false);
  table.forEachEntryOf([&](TestNumber test) { return mandatoryMarks[test]; },
                       [&](TestNumber, BranchId branch) { reached[branch] = true; });
  return reached;
}

// Sets each test's count to its entries in the live branches. The lists are
// built for those branches only, and the search needs them next: one walk of
// all entries serves both. Branches are taken by id, as their lists lie.
void countLiveEntries(CoverageTable &table, std::span<std::uint32_t> counts) {
  table.buildTestLists();
  std::ranges::fill(counts, 0u);
  for (BranchId id = 0; id < table.branchCount(); ++id)
    for (TestNumber test : table.branch(id).entries()) ++counts[test];
}

// Lists, in table order, each entry of the live branches about to be
// emptied, lowering its test's count.
void traceReduction(CoverageTable &table, const std::vector<bool> &removed,
                    std::span<std::uint32_t> counts, Diagnostics &diagnostics) {
  table.buildTestLists();
  for (const BranchGroup &group : table.groups())
    for (const auto &[index, id] : group.branches) {
      const Branch branch = table.branch(id);
      if (!branch.isLive() || !removed[branch.id]) continue;
      for (TestNumber test : branch.entries())
        diagnostics.print(formatText("branche T%c %u reduced by tst%u (%u covItem)\n",
                                     group.branchKind, index, test, --counts[test]));
    }
}

}  // namespace

void reduceMandatoryTests(CoverageTable &table, TestRegistry &registry, SelectionStack &stack,
                          std::uint8_t verbosity, Diagnostics &diagnostics) {
  std::vector<bool> mandatoryMarks(registry.endTest(), false);
  auto counts = registry.entryCounts();

  for (const BranchGroup &group : table.groups())
    for (const auto &[index, id] : group.branches) {
      const Branch branch = table.branch(id);
      if (branch.count != 1) continue;
      const TestNumber test = branch.onlyTest;
      if (mandatoryMarks[test]) continue;
      mandatoryMarks[test] = true;
      if (verbosity >= 2)
        diagnostics.print(formatText("because of %x %x T%c %u ", group.ftKey, group.dcKey,
                                     group.branchKind, index));
      if (verbosity >= 1)
        diagnostics.report(Message::MandatoryTest, std::to_string(test),
                           std::to_string(counts[test]), registry.record(test).name);
      stack.pushTest(test);
    }

  const std::vector<bool> removed = branchesReachedBy(table, mandatoryMarks);
  // The trace lowers each count entry by entry; without it the counts are
  // made anew below.
  if (verbosity >= 2) traceReduction(table, removed, counts, diagnostics);
  for (BranchId id = 0; id < table.branchCount(); ++id)
    if (const Branch branch = table.branch(id); removed[id] && branch.isLive())
      table.emptyBranch(branch);
  if (verbosity < 2) countLiveEntries(table, counts);
}

}  // namespace zorvane::optimizer
