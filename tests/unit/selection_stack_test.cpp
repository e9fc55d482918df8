#include "optimizer/selection_stack.h"

#include <gtest/gtest.h>

#include <vector>

using namespace zorvane::coverage;
using namespace zorvane::optimizer;

namespace {

std::vector<TestNumber> listOf(std::span<const TestNumber> tests) {
  return {tests.begin(), tests.end()};
}

}  // namespace

TEST(SelectionStack, PopsInReverseOrderOfPushesAcrossGrowth) {
  SelectionStack stack;
  for (int turn = 0; turn < 2; ++turn) {
    for (TestNumber test = 1; test <= 1000; ++test) stack.pushTest(test);
    EXPECT_EQ(stack.stackSize(), 1000u);
    EXPECT_EQ(stack.top(), 1000u);
    for (TestNumber test = 1000; test >= 1; --test) ASSERT_EQ(stack.popTest(), test);
    EXPECT_TRUE(stack.tests().empty());
  }
}

TEST(SelectionStack, TheAnswerIsTheSnapshotOrElseTheStack) {
  SelectionStack stack;
  stack.pushTest(4);
  stack.pushTest(9);
  EXPECT_EQ(stack.popTest(), 9u);
  stack.pushTest(7);
  EXPECT_EQ(listOf(stack.tests()), (std::vector<TestNumber>{4, 7}));
  EXPECT_FALSE(stack.hasSnapshot());
  EXPECT_EQ(listOf(stack.answer()), (std::vector<TestNumber>{4, 7}));
  stack.pushTest(8);
  stack.snapshotBest();
  stack.popTest();
  EXPECT_EQ(listOf(stack.answer()), (std::vector<TestNumber>{4, 7, 8}));
}

TEST(SelectionStack, EverySnapshotHoldsTheWholeStack) {
  SelectionStack stack;
  for (TestNumber test = 1; test <= 7; ++test) stack.pushTest(test);
  stack.snapshotBest();
  stack.popTest();
  stack.popTest();
  stack.snapshotBest();
  EXPECT_EQ(listOf(stack.best()), (std::vector<TestNumber>{1, 2, 3, 4, 5}));
  for (TestNumber test = 10; test <= 14; ++test) stack.pushTest(test);
  stack.snapshotBest();
  EXPECT_EQ(stack.best().size(), 10u);
  EXPECT_EQ(stack.best().back(), 14u);
}
