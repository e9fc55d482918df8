#include "optimizer/cheapest_cover_solver.h"

#include <glpk.h>
#include <gtest/gtest.h>

#include <new>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <tuple>
#include <vector>

using namespace zorvane;
using namespace zorvane::optimizer;

namespace {

using Branches = std::vector<std::vector<std::uint32_t>>;

// What a cover is worth, in the order of preference: new files (0 when
// files do not count), cost, tests.
using Worth = std::tuple<std::uint32_t, std::uint64_t, std::uint32_t>;

struct Instance {
  Branches branches;
  std::uint32_t testCount = 0;
  std::vector<std::uint64_t> costs;
  std::vector<std::uint32_t> fileOfTest;
  std::vector<std::uint32_t> freeFiles;
};

CoverInstance makeCoverInstance(const Instance &instance) {
  std::vector<std::span<const std::uint32_t>> lists(instance.branches.begin(),
                                                    instance.branches.end());
  return CoverInstance(instance.testCount, lists);
}

bool covers(const Instance &instance, std::uint32_t mask) {
  for (const auto &tests : instance.branches) {
    bool reached = false;
    for (std::uint32_t t : tests) reached |= t != 0 && ((mask >> t) & 1u);
    if (!reached) return false;
  }
  return true;
}

Worth worthOf(const Instance &instance, std::uint32_t mask, bool countFiles) {
  std::vector<char> seen(instance.freeFiles.size(), 0);
  std::uint32_t files = 0, tests = 0;
  std::uint64_t cost = 0;
  for (std::uint32_t t = 1; t < instance.testCount; ++t) {
    if (!((mask >> t) & 1u)) continue;
    ++tests;
    cost += instance.costs[t];
    const std::uint32_t file = instance.fileOfTest[t];
    if (countFiles && !instance.freeFiles[file] && !seen[file]) {
      seen[file] = 1;
      ++files;
    }
  }
  return {files, cost, tests};
}

// The best worth by trying every set of tests 1..testCount-1: the least
// cost first, then among covers within the allowance of it the best worth.
std::optional<Worth> bruteForce(const Instance &instance, bool countFiles,
                                std::uint64_t allowance) {
  std::optional<std::uint64_t> leastCost;
  for (std::uint32_t mask = 0; mask < (1u << instance.testCount); mask += 2)
    if (covers(instance, mask)) {
      const std::uint64_t cost = std::get<1>(worthOf(instance, mask, countFiles));
      if (!leastCost || cost < *leastCost) leastCost = cost;
    }
  if (!leastCost) return std::nullopt;
  std::optional<Worth> best;
  for (std::uint32_t mask = 0; mask < (1u << instance.testCount); mask += 2) {
    if (!covers(instance, mask)) continue;
    const Worth worth = worthOf(instance, mask, countFiles);
    if (std::get<1>(worth) > *leastCost + (countFiles ? allowance : 0)) continue;
    if (!best || worth < *best) best = worth;
  }
  return best;
}

CheapestCover solve(const Instance &instance, bool countFiles, std::uint64_t allowance) {
  const CoverInstance cover = makeCoverInstance(instance);
  const CoverState state(cover);
  const CostedCoverQuery query{state,      instance.costs, instance.fileOfTest, instance.freeFiles,
                               countFiles, allowance};
  return cheapestCover(query, nullptr);
}

std::uint32_t maskOf(const std::vector<std::uint32_t> &tests) {
  std::uint32_t mask = 0;
  for (std::uint32_t t : tests) mask |= 1u << t;
  return mask;
}

Instance randomInstance(std::mt19937 &random) {
  Instance instance;
  instance.testCount = 2 + random() % 10;
  const std::uint32_t files = 1 + random() % 4;
  const std::uint32_t branches = 1 + random() % 9;
  instance.costs.assign(instance.testCount, 0);
  instance.fileOfTest.assign(instance.testCount, 0);
  for (std::uint32_t t = 1; t < instance.testCount; ++t) {
    // Skewed: mostly cheap, some free, a few slow, many alike.
    const std::uint32_t draw = random() % 10;
    instance.costs[t] = draw < 2 ? 0 : draw < 8 ? 1 + random() % 4 : 50 + random() % 100;
    instance.fileOfTest[t] = random() % files;
  }
  instance.freeFiles.assign(files, 0);
  for (std::uint32_t f = 0; f < files; ++f) instance.freeFiles[f] = random() % 4 == 0;
  for (std::uint32_t k = 0; k < branches; ++k) {
    std::vector<std::uint32_t> tests;
    for (std::uint32_t t = 1; t < instance.testCount; ++t)
      if (random() % 3 == 0) tests.push_back(t);
    // Now and then a branch no test reaches: no cover exists.
    if (tests.empty() && random() % 4 != 0)
      tests.push_back(1 + random() % (instance.testCount - 1));
    instance.branches.push_back(tests);
  }
  return instance;
}

// A random set cover as the bench makes them, big enough for the solver to
// branch: every test reaches every branch with the same chance. Costs are
// `base` plus a few units, so that covers differ by less than a millionth.
Instance denseInstance(std::mt19937 &random, std::uint64_t base) {
  Instance instance;
  instance.testCount = 10 + random() % 4;
  const std::uint32_t files = 1 + random() % 5;
  instance.costs.assign(instance.testCount, 0);
  instance.fileOfTest.assign(instance.testCount, 0);
  for (std::uint32_t t = 1; t < instance.testCount; ++t) {
    instance.costs[t] = base + random() % 7;
    instance.fileOfTest[t] = random() % files;
  }
  instance.freeFiles.assign(files, 0);
  instance.freeFiles[0] = random() % 2;
  const std::uint32_t branches = 20 + random() % 20;
  for (std::uint32_t k = 0; k < branches; ++k) {
    std::vector<std::uint32_t> tests;
    for (std::uint32_t t = 1; t < instance.testCount; ++t)
      if (random() % 4 == 0) tests.push_back(t);
    if (tests.empty()) tests.push_back(1 + random() % (instance.testCount - 1));
    instance.branches.push_back(tests);
  }
  return instance;
}

void expectBest(const Instance &instance, bool countFiles, std::uint64_t allowance,
                const std::string &where) {
  const std::optional<Worth> expected = bruteForce(instance, countFiles, allowance);
  const CheapestCover found = solve(instance, countFiles, allowance);
  ASSERT_EQ(found.kind == CheapestCover::Kind::found, expected.has_value()) << where;
  if (!expected) return;
  EXPECT_TRUE(found.proven) << where;
  const std::uint32_t mask = maskOf(found.tests);
  ASSERT_TRUE(covers(instance, mask)) << where;
  const Worth worth = worthOf(instance, mask, countFiles);
  EXPECT_EQ(worth, *expected) << where << " files " << countFiles << " allowance " << allowance;
  EXPECT_EQ(found.cost, std::get<1>(worth)) << where;
  EXPECT_EQ(found.newFiles, std::get<0>(worth)) << where;
}

}  // namespace

