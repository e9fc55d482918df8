#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "optimizer/cover_instance.h"
#include "optimizer/cover_state.h"
#include "optimizer/search_monitor.h"
#include "optimizer/solved_parts.h"

namespace zorvane::optimizer {

// The fewest tests that together reach every branch of `instance`, provided
// that is at most `cap`; nullopt when more are needed or no cover exists.
// Exact: the presolve with forced tests, then an independent branch and bound
// per connected part, pruned by CoverState::lowerBound. When `monitor` asks
// for an interruption the answer is nullopt, whatever the truth. When
// `cover` is given, it receives the tests of one smallest cover. When
// `solved` is given, parts it knows are answered from it and what is found
// of the others is kept there; the answers are the same either way.
std::optional<std::uint32_t> minimumCoverSize(const CoverInstance &instance, std::uint32_t cap,
                                              SearchMonitor *monitor = nullptr,
                                              std::vector<std::uint32_t> *cover = nullptr,
                                              SolvedParts *solved = nullptr);

// The same for the branches `state` has left uncovered.
std::optional<std::uint32_t> minimumRemainingCoverSize(const CoverState &state, std::uint32_t cap,
                                                       SearchMonitor *monitor = nullptr,
                                                       std::vector<std::uint32_t> *cover = nullptr,
                                                       SolvedParts *solved = nullptr);

}  // namespace zorvane::optimizer
