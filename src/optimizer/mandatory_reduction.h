#pragma once

#include <cstdint>

#include "base/diagnostics.h"
#include "coverage/coverage_table.h"
#include "coverage/test_registry.h"
#include "optimizer/selection_stack.h"

namespace zorvane::optimizer {

// Finds the mandatory tests (the only test of some branch), pushes each once
// on the stack in table order, and removes every branch that a mandatory test
// reaches, lowering the counts of all tests listed in it. At verbosity 1 and
// above each mandatory test is reported (message 4); at 2 the reasons and the
// removed entries are traced. Leaves the test lists built.
void reduceMandatoryTests(coverage::CoverageTable &table, coverage::TestRegistry &registry,
                          SelectionStack &stack, std::uint8_t verbosity, Diagnostics &diagnostics);

}  // namespace zorvane::optimizer
