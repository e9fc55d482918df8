#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "gcov/build_notes.h"
#include "gcov/gcov_json.h"
#include "gcov/gcov_records.h"
#include "gcov/unit_coverage.h"

namespace zorvane::gcov {

// The notes of every unit of a build, read once, so that each test's
// counters are read against them directly, without running gcov.
class BuildGraphs {
 public:
  // The notes of `notes`' units; nullptr when some of them are of a version
  // that is not known here (another GCC): gcov reads those. Throws
  // ConversionError naming the file when notes cannot be read or are
  // corrupt.
  static std::unique_ptr<BuildGraphs> read(const BuildNotes &notes);

  // Hands each source file of each unit to `onFile`, as gcov reports the
  // notes alone: everything the build holds, nothing reached.
  void reportNotes(const std::function<void(GcovFile &&)> &onFile) const;

  // Reads the counters at `countersPath` that a run of `unit` left and
  // hands each source file of the unit to `onFile` with what it reached.
  // Throws ConversionError saying why when they cannot be read or do not
  // match the notes.
  void reportCounters(const std::string &unit, const std::string &countersPath,
                      const std::function<void(GcovFile &&)> &onFile) const;

 private:
  struct Unit {
    std::string notesPath;
    UnitNotes notes;
    std::unique_ptr<UnitCoverage> alone;
    std::unique_ptr<UnitCoverage> counted;
  };
  // Nodes stay where they are: each coverage refers to its unit's notes.
  std::map<std::string, Unit> units_;
};

}  // namespace zorvane::gcov
