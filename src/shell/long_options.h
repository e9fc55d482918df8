#pragma once

#include <string>
#include <vector>

#include "optimizer/cost_file.h"

namespace zorvane::shell {

// What the arguments starting with "--" ask for, and the arguments left for
// the single-dash options and the coverage files.
struct LongOptions {
  enum class Request { Run, Help, Version };
  Request request = Request::Run;
  // Where --needed, --useless, --droppable and --explain write their lists;
  // empty when not asked.
  std::string neededFile;
  std::string uselessFile;
  std::string droppableFile;
  std::string explainFile;
  // Seconds the search may take (--time-limit); 0: no limit.
  double timeLimitSeconds = 0;
  // Where the tests' costs come from: the file of --costs, or with
  // --durations the DT lines of the coverage files (the last one given
  // wins); neither: tests are counted, not costed.
  std::string costsFile;
  bool costsFromDurations = false;
  // How --junit-names joins a JUnit test case's class name and name.
  optimizer::JunitNames junitNames = optimizer::JunitNames::dotted;
  // The command line without the long options and their files: argv[0],
  // then the other arguments in their order.
  std::vector<char *> arguments;
};

// Takes the long options out of the command line, left to right, before any
// file is read: --help and --version end the scan where they stand;
// --needed FILE, --useless FILE, --droppable FILE and --explain FILE (or
// --needed=FILE, ...) take a file name, and the last one given wins; --time-limit SECONDS (or
// --time-limit=SECONDS) a positive number of seconds, message 28 (fatal)
// when it is missing or not such a number; --costs FILE and --durations
// (the last one given wins) ask for the cheapest cover; --junit-names RULE
// takes dotted, name or colons, message 33 (fatal) for anything else; "--" alone is ignored, as it
// always was. The argument after a single-dash -F is its value, whatever it
// looks like. An unknown long option is message 16, a missing file name (no
// next argument, an empty one, or one starting with "-") message 17, both
// fatal.
LongOptions takeLongOptions(int argc, char **argv);

// The value of --time-limit: a positive decimal number of seconds, with or
// without a fraction ("10", "0.5"); anything else gives 0.
double parseSeconds(const std::string &text);

// Writes the long options on the standard output stream, after the usage.
void printLongOptions();

// Writes "Zorvane <version>" on the standard output stream.
void printVersion();

}  // namespace zorvane::shell
