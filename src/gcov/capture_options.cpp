#include "gcov/capture_options.h"

#include <charconv>
#include <cmath>
#include <string_view>
#include <vector>

namespace zorvane::gcov {

using tio::takeOptionValue;
using tio::UsageError;

namespace {

unsigned parseJobs(const std::string &text) {
  unsigned jobs = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), jobs);
  if (error != std::errc() || end != text.data() + text.size() || jobs == 0 || jobs > 1024)
    throw UsageError("option -j needs a number of tests from 1 to 1024, not \"" + text + "\"");
  return jobs;
}

double parseSeconds(const std::string &text) {
  double seconds = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(seconds) ||
      seconds <= 0 || seconds > 1e7)
    throw UsageError("option --timeout needs a positive number of seconds, not \"" + text + "\"");
  return seconds;
}

}  // namespace

CaptureOptions parseCaptureOptions(int argc, char **argv) {
  CaptureOptions options;
  std::vector<std::string> operands;
  bool optionsEnded = false;
  std::string value;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (optionsEnded || !argument.starts_with('-') || argument == "-") {
      operands.emplace_back(argument);
    } else if (argument == "--") {
      optionsEnded = true;
    } else if (argument == "-h" || argument == "--help") {
      options.request = CaptureOptions::Request::Help;
      return options;
    } else if (argument == "--version") {
      options.request = CaptureOptions::Request::Version;
      return options;
    } else if (argument == "--skip-failing") {
      options.skipFailing = true;
    } else if (takeOptionValue(argument, "-j", "--jobs", argc, argv, i, value)) {
      options.jobs = parseJobs(value);
    } else if (takeOptionValue(argument, "", "--timeout", argc, argv, i, value)) {
      options.timeoutSeconds = parseSeconds(value);
    } else if (!takeOptionValue(argument, "-o", "--output", argc, argv, i, options.output) &&
               !takeOptionValue(argument, "", "--root", argc, argv, i, options.root)) {
      throw UsageError("unknown option " + std::string(argument));
    }
  }
  if (options.output.empty()) throw UsageError("no output file (-o FILE)");
  if (operands.empty()) throw UsageError("no build directory");
  if (operands.size() > 2) throw UsageError("more than one test list: " + operands[2]);
  options.buildDirectory = operands[0];
  if (operands.size() == 2 && operands[1] != "-") options.testList = operands[1];
  return options;
}

void printCaptureUsage(std::FILE *out) {
  std::fputs(
      "usage: zorvane-gcov [-j N] [--root DIR] [--timeout S] [--skip-failing]\n"
      "                    -o OUTPUT.tio BUILD_DIR [TESTLIST]\n"
      "Runs a test suite built with gcc --coverage and writes what each test reached\n"
      "as one Zorvane coverage file (.tio).\n"
      "  -o, --output FILE  the .tio file to write (replaced only once it is complete)\n"
      "  -j, --jobs N       run N tests at once (default: the number of cores)\n"
      "      --root DIR     key source files by their path relative to DIR (default:\n"
      "                     the common directory of the build's sources)\n"
      "      --timeout S    stop a test that runs longer than S seconds\n"
      "      --skip-failing leave out the tests that fail\n"
      "  -h, --help         this text\n"
      "      --version      the version\n"
      "BUILD_DIR holds the .gcno notes of the build. TESTLIST (standard input when\n"
      "absent or -) has one test a line: its name, a tab, and a shell command run\n"
      "from the current directory; empty lines and lines starting with # are skipped.\n",
      out);
}

}  // namespace zorvane::gcov
