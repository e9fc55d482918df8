#include "optimizer/presolve.h"

#include <gtest/gtest.h>

#include <bit>
#include <optional>
#include <random>
#include <span>
#include <tuple>
#include <vector>
#include "support/cover_instances.h"

using namespace zorvane;
using zorvane::testing_support::makeInstance;
using namespace zorvane::optimizer;

namespace {

using Branches = std::vector<std::vector<std::uint32_t>>;

// What a cover is worth, best first: cost, then files, then tests.
using Worth = std::tuple<std::uint64_t, std::uint32_t, std::uint32_t>;

struct Weights {
  std::vector<std::uint64_t> costs;
  std::vector<std::uint32_t> fileOfTest;
};

Worth worthOf(std::uint32_t mask, const Weights &weights) {
  std::uint64_t cost = 0;
  std::uint32_t files = 0;
  for (std::uint32_t t = 0; t < weights.costs.size(); ++t) {
    if (!((mask >> t) & 1u)) continue;
    cost += weights.costs[t];
    const std::uint32_t file = weights.fileOfTest[t];
    bool seen = false;
    for (std::uint32_t u = 0; u < t; ++u)
      seen |= ((mask >> u) & 1u) && weights.fileOfTest[u] == file;
    if (file != noFile && !seen) ++files;
  }
  return {cost, files, static_cast<std::uint32_t>(std::popcount(mask))};
}

// The best worth of each kind (cost, files, tests, and all three in that
// order) over the covers made of tests `allowed` holds.
struct Best {
  std::optional<std::uint64_t> cost;
  std::optional<std::uint32_t> files, tests;
  std::optional<Worth> worth;
  bool operator==(const Best &) const = default;
};

Best bestCovers(const Branches &branches, std::uint32_t allowed, const Weights &weights) {
  Best best;
  for (std::uint32_t mask = 0; mask < (1u << weights.costs.size()); ++mask) {
    if ((mask & ~allowed) != 0) continue;
    bool covers = true;
    for (const auto &tests : branches) {
      bool reached = false;
      for (std::uint32_t t : tests) reached |= (mask >> t) & 1u;
      covers &= reached;
    }
    if (!covers) continue;
    const Worth worth = worthOf(mask, weights);
    const auto [cost, files, tests] = worth;
    if (!best.cost || cost < *best.cost) best.cost = cost;
    if (!best.files || files < *best.files) best.files = files;
    if (!best.tests || tests < *best.tests) best.tests = tests;
    if (!best.worth || worth < *best.worth) best.worth = worth;
  }
  return best;
}

Branches randomBranches(std::mt19937 &random, std::uint32_t testCount) {
  Branches branches(std::uniform_int_distribution<std::uint32_t>(1, 10)(random));
  std::bernoulli_distribution reaches(std::uniform_real_distribution<double>(0.15, 0.6)(random));
  for (auto &tests : branches) {
    for (std::uint32_t t = 0; t < testCount; ++t)
      if (reaches(random)) tests.push_back(t);
    if (tests.empty()) tests.push_back(random() % testCount);
  }
  return branches;
}

std::uint32_t testsLeft(const Presolve &presolve, std::uint32_t testCount) {
  std::uint32_t mask = 0;
  for (std::uint32_t t = 0; t < testCount; ++t)
    if (presolve.isTestLeft(t)) mask |= 1u << t;
  return mask;
}

}  // namespace

TEST(Presolve, KeepsTheBestCoversOfRandomWeightedInstances) {
  std::mt19937 random(2024);
  for (int round = 0; round < 3000; ++round) {
    const std::uint32_t testCount = std::uniform_int_distribution<std::uint32_t>(1, 9)(random);
    const Branches branches = randomBranches(random, testCount);
    Weights weights;
    for (std::uint32_t t = 0; t < testCount; ++t) {
      weights.costs.push_back(round % 3 == 0 ? 1 : random() % 4);
      // Three files, the last one free.
      const std::uint32_t file = random() % 3;
      weights.fileOfTest.push_back(file == 2 ? noFile : file);
    }
    const CoverInstance instance = makeInstance(branches, testCount);
    Presolve presolve(instance, {.costs = weights.costs, .fileOfTest = weights.fileOfTest});
    ASSERT_TRUE(presolve.run());
    // A cover of the tests left covers every branch, the removed ones too.
    const Best whole = bestCovers(branches, ~0u, weights);
    EXPECT_EQ(bestCovers(branches, testsLeft(presolve, testCount), weights), whole)
        << "round " << round;
  }
}

