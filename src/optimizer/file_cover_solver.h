#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "optimizer/cover_state.h"
#include "optimizer/search_monitor.h"

namespace zorvane::optimizer {

// What a search for a cover spanning few coverage files found out.
struct FileCoverAnswer {
  enum class Kind {
    found,   // a cover within the limits, spanning `newFiles` new files
    none,    // proven: no cover within the limits exists
    unknown  // interrupted, or the solver gave up: assume one may exist
  };
  Kind kind = Kind::unknown;
  std::uint32_t newFiles = 0;
};

// Looks for a cover of every branch `state` has left uncovered with at most
// `maxTests` tests whose coverage files, apart from those marked free (a
// non-zero value of `freeFiles`, by file index), number at most
// `maxNewFiles`; when one exists, finds one with the fewest such files and
// puts its tests in `cover`. `fileOfTest` gives each test's file index; test
// 0 is never part of a cover. Exact: an integer program solved by GLPK's
// branch and cut. The answer is unknown when the monitor asks for an
// interruption or when the branch and cut needs more than `budget`
// subproblems: programs of structured suites are mostly settled by the cuts
// at the first, while random ones can take very many. Throws
// std::bad_alloc when GLPK runs out of memory.
FileCoverAnswer fewestNewFilesCover(const CoverState &state,
                                    std::span<const std::uint32_t> fileOfTest,
                                    std::span<const std::uint32_t> freeFiles,
                                    std::uint32_t maxTests, std::uint32_t maxNewFiles,
                                    std::uint32_t budget, const SearchMonitor *monitor,
                                    std::vector<std::uint32_t> &cover);

}  // namespace zorvane::optimizer
