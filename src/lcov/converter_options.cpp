#include "lcov/converter_options.h"

#include <string_view>

namespace {

// Whether `argument` is the option of these names; if so its value, given
// as `--name=value` or in the next argument (then `i` moves past it), is
// stored in `value`.
bool takeValue(std::string_view argument, std::string_view shortName, std::string_view longName,
               int argc, char **argv, int &i, std::string &value) {
  if (argument.starts_with(longName) && argument.size() > longName.size() &&
      argument[longName.size()] == '=') {
    value = argument.substr(longName.size() + 1);
  } else if (argument == shortName || argument == longName) {
    if (i + 1 >= argc) throw UsageError("option " + std::string(argument) + " needs a value");
    value = argv[++i];
  } else {
    return false;
  }
  if (value.empty()) throw UsageError("option " + std::string(longName) + " needs a value");
  return true;
}

}  // namespace

ConverterOptions parseConverterOptions(int argc, char **argv) {
  ConverterOptions options;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (optionsEnded || !argument.starts_with('-') || argument == "-") {
      options.tracefiles.emplace_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "-h" || argument == "--help") {
      options.request = ConverterOptions::Request::Help;
      return options;
    } else if (argument == "--version") {
      options.request = ConverterOptions::Request::Version;
      return options;
    } else if (!takeValue(argument, "-o", "--output", argc, argv, i, options.output) &&
               !takeValue(argument, "-b", "--base", argc, argv, i, options.baseDirectory)) {
      throw UsageError("unknown option " + std::string(argument));
    }
  }
  if (options.output.empty()) throw UsageError("no output file (-o FILE)");
  if (options.tracefiles.empty()) throw UsageError("no tracefile to convert");
  return options;
}

void printConverterUsage(std::FILE *out) {
  std::fputs(
      "usage: zorvane-lcov -o OUTPUT.tio [-b DIR] TRACEFILE...\n"
      "Converts LCOV tracefiles into one Zorvane coverage file (.tio).\n"
      "  -o, --output FILE  the .tio file to write (replaced only once it is complete);\n"
      "                     - writes to the standard output\n"
      "  -b, --base DIR     key source files under DIR by their path relative to DIR,\n"
      "                     so that checkouts in different places merge\n"
      "  -h, --help         this text\n"
      "      --version      the version\n"
      "Each test name (TN) of a tracefile is one test; a tracefile without test\n"
      "names is one test named after the file.\n",
      out);
}
