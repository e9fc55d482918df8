#include "coverage/table_listing.h"

#include <string>

#include "base/diagnostics.h"

namespace zorvane::coverage {

void dumpCoverageTable(CoverageTable &table, Diagnostics &diagnostics) {
  table.buildTestLists();
  diagnostics.report(Message::CovItemsTitle);
  std::string text;
  for (const BranchGroup &group : table.groups()) {
    text = formatText("%x %x\n", group.ftKey, group.dcKey);
    for (const auto &[index, id] : group.branches) {
      const Branch branch = table.branch(id);
      if (!branch.isLive()) continue;
      text += formatText("\tT%c %u =>%u: ", group.branchKind, index, branch.count);
      for (TestNumber test : branch.entries()) text += std::to_string(test) + ' ';
      text += '\n';
    }
    diagnostics.print(text);
  }
  diagnostics.print("-----------\n");
}

void printTestCounts(std::span<const std::uint32_t> counts, const char *title,
                     Diagnostics &diagnostics) {
  std::string text = title;
  for (std::size_t test = 1; test < counts.size(); ++test)
    text += std::to_string(test) + '=' + std::to_string(counts[test]) + ' ';
  text += "\n------\n";
  diagnostics.print(text);
}

}  // namespace zorvane::coverage
