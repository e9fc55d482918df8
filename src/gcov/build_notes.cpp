#include "gcov/build_notes.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "tio/conversion_error.h"
#include "tio/fingerprint.h"

namespace zorvane::gcov {

using tio::ConversionError;
using tio::Fingerprint;

namespace fs = std::filesystem;

BuildNotes::BuildNotes(const std::string &buildDirectory) {
  std::error_code error;
  const fs::path directory = fs::absolute(buildDirectory, error).lexically_normal();
  if (error || !fs::is_directory(directory, error))
    throw ConversionError("the build directory does not exist", buildDirectory);
  directory_ = directory.string();
  while (directory_.size() > 1 && directory_.back() == '/') directory_.pop_back();
  fs::recursive_directory_iterator entry(directory, fs::directory_options::skip_permission_denied,
                                         error);
  for (; !error && entry != fs::recursive_directory_iterator(); entry.increment(error)) {
    const fs::path &path = entry->path();
    if (path.extension() == ".gcno" && entry->is_regular_file(error)) {
      fs::path unit = path.lexically_relative(directory);
      unit.replace_extension();
      units_.push_back(unit.string());
    }
  }
  if (error)
    throw ConversionError("cannot read the build directory: " + error.message(), buildDirectory);
  if (units_.empty())
    throw ConversionError("no .gcno notes in the build directory: was it built with --coverage?",
                          buildDirectory);
  std::ranges::sort(units_);
  unitSet_.insert(units_.begin(), units_.end());
}

std::uint64_t BuildNotes::fingerprint() const {
  Fingerprint fingerprint;
  for (const std::string &unit : units_) {
    const std::string path = directory_ + "/" + unit + ".gcno";
    std::ifstream input(path, std::ios::binary);
    if (!input) throw ConversionError("cannot read the notes", path);
    const std::string bytes{std::istreambuf_iterator<char>(input), {}};
    fingerprint.add(unit);
    fingerprint.add(bytes.size());
    fingerprint.add(bytes);
  }
  return fingerprint.value();
}

}  // namespace zorvane::gcov
