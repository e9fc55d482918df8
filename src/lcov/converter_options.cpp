#include "lcov/converter_options.h"

#include <string_view>

#include "tio/option_values.h"

namespace zorvane::lcov {

using tio::takeOptionValue;
using tio::UsageError;

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
    } else if (!takeOptionValue(argument, "-o", "--output", argc, argv, i, options.output) &&
               !takeOptionValue(argument, "-b", "--base", argc, argv, i, options.baseDirectory) &&
               !takeOptionValue(argument, "", "--root", argc, argv, i, options.baseDirectory)) {
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
      "      --root DIR     so that checkouts in different places merge (zorvane-gcov's\n"
      "                     --root); no source file under DIR is an error\n"
      "  -h, --help         this text\n"
      "      --version      the version\n"
      "Each test name (TN) of a tracefile is one test; a tracefile without test\n"
      "names is one test named after the file.\n",
      out);
}

}  // namespace zorvane::lcov
