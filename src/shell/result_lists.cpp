#include "shell/result_lists.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "base/fatal_error.h"
#include "optimizer/test_costs.h"
#include "output/file_identity.h"
#include "output/replacement_file.h"

namespace zorvane::shell {

using output::FileWriteError;

using output::FileIdentity;
using output::identifyFile;
using output::isWrittenInPlace;
using output::ReplacementFile;

using coverage::TestNumber;
using coverage::TestRecord;
using coverage::TestRegistry;
using optimizer::BranchReach;
using optimizer::describeBranch;
using optimizer::formatSeconds;
using optimizer::ReachedBranch;
using optimizer::SourcePathLookup;

namespace {

// A list file asked for, with the option that asked.
struct ListRequest {
  std::string_view option;
  const std::string &path;
};

std::vector<ListRequest> requestedLists(const LongOptions &options) {
  std::vector<ListRequest> lists;
  if (!options.neededFile.empty()) lists.push_back({"--needed", options.neededFile});
  if (!options.uselessFile.empty()) lists.push_back({"--useless", options.uselessFile});
  if (!options.droppableFile.empty()) lists.push_back({"--droppable", options.droppableFile});
  if (!options.explainFile.empty()) lists.push_back({"--explain", options.explainFile});
  return lists;
}

// "number<tab>file<tab>name", without the name's line end or a line end of
// its own.
void appendTestFields(std::string &list, TestNumber test, const TestRegistry &registry,
                      const RunSettings &settings) {
  const TestRecord &record = registry.record(test);
  std::string_view name = record.name;
  if (name.ends_with('\n')) name.remove_suffix(name.ends_with("\r\n") ? 2 : 1);
  list += std::to_string(test);
  list += '\t';
  list += settings.filePaths[record.fileIndex];
  list += '\t';
  list += name;
}

std::string formatNeededList(const ReportedTests &reported, std::span<const std::uint64_t> costs,
                             const TestRegistry &registry, const RunSettings &settings) {
  std::string list;
  for (std::size_t i = 0; i < reported.needed.size(); ++i) {
    appendTestFields(list, reported.needed[i], registry, settings);
    list += i < reported.mandatoryCount ? "\tmandatory" : "\tchosen";
    if (!costs.empty()) (list += '\t') += formatSeconds(costs[reported.needed[i]]);
    list += '\n';
  }
  return list;
}

std::vector<TestNumber> droppableTests(const ReportedTests &reported,
                                       const TestRegistry &registry) {
  std::vector<bool> needed(registry.endTest());
  for (const TestNumber test : reported.needed) needed[test] = true;
  std::vector<TestNumber> droppable;
  for (TestNumber test = 1; test < registry.endTest(); ++test)
    if (!needed[test]) droppable.push_back(test);
  return droppable;
}

std::string formatExplanation(const ReportedTests &reported, const BranchReach &reach,
                              const SourcePathLookup &lookup, const TestRegistry &registry,
                              const RunSettings &settings) {
  const auto own = reach.ownBranches(reported.needed);
  std::string list;
  for (std::size_t i = 0; i < reported.needed.size(); ++i) {
    appendTestFields(list, reported.needed[i], registry, settings);
    list += '\n';
    for (const ReachedBranch &branch : own[i])
      ((list += '\t') += describeBranch(branch, lookup)) += '\n';
  }
  return list;
}

}  // namespace

std::string formatTestList(std::span<const TestNumber> tests, const TestRegistry &registry,
                           const RunSettings &settings) {
  std::string list;
  for (const TestNumber test : tests) {
    appendTestFields(list, test, registry, settings);
    list += '\n';
  }
  return list;
}

bool listsRequested(const LongOptions &options) { return !requestedLists(options).empty(); }

void checkResultFiles(const LongOptions &options, std::span<const std::string> coverageFiles) {
  const std::vector<ListRequest> lists = requestedLists(options);
  // A device or a pipe is written through, never replaced: two lists may
  // well go to /dev/null.
  std::vector<std::optional<FileIdentity>> identities;
  for (const ListRequest &list : lists)
    identities.push_back(isWrittenInPlace(list.path) ? std::nullopt
                                                     : std::optional(identifyFile(list.path)));
  for (std::size_t i = 0; i < lists.size(); ++i) {
    if (!identities[i]) continue;
    for (const std::string &input : coverageFiles)
      if (identifyFile(input) == *identities[i])
        throw FatalError(Message::ResultFileIsInput, lists[i].option, lists[i].path, input);
    for (std::size_t j = 0; j < i; ++j)
      if (identities[j] == identities[i])
        throw FatalError(Message::ResultFilesClash, lists[j].option, lists[i].option,
                         lists[i].path);
  }
}

void writeResultLists(const LongOptions &options, const ResultsToList &results,
                      const TestRegistry &registry, const RunSettings &settings) {
  const ReportedTests &reported = results.reported;
  auto contentsOf = [&](const std::string &path) {
    if (&path == &options.neededFile)
      return formatNeededList(reported, results.costs, registry, settings);
    if (&path == &options.uselessFile) return formatTestList(reported.useless, registry, settings);
    if (&path == &options.droppableFile)
      return formatTestList(droppableTests(reported, registry), registry, settings);
    if (!results.reach) return std::string();
    return formatExplanation(reported, *results.reach, results.sourcePaths, registry, settings);
  };
  std::vector<std::unique_ptr<ReplacementFile>> files;
  try {
    // Every list is written out before any takes its place, so that a
    // failure leaves all of them as they were.
    for (const ListRequest &list : requestedLists(options)) {
      const std::string text = contentsOf(list.path);
      files.push_back(std::make_unique<ReplacementFile>(list.path));
      std::fwrite(text.data(), 1, text.size(), files.back()->stream());
      files.back()->finish();
    }
    for (const auto &file : files) file->commit();
  } catch (const FileWriteError &error) {
    throw FatalError(Message::UnableToWrite, error.path(), error.reason());
  }
}

}  // namespace zorvane::shell