TEST(Presolve, ForcedTestsAndTheRestMakeASmallestCover) {
  std::mt19937 random(77);
  for (int round = 0; round < 3000; ++round) {
    const std::uint32_t testCount = std::uniform_int_distribution<std::uint32_t>(1, 9)(random);
    const Branches branches = randomBranches(random, testCount);
    const CoverInstance instance = makeInstance(branches, testCount);
    Presolve presolve(instance, {.forceTests = true});
    ASSERT_TRUE(presolve.run());
    Branches rest;
    for (std::uint32_t k = 0; k < instance.branchCount(); ++k)
      if (presolve.isBranchLeft(k)) rest.push_back(branches[k]);
    const Weights unit{std::vector<std::uint64_t>(testCount, 1),
                       std::vector<std::uint32_t>(testCount, noFile)};
    std::uint32_t forced = 0;
    for (std::uint32_t test : presolve.forcedTests()) {
      EXPECT_FALSE(presolve.isTestLeft(test));
      forced |= 1u << test;
    }
    const auto restTests = bestCovers(rest, testsLeft(presolve, testCount), unit).tests;
    ASSERT_TRUE(restTests.has_value()) << "round " << round;
    EXPECT_EQ(std::popcount(forced) + *restTests, *bestCovers(branches, ~0u, unit).tests)
        << "round " << round;
  }
}

TEST(Presolve, RecordsEachRemovalWithItsReason) {
  // Branch 3 holds the only test of branch 0, branch 2 every test of branch
  // 1; then test 0 reaches nothing left, test 2 is test 1's equal, and test
  // 1 is the only test of branch 1.
  const Branches branches{{3}, {1, 2}, {0, 1, 2}, {2, 3}};
  const CoverInstance instance = makeInstance(branches, 4);
  Presolve presolve(instance, {.forceTests = true});
  ASSERT_TRUE(presolve.run());
  using Rule = Presolve::Rule;
  const std::vector<std::tuple<Rule, std::uint32_t, std::uint32_t>> expected{
      {Rule::dominatedBranch, 3, 0}, {Rule::dominatedBranch, 2, 1},
      {Rule::forcedTest, 3, 0},      {Rule::emptyTest, 0, Presolve::noReason},
      {Rule::dominatedTest, 2, 1},   {Rule::forcedTest, 1, 1},
  };
  std::vector<std::tuple<Rule, std::uint32_t, std::uint32_t>> got;
  for (const Presolve::Removal &removal : presolve.removals())
    got.emplace_back(removal.rule, removal.removed, removal.reason);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(presolve.forcedTests(), (std::vector<std::uint32_t>{3, 1}));
}

TEST(Presolve, OfTestsAlikeTheLowestRankStays) {
  const Branches branches{{0, 1, 2}, {0, 1, 2, 3}};
  const CoverInstance instance = makeInstance(branches, 4);
  Presolve byNumber(instance);
  ASSERT_TRUE(byNumber.run());
  EXPECT_TRUE(byNumber.isTestLeft(0));
  EXPECT_FALSE(byNumber.isTestLeft(1) || byNumber.isTestLeft(2) || byNumber.isTestLeft(3));
  const std::vector<std::uint32_t> rank{2, 0, 1, 3};
  Presolve byRank(instance, {.rank = rank});
  ASSERT_TRUE(byRank.run());
  EXPECT_TRUE(byRank.isTestLeft(1));
  EXPECT_FALSE(byRank.isTestLeft(0));
}

TEST(Presolve, ATestStandsInOnlyAtNoMoreCostAndNoMoreFiles) {
  // Test 1 reaches all that test 0 reaches, and more; test 2 is needed.
  const Branches branches{{0, 1}, {1, 2}, {2, 3}};
  const CoverInstance instance = makeInstance(branches, 4);
  auto zeroKept = [&](PresolveOptions options) {
    Presolve presolve(instance, options);
    EXPECT_TRUE(presolve.run());
    return presolve.isTestLeft(0);
  };
  const std::vector<std::uint64_t> dearer{1, 2, 1, 1}, cheaper{2, 1, 2, 2};
  EXPECT_TRUE(zeroKept({.costs = dearer}));
  EXPECT_FALSE(zeroKept({.costs = cheaper}));
  // Alone in file 0, test 0 gives its place to test 1's file; sharing it, or
  // costing no file, it stays.
  const std::vector<std::uint32_t> otherFiles{0, 1, 1, 1}, sharedZero{0, 1, 0, 0},
      freeZero{noFile, 1, 1, 1};
  EXPECT_FALSE(zeroKept({.fileOfTest = otherFiles}));
  EXPECT_TRUE(zeroKept({.fileOfTest = sharedZero}));
  EXPECT_TRUE(zeroKept({.fileOfTest = freeZero}));
}

TEST(Presolve, FailsWhenABranchHasNoTest) {
  const Branches branches{{0}, {}};
  const CoverInstance instance = makeInstance(branches, 1);
  Presolve presolve(instance, {.forceTests = true});
  EXPECT_FALSE(presolve.run());
}
