#include "coverage/test_registry.h"

#include <gtest/gtest.h>

using namespace zorvane;
using namespace zorvane::coverage;

TEST(TestRegistry, NamesUnnamedTestsAfterTheirNtLine) {
  TestRegistry registry;
  EXPECT_EQ(registry.newTest(0, "\n", 3), 1u);
  EXPECT_EQ(registry.record(1).name, "#3");
  registry.finishTest(1, 1);
  registry.newTest(0, " lead\n", 4);
  EXPECT_EQ(registry.record(2).name, "#4");
  registry.finishTest(2, 1);
  registry.newTest(0, "\tx\n", 5);
  EXPECT_EQ(registry.record(3).name, "#5");
  registry.finishTest(3, 1);
  registry.newTest(0, "", 6);
  EXPECT_EQ(registry.record(4).name, "#6");
}

TEST(TestRegistry, NamesWithBytesAboveAsciiAreNeverCut) {
  // UTF-8 names: "été", unquoted and starting with such a byte, and
  // "café_1" and "café_2" quoted, which must stay two names.
  TestRegistry registry;
  registry.newTest(0, "\xC3\xA9t\xC3\xA9\n", 1);
  EXPECT_EQ(registry.record(1).name, "\xC3\xA9t\xC3\xA9\n");
  registry.finishTest(1, 1);
  registry.newTest(0, "\"caf\xC3\xA9_1\" x\n", 2);
  registry.finishTest(2, 1);
  registry.newTest(0, "\"caf\xC3\xA9_2\"\n", 3);
  EXPECT_EQ(registry.record(2).name, "\"caf\xC3\xA9_1\"");
  EXPECT_EQ(registry.record(3).name, "\"caf\xC3\xA9_2\"");
}

TEST(TestRegistry, UnquotedNamesKeepTheWholeLine) {
  TestRegistry registry;
  registry.newTest(2, "two words\r\n", 1);
  EXPECT_EQ(registry.record(1).name, "two words\r\n");
  EXPECT_EQ(registry.record(1).fileIndex, 2u);
}

TEST(TestRegistry, QuotedNamesEndAtTheClosingQuote) {
  TestRegistry registry;
  registry.newTest(0, "\"first test\" extra\n", 1);
  EXPECT_EQ(registry.record(1).name, "\"first test\"");
  registry.finishTest(1, 1);
  registry.newTest(0, "\"open\tquote\n", 2);
  EXPECT_EQ(registry.record(2).name, "\"open\tquote\n");
  registry.finishTest(2, 1);
  registry.newTest(0, "\"caf\xE9\" x\n", 3);
  EXPECT_EQ(registry.record(3).name, "\"caf\xE9\"");
}

TEST(TestRegistry, LongNamesAreKeptWhole) {
  TestRegistry registry;
  const std::string name(5000, 'n');
  registry.newTest(0, name + "\n", 1);
  EXPECT_EQ(registry.record(1).name, name + "\n");
}

TEST(TestRegistry, ADroppedTestGivesItsNumberBack) {
  TestRegistry registry;
  EXPECT_EQ(registry.newTest(0, "a\n", 1), 1u);
  registry.finishTest(1, 2);
  EXPECT_EQ(registry.newTest(0, "dropped\n", 2), 2u);
  registry.finishTest(2, 0);
  EXPECT_EQ(registry.lastTest(), 1u);
  EXPECT_EQ(registry.newTest(0, "b\n", 3), 2u);
  EXPECT_EQ(registry.record(2).name, "b\n");
  EXPECT_FALSE(registry.record(2).description.has_value());
  registry.finishTest(2, 5);
  registry.finishTest(0, 9);
  EXPECT_EQ(registry.entryCounts()[1], 2u);
  EXPECT_EQ(registry.entryCounts()[2], 5u);
}

TEST(TestRegistry, UsedEvenWhenEveryTestWasDropped) {
  TestRegistry registry;
  EXPECT_FALSE(registry.wasEverUsed());
  EXPECT_EQ(registry.endTest(), 1u);
  registry.newTest(0, "x\n", 1);
  registry.finishTest(1, 0);
  EXPECT_TRUE(registry.wasEverUsed());
  EXPECT_EQ(registry.lastTest(), 0u);
  EXPECT_EQ(registry.endTest(), 1u);
  EXPECT_EQ(registry.entryCounts()[0], 0u);
}

TEST(TestRegistry, NumbersAndCountsAreNotCutAt16Bits) {
  TestRegistry registry;
  for (std::uint32_t n = 1; n <= 70000; ++n) {
    ASSERT_EQ(registry.newTest(n % 3, "t\n", n), n);
    registry.finishTest(n, 1);
  }
  registry.newTest(0, "big\n", 1);
  registry.finishTest(70001, 100000);
  EXPECT_EQ(registry.lastTest(), 70001u);
  EXPECT_EQ(registry.endTest(), 70002u);
  EXPECT_EQ(registry.entryCounts()[70001], 100000u);
  EXPECT_EQ(registry.record(69999).fileIndex, 0u);
}
