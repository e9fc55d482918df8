#include "optimizer/lagrangian_cover.h"

#include <algorithm>

namespace zorvane::optimizer {

std::vector<std::uint32_t> lagrangianCover(const CoverInstance &instance,
                                           std::span<const double> multipliers) {
  std::vector<double> cost(instance.testCount(), 1.0);
  for (std::uint32_t t = 0; t < instance.testCount(); ++t)
    for (std::uint32_t k : instance.branchesOf(t)) cost[t] -= multipliers[k];

  // How many tests of the cover reach each branch.
  std::vector<std::uint32_t> reached(instance.branchCount(), 0);
  std::vector<std::uint32_t> cover;
  auto take = [&](std::uint32_t test) {
    cover.push_back(test);
    for (std::uint32_t k : instance.branchesOf(test)) ++reached[k];
  };
  for (std::uint32_t t = 0; t < instance.testCount(); ++t)
    if (cost[t] < 0) take(t);
  for (std::uint32_t k = 0; k < instance.branchCount(); ++k) {
    if (reached[k] != 0) continue;
    const auto tests = instance.testsOf(k);
    if (tests.empty()) return {};
    take(*std::ranges::min_element(tests, {}, [&](std::uint32_t t) { return cost[t]; }));
  }

  std::ranges::stable_sort(cover, std::ranges::greater{}, [&](std::uint32_t t) { return cost[t]; });
  std::erase_if(cover, [&](std::uint32_t test) {
    const auto branches = instance.branchesOf(test);
    if (std::ranges::any_of(branches, [&](std::uint32_t k) { return reached[k] == 1; }))
      return false;
    for (std::uint32_t k : branches) --reached[k];
    return true;
  });
  return cover;
}

}  // namespace zorvane::optimizer
