#include "support/reference_search.h"

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

#include "base/diagnostics.h"
#include "optimizer/table_instance.h"

namespace zorvane::testing_support {

using namespace coverage;
using namespace optimizer;

using coverage::CoverageTable;
using coverage::TestNumber;
using coverage::TestRecord;
using coverage::TestRegistry;

// The plain branch and bound: every level copies the counts it is given and
// walks the whole table to apply a candidate. Kept as the yardstick of the
// fast search.
namespace {

class BranchAndBound {
 public:
  BranchAndBound(const CoverInstance &instance, std::vector<BranchOrigin> origins,
                 const TestRegistry &registry, const RunSettings &settings, SelectionStack &stack,
                 SearchLimits limits, Diagnostics &diagnostics)
      : instance_(instance),
        diagnostics_(diagnostics),
        origins_(std::move(origins)),
        registry_(registry),
        settings_(settings),
        stack_(stack),
        outcome_{initialBestDepth(registry), initialFileCount(settings)},
        countFiles_(settings.countFiles),
        limits_(limits),
        start_(std::chrono::steady_clock::now()) {}

  SearchOutcome run() {
    Counts coverCounts;
    for (std::uint32_t k = 0; k < instance_.branchCount(); ++k) {
      coverCounts.push_back(static_cast<std::uint32_t>(instance_.testsOf(k).size()));
      maxTestsPerBranch_ = std::max(maxTestsPerBranch_, coverCounts.back());
    }
    const auto testCounts = registry_.entryCounts();
    search(coverCounts, instance_.branchCount(), Counts(testCounts.begin(), testCounts.end()), 0);
    return outcome_;
  }

 private:
  using Counts = std::vector<std::uint32_t>;

  // Whether a cover found at `depth` may still be accepted.
  bool withinAllowance(std::uint32_t depth) const {
    return std::int64_t{depth} <= std::int64_t{outcome_.bestDepth} + settings_.allowance;
  }

  void search(const Counts &coverCounts, std::int64_t remaining, const Counts &testCounts,
              std::uint32_t depth) {
    // Split on the first of the uncovered branches with the fewest tests that
    // offers the test reaching the most uncovered entries.
    std::uint32_t bound = maxTestsPerBranch_ + 1;
    std::uint32_t bestCount = 0;
    TestNumber candidate = 0;
    std::uint32_t splitBranch = 0;
    std::size_t position = 0;
    for (std::uint32_t k = 0; k < instance_.branchCount(); ++k) {
      const std::uint32_t n = coverCounts[k];
      if (n == 0 || n > bound) continue;
      if (n < bound) {
        bound = n;
        bestCount = 0;
      }
      const auto tests = instance_.testsOf(k);
      for (std::uint32_t j = 0; j < n; ++j)
        if (testCounts[tests[j]] > bestCount) {
          candidate = tests[j];
          bestCount = testCounts[tests[j]];
          splitBranch = k;
          position = j;
        }
    }
    if (candidate == 0) return;

    // The whole list of the candidate's branch, so that the candidate's
    // position always lies inside it.
    const auto splitTests = instance_.testsOf(splitBranch);
    std::vector<TestNumber> splitList(splitTests.begin(), splitTests.end());

    while (candidate != 0 && !outOfLimits()) {
      ++outcome_.nodes;
      std::int64_t remainingCopy = remaining;
      Counts coverCopy = coverCounts;
      Counts testCopy = testCounts;
      if (settings_.verbosity >= 2) traceCandidate(depth, candidate, testCopy[candidate]);
      stack_.pushTest(candidate);
      apply(candidate, coverCopy, testCopy, remainingCopy);
      if (testCopy[candidate] != 0) {
        diagnostics_.print(formatText("BP1 tst %u Cov %u\n", candidate, testCopy[candidate]));
        testCopy[candidate] = 0;
      }
      if (remainingCopy == 0)
        acceptOrReject(depth);
      else if (std::int64_t{depth} < std::int64_t{outcome_.bestDepth} + settings_.allowance)
        search(coverCopy, remainingCopy, testCopy, depth + 1);

      splitList[position] = 0;
      bestCount = 0;
      candidate = 0;
      for (std::size_t j = 0; j < splitList.size(); ++j)
        if (testCounts[splitList[j]] > bestCount) {
          candidate = splitList[j];
          bestCount = testCounts[candidate];
          position = j;
        }
      stack_.popTest();
    }
  }

