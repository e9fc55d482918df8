#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tio/option_values.h"

namespace zorvane::lcov {

struct ConverterOptions {
  enum class Request { Convert, Help, Version };
  Request request = Request::Convert;
  // The .tio file to write; "-" is the standard output stream.
  std::string output;
  // Source paths under this directory are keyed relative to it (-b).
  std::string baseDirectory;
  std::vector<std::string> tracefiles;
};

// Reads the arguments (argv[1] on): -o/--output FILE, -b/--base DIR (also
// as --output=FILE, --base=DIR), -h/--help and --version, which win as soon
// as they are met, "--" after which every argument is a tracefile, and the
// tracefiles. Throws UsageError for an unknown option, an option without its
// value, a missing -o, or no tracefile.
ConverterOptions parseConverterOptions(int argc, char **argv);

// The text of --help.
void printConverterUsage(std::FILE *out);

}  // namespace zorvane::lcov
