#include "shell/long_options.h"

#include <cstdio>
#include <string_view>

#include "shell/command_line.h"
#include "shell/messages.h"
#include "version.h"

namespace {

// Whether `argument` is the long option `name` that takes a file; if so the
// file, given after "=" or as the next argument (then `i` moves past it), is
// stored in `file`.
bool takeFileOption(std::string_view argument, std::string_view name, int argc, char **argv, int &i,
                    std::string &file) {
  if (argument.starts_with(name) && argument.size() > name.size() && argument[name.size()] == '=') {
    file = argument.substr(name.size() + 1);
  } else if (argument == name) {
    // A forgotten file name must not swallow the option after it.
    const bool hasFile = i + 1 < argc && argv[i + 1][0] != '-';
    file = hasFile ? argv[++i] : "";
  } else {
    return false;
  }
  if (file.empty()) reportMessage(Message::OptionRequiresFile, name);
  return true;
}

}  // namespace

LongOptions takeLongOptions(int argc, char **argv) {
  LongOptions options;
  options.arguments.push_back(argv[0]);
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (!argument.starts_with("--")) {
      options.arguments.push_back(argv[i]);
      if (argument.starts_with('-') && classifyOption(argv[i]) == OptionKind::FileLevelAllowance &&
          i + 1 < argc)
        options.arguments.push_back(argv[++i]);
    } else if (argument == "--help") {
      options.request = LongOptions::Request::Help;
      return options;
    } else if (argument == "--version") {
      options.request = LongOptions::Request::Version;
      return options;
    } else if (argument != "--" &&
               !takeFileOption(argument, "--needed", argc, argv, i, options.neededFile) &&
               !takeFileOption(argument, "--useless", argc, argv, i, options.uselessFile)) {
      reportMessage(Message::UnknownOption, argument);
    }
  }
  return options;
}

void printLongOptions() {
  std::fputs(
      "  long options: --help this text\n"
      "           --version the version\n"
      "           --needed <file> writes the needed tests to <file>\n"
      "           --useless <file> writes the useless tests to <file>\n"
      "              one line per test: number, tab, coverage file, tab, name\n",
      stdout);
}

void printVersion() { std::fputs("Zorvane " ZORVANE_VERSION_STRING "\n", stdout); }
