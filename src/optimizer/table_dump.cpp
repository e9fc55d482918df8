#include "optimizer/table_dump.h"

#include <cstdio>

#include "shell/messages.h"

void dumpCoverageTable(CoverageTable &table) {
  table.buildTestLists();
  reportMessage(Message::CovItemsTitle);
  for (const BranchGroup &group : table.groups()) {
    std::printf("%x %x\n", group.ftKey, group.dcKey);
    for (const auto &[index, id] : group.branches) {
      const BranchSlot slot = table.slot(id);
      if (!slot.isLive()) continue;
      std::printf("\tT%c %u =>%u: ", group.branchKind, index, slot.count);
      for (TestNumber test : slot.entries()) std::printf("%u ", test);
      std::putchar('\n');
    }
  }
  std::puts("-----------");
}

void printTestCounts(std::span<const std::uint32_t> counts, const char *title) {
  std::fputs(title, stdout);
  for (std::size_t test = 1; test < counts.size(); ++test)
    std::printf("%zu=%u ", test, counts[test]);
  std::puts("\n------");
}