  bool outOfLimits() {
    if (!outcome_.completed) return true;
    bool out = limits_.maxNodes && outcome_.nodes >= limits_.maxNodes;
    if (limits_.maxSeconds && (outcome_.nodes & 1023) == 0)
      out =
          out || std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count() >
                     limits_.maxSeconds;
    if (out) outcome_.completed = false;
    return out;
  }

  // Marks every uncovered branch that `candidate` reaches as covered, and
  // takes its entries off the counts of the tests listed in it.
  void apply(TestNumber candidate, Counts &coverCounts, Counts &testCounts,
             std::int64_t &remaining) const {
    for (std::uint32_t k = 0; k < instance_.branchCount(); ++k) {
      if (coverCounts[k] == 0) continue;
      const auto tests = instance_.testsOf(k);
      const auto found = std::find_if(tests.begin(), tests.end(),
                                      [&](TestNumber test) { return test >= candidate; });
      if (found == tests.end() || *found != candidate) continue;
      coverCounts[k] = 0;
      --remaining;
      for (TestNumber test : tests) {
        if (testCounts[test] != 0) {
          --testCounts[test];
        } else {
          const BranchOrigin &origin = origins_[k];
          diagnostics_.print(formatText("BP2 tst%u found in %x %x T%c %u", test,
                                        origin.group->ftKey, origin.group->dcKey,
                                        origin.group->branchKind, origin.index));
        }
      }
    }
  }

  void acceptOrReject(std::uint32_t depth) {
    if (settings_.verbosity >= 2) diagnostics_.print(formatText(">>recurs>%u complete\n", depth));
    if (!withinAllowance(depth)) return;
    const std::uint32_t files = countFiles_ ? countCoverFiles() : outcome_.bestFileCount;
    if (depth < outcome_.bestDepth) {
      outcome_.bestDepth = depth;
    } else if (files >= outcome_.bestFileCount) {
      return;
    }
    stack_.snapshotBest();
    outcome_.bestFileCount = files;
  }

  // Distinct coverage files of the tests on the stack.
  std::uint32_t countCoverFiles() {
    fileSeen_.assign(settings_.filePaths.size(), false);
    std::uint32_t files = 0;
    for (const TestNumber test : stack_.tests()) {
      const std::uint32_t file = registry_.record(test).fileIndex;
      if (!fileSeen_[file]) {
        fileSeen_[file] = true;
        ++files;
      }
    }
    return files;
  }

  void traceCandidate(std::uint32_t depth, TestNumber candidate, std::uint32_t count) const {
    const TestRecord &record = registry_.record(candidate);
    diagnostics_.print(formatText("recurs %u tst%u %u covItem file %s %s\n", depth, candidate,
                                  count, settings_.filePaths[record.fileIndex].c_str(),
                                  record.name.c_str()));
  }

  const CoverInstance &instance_;
  Diagnostics &diagnostics_;
  const std::vector<BranchOrigin> origins_;
  std::uint32_t maxTestsPerBranch_ = 0;
  const TestRegistry &registry_;
  const RunSettings &settings_;
  SelectionStack &stack_;
  SearchOutcome outcome_;
  const bool countFiles_;
  const SearchLimits limits_;
  const std::chrono::steady_clock::time_point start_;
  std::vector<bool> fileSeen_;
};

}  // namespace

SearchOutcome referenceSearchCover(CoverageTable &table, const TestRegistry &registry,
                                   const RunSettings &settings, SelectionStack &stack,
                                   Diagnostics &diagnostics, SearchLimits limits) {
  const CoverInstance instance = coverInstanceOfTable(table, registry);
  return BranchAndBound(instance, branchOriginsOfTable(table), registry, settings, stack, limits,
                        diagnostics)
      .run();
}

}  // namespace zorvane::testing_support
