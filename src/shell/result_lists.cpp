#include "shell/result_lists.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "output/file_identity.h"
#include "output/replacement_file.h"
#include "shell/messages.h"

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
  return lists;
}

}  // namespace

std::string formatTestList(std::span<const TestNumber> tests, const TestRegistry &registry,
                           const RunSettings &settings) {
  std::string list;
  for (TestNumber test : tests) {
    const TestRecord &record = registry.record(test);
    std::string_view name = record.name;
    if (name.ends_with('\n')) name.remove_suffix(name.ends_with("\r\n") ? 2 : 1);
    list += std::to_string(test);
    list += '\t';
    list += settings.filePaths[record.fileIndex];
    list += '\t';
    list += name;
    list += '\n';
  }
  return list;
}

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
        reportMessage(Message::ResultFileIsInput, lists[i].option, lists[i].path, input);
    for (std::size_t j = 0; j < i; ++j)
      if (identities[j] == identities[i])
        reportMessage(Message::ResultFilesClash, lists[j].option, lists[i].option, lists[i].path);
  }
}

void writeResultLists(const LongOptions &options, const ReportedTests &reported,
                      const TestRegistry &registry, const RunSettings &settings) {
  const std::vector<ListRequest> lists = requestedLists(options);
  std::vector<std::unique_ptr<ReplacementFile>> files;
  try {
    // Every list is written out before any takes its place, so that a
    // failure leaves all of them as they were.
    for (const ListRequest &list : lists) {
      const auto &tests = &list.path == &options.neededFile ? reported.needed : reported.useless;
      const std::string text = formatTestList(tests, registry, settings);
      files.push_back(std::make_unique<ReplacementFile>(list.path));
      std::fwrite(text.data(), 1, text.size(), files.back()->stream());
      files.back()->finish();
    }
    for (const auto &file : files) file->commit();
  } catch (const FileWriteError &error) {
    reportMessage(Message::UnableToWrite, error.path(), error.reason());
  }
}
