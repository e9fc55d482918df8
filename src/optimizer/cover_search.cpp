#include "optimizer/cover_search.h"

#include <cstdio>
#include <optional>
#include <span>
#include <vector>

#include "optimizer/cover_dfs.h"
#include "optimizer/cover_instance.h"
#include "optimizer/cover_problem.h"
#include "optimizer/cover_solver.h"
#include "optimizer/cover_state.h"
#include "optimizer/cover_witness.h"
#include "optimizer/search_monitor.h"

// The search visits its tree in the order of the plain branch and bound and
// accepts exactly the covers that one accepts, so that it ends with the same
// best snapshot; it only leaves out subtrees that provably hold no cover it
// would accept. That rests on three facts:
// - bestDepth only falls, so a subtree with no acceptable cover now has
//   none later, and skipping a subtree that accepts nothing changes nothing;
// - the first cover of the optimum size in visiting order is always reached
//   and accepted, and afterwards the state (bestDepth, bestFileCount) depends
//   on that cover alone: whatever was accepted before it no longer matters;
// - knowing the optimum size first, from an exact solver, bounds every
//   subtree tightly: before that first optimum cover only subtrees that can
//   still hold a cover of that size are visited, and after it only those
//   that can still hold one spanning fewer files.
// On the way to the first optimum cover the search keeps a witness (see
// CoverWitness): a candidate that belongs to it needs no solving, since the
// witness without it covers what the candidate leaves; neither does a
// candidate after which some test of the witness has become redundant. Only
// other candidates ask the solver, which then gives a new witness.
// With verbosity 2 every candidate is traced, so the tree is walked whole.
// Once interrupted, the walk stops at the first accepted cover: before one is
// found it goes on without pruning, which makes it a quick greedy descent.
namespace {

class SearchVisitor {
 public:
  SearchVisitor(CoverState &state, const TestRegistry &registry, const RunSettings &settings,
                SelectionStack &stack, std::optional<std::uint32_t> optimum,
                const std::vector<std::uint32_t> &witness, SearchMonitor &monitor)
      : state_(state),
        monitor_(monitor),
        registry_(registry),
        settings_(settings),
        stack_(stack),
        optimum_(optimum),
        traced_(settings.verbosity >= 2),
        countFiles_(settings.bestFileCount != 0),
        outcome_{initialBestDepth(registry), settings.bestFileCount},
        fileRefs_(settings.filePaths.size(), 0),
        fileClaims_(settings.filePaths.size(), 0),
        witness_(registry.testCount(), witness) {
    for (std::uint32_t i = 0; TestNumber test = stack.stackAt(i); ++i) addFileOf(test);
    fewestFiles_ = std::max<std::uint32_t>(distinctFiles_, 1);
  }

  bool enterLevel(std::uint32_t depth) {
    if (depth == 0) return true;
    if (!withinAllowance(depth - 1, 1)) return false;
    if (traced_ || !optimum_ || monitor_.interrupted()) return true;
    if (!foundOptimum_) {
      // Only a subtree that still holds a cover of the optimum size.
      if (*optimum_ <= depth) return false;
      const TestNumber candidate = stack_.stackAt(stack_.stackSize() - 1);
      if (witness_.contains(candidate)) {
        witness_.remove(candidate);
        return true;
      }
      if (witness_.dropRedundantMember(state_)) return true;
      const std::uint32_t allowed = *optimum_ - depth;
      if (state_.quickLowerBound(allowed) > allowed) return false;
      if (!minimumRemainingCoverSize(state_, allowed, &monitor_, &newWitness_))
        return monitor_.interrupted();
      witness_.replace(newWitness_);
      return true;
    }
    // Only a subtree that may still hold an acceptable cover on fewer files.
    if (distinctFiles_ >= outcome_.bestFileCount) return false;
    const std::int64_t allowedSigned =
        std::int64_t{*optimum_} + settings_.tstNbValue - std::int64_t{depth};
    if (allowedSigned <= 0) return false;
    const auto allowed = static_cast<std::uint32_t>(std::min<std::int64_t>(allowedSigned, UINT32_MAX - 1));
    if (state_.lowerBound(allowed) > allowed) return false;
    return distinctFiles_ + newFilesNeeded(outcome_.bestFileCount - distinctFiles_) <
           outcome_.bestFileCount;
  }

  void tryCandidate(std::uint32_t depth, TestNumber test, std::uint32_t count) {
    ++outcome_.nodes;
    monitor_.tick(stack_.bestCount(), stack_.hasSnapshot() ? outcome_.bestFileCount : 0);
    if (traced_) {
      const TestRecord &record = registry_.record(test);
      std::printf("recurs %u tst%u %u covItem file %s %s\n", depth, test, count,
                  settings_.filePaths[record.fileIndex].c_str(), record.name.c_str());
    }
    stack_.pushTest(test);
    addFileOf(test);
    witness_.mark();
  }

