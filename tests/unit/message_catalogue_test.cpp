#include "base/message_catalogue.h"

#include <gtest/gtest.h>

#include "shell/reporter.h"

using namespace zorvane;
using namespace zorvane::shell;

TEST(SubstituteMarkers, FillsMarkersInAscendingOrderSkippingNullArguments) {
  EXPECT_EQ(substituteMarkers("%2 then %1", "a", "b", {}), "b then a");
  EXPECT_EQ(substituteMarkers("Need tst %1:%2 %3\n", std::nullopt, "7", "p"), "Need tst 7:p %3\n");
  EXPECT_EQ(substituteMarkers("%1-%1", "x", {}, {}), "x-x");
}

TEST(SubstituteMarkers, KeepsMarkersWithoutArgumentAndExtraArgumentsAreUnused) {
  EXPECT_EQ(substituteMarkers("%1 and %3", "a", {}, {}), "a and %3");
  EXPECT_EQ(substituteMarkers("only %1", "a", "b", "c"), "only a");
  EXPECT_EQ(substituteMarkers("none", "a", {}, {}), "none");
}

TEST(SubstituteMarkers, NeverRescansArgumentText) {
  // A path holding "%1" is printed as it is, and the name takes %3's place.
  EXPECT_EQ(substituteMarkers("Need tst %1:%2 %3\n", "4", "r%1.tio", "name"),
            "Need tst 4:r%1.tio name\n");
  EXPECT_EQ(substituteMarkers("%1 %2", "%2", "b", {}), "%2 b");
}

TEST(SubstituteMarkers, PercentSignsThatAreNotMarkersStayLiteral) {
  EXPECT_EQ(substituteMarkers("100% of %1%", "x", {}, {}), "100% of x%");
  EXPECT_EQ(substituteMarkers("%%1", "x", {}, {}), "%x");
}

TEST(SubstituteMarkers, EmptyArgumentCountsAsPresent) {
  EXPECT_EQ(substituteMarkers("[%1][%2]", "", "b", {}), "[][b]");
}

TEST(SubstituteMarkers, KeepsBytesThatAreNotValidText) {
  const std::string name("\xE9t\xFF\n", 4);
  EXPECT_EQ(substituteMarkers("<%1>", name, {}, {}), "<" + name + ">");
}

TEST(ComposeMessage, PrefixAndSeverityWordForSeverities0To3) {
  EXPECT_EQ(composeMessage(Message::UnableToOpen, "a.tio"),
            "Zorvane -  warning: Unable to open the file a.tio\n");
  EXPECT_EQ(composeMessage(Message::TestsNeeded, "#", "3"),
            "Zorvane -  info: # 3 tests are needed\n");
  EXPECT_EQ(composeMessage(Message::MemoryOverflow), "Zorvane -  fatal: Memory overflow\n");
}

TEST(ComposeMessage, PlainMessagesHaveNoPrefix) {
  EXPECT_EQ(composeMessage(Message::Analysing, "a.tio"), "Analysing a.tio\n");
  EXPECT_EQ(composeMessage(Message::CovItemsTitle), "CovItems:\n");
}

TEST(ComposeMessage, UnexpectedErrorHasNoLineEnd) {
  EXPECT_EQ(composeMessage(Message::UnexpectedError), "Zorvane -  fatal: (unexpected error)");
}

TEST(Reporter, WritesEveryEntryOnTheErrorStreamAndRemembersIt) {
  Reporter reporter;
  testing::internal::CaptureStderr();
  reporter.report(Message::UselessTest, "2", "b.tio", "t\n");
  reporter.report(Message::OptionRequiresValue);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Useless tst 2:b.tio t\n\nZorvane -  fatal: option require value\n");
  EXPECT_TRUE(reporter.wasReported(Message::UselessTest));
  EXPECT_FALSE(reporter.wasReported(Message::UnableToOpen));
}

TEST(UntranslatedMessage, GivesThePiecesOfTheSourceLine) {
  const UntranslatedMessage fatal = untranslatedMessage(Message::MemoryOverflow);
  EXPECT_EQ(std::string(fatal.prefix) + " " + std::string(fatal.severityWord) + " " +
                std::string(fatal.text),
            composeMessage(Message::MemoryOverflow));
  EXPECT_EQ(untranslatedMessage(Message::Analysing).prefix, "");
}

TEST(EscapeControlBytes, ShowsControlBytesButKeepsTabsFinalLineEndsAndHighBytes) {
  EXPECT_EQ(escapeControlBytes("\x1b]0;title\x07 a\tb\r\n"), "\\x1b]0;title\\x07 a\tb\\x0d\n");
  EXPECT_EQ(escapeControlBytes("one\ntwo\x7f"), "one\\x0atwo\\x7f");
  EXPECT_EQ(escapeControlBytes("caf\xc3\xa9 \x9b"), "caf\xc3\xa9 \x9b");
  EXPECT_EQ(escapeControlBytes(std::string_view("a\0b", 3)), "a\\x00b");
}

TEST(ComposeMessage, KeepsBytesAbove0x7FOfTheArgumentsWhole) {
  EXPECT_EQ(composeMessage(Message::NeedTest, "3", "r\xe9sultats.tio", "\"caf\xc3\xa9_1\"\n"),
            "Need tst 3:r\xe9sultats.tio \"caf\xc3\xa9_1\"\n\n");
}
