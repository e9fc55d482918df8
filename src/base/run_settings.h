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
  // Extra tests the search may add to reach a cover spanning fewer files.
  std::int32_t tstNbValue = 0;
  // Starts at the argument count; 0 (-T) turns the preference for covers
  // spanning fewer files off.
  std::uint32_t bestFileCount = 0;
  // Seconds after which the search stops with the best cover found so far;
  // 0: no limit.
  double timeLimitSeconds = 0;
};

}  // namespace zorvane
