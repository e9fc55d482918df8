#include "optimizer/cover_solver.h"

#include <gtest/gtest.h>

#include <bit>
#include <random>
#include <span>
#include <vector>

using namespace zorvane;
using namespace zorvane::optimizer;

namespace {

// The smallest number of tests covering every branch, by trying every
// subset of tests; tests are bits of a mask.
std::optional<std::uint32_t> bruteForce(const std::vector<std::vector<std::uint32_t>> &branches,
                                        std::uint32_t testCount) {
  std::optional<std::uint32_t> best;
  for (std::uint32_t mask = 0; mask < (1u << testCount); ++mask) {
    bool covers = true;
    for (const auto &tests : branches) {
      bool reached = false;
      for (std::uint32_t t : tests) reached |= (mask >> t) & 1u;
      covers &= reached;
    }
    const auto size = static_cast<std::uint32_t>(std::popcount(mask));
    if (covers && (!best || size < *best)) best = size;
  }
  return best;
}

CoverInstance makeInstance(const std::vector<std::vector<std::uint32_t>> &branches,
                           std::uint32_t testCount) {
  std::vector<std::span<const std::uint32_t>> lists(branches.begin(), branches.end());
  return CoverInstance(testCount, lists);
}

}  // namespace

TEST(CoverSolver, FindsTheOptimumOfRandomInstances) {
  std::mt19937 random(99);
  for (int round = 0; round < 1500; ++round) {
    const std::uint32_t testCount = std::uniform_int_distribution<std::uint32_t>(1, 12)(random);
    const std::uint32_t branchCount = std::uniform_int_distribution<std::uint32_t>(1, 18)(random);
    std::bernoulli_distribution reaches(std::uniform_real_distribution<double>(0.1, 0.6)(random));
    std::vector<std::vector<std::uint32_t>> branches(branchCount);
    for (auto &tests : branches)
      for (std::uint32_t t = 0; t < testCount; ++t)
        if (reaches(random)) tests.push_back(t);
    const std::optional<std::uint32_t> expected = bruteForce(branches, testCount);
    const CoverInstance instance = makeInstance(branches, testCount);

    std::vector<std::uint32_t> cover;
    ASSERT_EQ(minimumCoverSize(instance, 100, nullptr, &cover), expected) << "round " << round;
    if (!expected) continue;
    // The cover it gives is a cover of that size.
    ASSERT_EQ(cover.size(), *expected);
    for (const auto &tests : branches) {
      bool reached = false;
      for (std::uint32_t t : tests)
        for (std::uint32_t c : cover) reached |= t == c;
      ASSERT_TRUE(reached) << "round " << round;
    }
    // A cap below the optimum finds nothing; at the optimum, the optimum.
    if (*expected > 0) {
      ASSERT_FALSE(minimumCoverSize(instance, *expected - 1));
    }
    ASSERT_EQ(minimumCoverSize(instance, *expected), expected);
  }
}

TEST(CoverSolver, ABranchNoTestReachesHasNoCover) {
  const std::vector<std::vector<std::uint32_t>> branches{{0, 1}, {}};
  EXPECT_FALSE(minimumCoverSize(makeInstance(branches, 2), 10));
}
