#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "optimizer/cover_instance.h"

namespace zorvane::optimizer {

// A cover of every branch of `instance`, built from Lagrangian multipliers
// (one per branch, as CoverState::multipliers() gives them): each test costs
// 1 less the multipliers of its branches. The tests of negative cost come
// first, then, for each branch still uncovered in branch order, its cheapest
// test; last, tests whose branches the others all cover are dropped, the
// costliest first. Good multipliers make it a cover of the optimum size or
// close to it. Empty when some branch has no test.
std::vector<std::uint32_t> lagrangianCover(const CoverInstance &instance,
                                           std::span<const double> multipliers);

}  // namespace zorvane::optimizer
