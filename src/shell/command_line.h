#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "optimizer/pipeline.h"

namespace zorvane::shell {

// What an argument starting with "-" asks for. Only its second character
// counts, folded to lower case, so -v, -V and -verbose are one option.
enum class OptionKind { Verbose, MoreVerbose, TestLevel, FileLevelAllowance, Ignored };

OptionKind classifyOption(const char *argument);

// Reads the value of -F: a whole decimal number, digits and nothing else
// (no blank, no sign), clamped to the signed 32-bit range; anything else
// gives 0.
std::int32_t parseAllowance(const char *text);

// The steps of a command line without its long options (argv[0] first): an
// argument not starting with "-" is a coverage file to read; -F takes the
// next argument as its value, if there is one.
std::vector<optimizer::RunStep> runSteps(std::span<char *const> arguments);

// Writes the usage text on the standard output stream.
void printUsage();

}  // namespace zorvane::shell
