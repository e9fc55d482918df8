#include "tio/option_values.h"

namespace zorvane::tio {

bool takeOptionValue(std::string_view argument, std::string_view shortName,
                     std::string_view longName, int argc, char **argv, int &i, std::string &value) {
  if (argument.starts_with(longName) && argument.size() > longName.size() &&
      argument[longName.size()] == '=') {
    value = argument.substr(longName.size() + 1);
  } else if ((!shortName.empty() && argument == shortName) || argument == longName) {
    if (i + 1 >= argc) throw UsageError("option " + std::string(argument) + " needs a value");
    value = argv[++i];
  } else {
    return false;
  }
  if (value.empty()) throw UsageError("option " + std::string(longName) + " needs a value");
  return true;
}

}  // namespace zorvane::tio
