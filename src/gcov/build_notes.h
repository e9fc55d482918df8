#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace zorvane::gcov {

// The .gcno notes of a build: what gcc --coverage wrote beside each object,
// which gcov needs to read the counters (.gcda) that running it leaves.
class BuildNotes {
 public:
  // Finds every .gcno file below `buildDirectory`. Throws ConversionError
  // when it is not a readable directory or holds no notes.
  explicit BuildNotes(const std::string &buildDirectory);

  // The absolute directory, without a trailing '/'.
  const std::string &directory() const { return directory_; }
  // The notes' paths relative to it, without ".gcno", in byte order.
  const std::vector<std::string> &units() const { return units_; }
  bool hasUnit(const std::string &unit) const { return unitSet_.contains(unit); }

  // A hash of every notes file's path and bytes, which hold the time stamp
  // and checksums gcc gave that compilation: another build of the sources,
  // even of the same text, has another fingerprint.
  std::uint64_t fingerprint() const;

 private:
  std::string directory_;
  std::vector<std::string> units_;
  std::unordered_set<std::string> unitSet_;
};

}  // namespace zorvane::gcov