TEST(CheapestCoverSolver, MatchesABruteForceOnRandomInstances) {
  std::mt19937 random(23);
  for (int round = 0; round < 600; ++round) {
    const Instance instance = randomInstance(random);
    const bool countFiles = round % 3 != 0;
    const std::uint64_t allowance = round % 4 == 0 ? random() % 60 : 0;
    expectBest(instance, countFiles, allowance, "round " + std::to_string(round));
  }
}

TEST(CheapestCoverSolver, MatchesABruteForceOnDenseCoversWithCloseCosts) {
  // Hours in microseconds, and then small: the least cost is exact to the
  // unit however large the costs, in every mode.
  std::mt19937 random(2326);
  for (int round = 0; round < 60; ++round) {
    const std::uint64_t base = round % 2 == 0 ? 3'600'000'000ull + random() % 1000 : 20;
    const Instance instance = denseInstance(random, base);
    const bool countFiles = round % 3 != 0;
    const std::uint64_t allowance = round % 4 == 1 ? random() % (base + 10) : 0;
    expectBest(instance, countFiles, allowance, "dense round " + std::to_string(round));
  }
}

TEST(CheapestCoverSolver, OneSlowTestLosesToSeveralFastOnes) {
  // Test 1 reaches everything but takes 10 units; tests 2 to 4 one each.
  Instance instance{{{1, 2}, {1, 3}, {1, 4}}, 5, {0, 10, 1, 1, 1}, {0, 0, 0, 0, 0}, {0}};
  CheapestCover found = solve(instance, false, 0);
  EXPECT_EQ(found.tests, (std::vector<std::uint32_t>{2, 3, 4}));
  EXPECT_EQ(found.cost, 3u);
  // At 3 units it ties with them, and is one test.
  instance.costs[1] = 3;
  found = solve(instance, false, 0);
  EXPECT_EQ(found.tests, (std::vector<std::uint32_t>{1}));
}

