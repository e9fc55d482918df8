#include "optimizer/test_costs.h"

#include <algorithm>

namespace zorvane::optimizer {

using coverage::TestNumber;
using coverage::TestRecord;
using coverage::TestRegistry;

std::string costName(std::string_view name) {
  while (name.ends_with('\n') || name.ends_with('\r')) name.remove_suffix(1);
  if (name.size() >= 2 && name.front() == '"' && name.back() == '"')
    name = name.substr(1, name.size() - 2);
  return std::string(name);
}

std::optional<std::uint64_t> recordedDuration(std::string_view description) {
  while (description.ends_with('\n') || description.ends_with('\r')) description.remove_suffix(1);
  if (!description.starts_with("passed in ") && !description.starts_with("failed ")) return {};
  if (!description.ends_with(" s")) return {};
  description.remove_suffix(2);
  const std::size_t in = description.rfind(" in ");
  if (in == std::string_view::npos) return {};
  return microsecondsOf(description.substr(in + 4));
}

TestCosts assignTestCosts(const TestRegistry &registry, const CostTable *table) {
  TestCosts result;
  result.costs.assign(registry.endTest(), 0);
  std::vector<std::uint64_t> known;
  std::vector<TestNumber> without;
  for (TestNumber test = 1; test < registry.endTest(); ++test) {
    const TestRecord &record = registry.record(test);
    std::optional<std::uint64_t> cost;
    if (table) {
      if (const auto found = table->find(costName(record.name)); found != table->end())
        cost = found->second;
    } else if (record.description) {
      cost = recordedDuration(*record.description);
    }
    if (cost) {
      result.costs[test] = *cost;
      known.push_back(*cost);
    } else {
      without.push_back(test);
    }
  }
  result.fallback = 1000000;
  if (!known.empty()) {
    const auto middle = known.begin() + static_cast<std::ptrdiff_t>((known.size() - 1) / 2);
    std::nth_element(known.begin(), middle, known.end());
    result.fallback = *middle;
  }
  for (const TestNumber test : without) result.costs[test] = result.fallback;
  result.missing = static_cast<std::uint32_t>(without.size());
  return result;
}

std::string formatSeconds(std::uint64_t micros) {
  std::string fraction = std::to_string(micros % 1000000);
  fraction.insert(0, 6 - fraction.size(), '0');
  while (fraction.size() > 3 && fraction.back() == '0') fraction.pop_back();
  return std::to_string(micros / 1000000) + "." + fraction;
}

std::uint64_t totalCost(std::span<const std::uint64_t> costs, std::span<const TestNumber> tests) {
  std::uint64_t total = 0;
  for (const TestNumber test : tests) total += costs[test];
  return total;
}

}  // namespace zorvane::optimizer
