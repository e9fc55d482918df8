#pragma once

#include <cstdio>

#include "lcov/conversion.h"

namespace zorvane::lcov {

// Writes the top of a .tio file for the conversion: comment lines giving
// the build's fingerprint, the root of the keys and the source file of each
// key.
void writeTioHeader(const Conversion &conversion, std::FILE *out);

// Writes the conversion's tests: for each, an NT line with its name in
// double quotes and a DT line naming its tracefile, and under the FT key of
// each source file and the DC key of each line (the line number) what the
// test reached there: TL 0 for the line itself, TB n for the branch of index
// n, TF n for the function of index n that starts on the line.
void writeTests(const Conversion &conversion, std::FILE *out);

// Both, as one .tio file. Write errors are left on the stream for the caller
// to check.
void writeTio(const Conversion &conversion, std::FILE *out);

}  // namespace zorvane::lcov
