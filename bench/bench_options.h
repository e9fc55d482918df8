#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/reference_search.h"

// What one benchmark run does; see usageText().
struct BenchOptions {
  std::vector<std::string> files;
  bool testLevel = false;                         // -T
  std::int32_t allowance = 0;                     // -F n
  bool reference = false;                         // --reference: the plain branch and bound
  zorvane::testing_support::SearchLimits limits;  // only the reference search takes them
  std::string exportLp;                           // --export-lp FILE
  std::string exportFileLp;                       // --export-file-lp FILE
  bool search = true;                             // --no-search: stop after the reduction
  bool costs = false;                             // --costs: skewed test times, both searches
  std::string exportCostLp;                       // --export-cost-lp FILE (with --costs)
};

const char *usageText();

// Parses the arguments after the program name; throws std::invalid_argument
// with a short reason on a bad command line.
BenchOptions parseBenchOptions(int argc, char **argv);
