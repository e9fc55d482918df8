#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "base/diagnostics.h"
#include "base/run_settings.h"
#include "coverage/test_registry.h"
#include "optimizer/selection_stack.h"

namespace zorvane::shell {

// The tests of the report, each list in the order printed.
struct ReportedTests {
  std::vector<coverage::TestNumber> needed;
  std::vector<coverage::TestNumber> useless;
  // The first mandatoryCount needed tests are the mandatory ones, the others
  // the search chose.
  std::size_t mandatoryCount = 0;
};

// Prints the needed tests (the best snapshot, or the stack when the search
// accepted no cover because the mandatory tests already cover everything),
// their number, then every other test that still has entries of its own as
// useless. When tests have costs (`costs`, in microseconds by test number;
// empty otherwise), the line of their number is followed by the cost of the
// needed tests against that of the whole suite. Clears the entry counts of
// the needed tests. Returns the tests printed.
ReportedTests printReport(const optimizer::SelectionStack &stack, coverage::TestRegistry &registry,
                          const RunSettings &settings, std::span<const std::uint64_t> costs,
                          Diagnostics &diagnostics);

}  // namespace zorvane::shell
