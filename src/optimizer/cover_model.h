#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "optimizer/cover_state.h"

namespace zorvane::optimizer {

// The columns and rows the integer programs of the optimizer are made of:
// one column per test that can still be chosen, and one per coverage file
// that is not free; one row per uncovered branch.
inline constexpr int noColumn = -1;

struct CoverModel {
  std::vector<std::uint32_t> columnTest;
  // Per test column, its file column, or noColumn when the file is free.
  std::vector<int> fileColumnOf;
  int fileColumns = 0;
  // Per test column, its cost; empty when every test costs the same.
  std::vector<std::uint64_t> columnCost;
  // Test columns of each distinct branch row, sorted.
  std::vector<std::vector<int>> coverRows;
};

// Fills `model` with the branches `state` has left uncovered, shrunk by the
// presolve's dominated-branch and dominated-test rules (which keep a cover
// of the least cost, the fewest files and the fewest tests); false when
// some of them has no test left to cover it, so that no cover exists.
// `costs`, by test number, may be empty (all tests alike).
bool buildCoverModel(const CoverState &state, std::span<const std::uint32_t> fileOfTest,
                     std::span<const std::uint32_t> freeFiles, std::span<const std::uint64_t> costs,
                     CoverModel &model);

// Whether `tests` reach every branch that `state` has left uncovered.
bool coversTheRest(const CoverState &state, const std::vector<std::uint32_t> &tests);

}  // namespace zorvane::optimizer
