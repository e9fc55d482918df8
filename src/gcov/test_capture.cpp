#include "gcov/test_capture.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "gcov/gcov_tool.h"
#include "tio/conversion_error.h"
#include "tio/tio_encoding.h"

namespace zorvane::gcov {

using tio::ConversionError;
using tio::FileReach;
using tio::LineReach;
using tio::maxIndexesPerLine;

namespace fs = std::filesystem;

namespace {

void insertSorted(std::vector<std::uint16_t> &indexes, std::uint16_t index) {
  const auto place = std::ranges::lower_bound(indexes, index);
  if (place == indexes.end() || *place != index) indexes.insert(place, index);
}

// The build's unit whose counters the test wrote at `counterPath` (below
// the counter directory, the path the object had when it was built):
// below the build directory, or else the longest tail of the path that
// names a unit, for a build directory that has moved since.
std::string unitOf(const std::string &counterPath, const BuildNotes &notes) {
  const std::string buildPrefix = notes.directory().substr(1) + "/";
  if (counterPath.starts_with(buildPrefix)) {
    std::string unit = counterPath.substr(buildPrefix.size());
    if (notes.hasUnit(unit)) return unit;
  }
  for (std::size_t slash = counterPath.find('/'); slash != std::string::npos;
       slash = counterPath.find('/', slash + 1)) {
    std::string tail = counterPath.substr(slash + 1);
    if (notes.hasUnit(tail)) return tail;
  }
  return notes.hasUnit(counterPath) ? counterPath : std::string();
}

// The counters below `directory` of the build's units, in byte order of
// their paths, each with its unit.
std::vector<std::pair<std::string, std::string>> findCounters(const fs::path &directory,
                                                              const BuildNotes &notes) {
  std::vector<std::pair<std::string, std::string>> found;
  std::error_code error;
  fs::recursive_directory_iterator entry(directory, error);
  for (; !error && entry != fs::recursive_directory_iterator(); entry.increment(error)) {
    if (entry->path().extension() != ".gcda") continue;
    fs::path relative = entry->path().lexically_relative(directory);
    relative.replace_extension();
    std::string unit = unitOf(relative.string(), notes);
    if (!unit.empty()) found.emplace_back(entry->path().string(), std::move(unit));
  }
  if (error)
    throw ConversionError("cannot read the counters: " + error.message(), directory.string());
  std::ranges::sort(found);
  return found;
}

// gcov's reports of `counters`, with each unit's notes linked beside its
// counters as gcov wants them.
std::string gcovReport(const std::vector<std::pair<std::string, std::string>> &counters,
                       const BuildNotes &notes) {
  std::vector<std::string> files, notesPaths;
  for (const auto &[file, unit] : counters) {
    fs::path linked = file;
    linked.replace_extension(".gcno");
    const std::string notesPath = notes.directory() + "/" + unit + ".gcno";
    std::error_code error;
    fs::create_symlink(notesPath, linked, error);
    if (error)
      throw ConversionError("cannot prepare the counters: " + error.message(), linked.string());
    files.push_back(file);
    notesPaths.push_back(notesPath);
  }
  return readCounters(files, notesPaths);
}

}  // namespace

void addReach(const GcovFile &file, const BuildSources &sources,
              std::map<std::uint32_t, FileReach> &reach) {
  const BuildSources::Source *source = sources.find(file.path);
  if (!source)
    throw ConversionError("gcov reports source file " + file.path +
                          ", which the build's notes do not name");
  FileReach *fileReach = nullptr;
  const auto lineReach = [&](std::uint32_t line) -> LineReach & {
    if (!fileReach) fileReach = &reach[source->key];
    return (*fileReach)[line];
  };
  for (const GcovLine &line : file.lines) {
    if (line.ran) lineReach(line.number).lineRan = true;
    if (line.branchesTaken.size() > maxIndexesPerLine)
      throw ConversionError("line " + std::to_string(line.number) + " of " + file.path +
                            " has more than " + std::to_string(maxIndexesPerLine) + " branches");
    for (std::size_t index = 0; index < line.branchesTaken.size(); ++index)
      if (line.branchesTaken[index])
        insertSorted(lineReach(line.number).branches, static_cast<std::uint16_t>(index));
  }
  for (const GcovFunction &function : file.functions) {
    if (!function.called) continue;
    const int index = BuildSources::functionIndex(*source, function.startLine, function.name);
    if (index < 0 || index >= static_cast<int>(maxIndexesPerLine))
      throw ConversionError("gcov reports function " + function.name + " of " + file.path +
                            ", which the build's notes do not declare on line " +
                            std::to_string(function.startLine));
    insertSorted(lineReach(function.startLine).functions, static_cast<std::uint16_t>(index));
  }
}

TestOutcome runCapturedTest(const TestSpec &test, const std::string &counterDirectory,
                            double timeoutSeconds) {
  std::error_code error;
  if (!fs::create_directory(counterDirectory, error) || error)
    throw ConversionError("cannot create a directory for the counters: " + error.message(),
                          counterDirectory);
  try {
    return runTestCommand(test.command, counterDirectory, timeoutSeconds);
  } catch (const ConversionError &) {
    fs::remove_all(counterDirectory, error);
    throw;
  }
}

CapturedTest readCapturedTest(const TestOutcome &outcome, const std::string &counterDirectory,
                              const BuildNotes &notes, const BuildGraphs *graphs,
                              const BuildSources &sources) {
  struct Cleanup {
    const std::string &directory;
    ~Cleanup() {
      std::error_code ignored;
      fs::remove_all(directory, ignored);
    }
  } cleanup{counterDirectory};
  CapturedTest captured;
  captured.outcome = outcome;
  // The shell's own statuses for a command it could not find or run: such
  // a test did not fail, it never ran.
  if (outcome.verdict == TestOutcome::Verdict::ExitStatus &&
      (outcome.code == 126 || outcome.code == 127))
    throw ConversionError(std::string("its command could not start (") +
                          (outcome.code == 127 ? "not found" : "not executable") +
                          ", the shell's exit status " + std::to_string(outcome.code) + ")");
  const auto counters = findCounters(counterDirectory, notes);
  const auto add = [&](GcovFile &&file) { addReach(file, sources, captured.reach); };
  if (counters.empty()) return captured;
  if (!graphs) {
    readGcovReport(gcovReport(counters, notes), add);
    return captured;
  }
  for (const auto &[file, unit] : counters) graphs->reportCounters(unit, file, add);
  return captured;
}

}  // namespace zorvane::gcov
