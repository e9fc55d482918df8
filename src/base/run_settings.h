#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zorvane {

// The settings of one run, set while the command line is read.
struct RunSettings {
  // 0: results only; 1 (-V): table dumps, mandatory tests, descriptions;
  // 2 (-D): also the traces of the reduction and of the search.
  std::uint8_t verbosity = 0;
  // The coverage file arguments in command-line order; a test's file index
  // is its file's position here. Grows as each file is read.
  std::vector<std::string> filePaths;
  // -F: how many tests (milliseconds, when tests have costs) a cover may
  // exceed the best by to span fewer files.
  std::int32_t allowance = 0;
  // Whether covers spanning fewer files are preferred; -T turns it off.
  bool countFiles = true;
  // More files than any cover can span: the search's file count before it
  // accepts a cover. The argument count of the command line.
  std::uint32_t fileCountBound = 0;
  // Seconds after which the search stops with the best cover found so far;
  // 0: no limit.
  double timeLimitSeconds = 0;
};

}  // namespace zorvane
