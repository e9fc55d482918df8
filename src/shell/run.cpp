#include "shell/run.h"

#include <optional>
#include <string>
#include <vector>

#include "coverage/coverage_reader.h"
#include "coverage/coverage_table.h"
#include "coverage/test_registry.h"
#include "optimizer/branch_reach.h"
#include "optimizer/cost_file.h"
#include "optimizer/cost_search.h"
#include "optimizer/cover_search.h"
#include "optimizer/mandatory_reduction.h"
#include "optimizer/report.h"
#include "optimizer/selection_stack.h"
#include "optimizer/table_dump.h"
#include "optimizer/test_costs.h"
#include "shell/command_line.h"
#include "shell/long_options.h"
#include "shell/messages.h"
#include "shell/process_exit.h"
#include "shell/result_lists.h"
#include "shell/run_settings.h"

namespace {

void printListings(CoverageTable &table, const TestRegistry &registry) {
  dumpCoverageTable(table);
  printTestCounts(registry.covItemCounts(), "Tests:");
}

// The coverage file arguments: all but the options and the value of -F.
std::vector<std::string> coverageFileArguments(const std::vector<char *> &arguments) {
  std::vector<std::string> files;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i][0] != '-')
      files.emplace_back(arguments[i]);
    else if (classifyOption(arguments[i]) == OptionKind::FileLevelAllowance)
      ++i;
  }
  return files;
}

// A run that could not read all of its input reports what it could, but
// leaves the lists of an earlier, whole run in place.
int keepListsOfUnreadableRun(const LongOptions &options) {
  if (listsRequested(options)) reportMessage(Message::ResultFilesKept);
  return unreadableInputStatus;
}

// Each test's cost, when the command line asked for costs; empty otherwise.
std::vector<std::uint64_t> testCosts(const LongOptions &options, const CostTable *table,
                                     const TestRegistry &registry) {
  if (!table && !options.costsFromDurations) return {};
  TestCosts assigned = assignTestCosts(registry, table);
  if (assigned.missing != 0)
    reportMessage(Message::TestsWithoutCost, std::to_string(assigned.missing),
                  formatSeconds(assigned.fallback));
  return std::move(assigned.costs);
}

}  // namespace

int run(int argc, char **argv) {
  RunSettings settings;
  if (argc <= 1) {
    printUsage();
    return 0;
  }
  const LongOptions options = takeLongOptions(argc, argv);
  if (options.request == LongOptions::Request::Help) {
    printUsage();
    printLongOptions();
    return 0;
  }
  if (options.request == LongOptions::Request::Version) {
    printVersion();
    return 0;
  }
  // The search starts from the argument count of the command line without
  // the long options, as if they had not been given.
  const std::vector<char *> &arguments = options.arguments;
  settings.bestFileCount = static_cast<std::uint32_t>(arguments.size());
  settings.timeLimitSeconds = options.timeLimitSeconds;
  std::vector<std::string> inputFiles = coverageFileArguments(arguments);
  if (!options.costsFile.empty()) inputFiles.push_back(options.costsFile);
  checkResultFiles(options, inputFiles);
  // A bad cost file stops the run before the coverage files are read.
  std::optional<CostTable> costTable;
  if (!options.costsFile.empty()) costTable = readCostFile(options.costsFile, options.junitNames);

  TestRegistry registry;
  CoverageTable table;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const char *argument = arguments[i];
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
        if (i + 1 >= arguments.size()) reportMessage(Message::OptionRequiresValue);
        std::int32_t value = parseAllowance(arguments[++i]);
        if (value <= 0) reportMessage(Message::OptionRequiresValue);
        settings.tstNbValue = value;
        break;
      }
      case OptionKind::Ignored: break;
    }
  }

  const bool inputUnreadable = wasReported(Message::UnableToOpen);
  if (!registry.wasEverUsed()) {
    if (inputUnreadable) return keepListsOfUnreadableRun(options);
    // Empty lists, so that no list of an earlier run passes for this one's.
    checkStandardStreams();
    writeResultLists(options, {}, registry, settings);
    return 0;
  }
  registry.close();
  const std::vector<std::uint64_t> costs =
      testCosts(options, costTable ? &*costTable : nullptr, registry);

  if (settings.verbosity) printListings(table, registry);
  // The explanation needs the branches that the reduction takes out.
  std::optional<BranchReach> reach;
  if (!options.explainFile.empty()) reach.emplace(table);
  SelectionStack stack;
  reduceMandatoryTests(table, registry, stack, settings.verbosity);
  if (settings.verbosity) printListings(table, registry);

  const SearchOutcome outcome = costs.empty()
                                    ? searchCover(table, registry, settings, stack)
                                    : searchCheapestCover(table, registry, settings, stack, costs);
  if (!outcome.completed)
    reportMessage(outcome.timeLimitReached ? Message::TimeLimitReached
                                           : Message::SearchInterrupted);
  // The converters' comments name the source path of each FT key.
  const SourcePathLookup sourcePaths = [&table](std::uint32_t ftKey) {
    const std::optional<std::string_view> path = table.sourceNotes().pathOf(ftKey);
    return path ? std::optional<std::string>(*path) : std::nullopt;
  };
  ResultsToList results{printReport(stack, registry, settings, costs), reach ? &*reach : nullptr,
                        sourcePaths, costs};
  // Lists go with a report that was seen whole.
  checkStandardStreams();
  if (inputUnreadable) return keepListsOfUnreadableRun(options);
  writeResultLists(options, results, registry, settings);
  return outcome.completed ? 0 : searchStoppedStatus;
}
