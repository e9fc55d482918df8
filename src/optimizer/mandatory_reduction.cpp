#include "optimizer/mandatory_reduction.h"

#include <cstdio>
#include <string>
#include <vector>

#include "shell/messages.h"

namespace {

// Which branches (by id) hold an entry of a marked test: found through the
// marked tests' own entries, without the branches' lists.
std::vector<bool> branchesReachedBy(const CoverageTable &table,
                                    const std::vector<bool> &mandatoryMarks) {
  std::vector<bool> reached(table.branchCount(), false);
  table.entryLog().forEachEntryOf([&](TestNumber test) { return mandatoryMarks[test]; },
                                  [&](TestNumber, BranchId branch) { reached[branch] = true; });
  return reached;
}

}  // namespace

void reduceMandatoryTests(CoverageTable &table, TestRegistry &registry, SelectionStack &stack,
                          std::uint8_t verbosity) {
  std::vector<bool> mandatoryMarks(registry.testCount(), false);
  auto counts = registry.covItemCounts();

  for (const BranchGroup &group : table.groups())
    for (std::uint32_t index = 0; index < group.slotCapacity(); ++index) {
      const BranchSlot slot = table.slot(group, index);
      if (slot.count != 1) continue;
      const TestNumber test = slot.lastTest;
      if (mandatoryMarks[test]) continue;
      mandatoryMarks[test] = true;
      if (verbosity >= 2)
        std::printf("because of %x %x T%c %u ", group.ftKey, group.dcKey, group.branchKind, index);
      if (verbosity >= 1)
        reportMessage(Message::MandatoryTest, std::to_string(test), std::to_string(counts[test]),
                      registry.record(test).name);
      stack.pushTest(test);
    }

  const std::vector<bool> removed = branchesReachedBy(table, mandatoryMarks);
  // Every entry of a removed branch lowers its test's count. The trace lists
  // them branch by branch, from the lists; without it one walk of the
  // entries does.
  if (verbosity >= 2) table.buildTestLists();
  else
    table.entryLog().forEachEntry(
        [&](TestNumber test, BranchId branch) { counts[test] -= removed[branch]; });
  for (const BranchGroup &group : table.groups())
    for (std::uint32_t index = 0; index < group.slotCapacity(); ++index) {
      const BranchSlot slot = table.slot(group, index);
      if (!slot.isLive() || !removed[slot.id]) continue;
      if (verbosity >= 2)
        for (TestNumber test : slot.entries())
          std::printf("branche T%c %u reduced by tst%u (%u covItem)\n", group.branchKind, index,
                      test, --counts[test]);
      table.emptySlot(slot);
    }
}
