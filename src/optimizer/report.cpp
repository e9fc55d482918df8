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

ReportedTests printReport(const SelectionStack &stack, TestRegistry &registry,
                          const RunSettings &settings) {
  auto neededAt = [&](std::uint32_t position) {
    return stack.hasSnapshot() ? stack.bestAt(position) : stack.stackAt(position);
  };
  auto counts = registry.covItemCounts();
  ReportedTests reported;
  // The search leaves the stack as it found it: the mandatory tests alone.
  reported.mandatoryCount = stack.stackSize();
  for (TestNumber test; (test = neededAt(static_cast<std::uint32_t>(reported.needed.size()))) != 0;) {
    reportTest(Message::NeedTest, test, registry, settings);
    counts[test] = 0;
    reported.needed.push_back(test);
  }
  reportMessage(Message::TestsNeeded, "#", std::to_string(reported.needed.size()));
  for (TestNumber test = 1; test < registry.testCount(); ++test) {
    if (counts[test] == 0) continue;
    reportTest(Message::UselessTest, test, registry, settings);
    reported.useless.push_back(test);
  }
  return reported;
}
