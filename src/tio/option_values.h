#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace zorvane::tio {

// A command line that a converter cannot follow.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Whether `argument` is the option of these names (`shortName` may be
// empty); if so its value, given as `--name=value` or in the next argument
// (then `i` moves past it), is stored in `value`. Throws UsageError when the
// value is missing or empty.
bool takeOptionValue(std::string_view argument, std::string_view shortName,
                     std::string_view longName, int argc, char **argv, int &i, std::string &value);

}  // namespace zorvane::tio
