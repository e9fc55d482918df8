#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "coverage/test_registry.h"
#include "optimizer/cost_file.h"

namespace zorvane::optimizer {

// The name a test goes by in a cost file: its name as read, without the
// line end and without the quotes around a quoted name.
std::string costName(std::string_view name);

// The duration a DT line written by the capture driver records
// ("passed in 0.014 s", "failed (exit status 1) in 2.500 s"), in
// microseconds; nullopt for any other description.
std::optional<std::uint64_t> recordedDuration(std::string_view description);

struct TestCosts {
  // By test number, in microseconds; test 0 (no test) costs 0.
  std::vector<std::uint64_t> costs;
  // Tests the source gave no cost, each of which costs `fallback`: the
  // median of the costs given (the lower one of an even count), or a second
  // when none was.
  std::uint32_t missing = 0;
  std::uint64_t fallback = 0;
};

// The cost of every test of the closed registry, from `table` when given,
// else from the durations of the tests' DT lines.
TestCosts assignTestCosts(const coverage::TestRegistry &registry, const CostTable *table);

// Microseconds as seconds with at least three decimals and no more than
// needed ("0.014", "0.001234", "12.000").
std::string formatSeconds(std::uint64_t micros);

// The sum of the costs of `tests`.
std::uint64_t totalCost(std::span<const std::uint64_t> costs,
                        std::span<const coverage::TestNumber> tests);

}  // namespace zorvane::optimizer
