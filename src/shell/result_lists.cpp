#include "shell/result_lists.h"

#include <string_view>

#include "output/replacement_file.h"
#include "shell/messages.h"

namespace {

void writeList(const std::string &path, std::span<const TestNumber> tests,
               const TestRegistry &registry, const RunSettings &settings) {
  if (path.empty()) return;
  try {
    replaceFile(path, formatTestList(tests, registry, settings));
  } catch (const FileWriteError &error) {
    reportMessage(Message::UnableToWrite, error.path(), error.reason());
  }
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

void writeResultLists(const LongOptions &options, const ReportedTests &reported,
                      const TestRegistry &registry, const RunSettings &settings) {
  writeList(options.neededFile, reported.needed, registry, settings);
  writeList(options.uselessFile, reported.useless, registry, settings);
}
