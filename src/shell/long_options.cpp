#include "shell/long_options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "base/fatal_error.h"
#include "shell/command_line.h"
#include "version.h"

namespace zorvane::shell {

using optimizer::JunitNames;
using optimizer::junitNamesFrom;

namespace {

// Whether `argument` is the long option `name` that takes a value; if so the
// value, given after "=" or as the next argument (then `i` moves past it),
// is stored in `value`; empty when missing.
bool takeValueOption(std::string_view argument, std::string_view name, int argc, char **argv,
                     int &i, std::string &value) {
  if (argument.starts_with(name) && argument.size() > name.size() && argument[name.size()] == '=') {
    value = argument.substr(name.size() + 1);
  } else if (argument == name) {
    // A forgotten value must not swallow the option after it.
    const bool hasValue = i + 1 < argc && argv[i + 1][0] != '-';
    value = hasValue ? argv[++i] : "";
  } else {
    return false;
  }
  return true;
}

bool takeFileOption(std::string_view argument, std::string_view name, int argc, char **argv, int &i,
                    std::string &file) {
  if (!takeValueOption(argument, name, argc, argv, i, file)) return false;
  if (file.empty()) throw FatalError(Message::OptionRequiresFile, name);
  return true;
}

bool takeSecondsOption(std::string_view argument, std::string_view name, int argc, char **argv,
                       int &i, double &seconds) {
  std::string text;
  if (!takeValueOption(argument, name, argc, argv, i, text)) return false;
  seconds = parseSeconds(text);
  if (seconds <= 0) throw FatalError(Message::OptionRequiresSeconds, name);
  return true;
}

bool takeNameRuleOption(std::string_view argument, std::string_view name, int argc, char **argv,
                        int &i, JunitNames &rule) {
  std::string text;
  if (!takeValueOption(argument, name, argc, argv, i, text)) return false;
  const std::optional<JunitNames> named = junitNamesFrom(text);
  if (!named) throw FatalError(Message::UnknownNameRule, name, text);
  rule = *named;
  return true;
}

bool takeCostsOption(std::string_view argument, int argc, char **argv, int &i,
                     LongOptions &options) {
  if (argument == "--durations") {
    options.costsFromDurations = true;
    options.costsFile.clear();
    return true;
  }
  if (!takeFileOption(argument, "--costs", argc, argv, i, options.costsFile)) return false;
  options.costsFromDurations = false;
  return true;
}

}  // namespace

double parseSeconds(const std::string &text) {
  // Digits with at most one decimal point: what strtod takes besides
  // (blanks, signs, exponents, hexadecimal, "inf") is refused.
  const bool wellFormed = text.find_first_not_of("0123456789.") == std::string::npos &&
                          std::count(text.begin(), text.end(), '.') <= 1 && text != ".";
  if (text.empty() || !wellFormed) return 0;
  const double seconds = std::strtod(text.c_str(), nullptr);
  return std::isfinite(seconds) ? seconds : 0;
}

LongOptions takeLongOptions(int argc, char **argv) {
  LongOptions options;
  options.arguments.push_back(argv[0]);
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (!argument.starts_with("--")) {
      options.arguments.push_back(argv[i]);
      if (argument.starts_with('-') && classifyOption(argv[i]) == OptionKind::FileLevelAllowance &&
          i + 1 < argc)
        options.arguments.push_back(argv[++i]);
    } else if (argument == "--help") {
      options.request = LongOptions::Request::Help;
      return options;
    } else if (argument == "--version") {
      options.request = LongOptions::Request::Version;
      return options;
    } else if (argument != "--" &&
               !takeFileOption(argument, "--needed", argc, argv, i, options.neededFile) &&
               !takeFileOption(argument, "--useless", argc, argv, i, options.uselessFile) &&
               !takeFileOption(argument, "--droppable", argc, argv, i, options.droppableFile) &&
               !takeFileOption(argument, "--explain", argc, argv, i, options.explainFile) &&
               !takeSecondsOption(argument, "--time-limit", argc, argv, i,
                                  options.timeLimitSeconds) &&
               !takeCostsOption(argument, argc, argv, i, options) &&
               !takeNameRuleOption(argument, "--junit-names", argc, argv, i, options.junitNames)) {
      throw FatalError(Message::UnknownOption, argument);
    }
  }
  return options;
}

void printLongOptions() {
  std::fputs(
      "  long options: --help this text\n"
      "           --version the version\n"
      "           --needed <file> writes the needed tests to <file>\n"
      "           --useless <file> writes the useless tests to <file>\n"
      "           --droppable <file> writes every test that is not needed to <file>\n"
      "              one line per test: number, tab, coverage file, tab, name;\n"
      "              --needed adds a tab and \"mandatory\" or \"chosen\"\n"
      "           --explain <file> writes each needed test followed by the branches\n"
      "              that no other needed test reaches, one a line after a tab\n"
      "           --time-limit <seconds> stops the search after that time, with the\n"
      "              best cover found so far\n"
      "           --costs <file> finds the cheapest cover, each test costing its time\n"
      "              in <file>: a JUnit XML report, or lines of name, tab, seconds;\n"
      "              -F then allows that many milliseconds more to save files\n"
      "           --durations the same with the times of the coverage files' DT lines\n"
      "           --junit-names dotted|name|colons how a JUnit test is named:\n"
      "              classname.name (the default), name, or classname::name\n"
      "  exit status: 0 done, 1 fatal error, 2 a coverage file could not be read,\n"
      "              3 search stopped early (signal or time limit)\n",
      stdout);
}

void printVersion() { std::fputs("Zorvane " ZORVANE_VERSION_STRING "\n", stdout); }

}  // namespace zorvane::shell
