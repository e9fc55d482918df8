#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tio/option_values.h"

// The converters' command lines as their tests give them: the arguments
// after the program name, handed to the converter's parser as argc and argv.
template <class Parse>
auto parseConverterCommandLine(Parse parse, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "converter");
  std::vector<char *> argv;
  for (std::string &argument : arguments) argv.push_back(argument.data());
  return parse(static_cast<int>(argv.size()), argv.data());
}

// The text of the usage error the parser gives for the arguments, or "no
// error".
template <class Parse>
std::string converterUsageErrorOf(Parse parse, std::vector<std::string> arguments) {
  try {
    parseConverterCommandLine(parse, std::move(arguments));
  } catch (const zorvane::tio::UsageError &error) {
    return error.what();
  }
  return "no error";
}
