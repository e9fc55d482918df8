#include "gcov/build_sources.h"

#include <algorithm>
#include <iterator>

#include "tio/conversion_error.h"
#include "tio/tio_writing.h"

namespace zorvane::gcov {

using tio::ConversionError;
using tio::SourceKeys;
using tio::writeKeyComment;

namespace {

std::string directoryOf(const std::string &path) {
  const std::size_t slash = path.rfind('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// The longest directory that holds both: compared by whole path components.
std::string commonDirectory(const std::string &left, const std::string &right) {
  std::size_t common = 0;
  const std::size_t length = std::min(left.size(), right.size());
  while (common < length && left[common] == right[common]) ++common;
  const bool wholeComponent = (common == left.size() || left[common] == '/') &&
                              (common == right.size() || right[common] == '/');
  if (!wholeComponent) common = left.rfind('/', common);
  return common == 0 || common == std::string::npos ? "/" : left.substr(0, common);
}

bool isSystemPath(const std::string &path) { return path.starts_with("/usr/"); }

}  // namespace

void BuildSources::declare(const GcovFile &file) {
  Source &source = sourcesByPath_[file.path];
  for (const GcovFunction &function : file.functions)
    source.functionsByLine[function.startLine].insert(function.name);
}

void BuildSources::keyRelativeTo(const std::string &root) {
  std::string chosen = root;
  if (chosen.empty()) {
    const bool allSystem = std::ranges::all_of(
        sourcesByPath_, [](const auto &entry) { return isSystemPath(entry.first); });
    bool first = true;
    for (const auto &[path, source] : sourcesByPath_) {
      if (!allSystem && isSystemPath(path)) continue;
      chosen = first ? directoryOf(path) : commonDirectory(chosen, directoryOf(path));
      first = false;
    }
  }
  SourceKeys keys(chosen);
  for (auto &[path, source] : sourcesByPath_) source.keyedPath = keys.keyedPath(path);
  if (!root.empty() && !keys.rootWasUsed())
    throw ConversionError("no source file of the build lies under the root " + root);
  for (auto &[path, source] : sourcesByPath_) source.key = keys.keyOf(source.keyedPath);
  root_ = keys.root();
}

const BuildSources::Source *BuildSources::find(const std::string &path) const {
  const auto source = sourcesByPath_.find(path);
  return source == sourcesByPath_.end() ? nullptr : &source->second;
}

int BuildSources::functionIndex(const Source &source, std::uint32_t line,
                                const std::string &function) {
  const auto functions = source.functionsByLine.find(line);
  if (functions == source.functionsByLine.end()) return -1;
  const auto found = functions->second.find(function);
  if (found == functions->second.end()) return -1;
  return static_cast<int>(std::distance(functions->second.begin(), found));
}

void BuildSources::writeKeyComments(std::FILE *out) const {
  for (const auto &[path, source] : sourcesByPath_)
    writeKeyComment(out, source.key, source.keyedPath);
}

}  // namespace zorvane::gcov
