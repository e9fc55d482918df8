#include "shell/report.h"

#include <string>

#include "optimizer/test_costs.h"

namespace zorvane::shell {

namespace {

using coverage::TestNumber;
using coverage::TestRecord;
using coverage::TestRegistry;
using optimizer::formatSeconds;
using optimizer::SelectionStack;
using optimizer::totalCost;

void reportTest(Message message, TestNumber test, const TestRegistry &registry,
                const RunSettings &settings, Diagnostics &diagnostics) {
  const TestRecord &record = registry.record(test);
  diagnostics.report(message, std::to_string(test), settings.filePaths[record.fileIndex],
                     record.name);
}

// "needed of total seconds (percentage)", the percentage with one decimal.
void reportCost(std::span<const std::uint64_t> costs, std::span<const TestNumber> needed,
                Diagnostics &diagnostics) {
  const std::uint64_t neededCost = totalCost(costs, needed);
  std::uint64_t suiteCost = 0;
  for (const std::uint64_t cost : costs) suiteCost += cost;
  using Wide = unsigned __int128;
  const auto permille =
      suiteCost == 0
          ? 1000
          : static_cast<std::uint64_t>((Wide{neededCost} * 1000 + suiteCost / 2) / suiteCost);
  diagnostics.report(Message::NeededTestsCost, formatSeconds(neededCost), formatSeconds(suiteCost),
                     std::to_string(permille / 10) + "." + std::to_string(permille % 10));
}

}  // namespace

ReportedTests printReport(const SelectionStack &stack, TestRegistry &registry,
                          const RunSettings &settings, std::span<const std::uint64_t> costs,
                          Diagnostics &diagnostics) {
  auto counts = registry.entryCounts();
  ReportedTests reported;
  // The search leaves the stack as it found it: the mandatory tests alone.
  reported.mandatoryCount = stack.stackSize();
  for (const TestNumber test : stack.answer()) {
    reportTest(Message::NeedTest, test, registry, settings, diagnostics);
    counts[test] = 0;
    reported.needed.push_back(test);
  }
  diagnostics.report(Message::TestsNeeded, "#", std::to_string(reported.needed.size()));
  if (!costs.empty()) reportCost(costs, reported.needed, diagnostics);
  for (TestNumber test = 1; test < registry.endTest(); ++test) {
    if (counts[test] == 0) continue;
    reportTest(Message::UselessTest, test, registry, settings, diagnostics);
    reported.useless.push_back(test);
  }
  return reported;
}

}  // namespace zorvane::shell
