#pragma once

#include <cstdint>
#include <span>

#include "base/diagnostics.h"
#include "coverage/coverage_table.h"

namespace zorvane::coverage {

// Lists the whole table (after the catalogue title "CovItems:"): a key line
// per group, a line per live branch with its tests, then a line of dashes.
// Builds the table's test lists first, if they are not built yet; changes
// nothing else.
void dumpCoverageTable(CoverageTable &table, Diagnostics &diagnostics);

// Prints `title`, then "test=count " for tests 1 up to counts.size() - 1 on
// one line, then a line of dashes.
void printTestCounts(std::span<const std::uint32_t> counts, const char *title,
                     Diagnostics &diagnostics);

}  // namespace zorvane::coverage
