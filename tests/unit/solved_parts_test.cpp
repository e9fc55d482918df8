#include "optimizer/solved_parts.h"

#include <gtest/gtest.h>

using namespace zorvane::optimizer;

TEST(SolvedParts, KeepsTheOptimumAndTheLargestCapWithoutCover) {
  SolvedParts solved;
  const SolvedParts::Contents part{2, 1, 0, 1, 1};
  EXPECT_EQ(solved.find(part), nullptr);
  solved.keepNone(part, 3);
  solved.keepNone(part, 1);
  ASSERT_NE(solved.find(part), nullptr);
  EXPECT_EQ(solved.find(part)->noneUpTo, 3u);
  EXPECT_FALSE(solved.find(part)->optimum);
  solved.keepOptimum(part, 5, {0, 1});
  EXPECT_EQ(solved.find(part)->optimum, 5u);
  EXPECT_EQ(solved.find(part)->cover, (std::vector<std::uint32_t>{0, 1}));
  EXPECT_EQ(solved.find(SolvedParts::Contents{2, 1, 1, 1, 0}), nullptr);
}

TEST(SolvedParts, ForgetsEverythingRatherThanGrowWithoutEnd) {
  SolvedParts solved;
  const SolvedParts::Contents small{1, 1, 0};
  solved.keepNone(small, 2);
  // Parts of three million ids each: the second one passes the limit.
  SolvedParts::Contents large(3'000'000, 7);
  solved.keepNone(large, 4);
  EXPECT_NE(solved.find(small), nullptr);
  SolvedParts::Contents larger(3'000'001, 7);
  solved.keepNone(larger, 4);
  EXPECT_EQ(solved.find(small), nullptr);
  EXPECT_EQ(solved.find(large), nullptr);
  ASSERT_NE(solved.find(larger), nullptr);
  EXPECT_EQ(solved.find(larger)->noneUpTo, 4u);
}
