#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "optimizer/cover_instance.h"

namespace zorvane::optimizer {

// The state of a depth-first cover search over one instance: which branches
// are covered, how many entries each test still has in uncovered branches,
// and a trail to undo the latest applications in reverse order.
class CoverState {
 public:
  explicit CoverState(const CoverInstance &instance);

  // Covers every uncovered branch that `test` reaches, taking each such
  // branch's entries off the counts of the tests listed in it.
  void apply(std::uint32_t test);
  // Undoes the latest apply() not yet undone.
  void undo();

  // Takes `test` out of the instance until it is readmitted: it is no
  // candidate any more and the bounds treat it as absent. Exclusions nest:
  // readmit() takes back the latest one. Only an exact solver uses them, to
  // skip orders of the same set of tests.
  void exclude(std::uint32_t test);
  void readmit();

  std::uint32_t remaining() const { return remaining_; }
  std::uint32_t countOf(std::uint32_t test) const { return counts_[test]; }
  bool isCovered(std::uint32_t branch) const { return covered_[branch] != 0; }
  const CoverInstance &instance() const { return instance_; }

  // Appends to `order` the candidates of the next level in the order they
  // are tried: the split branch is the first uncovered branch, in branch
  // order, among those with the fewest tests, that offers the test with the
  // highest count (first met on ties); its tests are tried by falling count,
  // in list order on ties, repeats included, tests with count 0 never.
  // Returns false, appending nothing, when no candidate exists.
  bool appendCandidates(std::vector<std::uint32_t> &order) const;

  // A lower bound on the number of tests still needed to cover every
  // uncovered branch; stops early, returning more than `enough`, once the
  // bound exceeds `enough`. First a greedy feasible solution of the dual of
  // the linear relaxation; when that does not exceed `enough`, a Lagrangian
  // relaxation improved by subgradient steps, warm-started from the
  // multipliers of the previous call.
  std::uint32_t lowerBound(std::uint32_t enough);
  // Only the greedy dual part of lowerBound: cheaper, weaker.
  std::uint32_t quickLowerBound(std::uint32_t enough) { return greedyDualBound(enough); }
  // The Lagrangian multipliers lowerBound() reached, one per branch (those
  // of covered branches are stale).
  std::span<const double> multipliers() const { return multipliers_; }

 private:
  const CoverInstance &instance_;
  std::vector<std::uint8_t> covered_;
  std::vector<std::uint32_t> counts_;
  std::uint32_t remaining_;
  // Branches covered by each apply(), and where each apply() starts.
  std::vector<std::uint32_t> trail_;
  std::vector<std::uint32_t> marks_;
  // Branches by ascending number of tests, then ascending index.
  std::vector<std::uint32_t> byTestCount_;
  // Per number of applied tests, the first position of byTestCount_ that may
  // hold an uncovered branch: covering only grows along a path.
  mutable std::vector<std::size_t> firstUncovered_;
  std::size_t firstUncoveredPosition() const;
  // Excluded tests, in order, and per branch the tests still admitted.
  std::vector<std::uint8_t> excluded_;
  std::vector<std::uint32_t> exclusions_;
  std::vector<std::uint32_t> admitted_;
  bool appendAdmittedCandidates(std::vector<std::uint32_t> &order) const;
  std::uint32_t greedyDualBound(std::uint32_t enough);
  std::uint32_t lagrangianBound(std::uint32_t enough);

  std::vector<double> residual_;
  std::vector<std::uint32_t> touched_;
  // Lagrangian multipliers per branch, kept between calls; any non-negative
  // values give a valid bound, so stale ones only cost iterations.
  std::vector<double> multipliers_;
  bool warmStarted_ = false;
  // The last lagrangianBound's uncovered branches, their dense numbers, and
  // per live test its uncovered branches by those numbers.
  std::vector<std::uint32_t> liveBranches_;
  std::vector<std::uint32_t> denseBranch_;
  std::vector<std::uint32_t> liveTestStart_;
  std::vector<std::uint32_t> liveTestBranches_;
  std::vector<double> liveMultipliers_;
  std::vector<double> subgradient_;
};

}  // namespace zorvane::optimizer
