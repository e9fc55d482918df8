#pragma once

#include <cstdio>

#include "lcov/conversion.h"

// Writes the conversion as one .tio file on `out`: comment lines naming the
// key of each source file, then for each test an NT line with its name in
// double quotes and a DT line naming its tracefile, and under the FT key of
// each source file and the DC key of each line (the line number) what the
// test reached there: TL 0 for the line itself, TB n for the branch of index
// n, TF n for the function of index n that starts on the line. Write errors
// are left on the stream for the caller to check.
void writeTio(const Conversion &conversion, std::FILE *out);
