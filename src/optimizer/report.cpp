#include "optimizer/report.h"

#include <string>

#include "shell/messages.h"

namespace {

void reportTest(Message message, TestNumber test, const TestRegistry &registry,
                const RunSettings &settings) {
  const TestRecord &record = registry.record(test);
  reportMessage(message, std::to_string(test), settings.filePaths[record.fileIndex], record.name);
}

}  // namespace

void printReport(const SelectionStack &stack, TestRegistry &registry,
                 const RunSettings &settings) {
  auto neededAt = [&](std::uint32_t position) {
    return stack.hasSnapshot() ? stack.bestAt(position) : stack.stackAt(position);
  };
  auto counts = registry.covItemCounts();
  std::uint32_t needed = 0;
  for (TestNumber test; (test = neededAt(needed)) != 0; ++needed) {
    reportTest(Message::NeedTest, test, registry, settings);
    counts[test] = 0;
  }
  reportMessage(Message::TestsNeeded, "#", std::to_string(needed));
  for (TestNumber test = 1; test < registry.testCount(); ++test)
    if (counts[test] != 0) reportTest(Message::UselessTest, test, registry, settings);
}
