#include "optimizer/cover_solver.h"

#include <algorithm>
#include <numeric>
#include <span>
#include <vector>

#include "optimizer/cover_dfs.h"

namespace zorvane::optimizer {

namespace {

constexpr std::uint32_t noCover = UINT32_MAX;

// Whether the alive entries of sorted list `small` all occur in sorted list
// `large`.
template <class Alive>
bool isAliveSubset(std::span<const std::uint32_t> small, std::span<const std::uint32_t> large,
                   const Alive &alive) {
  std::size_t j = 0;
  for (std::uint32_t value : small) {
    if (!alive(value)) continue;
    while (j < large.size() && large[j] < value) ++j;
    if (j == large.size() || large[j] != value) return false;
  }
  return true;
}

// Shrinks an instance to its hard core without changing its optimum.
class Reduction {
 public:
  explicit Reduction(const CoverInstance &instance)
      : instance_(instance),
        aliveTest_(instance.testCount(), 1),
        aliveBranch_(instance.branchCount(), 1),
        testDegree_(instance.testCount(), 0),
        branchDegree_(instance.branchCount(), 0) {
    for (std::uint32_t t = 0; t < instance.testCount(); ++t)
      testDegree_[t] = static_cast<std::uint32_t>(instance.branchesOf(t).size());
    for (std::uint32_t k = 0; k < instance.branchCount(); ++k)
      branchDegree_[k] = distinctTests(k);
  }

  // Returns false when some branch has no test left (no cover exists).
  bool run() {
    for (bool changed = true; changed;) {
      changed = false;
      for (std::uint32_t k = 0; k < instance_.branchCount(); ++k) {
        if (!aliveBranch_[k]) continue;
        if (branchDegree_[k] == 0) return false;
        if (branchDegree_[k] == 1) {
          force(onlyAliveTest(k));
          changed = true;
        }
      }
      for (std::uint32_t t = 0; t < instance_.testCount(); ++t)
        if (aliveTest_[t] && (testDegree_[t] == 0 || isDominatedTest(t))) {
          killTest(t);
          changed = true;
        }
      for (std::uint32_t k = 0; k < instance_.branchCount(); ++k)
        if (aliveBranch_[k]) changed |= removeBranchesImpliedBy(k);
    }
    return true;
  }

  const std::vector<std::uint32_t> &forcedTests() const { return forced_; }
  bool aliveTest(std::uint32_t t) const { return aliveTest_[t]; }
  bool aliveBranch(std::uint32_t k) const { return aliveBranch_[k]; }

 private:
  std::uint32_t distinctTests(std::uint32_t k) const {
    std::uint32_t distinct = 0, previous = noCover;
    for (std::uint32_t t : instance_.testsOf(k))
      if (t != previous && aliveTest_[t]) {
        ++distinct;
        previous = t;
      }
    return distinct;
  }
  std::uint32_t onlyAliveTest(std::uint32_t k) const {
    for (std::uint32_t t : instance_.testsOf(k))
      if (aliveTest_[t]) return t;
    return noCover;
  }
  void force(std::uint32_t t) {
    forced_.push_back(t);
    for (std::uint32_t k : instance_.branchesOf(t))
      if (aliveBranch_[k]) killBranch(k);
    killTest(t);
  }
  void killBranch(std::uint32_t k) {
    aliveBranch_[k] = 0;
    std::uint32_t previous = noCover;
    for (std::uint32_t t : instance_.testsOf(k))
      if (t != previous) {
        previous = t;
        --testDegree_[t];
      }
  }
  void killTest(std::uint32_t t) {
    aliveTest_[t] = 0;
    for (std::uint32_t k : instance_.branchesOf(t))
      if (aliveBranch_[k]) --branchDegree_[k];
  }
  std::uint32_t rarestAliveBranch(std::uint32_t t) const {
    std::uint32_t best = noCover;
    for (std::uint32_t k : instance_.branchesOf(t))
      if (aliveBranch_[k] && (best == noCover || branchDegree_[k] < branchDegree_[best])) best = k;
    return best;
  }
  // A test whose alive branches another alive test all reaches is never
  // needed: that other test can stand in for it.
  bool isDominatedTest(std::uint32_t t) const {
    const std::uint32_t k = rarestAliveBranch(t);
    auto aliveB = [&](std::uint32_t b) { return aliveBranch_[b] != 0; };
    for (std::uint32_t u : instance_.testsOf(k)) {
      if (u == t || !aliveTest_[u] || testDegree_[u] < testDegree_[t]) continue;
      if (testDegree_[u] == testDegree_[t] && u > t) continue;
      if (isAliveSubset(instance_.branchesOf(t), instance_.branchesOf(u), aliveB)) return true;
    }
    return false;
  }
  // A branch whose tests all reach branch `k` too is covered whenever `k`
  // is, so it constrains nothing.
  bool removeBranchesImpliedBy(std::uint32_t k) {
    std::uint32_t rarest = noCover;
    for (std::uint32_t t : instance_.testsOf(k))
      if (aliveTest_[t] && (rarest == noCover || testDegree_[t] < testDegree_[rarest])) rarest = t;
    if (rarest == noCover) return false;
    auto aliveT = [&](std::uint32_t t) { return aliveTest_[t] != 0; };
    bool removed = false;
    for (std::uint32_t b : instance_.branchesOf(rarest)) {
      if (b == k || !aliveBranch_[b] || branchDegree_[b] < branchDegree_[k]) continue;
      if (branchDegree_[b] == branchDegree_[k] && b < k) continue;
      if (isAliveSubset(instance_.testsOf(k), instance_.testsOf(b), aliveT)) {
        killBranch(b);
        removed = true;
      }
    }
    return removed;
  }

