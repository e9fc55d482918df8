#pragma once

#include <string>

#include "coverage/coverage_table.h"
#include "coverage/test_registry.h"

// Ends the fuzz run as a finding: prints `what` and aborts, so that libFuzzer
// keeps the input.
[[noreturn]] void fuzzFailure(const std::string &what);

inline void require(bool holds, const char *what) {
  if (!holds) fuzzFailure(what);
}

// Checks what the reader must leave behind:
// groups in strictly ascending key order, every live branch's count equal to its list's length
// and its only test agreeing with it, the live branch count, test lists in non-decreasing order
// of real test numbers, and each test's entry count equal to its entries in the table.
void checkReadInvariants(zorvane::coverage::CoverageTable &table,
                         const zorvane::coverage::TestRegistry &registry, std::size_t fileCount);
