#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zorvane::optimizer {

// How the name of a JUnit test case is formed from its `classname` and
// `name` attributes: "classname.name" (GoogleTest's full names), the name
// alone (CTest, whose class name repeats it), or "classname::name". Without
// a class name it is the name alone in every rule.
enum class JunitNames { dotted, name, colons };

// The rule a --junit-names value names; nullopt for any other text.
std::optional<JunitNames> junitNamesFrom(std::string_view text);

// Test names and their costs in microseconds, as a cost file gives them.
using CostTable = std::unordered_map<std::string, std::uint64_t>;

// Seconds as cost files write them ("0.014", "2", "1.5e-3"), blanks around
// allowed, in whole microseconds (rounded); nullopt for anything that is not
// a number of seconds from 0 to a million.
std::optional<std::uint64_t> microsecondsOf(std::string_view seconds);

// The costs in `text`, the contents of the cost file `path`: a JUnit XML
// report when its first byte past blanks (and a byte-order mark) is "<",
// else a table of lines "name<tab>seconds" (the last tab splits; empty lines
// and lines starting with "#" are skipped). Test cases without a time are
// left out. A name given twice keeps its last cost. A cost that is not such
// a number is message 29, a report that is not well-formed XML message 30,
// both fatal.
CostTable parseCosts(std::string_view text, const std::string &path, JunitNames rule);

// The same for the file at `path`; one that cannot be read is message 14
// (fatal).
CostTable readCostFile(const std::string &path, JunitNames rule);

}  // namespace zorvane::optimizer