TEST(CheapestCoverSolver, TheAllowanceBuysFewerFiles) {
  // Tests 1 and 2 (files 0 and 1) cost 1 each; test 3 (file 2) reaches both
  // branches for 5.
  Instance instance{{{1, 3}, {2, 3}}, 4, {0, 1, 1, 5}, {0, 0, 1, 2}, {0, 0, 0}};
  EXPECT_EQ(solve(instance, true, 0).tests, (std::vector<std::uint32_t>{1, 2}));
  EXPECT_EQ(solve(instance, true, 2).tests, (std::vector<std::uint32_t>{1, 2}));
  const CheapestCover bought = solve(instance, true, 3);
  EXPECT_EQ(bought.tests, (std::vector<std::uint32_t>{3}));
  EXPECT_EQ(bought.newFiles, 1u);
  // Files already spanned by mandatory tests cost nothing.
  instance.freeFiles = {1, 1, 0};
  EXPECT_EQ(solve(instance, true, 3).tests, (std::vector<std::uint32_t>{1, 2}));
}

TEST(CheapestCoverSolver, NothingLeftToCoverNeedsNoTest) {
  const Instance instance{{}, 3, {0, 1, 1}, {0, 0, 0}, {0}};
  const CheapestCover found = solve(instance, true, 0);
  EXPECT_EQ(found.kind, CheapestCover::Kind::found);
  EXPECT_TRUE(found.tests.empty());
}

TEST(CheapestCoverSolver, AnInterruptedSolverStillGivesACover) {
  std::mt19937 random(5);
  Instance instance = randomInstance(random);
  while (!bruteForce(instance, true, 0)) instance = randomInstance(random);
  const CoverInstance cover = makeCoverInstance(instance);
  const CoverState state(cover);
  const CostedCoverQuery query{state, instance.costs, instance.fileOfTest, instance.freeFiles};
  // A limit that is over before the solver starts.
  const SearchMonitor monitor(1e-9);
  const CheapestCover found = cheapestCover(query, &monitor);
  ASSERT_EQ(found.kind, CheapestCover::Kind::found);
  EXPECT_FALSE(found.proven);
  EXPECT_TRUE(covers(instance, maskOf(found.tests)));
}

// GLPK running out of memory surfaces as std::bad_alloc, as any allocation
// failure does, and leaves GLPK fit for the next program.
TEST(CheapestCoverSolver, ReportsGlpkRunningOutOfMemory) {
  std::mt19937 random(11);
  Instance large;
  large.testCount = 2000;
  large.costs.resize(large.testCount);
  large.fileOfTest.resize(large.testCount);
  for (std::uint32_t test = 1; test < large.testCount; ++test) {
    large.costs[test] = 1 + random() % 1000;
    large.fileOfTest[test] = test % 50;
  }
  large.freeFiles.assign(50, 0);
  large.branches.resize(2000);
  for (auto &tests : large.branches)
    for (int i = 0; i < 40; ++i) tests.push_back(1 + random() % (large.testCount - 1));
  glp_mem_limit(1);
  EXPECT_THROW(solve(large, true, 0), std::bad_alloc);

  const Instance small{{{1, 2}, {2, 3}}, 4, {0, 5, 8, 5}, {0, 0, 0, 0}, {0}};
  const CheapestCover found = solve(small, true, 0);
  ASSERT_EQ(found.kind, CheapestCover::Kind::found);
  EXPECT_EQ(found.tests, (std::vector<std::uint32_t>{2}));
}
