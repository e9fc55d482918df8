#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "gcov/build_graphs.h"
#include "gcov/build_notes.h"
#include "gcov/build_sources.h"
#include "gcov/test_list.h"

namespace zorvane::gcov {

// A directory for the counters of the tests, made afresh in $TMPDIR (or
// /tmp) and removed with everything in it at the end.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory &) = delete;
  ScratchDirectory &operator=(const ScratchDirectory &) = delete;
  const std::string &path() const { return path_; }

 private:
  std::string path_;
};

// The source files of the build, read from its notes alone (from `graphs`,
// or when it is null by gcov run in `scratch`), keyed relative to `root`
// (see BuildSources::keyRelativeTo).
BuildSources readBuildSources(const BuildNotes &notes, const BuildGraphs *graphs,
                              const std::string &root, const std::string &scratch);

struct CaptureSettings {
  unsigned jobs = 1;
  double timeoutSeconds = 0;
  bool skipFailing = false;
  // The test list as messages name it.
  std::string listName;
};

// Runs the tests, `jobs` at a time, each with its counters in a directory
// of its own below `scratch`, read while the next tests run, and writes on
// `out` each test's NT, DT and coverage lines in the order of the list, as
// soon as it and all tests before it are done (only a few finished tests
// wait in memory). A failed test is told to `note` in list order. Throws
// ConversionError, once the running tests have ended, when a test's
// counters cannot be read: that of the first such test in the list. Returns
// early, with the output incomplete, once stopRunningTests() is called.
void captureTests(const std::vector<TestSpec> &tests, const CaptureSettings &settings,
                  const BuildNotes &notes, const BuildGraphs *graphs, const BuildSources &sources,
                  const std::string &scratch, std::FILE *out,
                  const std::function<void(std::string_view)> &note);

}  // namespace zorvane::gcov
