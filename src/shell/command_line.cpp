#include "shell/command_line.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace zorvane::shell {

OptionKind classifyOption(const char *argument) {
  switch (argument[1] | 0x20) {
    case 'v': return OptionKind::Verbose;
    case 'd': return OptionKind::MoreVerbose;
    case 't': return OptionKind::TestLevel;
    case 'f': return OptionKind::FileLevelAllowance;
    default: return OptionKind::Ignored;
  }
}

std::int32_t parseAllowance(const char *text) {
  constexpr std::int64_t largest = std::numeric_limits<std::int32_t>::max();
  std::int64_t value = 0;
  const char *p = text;
  for (; *p >= '0' && *p <= '9'; ++p) value = std::min(value * 10 + (*p - '0'), largest);
  // "2024-nightly.tio" or "1e3" is no number: the whole text must be digits.
  return p == text || *p != '\0' ? 0 : static_cast<std::int32_t>(value);
}

std::vector<optimizer::RunStep> runSteps(std::span<char *const> arguments) {
  using Kind = optimizer::RunStep::Kind;
  std::vector<optimizer::RunStep> steps;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    const char *argument = arguments[i];
    if (argument[0] != '-') {
      steps.push_back({Kind::ReadFile, argument});
      continue;
    }
    switch (classifyOption(argument)) {
      case OptionKind::Verbose: steps.push_back({Kind::Verbose}); break;
      case OptionKind::MoreVerbose: steps.push_back({Kind::MoreVerbose}); break;
      case OptionKind::TestLevel: steps.push_back({Kind::TestLevel}); break;
      case OptionKind::FileLevelAllowance: {
        optimizer::RunStep step{Kind::Allowance};
        if (i + 1 < arguments.size()) step.allowance = parseAllowance(arguments[++i]);
        steps.push_back(step);
        break;
      }
      case OptionKind::Ignored: break;
    }
  }
  return steps;
}

void printUsage() {
  std::fputs(
      "\nusage: Zorvane [options]  <coverage files.tio> *\n"
      "  options: -V verbose mode\n"
      "           -D more verbose\n"
      "           -T optimization at Test level\n"
      "           -F <tstNbValue> optimization at Execution or TIO File level\n"
      "              tstNbValue is the max number of additional tests allowed to get better "
      "execution optimization\n",
      stdout);
}

}  // namespace zorvane::shell
