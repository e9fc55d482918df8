#pragma once

#include <algorithm>
#include <cstdint>

#include "base/diagnostics.h"
#include "base/run_settings.h"
#include "coverage/coverage_table.h"
#include "coverage/test_registry.h"
#include "optimizer/selection_stack.h"

namespace zorvane::optimizer {

// What the search ends with, besides the best snapshot on the stack.
struct SearchOutcome {
  // One less than the number of tests the search added to its smallest
  // accepted cover; larger than any depth when no cover was accepted.
  std::uint32_t bestDepth;
  // Distinct coverage files of the best cover, mandatory tests included
  // (0 when the file preference is off); initialFileCount() while no cover
  // was accepted.
  std::uint32_t bestFileCount;
  // Candidates tried, each a push of a test on the stack.
  std::uint64_t nodes = 0;
  // False when a limit stopped the search before it had looked everywhere.
  bool completed = true;
  // Whether that limit was the time limit (else a signal, or a bound on
  // the work of the reference search).
  bool timeLimitReached = false;
};

// Finds a smallest set of tests that, with the mandatory tests already on
// the stack, reaches every live branch of the reduced table: a depth-first
// branch and bound that splits on the branch with the fewest tests and tries
// its tests, the one reaching the most uncovered entries first. Among covers
// it accepts (at most settings.allowance tests larger than the smallest),
// it prefers the one spanning fewer coverage files unless -T was given. The
// best cover ends in the stack's snapshot; the stack itself is left as found.
// At verbosity 2 every candidate and complete cover is traced. The progress
// line of a long search goes to `diagnostics`.
SearchOutcome searchCover(coverage::CoverageTable &table, const coverage::TestRegistry &registry,
                          const RunSettings &settings, SelectionStack &stack,
                          Diagnostics &diagnostics);

// Depth of "no cover accepted yet": above any depth a search can reach, and
// never below the historical bound of 66000 tests.
inline constexpr std::uint32_t noCoverDepthFloor = 66000;
inline std::uint32_t initialBestDepth(const coverage::TestRegistry &registry) {
  return std::max(registry.endTest(), noCoverDepthFloor);
}

// The file count of "no cover accepted yet": above any a cover can span when
// files are counted, 0 when they are not (so that every cover ties on it).
inline std::uint32_t initialFileCount(const RunSettings &settings) {
  return settings.countFiles ? settings.fileCountBound : 0;
}

}  // namespace zorvane::optimizer
