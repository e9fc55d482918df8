#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "optimizer/cover_state.h"
#include "optimizer/search_monitor.h"

namespace zorvane::optimizer {

// What to cover and what a cover costs. Costs are whole units (the run uses
// microseconds), so that optima and ties are exact.
struct CostedCoverQuery {
  // The branches it leaves uncovered are to be covered.
  const CoverState &state;
  // By test number.
  std::span<const std::uint64_t> costs;
  std::span<const std::uint32_t> fileOfTest;
  // By file index: non-zero for a file that costs nothing to span (one the
  // mandatory tests span already).
  std::span<const std::uint32_t> freeFiles;
  // Whether covers on fewer files are preferred (off with -T).
  bool countFiles = true;
  // Cost a cover may exceed the least cost by to span fewer files.
  std::uint64_t allowance = 0;
};

struct CheapestCover {
  enum class Kind {
    found,  // `tests` is a cover; the best there is when `proven`
    none    // no cover exists
  };
  Kind kind = Kind::none;
  // False when the monitor interrupted the solver: the cover is the best
  // found by then.
  bool proven = true;
  // Ascending test numbers.
  std::vector<std::uint32_t> tests;
  std::uint64_t cost = 0;
  std::uint32_t newFiles = 0;
};

// The best cover of the uncovered branches, in this order of preference:
// - when files are counted, the fewest files not free among the covers that
//   cost at most the least cost plus the allowance, then the least cost;
//   otherwise the least cost;
// - then the fewest tests.
// Each step is an integer program solved by GLPK's branch and cut, after
// reductions that keep a best cover (dominated branches, and tests another
// test stands in for at no more cost), seeded with a greedy cover; every
// answer is checked on the tests themselves in whole units. Throws
// std::bad_alloc when GLPK runs out of memory.
CheapestCover cheapestCover(const CostedCoverQuery &query, const SearchMonitor *monitor);

}  // namespace zorvane::optimizer
