#include "optimizer/selection_stack.h"

#include <gtest/gtest.h>

using namespace zorvane;
using namespace zorvane::coverage;
using namespace zorvane::optimizer;

TEST(SelectionStack, StorageGrowsInStepsOf5AndIsKept) {
  SelectionStack stack;
  stack.pushTest(1);
  EXPECT_EQ(stack.stackCapacity(), 5u);
  for (TestNumber test = 2; test <= 6; ++test) stack.pushTest(test);
  EXPECT_EQ(stack.stackCapacity(), 10u);
  while (stack.stackSize() > 0) stack.popTest();
  for (TestNumber test = 1; test <= 6; ++test) stack.pushTest(test);
  EXPECT_EQ(stack.stackCapacity(), 10u);
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
