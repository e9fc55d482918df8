#include "shell/command_line.h"

#include <gtest/gtest.h>

using namespace zorvane;
using namespace zorvane::shell;

TEST(ClassifyOption, OnlyTheSecondCharacterCountsFoldedToLowerCase) {
  EXPECT_EQ(classifyOption("-V"), OptionKind::Verbose);
  EXPECT_EQ(classifyOption("-verbose"), OptionKind::Verbose);
  EXPECT_EQ(classifyOption("-d"), OptionKind::MoreVerbose);
  EXPECT_EQ(classifyOption("-T"), OptionKind::TestLevel);
  EXPECT_EQ(classifyOption("-t"), OptionKind::TestLevel);
  EXPECT_EQ(classifyOption("-F"), OptionKind::FileLevelAllowance);
  EXPECT_EQ(classifyOption("-fast"), OptionKind::FileLevelAllowance);
}

TEST(ClassifyOption, EverythingElseIsIgnored) {
  EXPECT_EQ(classifyOption("-x"), OptionKind::Ignored);
  EXPECT_EQ(classifyOption("-"), OptionKind::Ignored);
  EXPECT_EQ(classifyOption("--verbose"), OptionKind::Ignored);
  // 0x36 | 0x20 is still '6'; 'V' & ~0x20 forms are folded, others are not.
  EXPECT_EQ(classifyOption("-6"), OptionKind::Ignored);
}

TEST(ParseAllowance, TakesOnlyAWholeDecimalNumber) {
  EXPECT_EQ(parseAllowance("2"), 2);
  EXPECT_EQ(parseAllowance("007"), 7);
  // Anything else is 0, which the command line refuses.
  for (const char *text :
       {"", "abc", "2024-nightly.tio", "1e3", "3.5", "+12", "-1", " 7", "7 ", "\t7", "0x10"})
    EXPECT_EQ(parseAllowance(text), 0) << text;
}

TEST(ParseAllowance, ClampsToTheSigned32BitRange) {
  EXPECT_EQ(parseAllowance("2147483647"), 2147483647);
  EXPECT_EQ(parseAllowance("2147483648"), 2147483647);
  EXPECT_EQ(parseAllowance("99999999999999999999999"), 2147483647);
}
