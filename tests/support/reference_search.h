#pragma once

#include <cstdint>

#include "coverage/coverage_table.h"
#include "coverage/test_registry.h"
#include "optimizer/cover_search.h"
#include "optimizer/selection_stack.h"
#include "shell/run_settings.h"

// Bounds on the work of the reference search; 0 means no bound.
struct SearchLimits {
  std::uint64_t maxNodes = 0;
  double maxSeconds = 0;
};

// The search visiting every node the plain branch and bound visits, without
// any further pruning: the reference that searchCover must match (same best
// snapshot, same outcome). Slow; for tests and benchmarks.
SearchOutcome referenceSearchCover(CoverageTable &table, const TestRegistry &registry,
                                   const RunSettings &settings, SelectionStack &stack,
                                   SearchLimits limits = {});
