#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace zorvane::gcov {

// One test of the suite: its name, the shell command that runs it, and the
// line of the test list that gives it.
struct TestSpec {
  std::string name;
  std::string command;
  std::uint64_t line = 0;
};

// Reads a test list: one test a line, its name, a tab, its command. Empty
// lines and lines starting with '#' are skipped; a carriage return ending a
// line is dropped. Throws ConversionError naming `listName` and the line of
// the first bad one (no tab, empty name or command, a name that a .tio file
// cannot hold, a name given twice), or line 0 for a list without any test.
std::vector<TestSpec> readTestList(std::istream &input, const std::string &listName);

}  // namespace zorvane::gcov
