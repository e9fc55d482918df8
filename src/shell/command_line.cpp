#include "shell/command_line.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>

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
  const char *p = text;
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  constexpr std::int64_t limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; *p >= '0' && *p <= '9'; ++p)
    if (magnitude < limit) magnitude = magnitude * 10 + (*p - '0');
  if (negative) return static_cast<std::int32_t>(-std::min(magnitude, limit));
  return static_cast<std::int32_t>(std::min(magnitude, limit - 1));
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
