#include "shell/run.h"

#include <optional>
#include <string>
#include <vector>

#include "optimizer/cost_file.h"
#include "optimizer/pipeline.h"
#include "shell/command_line.h"
#include "shell/long_options.h"
#include "shell/process_exit.h"
#include "shell/report.h"
#include "shell/result_lists.h"

namespace zorvane::shell {
namespace {

// A run that could not read all of its input reports what it could, but
// leaves the lists of an earlier, whole run in place.
int keepListsOfUnreadableRun(const LongOptions &options, Reporter &reporter) {
  if (listsRequested(options)) reporter.report(Message::ResultFilesKept);
  return unreadableInputStatus;
}

}  // namespace

int run(int argc, char **argv, Reporter &reporter) {
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
  const std::vector<optimizer::RunStep> steps = runSteps(options.arguments);
  std::vector<std::string> inputFiles;
  for (const optimizer::RunStep &step : steps)
    if (step.kind == optimizer::RunStep::Kind::ReadFile) inputFiles.push_back(step.path);
  if (!options.costsFile.empty()) inputFiles.push_back(options.costsFile);
  checkResultFiles(options, inputFiles);
  // A bad cost file stops the run before the coverage files are read.
  std::optional<optimizer::CostTable> costTable;
  if (!options.costsFile.empty())
    costTable = optimizer::readCostFile(options.costsFile, options.junitNames);

  // The search starts from the argument count of the command line without
  // the long options, as if they had not been given.
  RunSettings settings;
  settings.fileCountBound = static_cast<std::uint32_t>(options.arguments.size());
  settings.timeLimitSeconds = options.timeLimitSeconds;
  optimizer::Pipeline pipeline(settings, reporter);
  pipeline.read(steps);

  if (!pipeline.readAnyTest()) {
    if (pipeline.inputUnreadable()) return keepListsOfUnreadableRun(options, reporter);
    // Empty lists, so that no list of an earlier run passes for this one's.
    reporter.checkStandardStreams();
    writeResultLists(options, {}, pipeline.registry(), pipeline.settings());
    return 0;
  }
  pipeline.finishReading(costTable ? &*costTable : nullptr, options.costsFromDurations);
  pipeline.reduce(!options.explainFile.empty());
  const optimizer::SearchOutcome outcome = pipeline.search();
  if (!outcome.completed)
    reporter.report(outcome.timeLimitReached ? Message::TimeLimitReached
                                             : Message::SearchInterrupted);
  // The converters' comments name the source path of each FT key.
  const coverage::CoverageTable &table = pipeline.table();
  const optimizer::SourcePathLookup sourcePaths = [&table](std::uint32_t ftKey) {
    const std::optional<std::string_view> path = table.sourceNotes().pathOf(ftKey);
    return path ? std::optional<std::string>(*path) : std::nullopt;
  };
  const ResultsToList results{printReport(pipeline.stack(), pipeline.registry(),
                                          pipeline.settings(), pipeline.costs(), reporter),
                              pipeline.reach(), sourcePaths, pipeline.costs()};
  // Lists go with a report that was seen whole.
  reporter.checkStandardStreams();
  if (pipeline.inputUnreadable()) return keepListsOfUnreadableRun(options, reporter);
  writeResultLists(options, results, pipeline.registry(), pipeline.settings());
  return outcome.completed ? 0 : searchStoppedStatus;
}

}  // namespace zorvane::shell
