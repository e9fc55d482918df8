#include "optimizer/presolve.h"

#include <algorithm>

namespace zorvane::optimizer {

namespace {

// Whether the values of sorted list `small` that `keep` holds all occur in
// sorted list `large`.
template <class Keep>
bool isSubsetOfLeft(std::span<const std::uint32_t> small, std::span<const std::uint32_t> large,
                    const Keep &keep) {
  std::size_t j = 0;
  for (std::uint32_t value : small) {
    if (!keep(value)) continue;
    while (j < large.size() && large[j] < value) ++j;
    if (j == large.size() || large[j] != value) return false;
  }
  return true;
}

}  // namespace

Presolve::Presolve(const CoverInstance &instance, PresolveOptions options)
    : instance_(instance),
      options_(options),
      testLeft_(instance.testCount(), 1),
      branchLeft_(instance.branchCount(), 1),
      testDegree_(instance.testCount(), 0),
      branchDegree_(instance.branchCount(), 0) {
  for (std::uint32_t t = 0; t < instance.testCount(); ++t)
    testDegree_[t] = static_cast<std::uint32_t>(instance.branchesOf(t).size());
  for (std::uint32_t k = 0; k < instance.branchCount(); ++k) branchDegree_[k] = distinctTests(k);
  std::uint32_t files = 0;
  for (std::uint32_t file : options.fileOfTest)
    if (file != noFile) files = std::max(files, file + 1);
  testsInFile_.resize(files);
}

bool Presolve::run() {
  for (std::uint32_t k = 0; k < instance_.branchCount(); ++k)
    if (branchDegree_[k] == 0) return false;
  for (bool changed = true; changed;) {
    changed = removeDominatedBranches();
    if (options_.forceTests) changed |= forceTests();
    changed |= removeDominatedTests();
  }
  return true;
}

std::vector<std::uint32_t> Presolve::forcedTests() const {
  std::vector<std::uint32_t> tests;
  for (const Removal &removal : removals_)
    if (removal.rule == Rule::forcedTest) tests.push_back(removal.removed);
  return tests;
}

bool Presolve::removeDominatedBranches() {
  bool removed = false;
  for (std::uint32_t k = 0; k < instance_.branchCount(); ++k)
    if (branchLeft_[k]) removed |= removeBranchesImpliedBy(k);
  return removed;
}

bool Presolve::forceTests() {
  bool forced = false;
  for (std::uint32_t k = 0; k < instance_.branchCount(); ++k) {
    if (!branchLeft_[k] || branchDegree_[k] != 1) continue;
    for (std::uint32_t t : instance_.testsOf(k))
      if (testLeft_[t]) {
        force(t, k);
        break;
      }
    forced = true;
  }
  return forced;
}

bool Presolve::removeDominatedTests() {
  if (!testsInFile_.empty()) {
    std::fill(testsInFile_.begin(), testsInFile_.end(), 0);
    for (std::uint32_t t = 0; t < instance_.testCount(); ++t)
      if (testLeft_[t] && options_.fileOfTest[t] != noFile) ++testsInFile_[options_.fileOfTest[t]];
  }
  bool removed = false;
  for (std::uint32_t t = 0; t < instance_.testCount(); ++t) {
    if (!testLeft_[t]) continue;
    if (testDegree_[t] == 0) {
      removeTest(t);
      removals_.push_back({Rule::emptyTest, t, noReason});
      removed = true;
    } else if (const std::uint32_t other = standInFor(t); other != noReason) {
      removeTest(t);
      removals_.push_back({Rule::dominatedTest, t, other});
      removed = true;
    }
  }
  return removed;
}

std::uint32_t Presolve::distinctTests(std::uint32_t k) const {
  std::uint32_t distinct = 0, previous = noReason;
  for (std::uint32_t t : instance_.testsOf(k))
    if (t != previous && testLeft_[t]) {
      ++distinct;
      previous = t;
    }
  return distinct;
}

void Presolve::force(std::uint32_t test, std::uint32_t branch) {
  removals_.push_back({Rule::forcedTest, test, branch});
  for (std::uint32_t k : instance_.branchesOf(test))
    if (branchLeft_[k]) removeBranch(k);
  removeTest(test);
}

void Presolve::removeBranch(std::uint32_t k) {
  branchLeft_[k] = 0;
  std::uint32_t previous = noReason;
  for (std::uint32_t t : instance_.testsOf(k))
    if (t != previous) {
      previous = t;
      --testDegree_[t];
    }
}

void Presolve::removeTest(std::uint32_t t) {
  testLeft_[t] = 0;
  for (std::uint32_t k : instance_.branchesOf(t))
    if (branchLeft_[k]) --branchDegree_[k];
}

bool Presolve::costsNoMore(std::uint32_t test, std::uint32_t than) const {
  if (!options_.costs.empty() && options_.costs[test] > options_.costs[than]) return false;
  if (options_.fileOfTest.empty()) return true;
  const std::uint32_t file = options_.fileOfTest[test];
  const std::uint32_t thanFile = options_.fileOfTest[than];
  return file == noFile || file == thanFile || (thanFile != noFile && testsInFile_[thanFile] == 1);
}

// A test left that reaches every branch left of `test` and costs no more;
// of tests alike in all, the one of lowest rank stands in for the others.
std::uint32_t Presolve::standInFor(std::uint32_t t) const {
  std::uint32_t rarest = noReason;
  for (std::uint32_t k : instance_.branchesOf(t))
    if (branchLeft_[k] && (rarest == noReason || branchDegree_[k] < branchDegree_[rarest]))
      rarest = k;
  auto rank = [&](std::uint32_t test) {
    return options_.rank.empty() ? test : options_.rank[test];
  };
  auto branchLeft = [&](std::uint32_t k) { return branchLeft_[k] != 0; };
  for (std::uint32_t u : instance_.testsOf(rarest)) {
    if (u == t || !testLeft_[u] || testDegree_[u] < testDegree_[t] || !costsNoMore(u, t)) continue;
    if (testDegree_[u] == testDegree_[t] && costsNoMore(t, u) && rank(u) > rank(t)) continue;
    if (isSubsetOfLeft(instance_.branchesOf(t), instance_.branchesOf(u), branchLeft)) return u;
  }
  return noReason;
}

// Removes the branches whose tests left all reach branch `k` too; of
// branches alike, the first stays.
bool Presolve::removeBranchesImpliedBy(std::uint32_t k) {
  std::uint32_t rarest = noReason;
  for (std::uint32_t t : instance_.testsOf(k))
    if (testLeft_[t] && (rarest == noReason || testDegree_[t] < testDegree_[rarest])) rarest = t;
  if (rarest == noReason) return false;
  auto testLeft = [&](std::uint32_t t) { return testLeft_[t] != 0; };
  bool removed = false;
  for (std::uint32_t b : instance_.branchesOf(rarest)) {
    if (b == k || !branchLeft_[b] || branchDegree_[b] < branchDegree_[k]) continue;
    if (branchDegree_[b] == branchDegree_[k] && b < k) continue;
    if (isSubsetOfLeft(instance_.testsOf(k), instance_.testsOf(b), testLeft)) {
      removeBranch(b);
      removals_.push_back({Rule::dominatedBranch, b, k});
      removed = true;
    }
  }
  return removed;
}

}  // namespace zorvane::optimizer
