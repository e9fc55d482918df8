#include "shell/long_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "coverage/test_registry.h"
#include "shell/result_lists.h"
#include "support/recording_diagnostics.h"

using namespace zorvane;
using namespace zorvane::coverage;
using namespace zorvane::shell;
using zorvane::optimizer::JunitNames;
using zorvane::testing_support::fatalMessageOf;

namespace {

class LongOptionsTest : public testing::Test {
 protected:
  LongOptions take(std::vector<std::string> arguments) {
    arguments_ = std::move(arguments);
    arguments_.insert(arguments_.begin(), "zorvane");
    argv_.clear();
    for (std::string &argument : arguments_) argv_.push_back(argument.data());
    return takeLongOptions(static_cast<int>(argv_.size()), argv_.data());
  }
  // The arguments left for the single-dash options and the files.
  static std::vector<std::string> left(const LongOptions &options) {
    return {options.arguments.begin() + 1, options.arguments.end()};
  }
  // The fatal message that taking these arguments ends with.
  std::optional<std::string> fatalOf(std::vector<std::string> arguments) {
    return fatalMessageOf([&] { take(std::move(arguments)); });
  }

  std::vector<std::string> arguments_;
  std::vector<char *> argv_;
};

using Arguments = std::vector<std::string>;

}  // namespace

TEST_F(LongOptionsTest, FileOptionsAreTakenOutAndTheRestKeepsItsOrder) {
  const LongOptions options =
      take({"-V", "a.tio", "--needed", "n.txt", "b.tio", "--useless=u.txt", "-T", "--", "c.tio"});
  EXPECT_EQ(options.request, LongOptions::Request::Run);
  EXPECT_EQ(options.neededFile, "n.txt");
  EXPECT_EQ(options.uselessFile, "u.txt");
  EXPECT_EQ(left(options), (Arguments{"-V", "a.tio", "b.tio", "-T", "c.tio"}));
  EXPECT_EQ(options.arguments.front(), std::string("zorvane"));
}

TEST_F(LongOptionsTest, TheLastFileGivenWinsAndTheEqualsFormTakesAnyName) {
  const LongOptions options = take({"--needed", "1.txt", "--needed=-odd=name", "a.tio"});
  EXPECT_EQ(options.neededFile, "-odd=name");
  EXPECT_EQ(options.uselessFile, "");
}

TEST_F(LongOptionsTest, TheValueOfFIsNeverTakenForALongOption) {
  // As before long options existed: -F reads "--needed" as its value.
  EXPECT_EQ(left(take({"-F", "--needed", "x"})), (Arguments{"-F", "--needed", "x"}));
  EXPECT_EQ(take({"-fast", "--help"}).request, LongOptions::Request::Run);
  EXPECT_EQ(left(take({"a.tio", "-F"})), (Arguments{"a.tio", "-F"}));
}

TEST_F(LongOptionsTest, HelpAndVersionEndTheScanWhereTheyStand) {
  EXPECT_EQ(take({"a.tio", "--help", "--bogus"}).request, LongOptions::Request::Help);
  EXPECT_EQ(take({"--version", "--needed"}).request, LongOptions::Request::Version);
  EXPECT_EQ(fatalOf({"--bogus", "--help"}), "Zorvane -  fatal: Unknown option --bogus\n");
}

// The end-to-end cases long-option-* show the plain forms.
TEST_F(LongOptionsTest, UnknownOptionsAndMissingFileNamesAreFatal) {
  EXPECT_EQ(fatalOf({"--help=x"}), "Zorvane -  fatal: Unknown option --help=x\n");
  EXPECT_EQ(fatalOf({"--neededx", "f"}), "Zorvane -  fatal: Unknown option --neededx\n");
  const std::string missing = "Zorvane -  fatal: Option --needed requires a file name\n";
  EXPECT_EQ(fatalOf({"--needed=", "a.tio"}), missing);
  EXPECT_EQ(fatalOf({"--needed", "", "a.tio"}), missing);
  EXPECT_EQ(fatalOf({"--useless", "--needed", "n"}),
            "Zorvane -  fatal: Option --useless requires a file name\n");
}

