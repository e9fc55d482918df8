#include "gcov/test_list.h"

#include <string_view>
#include <unordered_map>

#include "tio/conversion_error.h"
#include "tio/tio_writing.h"

namespace zorvane::gcov {

using tio::ConversionError;
using tio::isWritableTestName;
using tio::printableText;

std::vector<TestSpec> readTestList(std::istream &input, const std::string &listName) {
  std::vector<TestSpec> tests;
  std::unordered_map<std::string, std::uint64_t> lineByName;
  std::string text;
  std::uint64_t lineNumber = 0;
  while (std::getline(input, text)) {
    ++lineNumber;
    std::string_view line = text;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty() || line.starts_with('#')) continue;
    const auto fail = [&](const std::string &why) {
      throw ConversionError(why, listName, lineNumber);
    };
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) fail("no tab between the test name and its command");
    const std::string name(line.substr(0, tab));
    const std::string command(line.substr(tab + 1));
    if (name.empty()) fail("empty test name");
    if (command.find_first_not_of(" \t") == std::string::npos) fail("no command for test " + name);
    if (!isWritableTestName(name))
      fail("test name \"" + printableText(name) +
           "\" cannot be written to a .tio file: it holds a double quote and starts with a blank "
           "or a double quote, or it holds a carriage return or a NUL byte");
    if (const auto [known, added] = lineByName.emplace(name, lineNumber); !added)
      fail("test " + name + " is already given on line " + std::to_string(known->second));
    tests.push_back({name, command, lineNumber});
  }
  if (input.bad()) throw ConversionError("read error", listName);
  if (tests.empty()) throw ConversionError("no test in this list", listName);
  return tests;
}

}  // namespace zorvane::gcov
