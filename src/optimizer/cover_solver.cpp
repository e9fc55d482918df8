#include "optimizer/cover_solver.h"

#include <algorithm>
#include <numeric>
#include <span>
#include <vector>

#include "optimizer/cover_dfs.h"
#include "optimizer/lagrangian_cover.h"
#include "optimizer/presolve.h"

namespace zorvane::optimizer {

namespace {

constexpr std::uint32_t noCover = UINT32_MAX;

// Branch and bound for the optimum of one connected instance, at most cap.
// Returns noCover when no cover of at most `cap` tests exists; otherwise the
// size, with the tests of that cover in `cover`.
std::uint32_t solveConnected(const CoverInstance &instance, std::uint32_t cap,
                             SearchMonitor *monitor, std::vector<std::uint32_t> &cover) {
  CoverState state(instance);
  const std::uint32_t rootBound = state.lowerBound(cap);
  if (rootBound > cap) return noCover;
  // Most of a walk that starts with no cover goes into finding one of the
  // optimum size; one built from the bound's multipliers often is one, and
  // then the walk has only to prove it.
  std::vector<std::uint32_t> start = lagrangianCover(instance, state.multipliers());
  std::uint32_t incumbent = cap + 1;
  if (!start.empty() && start.size() <= cap) {
    incumbent = static_cast<std::uint32_t>(start.size());
    cover = std::move(start);
  }
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
    bool stopped() const { return incumbent <= rootBound || (monitor && monitor->interrupted()); }
  } visitor{state, monitor, rootBound, incumbent, {}, {}, {}, cover};
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

// A part as SolvedParts keeps it: the solver's answer depends on nothing
// else.
SolvedParts::Contents contentsOf(const CoverInstance &part) {
  SolvedParts::Contents contents{part.testCount()};
  for (std::uint32_t k = 0; k < part.branchCount(); ++k) {
    const auto tests = part.testsOf(k);
    contents.push_back(static_cast<std::uint32_t>(tests.size()));
    contents.insert(contents.end(), tests.begin(), tests.end());
  }
  return contents;
}

// solveConnected, answered from `solved` when it knows the part already.
std::uint32_t solvePart(const CoverInstance &part, std::uint32_t cap, SearchMonitor *monitor,
                        SolvedParts *solved, std::vector<std::uint32_t> &cover) {
  if (!solved) return solveConnected(part, cap, monitor, cover);
  SolvedParts::Contents contents = contentsOf(part);
  if (const SolvedParts::Answer *known = solved->find(contents)) {
    if (known->optimum) {
      if (*known->optimum > cap) return noCover;
      cover = known->cover;
      return *known->optimum;
    }
    if (known->noneUpTo >= cap) return noCover;
  }
  const std::uint32_t size = solveConnected(part, cap, monitor, cover);
  if (monitor && monitor->interrupted()) return size;
  if (size == noCover)
    solved->keepNone(std::move(contents), cap);
  else
    solved->keepOptimum(std::move(contents), size, cover);
  return size;
}

std::uint32_t findRoot(std::vector<std::uint32_t> &parent, std::uint32_t x) {
  while (parent[x] != x) x = parent[x] = parent[parent[x]];
  return x;
}

}  // namespace

std::optional<std::uint32_t> minimumCoverSize(const CoverInstance &instance, std::uint32_t cap,
                                              SearchMonitor *monitor,
                                              std::vector<std::uint32_t> *cover,
                                              SolvedParts *solved) {
  Presolve presolve(instance, {.forceTests = true});
  if (!presolve.run()) return std::nullopt;
  const std::vector<std::uint32_t> forced = presolve.forcedTests();
  std::uint32_t total = static_cast<std::uint32_t>(forced.size());
  if (total > cap) return std::nullopt;
  if (cover) *cover = forced;

  // Connected parts: branches joined by the tests they share.
  const std::uint32_t branchCount = instance.branchCount();
  std::vector<std::uint32_t> parent(branchCount);
  std::iota(parent.begin(), parent.end(), 0u);
  for (std::uint32_t t = 0; t < instance.testCount(); ++t) {
    if (!presolve.isTestLeft(t)) continue;
    std::uint32_t first = noCover;
    for (std::uint32_t k : instance.branchesOf(t)) {
      if (!presolve.isBranchLeft(k)) continue;
      if (first == noCover)
        first = findRoot(parent, k);
      else
        parent[findRoot(parent, k)] = first = findRoot(parent, first);
    }
  }
  std::vector<std::vector<std::uint32_t>> parts;
  std::vector<std::uint32_t> partOfRoot(branchCount, noCover);
  for (std::uint32_t k = 0; k < branchCount; ++k) {
    if (!presolve.isBranchLeft(k)) continue;
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
  for (std::uint32_t t = 0; t < instance.testCount(); ++t) aliveTest[t] = presolve.isTestLeft(t);
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
        solvePart(instances[i], cap - total - boundsLeft, monitor, solved, partCover);
    if (size == noCover) return std::nullopt;
    total += size;
    if (cover)
      for (std::uint32_t test : partCover) cover->push_back(originalTests[i][test]);
  }
  return total;
}

std::optional<std::uint32_t> minimumRemainingCoverSize(const CoverState &state, std::uint32_t cap,
                                                       SearchMonitor *monitor,
                                                       std::vector<std::uint32_t> *cover,
                                                       SolvedParts *solved) {
  const CoverInstance &instance = state.instance();
  std::vector<std::uint32_t> uncovered;
  for (std::uint32_t k = 0; k < instance.branchCount(); ++k)
    if (!state.isCovered(k)) uncovered.push_back(k);
  const std::vector<std::uint8_t> everyTest(instance.testCount(), 1);
  std::vector<std::uint32_t> newId(instance.testCount(), noCover);
  std::vector<std::uint32_t> tests;
  const CoverInstance remaining = subInstance(instance, uncovered, everyTest, newId, tests);
  const std::optional<std::uint32_t> size =
      minimumCoverSize(remaining, cap, monitor, cover, solved);
  if (size && cover)
    for (std::uint32_t &test : *cover) test = tests[test];
  return size;
}

}  // namespace zorvane::optimizer