TEST_F(LongOptionsTest, TimeLimitTakesAPositiveNumberOfSeconds) {
  EXPECT_EQ(take({"--time-limit", "2.5", "a.tio"}).timeLimitSeconds, 2.5);
  EXPECT_EQ(take({"--time-limit=10"}).timeLimitSeconds, 10);
  EXPECT_EQ(take({"a.tio"}).timeLimitSeconds, 0);
  const std::string refused =
      "Zorvane -  fatal: Option --time-limit requires a number of seconds\n";
  for (const char *value : {"0", "0.0", ".", "-1", "1e3", "inf", "nan", "0x10", " 1", "1.2.3"})
    EXPECT_EQ(fatalOf({std::string("--time-limit=") + value}), refused) << value;
  EXPECT_EQ(fatalOf({"--time-limit", "--needed", "n"}), refused);
}

TEST_F(LongOptionsTest, CostsComeFromAFileOrTheDurationsWhicheverIsLast) {
  LongOptions options = take({"--costs", "c.xml", "a.tio"});
  EXPECT_EQ(options.costsFile, "c.xml");
  EXPECT_FALSE(options.costsFromDurations);
  EXPECT_EQ(left(options), (Arguments{"a.tio"}));
  options = take({"--costs=c.xml", "--durations"});
  EXPECT_TRUE(options.costsFile.empty());
  EXPECT_TRUE(options.costsFromDurations);
  options = take({"--durations", "--costs", "c.txt"});
  EXPECT_EQ(options.costsFile, "c.txt");
  EXPECT_FALSE(options.costsFromDurations);
  EXPECT_EQ(fatalOf({"--costs", "-V"}), "Zorvane -  fatal: Option --costs requires a file name\n");
}

TEST_F(LongOptionsTest, JunitNamesTakeOneOfThreeRules) {
  EXPECT_EQ(take({"a.tio"}).junitNames, JunitNames::dotted);
  EXPECT_EQ(take({"--junit-names", "name"}).junitNames, JunitNames::name);
  EXPECT_EQ(take({"--junit-names=colons"}).junitNames, JunitNames::colons);
  EXPECT_EQ(fatalOf({"--junit-names", "slash"}),
            "Zorvane -  fatal: Option --junit-names takes dotted, name or colons, not slash\n");
}

TEST_F(LongOptionsTest, ADoubleDashAloneIsIgnoredAsBefore) {
  const LongOptions options = take({"--", "a.tio", "--"});
  EXPECT_EQ(left(options), (Arguments{"a.tio"}));
}

TEST(FormatTestList, NumberFileAndNameWithoutItsLineEnd) {
  TestRegistry registry;
  const std::vector<std::pair<std::uint32_t, std::string>> tests = {
      {0, "\"quoted\" rest\n"}, {1, "plain\n"},   {1, "crlf\r\n"},
      {0, "cr only\r"},         {1, "in\tner\n"}, {0, "last"}};
  std::uint32_t sequence = 0;
  for (const auto &[file, name] : tests) {
    const TestNumber test = registry.newTest(file, name, ++sequence);
    registry.finishTest(test, 1);
  }
  RunSettings settings;
  settings.filePaths = {"a.tio", "dir/b c.tio"};
  const std::vector<TestNumber> order = {3, 1, 2, 4, 5, 6};
  EXPECT_EQ(formatTestList(order, registry, settings),
            "3\tdir/b c.tio\tcrlf\n"
            "1\ta.tio\t\"quoted\"\n"
            "2\tdir/b c.tio\tplain\n"
            "4\ta.tio\tcr only\r\n"
            "5\tdir/b c.tio\tin\tner\n"
            "6\ta.tio\tlast\n");
  EXPECT_EQ(formatTestList({}, registry, settings), "");
}
