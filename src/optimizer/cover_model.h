#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "optimizer/cover_state.h"

namespace zorvane::optimizer {

// The integer programs of the optimizer share this model of the uncovered
// branches: one column per test that can still be chosen, and one per
// coverage file that is not free.
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

// Fills `model` with the branches `state` has left uncovered; false when
// some of them has no test left to cover it, so that no cover exists.
// `costs`, by test number, may be empty (all tests alike).
bool buildCoverModel(const CoverState &state, std::span<const std::uint32_t> fileOfTest,
                     std::span<const std::uint32_t> freeFiles,
                     std::span<const std::uint64_t> costs, CoverModel &model);

// Shrinks the model without changing whether a cover within the limits
// exists, nor its least cost, fewest files or fewest tests: each step keeps
// a best cover. Drops rows holding every test of another row, and tests
// whose rows another test holds when that test costs no more (in cost, and
// in files: its file is free or the same, or the dropped test is alone in
// its file).
void reduceCoverModel(CoverModel &model);

// Whether `tests` reach every branch that `state` has left uncovered.
bool coversTheRest(const CoverState &state, const std::vector<std::uint32_t> &tests);

}  // namespace zorvane::optimizer
