#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "optimizer/cover_instance.h"

namespace zorvane::optimizer {

// The file of a test that costs no file (its file is free, or files do not
// count).
inline constexpr std::uint32_t noFile = UINT32_MAX;

// What tells tests apart besides the branches they reach.
struct PresolveOptions {
  // Whether a branch left with one test forces it into the cover. The exact
  // size solver asks for it; the integer programs leave it to their solver.
  bool forceTests = false;
  // By test; empty when every test costs the same.
  std::span<const std::uint64_t> costs{};
  // By test: the file a test adds to a cover, or noFile; empty when files
  // do not count.
  std::span<const std::uint32_t> fileOfTest{};
  // By test: of two tests alike in every respect, the one of lower rank
  // stays; empty when the test number decides.
  std::span<const std::uint32_t> rank{};
};

// Shrinks a set-cover instance without losing a best cover (fewest tests,
// least cost, fewest files), applying three rules until none applies:
// - dominated branch: a branch whose tests all reach another branch too is
//   covered whenever that one is;
// - forced test (when asked for): the only test left of a branch is in
//   every cover; it is taken, with the branches it reaches;
// - dominated test: a test whose branches another test all reaches, when
//   that other test costs no more (in cost, and in files: its file is
//   free or the same, or the test is alone in its file, whose place the
//   other's file then takes), is never needed; a test that reaches no branch
//   left neither.
// Every removal is recorded, in order, with what justified it: a cover of
// what is left, with the forced tests, covers the whole instance.
class Presolve {
 public:
  enum class Rule : std::uint8_t { dominatedBranch, forcedTest, dominatedTest, emptyTest };
  // `reason` is the branch that implies the removed branch, the branch that
  // forced the removed test, or the test that stands in for the removed
  // one; noReason for an empty test.
  struct Removal {
    Rule rule;
    std::uint32_t removed;
    std::uint32_t reason;
  };
  static constexpr std::uint32_t noReason = UINT32_MAX;

  Presolve(const CoverInstance &instance, PresolveOptions options = {});

  // Returns false when some branch has no test, so that no cover exists.
  bool run();

  bool isTestLeft(std::uint32_t test) const { return testLeft_[test] != 0; }
  bool isBranchLeft(std::uint32_t branch) const { return branchLeft_[branch] != 0; }
  // The postsolve stack.
  const std::vector<Removal> &removals() const { return removals_; }
  // The forced tests, in the order they were taken.
  std::vector<std::uint32_t> forcedTests() const;

 private:
  bool removeDominatedBranches();
  bool forceTests();
  bool removeDominatedTests();
  std::uint32_t distinctTests(std::uint32_t branch) const;
  void force(std::uint32_t test, std::uint32_t branch);
  void removeBranch(std::uint32_t branch);
  void removeTest(std::uint32_t test);
  std::uint32_t standInFor(std::uint32_t test) const;
  bool costsNoMore(std::uint32_t test, std::uint32_t than) const;
  bool removeBranchesImpliedBy(std::uint32_t branch);

  const CoverInstance &instance_;
  const PresolveOptions options_;
  std::vector<std::uint8_t> testLeft_;
  std::vector<std::uint8_t> branchLeft_;
  // Branches left of each test, tests left of each branch (distinct).
  std::vector<std::uint32_t> testDegree_;
  std::vector<std::uint32_t> branchDegree_;
  // Tests left of each file, counted at the start of each pass over tests.
  std::vector<std::uint32_t> testsInFile_;
  std::vector<Removal> removals_;
};

}  // namespace zorvane::optimizer
