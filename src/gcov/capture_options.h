#pragma once

#include <cstdio>
#include <string>

#include "tio/option_values.h"

namespace zorvane::gcov {

struct CaptureOptions {
  enum class Request { Capture, Help, Version };
  Request request = Request::Capture;
  // How many tests run at once; 0 until set (then: the number of cores).
  unsigned jobs = 0;
  // Source paths under this directory are keyed relative to it; empty: the
  // common directory of the build's sources.
  std::string root;
  // Seconds a test may run before it is stopped; 0: no limit.
  double timeoutSeconds = 0;
  bool skipFailing = false;
  std::string output;
  std::string buildDirectory;
  // Empty: the standard input.
  std::string testList;
};

// Reads the arguments (argv[1] on): -j/--jobs N, --root DIR, --timeout S,
// --skip-failing, -o/--output FILE (values also as --name=value), -h/--help
// and --version, which win as soon as they are met, "--" after which every
// argument is an operand, then BUILD_DIR and an optional TESTLIST ("-": the
// standard input). Throws UsageError for anything else.
CaptureOptions parseCaptureOptions(int argc, char **argv);

// The text of --help.
void printCaptureUsage(std::FILE *out);

}  // namespace zorvane::gcov
