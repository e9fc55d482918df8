#include "optimizer/mandatory_reduction.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "shell/messages.h"

void reduceMandatoryTests(CoverageTable &table, TestRegistry &registry, SelectionStack &stack,
                          std::uint8_t verbosity) {
  std::vector<bool> mandatoryMarks(registry.testCount(), false);
  auto counts = registry.covItemCounts();

  for (const BranchGroup &group : table.groups())
    for (std::uint32_t index = 0; index < group.slotCapacity(); ++index) {
      const BranchSlot &slot = group.slots[index];
      if (slot.count != 1) continue;
      const TestNumber test = slot.tests[0];
      if (mandatoryMarks[test]) continue;
      mandatoryMarks[test] = true;
      if (verbosity >= 2)
        std::printf("because of %x %x T%c %u ", group.ftKey, group.dcKey, group.branchKind, index);
      if (verbosity >= 1)
        reportMessage(Message::MandatoryTest, std::to_string(test), std::to_string(counts[test]),
                      registry.record(test).name);
      stack.pushTest(test);
    }

  for (BranchGroup &group : table.groups())
    for (std::uint32_t index = 0; index < group.slotCapacity(); ++index) {
      BranchSlot &slot = group.slots[index];
      const auto entries = slot.entries();
      if (std::none_of(entries.begin(), entries.end(),
                       [&](TestNumber test) { return mandatoryMarks[test]; }))
        continue;
      for (TestNumber test : entries) {
        --counts[test];
        if (verbosity >= 2)
          std::printf("branche T%c %u reduced by tst%u (%u covItem)\n", group.branchKind, index,
                      test, counts[test]);
      }
      table.emptySlot(slot);
    }
}
