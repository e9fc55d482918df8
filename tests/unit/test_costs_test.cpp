#include "optimizer/test_costs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "optimizer/cost_file.h"
#include "support/recording_diagnostics.h"

using namespace zorvane;
using namespace zorvane::coverage;
using namespace zorvane::optimizer;
using zorvane::testing_support::fatalMessageOf;

namespace {

// The fatal message parsing `text` as a cost file ends with.
std::optional<std::string> fatalOf(std::string_view text, JunitNames rule = JunitNames::dotted) {
  return fatalMessageOf([&] { parseCosts(text, "costs.xml", rule); });
}

}  // namespace

TEST(CostFile, SecondsBecomeWholeMicroseconds) {
  EXPECT_EQ(microsecondsOf("0.014"), 14000u);
  EXPECT_EQ(microsecondsOf(" 2 "), 2000000u);
  EXPECT_EQ(microsecondsOf("1.5e-3"), 1500u);
  EXPECT_EQ(microsecondsOf(".0000004"), 0u);
  EXPECT_EQ(microsecondsOf("0.0000006"), 1u);
  EXPECT_EQ(microsecondsOf("1000000"), 1000000000000u);
  for (const char *bad : {"", "-0.5", "+1", "1,5", "abc", "1s", "inf", "nan", "0x10", "1000001"})
    EXPECT_EQ(microsecondsOf(bad), std::nullopt) << bad;
}

TEST(CostFile, APlainTableSplitsAtTheLastTab) {
  const CostTable costs =
      parseCosts("\xEF\xBB\xBF# comment\nfirst\t0.5\r\n\nname\twith tab\t2\nfirst\t0.25\n",
                 "costs.txt", JunitNames::dotted);
  EXPECT_EQ(costs, (CostTable{{"first", 250000}, {"name\twith tab", 2000000}}));
  EXPECT_EQ(fatalOf("a\t1\nb\t-1\n"), "Zorvane -  fatal: Bad cost \"-1\" in costs.xml at line 2\n");
  EXPECT_EQ(fatalOf("no tab here\n"),
            "Zorvane -  fatal: Bad cost \"no tab here\" in costs.xml at line 1\n");
}

TEST(CostFile, AJunitReportNamesTestsByTheRuleChosen) {
  const std::string report =
      "<?xml version=\"1.0\"?>\n"
      "<testsuites>\n"
      "  <testsuite name=\"outer\">\n"
      "    <testsuite name=\"inner\">\n"
      "      <testcase name=\"Adds\" classname=\"Calc\" time=\"0.014\"/>\n"
      "    </testsuite>\n"
      "    <testcase name=\"alone\" time=\"3\"><failure message=\"x\"/></testcase>\n"
      "    <testcase name=\"untimed\" classname=\"Calc\"/>\n"
      "  </testsuite>\n"
      "</testsuites>\n";
  EXPECT_EQ(parseCosts(report, "r.xml", JunitNames::dotted),
            (CostTable{{"Calc.Adds", 14000}, {"alone", 3000000}}));
  EXPECT_EQ(parseCosts(report, "r.xml", JunitNames::name),
            (CostTable{{"Adds", 14000}, {"alone", 3000000}}));
  // Blanks may come first where there is no XML declaration.
  EXPECT_EQ(parseCosts("\n " + report.substr(report.find('\n') + 1), "r.xml", JunitNames::colons),
            (CostTable{{"Calc::Adds", 14000}, {"alone", 3000000}}));
}

TEST(CostFile, BadTimesAndBrokenReportsAreFatal) {
  EXPECT_EQ(fatalOf("<testsuite>\n<testcase name=\"a\" time=\"-0.1\"/>\n</testsuite>\n"),
            "Zorvane -  fatal: Bad cost \"-0.1\" in costs.xml at line 2\n");
  const std::string broken =
      *fatalOf("<testsuite>\n<testcase name=\"a\" time=\"1\">\n</testsuite>\n");
  EXPECT_TRUE(
      broken.starts_with("Zorvane -  fatal: Unable to read the costs in costs.xml at line 3: "))
      << broken;
}

TEST(CostFile, NameRules) {
  EXPECT_EQ(junitNamesFrom("dotted"), JunitNames::dotted);
  EXPECT_EQ(junitNamesFrom("name"), JunitNames::name);
  EXPECT_EQ(junitNamesFrom("colons"), JunitNames::colons);
  EXPECT_EQ(junitNamesFrom("Dotted"), std::nullopt);
  EXPECT_EQ(junitNamesFrom(""), std::nullopt);
}

TEST(TestCosts, NamesAndDurationsAsTheCoverageFilesHoldThem) {
  EXPECT_EQ(costName("\"Calc.Adds\"\n"), "Calc.Adds");
  EXPECT_EQ(costName("plain\r\n"), "plain");
  EXPECT_EQ(costName("\"open"), "\"open");
  EXPECT_EQ(recordedDuration("passed in 0.062 s\n"), 62000u);
  EXPECT_EQ(recordedDuration("failed (exit status 1) in 2.500 s"), 2500000u);
  EXPECT_EQ(recordedDuration("failed (signal 9) in 0.001 s"), 1000u);
  EXPECT_EQ(recordedDuration("failed (timed out) in 10.000 s"), 10000000u);
  for (const char *other : {"passed", "passed in s", "passed in -1 s", "about 2 s", "passed in 1"})
    EXPECT_EQ(recordedDuration(other), std::nullopt) << other;
}

TEST(TestCosts, TestsWithoutCostTakeTheMedianOfTheOthers) {
  TestRegistry registry;
  const std::vector<std::pair<std::string, std::string>> tests = {
      {"\"a\"\n", "passed in 0.010 s"},
      {"\"b\"\n", "passed in 0.030 s"},
      {"\"c\"\n", "no duration here"},
      {"\"d\"\n", "failed (signal 6) in 5.000 s"},
      {"\"e\"\n", ""}};
  std::uint32_t sequence = 0;
  for (const auto &[name, description] : tests) {
    const TestNumber test = registry.newTest(0, name, ++sequence);
    if (!description.empty()) registry.setDescription(test, description);
    registry.finishTest(test, 1);
  }
  TestCosts fromDurations = assignTestCosts(registry, nullptr);
  EXPECT_EQ(fromDurations.costs,
            (std::vector<std::uint64_t>{0, 10000, 30000, 30000, 5000000, 30000}));
  EXPECT_EQ(fromDurations.missing, 2u);
  EXPECT_EQ(fromDurations.fallback, 30000u);

  const CostTable table{{"a", 4}, {"e", 2}};
  const TestCosts fromTable = assignTestCosts(registry, &table);
  // The lower of the two middle costs.
  EXPECT_EQ(fromTable.costs, (std::vector<std::uint64_t>{0, 4, 2, 2, 2, 2}));
  EXPECT_EQ(fromTable.missing, 3u);
  const CostTable none;
  EXPECT_EQ(assignTestCosts(registry, &none).fallback, 1000000u);
}

TEST(TestCosts, SecondsKeepWhatTheMicrosecondsSay) {
  EXPECT_EQ(formatSeconds(0), "0.000");
  EXPECT_EQ(formatSeconds(14000), "0.014");
  EXPECT_EQ(formatSeconds(1234), "0.001234");
  EXPECT_EQ(formatSeconds(12000000), "12.000");
  EXPECT_EQ(formatSeconds(3600500000), "3600.500");
}
