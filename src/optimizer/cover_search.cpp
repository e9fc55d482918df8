#include "optimizer/cover_search.h"

#include <optional>
#include <span>
#include <vector>

#include "base/diagnostics.h"
#include "optimizer/cover_dfs.h"
#include "optimizer/cover_instance.h"
#include "optimizer/cover_solver.h"
#include "optimizer/cover_state.h"
#include "optimizer/cover_witness.h"
#include "optimizer/file_cover_solver.h"
#include "optimizer/search_monitor.h"
#include "optimizer/table_instance.h"

namespace zorvane::optimizer {

using coverage::CoverageTable;
using coverage::TestNumber;
using coverage::TestRecord;
using coverage::TestRegistry;

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
// other candidates ask the solver, which then gives a new witness; it
// remembers the parts it solved, as most candidates leave the hardest part
// of the instance as it was.
// After it, when files are counted, an integer program gives the fewest
// files any acceptable cover spans, and the walk stops at the first cover
// on that many. Without an allowance such a cover always follows the first
// optimum one, so only subtrees that can still hold one are visited, each
// proven by the witness (kept on few files the same way) or by the program.
// With an allowance it may lie before, out of reach: then the walk is done
// again, visiting every subtree that can still improve on the best.
// With verbosity 2 every candidate is traced, so the tree is walked whole.
// Once interrupted, the walk stops at the first accepted cover: before one is
// found it goes on without pruning, which makes it a quick greedy descent.
namespace {

class SearchVisitor {
 public:
  SearchVisitor(CoverState &state, const TestRegistry &registry, const RunSettings &settings,
                SelectionStack &stack, std::optional<std::uint32_t> optimum,
                const std::vector<std::uint32_t> &witness, SolvedParts &solvedParts,
                SearchMonitor &monitor, Diagnostics &diagnostics, bool aimAtFewestFiles)
      : state_(state),
        solvedParts_(solvedParts),
        monitor_(monitor),
        diagnostics_(diagnostics),
        registry_(registry),
        settings_(settings),
        stack_(stack),
        optimum_(optimum),
        aimAtFewestFiles_(aimAtFewestFiles),
        traced_(settings.verbosity >= 2),
        countFiles_(settings.countFiles),
        outcome_{initialBestDepth(registry), initialFileCount(settings)},
        fileRefs_(settings.filePaths.size(), 0),
        fileOfTest_(state.instance().fileOfTest()),
        fileClaims_(settings.filePaths.size(), 0),
        witness_(registry.endTest(), witness) {
    for (const TestNumber test : stack.tests()) addFileOf(test);
    mandatoryFileRefs_ = fileRefs_;
    mandatoryFiles_ = distinctFiles_;
    fewestFiles_ = std::max<std::uint32_t>(distinctFiles_, 1);
  }

  bool enterLevel(std::uint32_t depth) {
    if (depth == 0) return true;
    if (!withinAllowance(depth - 1, 1)) return false;
    if (traced_ || !optimum_ || monitor_.interrupted()) return true;
    if (!foundOptimum_) {
      // Only a subtree that still holds a cover of the optimum size.
      if (*optimum_ <= depth) return false;
      const TestNumber candidate = stack_.top();
      if (witness_.contains(candidate)) {
        witness_.remove(candidate);
        return true;
      }
      if (witness_.dropRedundantMember(state_)) return true;
      const std::uint32_t allowed = *optimum_ - depth;
      if (state_.quickLowerBound(allowed) > allowed) return false;
      if (!minimumRemainingCoverSize(state_, allowed, &monitor_, &newWitness_, &solvedParts_))
        return monitor_.interrupted();
      witness_.replace(newWitness_);
      return true;
    }
    // Only a subtree that may still hold a cover worth accepting on few files.
    const std::uint32_t wanted = filesWanted();
    if (distinctFiles_ > wanted) return false;
    const std::int64_t allowedSigned =
        std::int64_t{*optimum_} + settings_.allowance - std::int64_t{depth};
    if (allowedSigned <= 0) return false;
    const auto allowed =
        static_cast<std::uint32_t>(std::min<std::int64_t>(allowedSigned, UINT32_MAX - 1));
    if (distinctFiles_ + newFilesNeeded(wanted - distinctFiles_ + 1) > wanted) return false;
    const TestNumber candidate = stack_.top();
    if (witness_.contains(candidate))
      witness_.remove(candidate);
    else
      witness_.dropRedundantMember(state_);
    if (witnessFits(allowed, wanted)) return true;
    if (!solverPays()) return state_.lowerBound(allowed) <= allowed;
    if (state_.quickLowerBound(allowed) > allowed) return false;
    const FileCoverAnswer answer = noteSolverAnswer(
        fewestNewFilesCover(state_, fileOfTest_, fileRefs_, allowed, wanted - distinctFiles_,
                            solverBudget, &monitor_, newWitness_));
    if (answer.kind == FileCoverAnswer::Kind::none) return false;
    if (answer.kind == FileCoverAnswer::Kind::found) witness_.replace(newWitness_);
    return true;
  }

