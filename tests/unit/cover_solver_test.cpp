#include "optimizer/cover_solver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <random>
#include <span>
#include <vector>
#include "support/cover_instances.h"

using namespace zorvane;
using zorvane::testing_support::makeInstance;
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

TEST(CoverSolver, AnswersTheSameFromThePartsItRemembers) {
  // Instances of two parts on tests of their own, the first of which often
  // comes again, on the first tests or on the last; the solver asks for
  // each at several caps, and for what one test leaves uncovered, with one
  // memory for everything.
  std::mt19937 random(5);
  SolvedParts solved;
  constexpr std::uint32_t partTests = 10;
  auto randomPart = [&] {
    std::vector<std::vector<std::uint32_t>> part(
        std::uniform_int_distribution<std::uint32_t>(8, 24)(random));
    std::bernoulli_distribution reaches(0.25);
    for (auto &tests : part)
      for (std::uint32_t t = 0; t < partTests; ++t)
        if (reaches(random)) tests.push_back(t);
    return part;
  };
  std::vector<std::vector<std::uint32_t>> first;
  for (int round = 0; round < 300; ++round) {
    if (first.empty() || round % 3 == 0) first = randomPart();
    const std::vector<std::vector<std::uint32_t>> second = randomPart();
    const std::uint32_t firstAt = round % 2 == 0 ? 0 : partTests;
    std::vector<std::vector<std::uint32_t>> branches;
    auto place = [&](const std::vector<std::vector<std::uint32_t>> &part, std::uint32_t at) {
      for (auto tests : part) {
        for (std::uint32_t &t : tests) t += at;
        branches.push_back(tests);
      }
    };
    place(first, firstAt);
    place(second, partTests - firstAt);
    const CoverInstance instance = makeInstance(branches, 2 * partTests);
    // The parts share no test: their optima add up.
    const std::optional<std::uint32_t> firstOptimum = bruteForce(first, partTests);
    const std::optional<std::uint32_t> secondOptimum = bruteForce(second, partTests);
    if (!firstOptimum || !secondOptimum) {
      ASSERT_FALSE(minimumCoverSize(instance, 100, nullptr, nullptr, &solved));
      continue;
    }
    const std::uint32_t expected = *firstOptimum + *secondOptimum;

    auto checkCover = [&](const std::vector<std::uint32_t> &cover) {
      ASSERT_EQ(cover.size(), expected) << "round " << round;
      for (const auto &tests : branches)
        ASSERT_TRUE(std::ranges::any_of(
            tests, [&](std::uint32_t t) { return std::ranges::find(cover, t) != cover.end(); }))
            << "round " << round;
    };
    std::vector<std::uint32_t> cover;
    // Known to need more than a cap, a part may still fit the next one up.
    ASSERT_FALSE(minimumCoverSize(instance, expected - 1, nullptr, &cover, &solved));
    ASSERT_EQ(minimumCoverSize(instance, expected, nullptr, &cover, &solved), expected);
    checkCover(cover);
    ASSERT_EQ(minimumCoverSize(instance, 100, nullptr, &cover, &solved), expected);
    checkCover(cover);
    ASSERT_FALSE(minimumCoverSize(instance, expected - 1, nullptr, &cover, &solved));

    // What the last test of the first part leaves uncovered.
    CoverState state(instance);
    state.apply(firstAt + partTests - 1);
    std::vector<std::vector<std::uint32_t>> firstLeft;
    for (std::uint32_t k = 0; k < first.size(); ++k)
      if (!state.isCovered(k)) firstLeft.push_back(first[k]);
    ASSERT_EQ(minimumRemainingCoverSize(state, 100, nullptr, &cover, &solved),
              *bruteForce(firstLeft, partTests) + *secondOptimum)
        << "round " << round;
  }
}
