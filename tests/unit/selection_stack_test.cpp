#include "optimizer/selection_stack.h"

#include <gtest/gtest.h>

TEST(SelectionStack, PopsInReverseOrderOfPushesAcrossGrowth) {
  SelectionStack stack;
  for (int turn = 0; turn < 2; ++turn) {
    for (TestNumber test = 1; test <= 1000; ++test) stack.pushTest(test);
    EXPECT_EQ(stack.stackSize(), 1000u);
    EXPECT_EQ(stack.stackAt(999), 1000u);
    for (TestNumber test = 1000; test >= 1; --test) ASSERT_EQ(stack.popTest(), test);
    EXPECT_EQ(stack.stackSize(), 0u);
    EXPECT_EQ(stack.stackAt(0), 0u);
  }
}

TEST(SelectionStack, ReadersAnswer0PastTheEnd) {
  SelectionStack stack;
  EXPECT_EQ(stack.bestAt(0), 0u);
  stack.pushTest(4);
  stack.pushTest(9);
  EXPECT_EQ(stack.popTest(), 9u);
  EXPECT_EQ(stack.stackAt(0), 4u);
  EXPECT_EQ(stack.stackAt(1), 0u);
  stack.pushTest(7);
  EXPECT_EQ(stack.stackAt(1), 7u);
}

TEST(SelectionStack, EverySnapshotHoldsTheWholeStack) {
  SelectionStack stack;
  for (TestNumber test = 1; test <= 7; ++test) stack.pushTest(test);
  stack.snapshotBest();
  stack.popTest();
  stack.popTest();
  stack.snapshotBest();
  EXPECT_EQ(stack.bestCount(), 5u);
  EXPECT_EQ(stack.bestAt(4), 5u);
  EXPECT_EQ(stack.bestAt(5), 0u);
  for (TestNumber test = 10; test <= 14; ++test) stack.pushTest(test);
  stack.snapshotBest();
  EXPECT_EQ(stack.bestCount(), 10u);
  EXPECT_EQ(stack.bestAt(9), 14u);
}
