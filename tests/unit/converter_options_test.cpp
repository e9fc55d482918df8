#include "lcov/converter_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter_command_line.h"

using namespace zorvane::lcov;
using namespace zorvane::tio;

namespace {

ConverterOptions parse(std::vector<std::string> arguments) {
  return parseConverterCommandLine(parseConverterOptions, std::move(arguments));
}

std::string usageErrorOf(std::vector<std::string> arguments) {
  return converterUsageErrorOf(parseConverterOptions, std::move(arguments));
}

using Files = std::vector<std::string>;

}  // namespace

TEST(ConverterOptions, OptionsInEitherFormAndTracefilesInOrder) {
  ConverterOptions options = parse({"a.info", "-o", "out.tio", "-b", "/w", "b.info"});
  EXPECT_EQ(options.request, ConverterOptions::Request::Convert);
  EXPECT_EQ(options.output, "out.tio");
  EXPECT_EQ(options.baseDirectory, "/w");
  EXPECT_EQ(options.tracefiles, (Files{"a.info", "b.info"}));
  options = parse({"--output=-", "--base=/w=x", "--", "-o", "-"});
  EXPECT_EQ(options.output, "-");
  EXPECT_EQ(options.baseDirectory, "/w=x");
  EXPECT_EQ(options.tracefiles, (Files{"-o", "-"}));
}

TEST(ConverterOptions, HelpAndVersionWinWhereTheyStand) {
  EXPECT_EQ(parse({"--help", "--bogus"}).request, ConverterOptions::Request::Help);
  EXPECT_EQ(parse({"-h"}).request, ConverterOptions::Request::Help);
  EXPECT_EQ(parse({"--version", "-o"}).request, ConverterOptions::Request::Version);
  EXPECT_EQ(usageErrorOf({"--bogus", "--help"}), "unknown option --bogus");
}

TEST(ConverterOptions, EmptyValuesAreMissingValues) {
  EXPECT_EQ(usageErrorOf({"a.info", "--output="}), "option --output needs a value");
  EXPECT_EQ(usageErrorOf({"a.info", "-o", ""}), "option --output needs a value");
  EXPECT_EQ(usageErrorOf({"-o", "x.tio", "--outputx", "a.info"}), "unknown option --outputx");
}
