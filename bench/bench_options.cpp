#include "bench_options.h"

#include <stdexcept>
#include <string_view>

using namespace zorvane;
using namespace zorvane::coverage;
using namespace zorvane::optimizer;

const char *usageText() {
  return "usage: zorvane_bench [options] <coverage files.tio>...\n"
         "  -T                  optimise at test level only (as the tool's -T)\n"
         "  -F n                allow n extra tests for fewer files (as the tool's -F)\n"
         "  --reference         run the plain reference search instead of searchCover\n"
         "  --limit-seconds S   stop the reference search after S seconds\n"
         "  --limit-nodes N     stop the reference search after N nodes\n"
         "  --export-lp FILE    write the reduced set cover as an LP file\n"
         "  --export-file-lp FILE  after the search, write the fewest-files problem\n"
         "                      (covers of the size found) as an LP file\n"
         "  --no-search         stop after the reduction (and the export)\n"
         "  --costs             give the tests skewed times (most fast, a few slow) and\n"
         "                      run the count search, then the cheapest-cover search\n"
         "  --export-cost-lp FILE  with --costs, write the reduced weighted set cover\n"
         "                      (times in microseconds) as an LP file\n"
         "Prints one line of key=value measurements on the standard output.\n";
}

namespace {

template <typename Number>
Number parseNumber(std::string_view option, const char *text) {
  std::size_t used = 0;
  const std::string value(text);
  try {
    double number = std::stod(value, &used);
    if (used == value.size() && number >= 0) return static_cast<Number>(number);
  } catch (const std::exception &) {}
  throw std::invalid_argument(std::string(option) + " needs a number, not '" + value + "'");
}

}  // namespace

BenchOptions parseBenchOptions(int argc, char **argv) {
  BenchOptions options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    auto value = [&]() -> const char * {
      if (i + 1 >= argc) throw std::invalid_argument(std::string(argument) + " needs a value");
      return argv[++i];
    };
    if (argument == "-T" || argument == "-t") {
      options.testLevel = true;
    } else if (argument == "-F" || argument == "-f") {
      options.allowance = parseNumber<std::int32_t>(argument, value());
      if (options.allowance == 0) throw std::invalid_argument("-F needs a value above 0");
    } else if (argument == "--reference") {
      options.reference = true;
    } else if (argument == "--limit-seconds") {
      options.limits.maxSeconds = parseNumber<double>(argument, value());
    } else if (argument == "--limit-nodes") {
      options.limits.maxNodes = parseNumber<std::uint64_t>(argument, value());
    } else if (argument == "--export-lp") {
      options.exportLp = value();
    } else if (argument == "--export-file-lp") {
      options.exportFileLp = value();
    } else if (argument == "--costs") {
      options.costs = true;
    } else if (argument == "--export-cost-lp") {
      options.exportCostLp = value();
    } else if (argument == "--no-search") {
      options.search = false;
    } else if (argument.starts_with("-")) {
      throw std::invalid_argument("unknown option " + std::string(argument));
    } else {
      options.files.emplace_back(argument);
    }
  }
  if (options.files.empty()) throw std::invalid_argument("no coverage file");
  return options;
}
