#include "optimizer/cover_state.h"

#include <algorithm>
#include <cmath>

CoverState::CoverState(const CoverInstance &instance)
    : instance_(instance),
      covered_(instance.branchCount(), 0),
      counts_(instance.testCount(), 0),
      remaining_(instance.branchCount()),
      residual_(instance.testCount(), 1.0) {
  byTestCount_.resize(instance.branchCount());
  for (std::uint32_t k = 0; k < instance.branchCount(); ++k) {
    byTestCount_[k] = k;
    for (std::uint32_t test : instance.testsOf(k)) ++counts_[test];
  }
  std::stable_sort(byTestCount_.begin(), byTestCount_.end(), [&](std::uint32_t a, std::uint32_t b) {
    return instance.testsOf(a).size() < instance.testsOf(b).size();
  });
}

void CoverState::apply(std::uint32_t test) {
  marks_.push_back(static_cast<std::uint32_t>(trail_.size()));
  for (std::uint32_t branch : instance_.branchesOf(test)) {
    if (covered_[branch]) continue;
    covered_[branch] = 1;
    --remaining_;
    for (std::uint32_t other : instance_.testsOf(branch)) --counts_[other];
    trail_.push_back(branch);
  }
}

void CoverState::undo() {
  const std::uint32_t mark = marks_.back();
  marks_.pop_back();
  while (trail_.size() > mark) {
    const std::uint32_t branch = trail_.back();
    trail_.pop_back();
    covered_[branch] = 0;
    ++remaining_;
    for (std::uint32_t other : instance_.testsOf(branch)) ++counts_[other];
  }
}

bool CoverState::appendCandidates(std::vector<std::uint32_t> &order) const {
  std::size_t fewest = 0;
  std::uint32_t bestCount = 0;
  std::uint32_t split = 0;
  bool found = false;
  for (std::uint32_t branch : byTestCount_) {
    if (covered_[branch]) continue;
    const auto tests = instance_.testsOf(branch);
    if (fewest == 0) fewest = tests.size();
    if (tests.size() > fewest) break;
    for (std::uint32_t test : tests)
      if (counts_[test] > bestCount) {
        bestCount = counts_[test];
        split = branch;
        found = true;
      }
  }
  if (!found) return false;
  const std::size_t begin = order.size();
  for (std::uint32_t test : instance_.testsOf(split))
    if (counts_[test] != 0) order.push_back(test);
  std::stable_sort(order.begin() + static_cast<std::ptrdiff_t>(begin), order.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return counts_[a] > counts_[b]; });
  return true;
}

std::uint32_t CoverState::lowerBound(std::uint32_t enough) {
  // Greedy dual: each uncovered branch, fewest tests first, takes as much
  // weight as its tests can still carry (every test carries at most 1 in
  // total); the total weight bounds the number of tests from below.
  double total = 0;
  std::uint32_t bound = 0;
  for (std::uint32_t branch : byTestCount_) {
    if (covered_[branch]) continue;
    const auto tests = instance_.testsOf(branch);
    double weight = 1.0;
    for (std::uint32_t test : tests) weight = std::min(weight, residual_[test]);
    if (weight <= 1e-12) continue;
    total += weight;
    for (std::uint32_t test : tests) {
      if (residual_[test] == 1.0) touched_.push_back(test);
      residual_[test] -= weight;
    }
    bound = static_cast<std::uint32_t>(std::ceil(total - 1e-9));
    if (bound > enough) break;
  }
  for (std::uint32_t test : touched_) residual_[test] = 1.0;
  touched_.clear();
  return bound;
}
