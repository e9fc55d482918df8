#include "shell/run.h"

#include <string>

#include "coverage/coverage_reader.h"
#include "coverage/coverage_table.h"
#include "coverage/test_registry.h"
#include "optimizer/cover_search.h"
#include "optimizer/mandatory_reduction.h"
#include "optimizer/report.h"
#include "optimizer/selection_stack.h"
#include "optimizer/table_dump.h"
#include "shell/command_line.h"
#include "shell/messages.h"
#include "shell/run_settings.h"

namespace {

void printListings(const CoverageTable &table, const TestRegistry &registry) {
  dumpCoverageTable(table);
  printTestCounts(registry.covItemCounts(), "Tests:");
}

}  // namespace

int run(int argc, char **argv) {
  RunSettings settings;
  settings.bestFileCount = static_cast<std::uint32_t>(argc);
  if (argc <= 1) {
    printUsage();
    return 1;
  }

  TestRegistry registry;
  CoverageTable table;
  for (int i = 1; i < argc; ++i) {
    const char *argument = argv[i];
    if (argument[0] != '-') {
      reportMessage(Message::Analysing, argument);
      settings.filePaths.emplace_back(argument);
      readCoverageFile(settings, static_cast<std::uint32_t>(settings.filePaths.size() - 1),
                       registry, table);
      continue;
    }
    switch (classifyOption(argument)) {
      case OptionKind::Verbose: settings.verbosity = 1; break;
      case OptionKind::MoreVerbose: settings.verbosity = 2; break;
      case OptionKind::TestLevel: settings.bestFileCount = 0; break;
      case OptionKind::FileLevelAllowance: {
        // A missing, zero or negative allowance would leave the search with
        // no sensible bound.
        if (i + 1 >= argc) reportMessage(Message::OptionRequiresValue);
        std::int32_t value = parseAllowance(argv[++i]);
        if (value <= 0) reportMessage(Message::OptionRequiresValue);
        settings.tstNbValue = value;
        break;
      }
      case OptionKind::Ignored: break;
    }
  }

  if (!registry.wasEverUsed()) return 1;
  registry.close();

  if (settings.verbosity) printListings(table, registry);
  SelectionStack stack;
  reduceMandatoryTests(table, registry, stack, settings.verbosity);
  if (settings.verbosity) printListings(table, registry);

  if (!searchCover(table, registry, settings, stack).completed)
    reportMessage(Message::SearchInterrupted);
  printReport(stack, registry, settings);
  return 0;
}
