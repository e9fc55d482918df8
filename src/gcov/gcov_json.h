#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvane::gcov {

// What gcov's JSON report says about one source file of one unit.
struct GcovFunction {
  std::string name;
  std::uint32_t startLine = 0;
  bool called = false;
};

struct GcovLine {
  std::uint32_t number = 0;
  bool ran = false;
  // One entry per branch of the line, in gcov's order: whether it was taken.
  std::vector<bool> branchesTaken;
};

struct GcovFile {
  // Absolute and without "." or ".." parts: relative paths are taken from
  // the directory the unit was compiled in.
  std::string path;
  std::vector<GcovFunction> functions;
  std::vector<GcovLine> lines;
};

// Reads gcov's --json-format --stdout output, one JSON document a line, and
// hands each source file of each document to `onFile`. Throws
// ConversionError when the output is not such JSON.
void readGcovReport(std::string_view output, const std::function<void(GcovFile &&)> &onFile);

}  // namespace zorvane::gcov
