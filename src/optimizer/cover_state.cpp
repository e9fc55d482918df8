#include "optimizer/cover_state.h"

#include <algorithm>
#include <cmath>

namespace zorvane::optimizer {

CoverState::CoverState(const CoverInstance &instance)
    : instance_(instance),
      covered_(instance.branchCount(), 0),
      counts_(instance.testCount(), 0),
      remaining_(instance.branchCount()),
      excluded_(instance.testCount(), 0),
      admitted_(instance.branchCount(), 0),
      residual_(instance.testCount(), 1.0),
      multipliers_(instance.branchCount(), 0.0),
      denseBranch_(instance.branchCount(), 0) {
  for (std::uint32_t t = 0; t < instance.testCount(); ++t)
    for (std::uint32_t k : instance.branchesOf(t)) ++admitted_[k];
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

void CoverState::exclude(std::uint32_t test) {
  excluded_[test] = 1;
  exclusions_.push_back(test);
  for (std::uint32_t k : instance_.branchesOf(test)) --admitted_[k];
}

void CoverState::readmit() {
  const std::uint32_t test = exclusions_.back();
  exclusions_.pop_back();
  excluded_[test] = 0;
  for (std::uint32_t k : instance_.branchesOf(test)) ++admitted_[k];
}

std::size_t CoverState::firstUncoveredPosition() const {
  const std::size_t depth = marks_.size();
  if (firstUncovered_.size() <= depth) firstUncovered_.resize(depth + 1, 0);
  std::size_t position = depth > 0 ? firstUncovered_[depth - 1] : 0;
  while (position < byTestCount_.size() && covered_[byTestCount_[position]]) ++position;
  firstUncovered_[depth] = position;
  return position;
}

bool CoverState::appendCandidates(std::vector<std::uint32_t> &order) const {
  if (!exclusions_.empty()) return appendAdmittedCandidates(order);
  std::size_t fewest = 0;
  std::uint32_t bestCount = 0;
  std::uint32_t split = 0;
  bool found = false;
  for (std::size_t position = firstUncoveredPosition(); position < byTestCount_.size();
       ++position) {
    const std::uint32_t branch = byTestCount_[position];
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

bool CoverState::appendAdmittedCandidates(std::vector<std::uint32_t> &order) const {
  // As above, counting only admitted tests; a branch with none left cannot
  // be covered any more.
  std::uint32_t split = UINT32_MAX;
  for (std::uint32_t k = 0; k < instance_.branchCount(); ++k) {
    if (covered_[k]) continue;
    if (admitted_[k] == 0) return false;
    if (split == UINT32_MAX || admitted_[k] < admitted_[split]) split = k;
  }
  if (split == UINT32_MAX) return false;
  const std::size_t begin = order.size();
  for (std::uint32_t test : instance_.testsOf(split))
    if (!excluded_[test] && counts_[test] != 0) order.push_back(test);
  std::stable_sort(order.begin() + static_cast<std::ptrdiff_t>(begin), order.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return counts_[a] > counts_[b]; });
  return order.size() > begin;
}

std::uint32_t CoverState::lowerBound(std::uint32_t enough) {
  const std::uint32_t greedy = greedyDualBound(enough);
  if (greedy > enough) return greedy;
  return std::max(greedy, lagrangianBound(enough));
}

std::uint32_t CoverState::greedyDualBound(std::uint32_t enough) {
  // Greedy dual: each uncovered branch, fewest tests first, takes as much
  // weight as its tests can still carry (every test carries at most 1 in
  // total); the total weight bounds the number of tests from below.
  double total = 0;
  std::uint32_t bound = 0;
  for (std::size_t position = firstUncoveredPosition(); position < byTestCount_.size();
       ++position) {
    const std::uint32_t branch = byTestCount_[position];
    if (covered_[branch]) continue;
    const auto tests = instance_.testsOf(branch);
    if (admitted_[branch] == 0) {
      bound = UINT32_MAX;  // no test can cover it
      break;
    }
    double weight = 1.0;
    for (std::uint32_t test : tests)
      if (!excluded_[test]) weight = std::min(weight, residual_[test]);
    if (weight <= 1e-12) continue;
    total += weight;
    for (std::uint32_t test : tests) {
      if (excluded_[test]) continue;
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

std::uint32_t CoverState::lagrangianBound(std::uint32_t enough) {
  // L(u) = sum of u over uncovered branches + sum over tests of
  // min(0, 1 - sum of u over the uncovered branches the test reaches).
  // Every u >= 0 gives a lower bound; subgradient steps raise it.
  // The steps run on the uncovered branches only, numbered densely in branch
  // order, and on each live test's list of them: the sums add the same terms
  // in the same order as over the whole lists, at a fraction of the reads.
  liveBranches_.clear();
  for (std::uint32_t k = 0; k < instance_.branchCount(); ++k)
    if (!covered_[k]) {
      denseBranch_[k] = static_cast<std::uint32_t>(liveBranches_.size());
      liveBranches_.push_back(k);
    }
  liveTestStart_.assign(1, 0);
  liveTestBranches_.clear();
  for (std::uint32_t t = 0; t < instance_.testCount(); ++t) {
    if (counts_[t] == 0 || excluded_[t]) continue;
    for (std::uint32_t k : instance_.branchesOf(t))
      if (!covered_[k]) liveTestBranches_.push_back(denseBranch_[k]);
    liveTestStart_.push_back(static_cast<std::uint32_t>(liveTestBranches_.size()));
  }
  const std::size_t liveTests = liveTestStart_.size() - 1;
  const std::size_t live = liveBranches_.size();
  liveMultipliers_.resize(live);
  subgradient_.resize(live);
  for (std::size_t i = 0; i < live; ++i) liveMultipliers_[i] = multipliers_[liveBranches_[i]];

  // The step aims at the bound sought, or at a plain upper bound on the
  // optimum when that is lower: aiming far too high only makes steps wild.
  const double target =
      std::min<double>(enough + 1.0, static_cast<double>(std::min(liveTests, live)));
  double best = 0;
  double step = 1.0;
  int sinceImproved = 0;
  // The first call starts from nothing; later ones from the multipliers the
  // last node left, which are usually close already.
  // A bound within one of its target gets more steps: it may still prune.
  int iterations = warmStarted_ ? 12 : 60;
  warmStarted_ = true;
  for (int iteration = 0; iteration < iterations; ++iteration) {
    if (iteration == 11 && iterations == 12 && target - best <= 1.0) iterations = 40;
    double value = 0;
    for (std::size_t i = 0; i < live; ++i) {
      value += liveMultipliers_[i];
      subgradient_[i] = 1.0;
    }
    for (std::size_t t = 0; t < liveTests; ++t) {
      const std::uint32_t *first = liveTestBranches_.data() + liveTestStart_[t];
      const std::uint32_t *last = liveTestBranches_.data() + liveTestStart_[t + 1];
      double cost = 1.0;
      for (const std::uint32_t *i = first; i != last; ++i) cost -= liveMultipliers_[*i];
      if (cost < 0) {
        value += cost;
        for (const std::uint32_t *i = first; i != last; ++i) subgradient_[*i] -= 1.0;
      }
    }
    if (value > best + 1e-9) {
      best = value;
      sinceImproved = 0;
    } else if (++sinceImproved >= 4) {
      step /= 2;
      sinceImproved = 0;
    }
    if (std::ceil(best - 1e-6) >= target || step < 1e-3) break;
    double norm = 0;
    for (std::size_t i = 0; i < live; ++i) norm += subgradient_[i] * subgradient_[i];
    if (norm == 0) break;  // u is optimal for this node
    const double length = step * (target - value) / norm;
    for (std::size_t i = 0; i < live; ++i)
      liveMultipliers_[i] = std::max(0.0, liveMultipliers_[i] + length * subgradient_[i]);
  }
  for (std::size_t i = 0; i < live; ++i) multipliers_[liveBranches_[i]] = liveMultipliers_[i];
  return static_cast<std::uint32_t>(std::max(0.0, std::ceil(best - 1e-6)));
}

}  // namespace zorvane::optimizer
