#pragma once

#include <string>
#include <vector>

namespace zorvane::gcov {

// GCC's gcov, found on the PATH, which reads counters against their notes.

// Checks that gcov runs and is recent enough for --json-format --stdout
// (GCC 10 and later). Throws ConversionError saying what is wrong.
void checkGcov();

// gcov's JSON reports (one document a line) of the counters `dataFiles`,
// each of which has its .gcno notes beside it; `units` name them in
// messages. Throws ConversionError with gcov's own complaint when it fails
// or complains (notes that do not match the counters, for one).
std::string readCounters(const std::vector<std::string> &dataFiles,
                         const std::vector<std::string> &units);

// gcov's JSON reports of the notes `notesFiles` alone, with no counters: all
// that the build holds, nothing reached.
std::string readNotes(const std::vector<std::string> &notesFiles);

}  // namespace zorvane::gcov
