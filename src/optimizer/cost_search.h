#pragma once

#include <cstdint>
#include <span>

#include "base/diagnostics.h"
#include "base/run_settings.h"
#include "coverage/coverage_table.h"
#include "coverage/test_registry.h"
#include "optimizer/cover_search.h"
#include "optimizer/selection_stack.h"

namespace zorvane::optimizer {

// Microseconds per unit of the -F allowance when tests have costs: the
// allowance is then a number of milliseconds.
inline constexpr std::uint64_t allowanceUnit = 1000;

// Finds the cheapest set of tests that, with the mandatory tests already on
// the stack, reaches every live branch of the reduced table, `costs` giving
// each test's cost in microseconds by test number. Among the covers costing
// at most the least cost plus settings.allowance milliseconds it prefers
// the one spanning the fewest coverage files, unless -T was given, then the
// cheapest, then the one with the fewest tests. The cover, mandatory tests
// first and then the chosen ones in ascending order, ends in the stack's
// snapshot; the stack itself is left as found.
SearchOutcome searchCheapestCover(coverage::CoverageTable &table,
                                  const coverage::TestRegistry &registry,
                                  const RunSettings &settings, SelectionStack &stack,
                                  std::span<const std::uint64_t> costs, Diagnostics &diagnostics);

}  // namespace zorvane::optimizer