  void leaveCandidate(std::uint32_t) {
    witness_.undoToMark();
    const TestNumber test = stack_.popTest();
    if (--fileRefs_[registry_.record(test).fileIndex] == 0) --distinctFiles_;
  }

  void complete(std::uint32_t depth) {
    if (traced_) std::printf(">>recurs>%u complete\n", depth);
    if (optimum_ && depth + 1 == *optimum_) foundOptimum_ = true;
    if (!withinAllowance(depth, 0)) return;
    const std::uint32_t files = countFiles_ ? distinctFiles_ : outcome_.bestFileCount;
    if (depth < outcome_.bestDepth)
      outcome_.bestDepth = depth;
    else if (files >= outcome_.bestFileCount)
      return;
    stack_.snapshotBest();
    outcome_.bestFileCount = files;
  }

  void leaveLevel(std::uint32_t) {}

  bool stopped() {
    if (monitor_.interrupted()) {
      outcome_.completed = false;
      return stack_.hasSnapshot();
    }
    if (traced_ || !foundOptimum_) return false;
    return !countFiles_ || outcome_.bestFileCount <= fewestFiles_;
  }

  const SearchOutcome &outcome() const { return outcome_; }

 private:
  // Whether depth + slack stays within bestDepth plus the allowance.
  bool withinAllowance(std::uint32_t depth, std::uint32_t slack) const {
    return std::int64_t{depth} + slack <= std::int64_t{outcome_.bestDepth} + settings_.tstNbValue;
  }

  void addFileOf(TestNumber test) {
    if (fileRefs_[registry_.record(test).fileIndex]++ == 0) ++distinctFiles_;
  }

  // A lower bound on the coverage files a cover of the uncovered branches
  // adds to those on the stack: uncovered branches none of whose tests come
  // from a file already counted each need a file of their own. Stops at
  // `enough`.
  std::uint32_t newFilesNeeded(std::uint32_t enough) {
    ++claimEpoch_;
    std::uint32_t needed = 0;
    const CoverInstance &instance = state_.instance();
    for (std::uint32_t k = 0; k < instance.branchCount() && needed < enough; ++k) {
      if (state_.isCovered(k)) continue;
      bool reachable = false;
      for (TestNumber test : instance.testsOf(k)) {
        const std::uint32_t file = registry_.record(test).fileIndex;
        if (fileRefs_[file] != 0 || fileClaims_[file] == claimEpoch_) {
          reachable = true;
          break;
        }
      }
      if (reachable) continue;
      ++needed;
      for (TestNumber test : instance.testsOf(k)) fileClaims_[registry_.record(test).fileIndex] = claimEpoch_;
    }
    return needed;
  }

  CoverState &state_;
  SearchMonitor &monitor_;
  const TestRegistry &registry_;
  const RunSettings &settings_;
  SelectionStack &stack_;
  const std::optional<std::uint32_t> optimum_;
  const bool traced_;
  const bool countFiles_;
  SearchOutcome outcome_;
  bool foundOptimum_ = false;
  std::vector<std::uint32_t> fileRefs_;
  std::uint32_t distinctFiles_ = 0;
  std::uint32_t fewestFiles_ = 1;
  std::vector<std::uint64_t> fileClaims_;
  std::uint64_t claimEpoch_ = 0;
  CoverWitness witness_;
  std::vector<std::uint32_t> newWitness_;
};

CoverInstance instanceOf(const CoverProblem &problem, std::uint32_t testCount) {
  std::vector<std::span<const std::uint32_t>> lists;
  lists.reserve(problem.branches.size());
  for (const LiveBranch &branch : problem.branches) lists.push_back(branch.tests);
  return CoverInstance(testCount, lists);
}

}  // namespace

SearchOutcome searchCover(CoverageTable &table, const TestRegistry &registry,
                          const RunSettings &settings, SelectionStack &stack) {
  const CoverProblem problem = buildCoverProblem(table, registry);
  const CoverInstance instance = instanceOf(problem, registry.testCount());
  SearchMonitor monitor;
  std::optional<std::uint32_t> optimum;
  std::vector<std::uint32_t> witness;
  if (settings.verbosity < 2)
    optimum = minimumCoverSize(instance, UINT32_MAX - 1, &monitor, &witness);
  CoverState state(instance);
  SearchVisitor visitor(state, registry, settings, stack, optimum, witness, monitor);
  walkDepthFirst(state, visitor);
  return visitor.outcome();
}
