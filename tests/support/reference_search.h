#pragma once

#include <cstdint>

#include "base/diagnostics.h"
#include "base/run_settings.h"
#include "coverage/coverage_table.h"
#include "coverage/test_registry.h"
#include "optimizer/cover_search.h"
#include "optimizer/selection_stack.h"

namespace zorvane::testing_support {

// Bounds on the work of the reference search; 0 means no bound.
struct SearchLimits {
  std::uint64_t maxNodes = 0;
  double maxSeconds = 0;
};

// The search visiting every node the plain branch and bound visits, without
// any further pruning: the reference that searchCover must match (same best
// snapshot, same outcome). Slow; for tests and benchmarks.
// Its traces go to `diagnostics`, as the search's do.
optimizer::SearchOutcome referenceSearchCover(coverage::CoverageTable &table,
                                              const coverage::TestRegistry &registry,
                                              const RunSettings &settings,
                                              optimizer::SelectionStack &stack,
                                              Diagnostics &diagnostics, SearchLimits limits = {});

}  // namespace zorvane::testing_support