  const CoverInstance &instance_;
  std::vector<std::uint8_t> aliveTest_;
  std::vector<std::uint8_t> aliveBranch_;
  std::vector<std::uint32_t> testDegree_;
  std::vector<std::uint32_t> branchDegree_;
  std::vector<std::uint32_t> forced_;
};

// Branch and bound for the optimum of one connected instance, at most cap.
// Returns noCover when no cover of at most `cap` tests exists; otherwise the
// size, with the tests of that cover in `cover`.
std::uint32_t solveConnected(const CoverInstance &instance, std::uint32_t cap,
                             SearchMonitor *monitor, std::vector<std::uint32_t> &cover) {
  CoverState state(instance);
  const std::uint32_t rootBound = state.lowerBound(cap);
  if (rootBound > cap) return noCover;
  struct Visitor {
    CoverState &state;
    SearchMonitor *monitor;
    std::uint32_t rootBound;
    std::uint32_t incumbent;  // one more than the largest size still wanted
    bool enterLevel(std::uint32_t depth) {
      if (depth == 0) return true;
      if (incumbent <= depth + 1) return false;
      const std::uint32_t allowed = incumbent - 1 - depth;
      return state.lowerBound(allowed) <= allowed;
    }
    // Once a candidate's subtree is done, every cover holding it has been
    // seen: its later siblings' subtrees need not hold it again.
    std::vector<std::uint32_t> tried;
    std::vector<std::size_t> levelStarts;
    std::vector<std::uint32_t> path;
    std::vector<std::uint32_t> &best;
    void tryCandidate(std::uint32_t depth, std::uint32_t test, std::uint32_t) {
      if (monitor) monitor->tick(0, 0);
      if (levelStarts.size() <= depth) levelStarts.push_back(tried.size());
      tried.push_back(test);
      path.push_back(test);
    }
    void leaveCandidate(std::uint32_t) {
      state.exclude(tried.back());
      path.pop_back();
    }
    void leaveLevel(std::uint32_t depth) {
      if (levelStarts.size() <= depth) return;
      for (std::size_t i = tried.size(); i > levelStarts[depth]; --i) state.readmit();
      tried.resize(levelStarts[depth]);
      levelStarts.pop_back();
    }
    void complete(std::uint32_t depth) {
      if (depth + 1 >= incumbent) return;
      incumbent = depth + 1;
      best = path;
    }
    bool stopped() const {
      return incumbent <= rootBound || (monitor && monitor->interrupted());
    }
  } visitor{state, monitor, rootBound, cap + 1, {}, {}, {}, cover};
  walkDepthFirst(state, visitor);
  if (monitor && monitor->interrupted()) return noCover;
  return visitor.incumbent <= cap ? visitor.incumbent : noCover;
}

// Builds the instance of the alive part of `instance` made of the branches
// in `branches`, with tests renumbered densely in ascending order; `tests`
// receives the original number of each new one.
CoverInstance subInstance(const CoverInstance &instance, const std::vector<std::uint32_t> &branches,
                          const std::vector<std::uint8_t> &aliveTest,
                          std::vector<std::uint32_t> &newId, std::vector<std::uint32_t> &tests) {
  tests.clear();
  for (std::uint32_t k : branches)
    for (std::uint32_t t : instance.testsOf(k))
      if (aliveTest[t] && newId[t] == noCover) {
        newId[t] = 0;
        tests.push_back(t);
      }
  std::sort(tests.begin(), tests.end());
  for (std::uint32_t i = 0; i < tests.size(); ++i) newId[tests[i]] = i;
  std::vector<std::uint32_t> flat;
  std::vector<std::size_t> starts{0};
  for (std::uint32_t k : branches) {
    std::uint32_t previous = noCover;
    for (std::uint32_t t : instance.testsOf(k))
      if (aliveTest[t] && t != previous) {
        flat.push_back(newId[t]);
        previous = t;
      }
    starts.push_back(flat.size());
  }
  std::vector<std::span<const std::uint32_t>> lists;
  for (std::size_t i = 0; i + 1 < starts.size(); ++i)
    lists.emplace_back(flat.data() + starts[i], starts[i + 1] - starts[i]);
  CoverInstance result(static_cast<std::uint32_t>(tests.size()), lists);
  for (std::uint32_t t : tests) newId[t] = noCover;
  return result;
}

std::uint32_t findRoot(std::vector<std::uint32_t> &parent, std::uint32_t x) {
  while (parent[x] != x) x = parent[x] = parent[parent[x]];
  return x;
}

}  // namespace

std::optional<std::uint32_t> minimumCoverSize(const CoverInstance &instance, std::uint32_t cap,
                                              SearchMonitor *monitor,
                                              std::vector<std::uint32_t> *cover) {
  Reduction reduction(instance);
  if (!reduction.run()) return std::nullopt;
  std::uint32_t total = static_cast<std::uint32_t>(reduction.forcedTests().size());
  if (total > cap) return std::nullopt;
  if (cover) *cover = reduction.forcedTests();

  // Connected parts: branches joined by the tests they share.
  const std::uint32_t branchCount = instance.branchCount();
  std::vector<std::uint32_t> parent(branchCount);
  std::iota(parent.begin(), parent.end(), 0u);
  for (std::uint32_t t = 0; t < instance.testCount(); ++t) {
    if (!reduction.aliveTest(t)) continue;
    std::uint32_t first = noCover;
    for (std::uint32_t k : instance.branchesOf(t)) {
      if (!reduction.aliveBranch(k)) continue;
      if (first == noCover)
        first = findRoot(parent, k);
      else
        parent[findRoot(parent, k)] = first = findRoot(parent, first);
    }
  }
  std::vector<std::vector<std::uint32_t>> parts;
  std::vector<std::uint32_t> partOfRoot(branchCount, noCover);
  for (std::uint32_t k = 0; k < branchCount; ++k) {
    if (!reduction.aliveBranch(k)) continue;
    std::uint32_t &part = partOfRoot[findRoot(parent, k)];
    if (part == noCover) {
      part = static_cast<std::uint32_t>(parts.size());
      parts.emplace_back();
    }
    parts[part].push_back(k);
  }
  std::sort(parts.begin(), parts.end(),
            [](const auto &a, const auto &b) { return a.size() < b.size(); });

  std::vector<std::uint8_t> aliveTest(instance.testCount());
  for (std::uint32_t t = 0; t < instance.testCount(); ++t) aliveTest[t] = reduction.aliveTest(t);
  std::vector<std::uint32_t> newId(instance.testCount(), noCover);
  std::vector<CoverInstance> instances;
  std::vector<std::vector<std::uint32_t>> originalTests(parts.size());
  std::vector<std::uint32_t> bounds;
  std::uint32_t boundsLeft = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    instances.push_back(subInstance(instance, parts[i], aliveTest, newId, originalTests[i]));
    CoverState state(instances.back());
    bounds.push_back(state.quickLowerBound(cap));
    boundsLeft += bounds.back();
  }
  if (total + boundsLeft > cap) return std::nullopt;
  std::vector<std::uint32_t> partCover;
  for (std::size_t i = 0; i < instances.size(); ++i) {
    boundsLeft -= bounds[i];
    const std::uint32_t size =
        solveConnected(instances[i], cap - total - boundsLeft, monitor, partCover);
    if (size == noCover) return std::nullopt;
    total += size;
    if (cover)
      for (std::uint32_t test : partCover) cover->push_back(originalTests[i][test]);
  }
  return total;
}

std::optional<std::uint32_t> minimumRemainingCoverSize(const CoverState &state, std::uint32_t cap,
                                                       SearchMonitor *monitor,
                                                       std::vector<std::uint32_t> *cover) {
  const CoverInstance &instance = state.instance();
  std::vector<std::uint32_t> uncovered;
  for (std::uint32_t k = 0; k < instance.branchCount(); ++k)
    if (!state.isCovered(k)) uncovered.push_back(k);
  const std::vector<std::uint8_t> everyTest(instance.testCount(), 1);
  std::vector<std::uint32_t> newId(instance.testCount(), noCover);
  std::vector<std::uint32_t> tests;
  const CoverInstance remaining = subInstance(instance, uncovered, everyTest, newId, tests);
  const std::optional<std::uint32_t> size = minimumCoverSize(remaining, cap, monitor, cover);
  if (size && cover)
    for (std::uint32_t &test : *cover) test = tests[test];
  return size;
}

}  // namespace zorvane::optimizer
