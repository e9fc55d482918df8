#pragma once

#include <istream>
#include <string>

#include "lcov/conversion.h"

namespace zorvane::lcov {

// What a reading of a tracefile takes from it: the source files with their
// branches and functions, the tests and what they reached, or both. A
// conversion reads every tracefile for its declarations first, so that
// indexes are known before the first test is written, then each one for its
// tests, which are written and forgotten before the next.
enum class TracefilePass { Declarations, Tests, Both };

// Reads one LCOV tracefile into `conversion`. Each test name (TN) of the
// file is one test, made of all the records that follow that name; records
// under an empty or missing name form one test named `tracefile` (the path
// as given). Within a record (SF ... end_of_record), DA, BRDA, FN, FNDA, FNL
// and FNA lines are read; summary lines (LF, BRH, ...) and other records are
// passed over. Throws ConversionError naming `tracefile` and the line of the
// first thing that is not valid, or line 0 for a file without any record.
void readTracefile(std::istream &input, const std::string &tracefile, Conversion &conversion,
                   TracefilePass pass = TracefilePass::Both);

// Opens the tracefile at `path` and reads it as above; a file that cannot be
// opened or read is a ConversionError too.
void readTracefileAt(const std::string &path, Conversion &conversion,
                     TracefilePass pass = TracefilePass::Both);

}  // namespace zorvane::lcov
