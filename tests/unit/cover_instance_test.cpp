#include "optimizer/cover_instance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <span>
#include <vector>

using namespace zorvane::optimizer;

namespace {

using Lists = std::vector<std::vector<std::uint32_t>>;

// Each test's distinct branches in ascending order, found the slow way.
Lists branchesByTest(std::uint32_t testCount, const Lists &branchTests) {
  Lists branches(testCount);
  for (std::uint32_t k = 0; k < branchTests.size(); ++k)
    for (const std::uint32_t test : branchTests[k])
      if (branches[test].empty() || branches[test].back() != k) branches[test].push_back(k);
  return branches;
}

// Branches listing about `share` of the tests each, a test sometimes twice.
Lists randomLists(std::uint32_t testCount, std::uint32_t branchCount, double share,
                  std::mt19937 &random) {
  std::bernoulli_distribution reaches(share), twice(0.05);
  Lists lists(branchCount);
  for (auto &tests : lists)
    for (std::uint32_t test = 0; test < testCount; ++test)
      if (reaches(random)) {
        tests.push_back(test);
        if (twice(random)) tests.push_back(test);
      }
  return lists;
}

void expectBranchesOf(const Lists &branchTests, std::uint32_t testCount) {
  std::vector<std::span<const std::uint32_t>> spans(branchTests.begin(), branchTests.end());
  const CoverInstance instance(testCount, spans);
  const Lists expected = branchesByTest(testCount, branchTests);
  ASSERT_EQ(instance.testCount(), testCount);
  for (std::uint32_t test = 0; test < testCount; ++test) {
    const std::span<const std::uint32_t> branches = instance.branchesOf(test);
    ASSERT_EQ(std::vector(branches.begin(), branches.end()), expected[test]) << "test " << test;
  }
  for (std::uint32_t k = 0; k < branchTests.size(); ++k) {
    const std::span<const std::uint32_t> tests = instance.testsOf(k);
    EXPECT_EQ(std::vector(tests.begin(), tests.end()), branchTests[k]);
  }
}

}  // namespace

// Many tests on few branches: the tests are placed band by band.
TEST(CoverInstance, TestsOfAscendingListsFindTheirBranchesInOrder) {
  std::mt19937 random(7);
  expectBranchesOf(randomLists(5000, 30, 0.6, random), 5000);
  expectBranchesOf(randomLists(700, 3, 0.9, random), 700);
}

// Lists in any order are placed in one pass, with the same result.
TEST(CoverInstance, TestsOfUnorderedListsFindTheirBranchesInOrder) {
  std::mt19937 random(11);
  Lists lists = randomLists(3000, 20, 0.6, random);
  for (auto &tests : lists) std::ranges::shuffle(tests, random);
  expectBranchesOf(lists, 3000);
}

TEST(CoverInstance, TestsWithoutBranchesAndBranchesWithoutTests) {
  expectBranchesOf({{}, {2, 2}, {}}, 4);
  expectBranchesOf({}, 3);
  expectBranchesOf({}, 0);
}