  void tryCandidate(std::uint32_t depth, TestNumber test, std::uint32_t count) {
    ++outcome_.nodes;
    monitor_.tick(static_cast<std::uint32_t>(stack_.best().size()),
                  stack_.hasSnapshot() ? outcome_.bestFileCount : 0);
    if (traced_) {
      const TestRecord &record = registry_.record(test);
      diagnostics_.print(formatText("recurs %u tst%u %u covItem file %s %s\n", depth, test, count,
                                    settings_.filePaths[record.fileIndex].c_str(),
                                    record.name.c_str()));
    }
    stack_.pushTest(test);
    addFileOf(test);
    witness_.mark();
  }

  void leaveCandidate(std::uint32_t) {
    witness_.undoToMark();
    const TestNumber test = stack_.popTest();
    if (--fileRefs_[fileOfTest_[test]] == 0) --distinctFiles_;
  }

  void complete(std::uint32_t depth) {
    if (traced_) diagnostics_.print(formatText(">>recurs>%u complete\n", depth));
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
      outcome_.timeLimitReached = monitor_.timeLimitReached();
      return stack_.hasSnapshot();
    }
    if (traced_ || !foundOptimum_) return false;
    if (!countFiles_) return true;
    settleFewestFiles();
    return outcome_.bestFileCount <= fewestFiles_;
  }

  const SearchOutcome &outcome() const { return outcome_; }

  // Whether a walk that aimed at the fewest files possible has to be done
  // again without aiming: it did not meet a cover on that many, so the
  // covers it skipped as not good enough may have mattered after all.
  bool missedFewestFiles() const {
    return aimAtFewestFiles_ && fewestFilesExact_ && outcome_.completed &&
           outcome_.bestFileCount > fewestFiles_;
  }

 private:
  // Whether depth + slack stays within bestDepth plus the allowance.
  bool withinAllowance(std::uint32_t depth, std::uint32_t slack) const {
    return std::int64_t{depth} + slack <= std::int64_t{outcome_.bestDepth} + settings_.allowance;
  }

  void addFileOf(TestNumber test) {
    if (fileRefs_[fileOfTest_[test]]++ == 0) ++distinctFiles_;
  }

  // The most files a cover found below may span and still matter. Aiming
  // at the fewest files possible, only a cover on that many matters: the
  // first one met replaces whatever was accepted before it. Otherwise any
  // improvement on the best counts.
  std::uint32_t filesWanted() const {
    if (aimAtFewestFiles_ && fewestFilesExact_) return fewestFiles_;
    return outcome_.bestFileCount - 1;
  }

  // Once the first cover of the optimum size is accepted and its files
  // exceed the weak bound, works out the fewest files any acceptable cover
  // spans, so that the walk can stop as soon as it meets one.
  void settleFewestFiles() {
    if (fewestFilesSettled_ || outcome_.bestFileCount <= fewestFiles_) return;
    fewestFilesSettled_ = true;
    const std::int64_t allowed = std::int64_t{*optimum_} + settings_.allowance;
    if (allowed <= 0) return;
    const CoverState root(state_.instance());
    const FileCoverAnswer answer = noteSolverAnswer(fewestNewFilesCover(
        root, fileOfTest_, mandatoryFileRefs_,
        static_cast<std::uint32_t>(std::min<std::int64_t>(allowed, UINT32_MAX - 1)),
        outcome_.bestFileCount - 1 - mandatoryFiles_, solverBudget, &monitor_, newWitness_));
    if (answer.kind == FileCoverAnswer::Kind::none) {
      fewestFiles_ = outcome_.bestFileCount;
    } else if (answer.kind == FileCoverAnswer::Kind::found) {
      fewestFiles_ = std::max<std::uint32_t>(mandatoryFiles_ + answer.newFiles, 1);
      fewestFilesExact_ = true;
    }
  }

