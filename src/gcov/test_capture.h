#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "gcov/build_graphs.h"
#include "gcov/build_notes.h"
#include "gcov/build_sources.h"
#include "gcov/test_list.h"
#include "gcov/test_process.h"
#include "tio/tio_writing.h"

namespace zorvane::gcov {

// One test run and what it reached.
struct CapturedTest {
  TestOutcome outcome;
  // By FT key.
  std::map<std::uint32_t, zorvane::tio::FileReach> reach;
};

// Runs `test` with its counters written below `counterDirectory`, which it
// makes (it must not exist yet). Throws ConversionError when the directory
// cannot be made or the shell cannot start.
TestOutcome runCapturedTest(const TestSpec &test, const std::string &counterDirectory,
                            double timeoutSeconds);

// What the test that ended with `outcome` reached: its counters below
// `counterDirectory` read against the build's notes (`graphs`, or by gcov
// when it is null), then removed with the directory. Counters of programs
// that are not part of the build are passed over. Throws ConversionError
// when the counters cannot be read, or the command could not start (the
// shell's exit statuses 126 and 127).
CapturedTest readCapturedTest(const TestOutcome &outcome, const std::string &counterDirectory,
                              const BuildNotes &notes, const BuildGraphs *graphs,
                              const BuildSources &sources);

// Folds gcov's report of one source file into `reach`: lines that ran,
// branches taken (by their index on the line), functions called (by their
// rank on their line).
void addReach(const GcovFile &file, const BuildSources &sources,
              std::map<std::uint32_t, zorvane::tio::FileReach> &reach);

}  // namespace zorvane::gcov
