#include "optimizer/lagrangian_cover.h"

#include <gtest/gtest.h>

#include <random>
#include <span>
#include <vector>

#include "optimizer/cover_state.h"
#include "support/cover_instances.h"

using namespace zorvane::optimizer;
using zorvane::testing_support::makeInstance;

namespace {

// How many tests of `cover` reach each branch.
std::vector<std::uint32_t> timesReached(const CoverInstance &instance,
                                        const std::vector<std::uint32_t> &cover) {
  std::vector<std::uint32_t> times(instance.branchCount(), 0);
  for (std::uint32_t test : cover)
    for (std::uint32_t k : instance.branchesOf(test)) ++times[k];
  return times;
}

}  // namespace

TEST(LagrangianCover, CoversEveryBranchWithNoTestToSpareWhateverTheMultipliers) {
  std::mt19937 random(7);
  for (int round = 0; round < 500; ++round) {
    const std::uint32_t testCount = std::uniform_int_distribution<std::uint32_t>(1, 30)(random);
    const std::uint32_t branchCount = std::uniform_int_distribution<std::uint32_t>(1, 60)(random);
    std::bernoulli_distribution reaches(0.2);
    std::vector<std::vector<std::uint32_t>> branches(branchCount);
    for (auto &tests : branches) {
      for (std::uint32_t t = 0; t < testCount; ++t)
        if (reaches(random)) tests.push_back(t);
      if (tests.empty()) tests.push_back(random() % testCount);
    }
    const CoverInstance instance = makeInstance(branches, testCount);
    std::vector<double> multipliers(branchCount);
    for (double &u : multipliers) u = std::uniform_real_distribution<double>(0, 0.6)(random);

    const std::vector<std::uint32_t> cover = lagrangianCover(instance, multipliers);
    const std::vector<std::uint32_t> times = timesReached(instance, cover);
    for (std::uint32_t k = 0; k < branchCount; ++k) ASSERT_GT(times[k], 0u) << "round " << round;
    for (std::uint32_t test : cover) {
      bool needed = false;
      for (std::uint32_t k : instance.branchesOf(test)) needed |= times[k] == 1;
      ASSERT_TRUE(needed) << "round " << round << ": test " << test << " is redundant";
    }
  }
}

TEST(LagrangianCover, TheBoundsMultipliersLeadToTheOptimum) {
  // Tests 2 and 5 cover everything. Without multipliers each branch takes
  // its first test, and 0 and 1 then stay needed beside 5.
  const CoverInstance instance = makeInstance({{0, 2}, {4, 5}, {1, 2}, {1, 2, 3, 5}, {5}}, 6);
  EXPECT_EQ(lagrangianCover(instance, std::vector<double>(5, 0.0)).size(), 3u);
  CoverState state(instance);
  state.lowerBound(10);
  EXPECT_EQ(lagrangianCover(instance, state.multipliers()), (std::vector<std::uint32_t>{2, 5}));
}

TEST(LagrangianCover, IsEmptyWhenABranchHasNoTest) {
  const CoverInstance instance = makeInstance({{0}, {}}, 1);
  const std::vector<double> multipliers(2, 0.0);
  EXPECT_TRUE(lagrangianCover(instance, multipliers).empty());
}