  // The integer programs of a suite are alike: when one takes the solver
  // more than its budget, the rest would too, and the walk does better
  // without it, on the counting bounds alone.
  static constexpr std::uint32_t solverBudget = 64;
  bool solverPays() const { return !solverGaveUp_; }
  FileCoverAnswer noteSolverAnswer(const FileCoverAnswer &answer) {
    if (answer.kind == FileCoverAnswer::Kind::unknown && !monitor_.interrupted())
      solverGaveUp_ = true;
    return answer;
  }

  // Whether the witness, a cover of the uncovered branches, has at most
  // `allowed` tests and leaves the cover on at most `wanted` files.
  bool witnessFits(std::uint32_t allowed, std::uint32_t wanted) {
    ++claimEpoch_;
    std::uint32_t members = 0;
    std::uint32_t files = distinctFiles_;
    witness_.forEachMember([&](std::uint32_t test) {
      ++members;
      const std::uint32_t file = fileOfTest_[test];
      if (fileRefs_[file] == 0 && fileClaims_[file] != claimEpoch_) {
        fileClaims_[file] = claimEpoch_;
        ++files;
      }
    });
    return members <= allowed && files <= wanted;
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
        const std::uint32_t file = fileOfTest_[test];
        if (fileRefs_[file] != 0 || fileClaims_[file] == claimEpoch_) {
          reachable = true;
          break;
        }
      }
      if (reachable) continue;
      ++needed;
      for (TestNumber test : instance.testsOf(k)) fileClaims_[fileOfTest_[test]] = claimEpoch_;
    }
    return needed;
  }

  CoverState &state_;
  SolvedParts &solvedParts_;
  SearchMonitor &monitor_;
  Diagnostics &diagnostics_;
  const TestRegistry &registry_;
  const RunSettings &settings_;
  SelectionStack &stack_;
  const std::optional<std::uint32_t> optimum_;
  const bool aimAtFewestFiles_;
  const bool traced_;
  const bool countFiles_;
  SearchOutcome outcome_;
  bool foundOptimum_ = false;
  std::vector<std::uint32_t> fileRefs_;
  std::uint32_t distinctFiles_ = 0;
  const std::span<const std::uint32_t> fileOfTest_;
  // The files of the mandatory tests, which every cover spans.
  std::vector<std::uint32_t> mandatoryFileRefs_;
  std::uint32_t mandatoryFiles_ = 0;
  // A lower bound on the files of any acceptable cover; exact once settled
  // by the solver.
  std::uint32_t fewestFiles_ = 1;
  bool fewestFilesSettled_ = false;
  bool fewestFilesExact_ = false;
  bool solverGaveUp_ = false;
  std::vector<std::uint64_t> fileClaims_;
  std::uint64_t claimEpoch_ = 0;
  CoverWitness witness_;
  std::vector<std::uint32_t> newWitness_;
};

}  // namespace

SearchOutcome searchCover(CoverageTable &table, const TestRegistry &registry,
                          const RunSettings &settings, SelectionStack &stack,
                          Diagnostics &diagnostics) {
  const CoverInstance instance = coverInstanceOfTable(table, registry);
  SearchMonitor monitor(settings.timeLimitSeconds, &diagnostics);
  std::optional<std::uint32_t> optimum;
  std::vector<std::uint32_t> witness;
  SolvedParts solvedParts;
  if (settings.verbosity < 2)
    optimum = minimumCoverSize(instance, UINT32_MAX - 1, &monitor, &witness, &solvedParts);
  CoverState state(instance);
  // Without an allowance every cover of the optimum size comes after the
  // first one, so one on the fewest files possible is always met. With one,
  // such a cover may lie only before it, and then the walk is done again
  // (as it would be, should the solver ever have misjudged the fewest).
  SearchVisitor aiming(state, registry, settings, stack, optimum, witness, solvedParts, monitor,
                       diagnostics, true);
  walkDepthFirst(state, aiming);
  if (!aiming.missedFewestFiles()) return aiming.outcome();
  SearchVisitor improving(state, registry, settings, stack, optimum, witness, solvedParts, monitor,
                          diagnostics, false);
  walkDepthFirst(state, improving);
  SearchOutcome outcome = improving.outcome();
  outcome.nodes += aiming.outcome().nodes;
  return outcome;
}

}  // namespace zorvane::optimizer
