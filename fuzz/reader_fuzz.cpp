// The coverage file reader on arbitrary bytes: the lines it is handed must be
// exactly the file's lines, and the table and registry it leaves must hold
// their invariants. Inputs that end the run with a fatal message are fine.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "coverage/coverage_reader.h"
#include "coverage/line_source.h"
#include "fuzz_support.h"
#include "support/memory_read.h"
#include "support/recording_diagnostics.h"

using namespace zorvane;
using namespace zorvane::coverage;
using zorvane::testing_support::readFromMemory;
using zorvane::testing_support::RecordingDiagnostics;

namespace {

// With tiny blocks and short reads every line straddles blocks; the lines
// must still be the file's lines, each whole.
void checkLineSplitting(std::string_view bytes) {
  LineSource source(readFromMemory(bytes, 1 + bytes.size() % 5), 1 + bytes.size() % 7);
  std::size_t offset = 0;
  while (const auto line = source.nextLine()) {
    require(!line->empty() && bytes.substr(offset, line->size()) == *line,
            "line source hands out the file's bytes");
    offset += line->size();
    require(line->find('\n') == line->size() - 1 ||
                (line->find('\n') == std::string_view::npos && offset == bytes.size()),
            "each line ends with its newline, the last one perhaps without");
  }
  require(offset == bytes.size() && !source.failed(), "line source ends with the file");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char *>(data), size);
  checkLineSplitting(bytes);

  RecordingDiagnostics diagnostics;
  RunSettings settings;
  settings.verbosity = 1;
  TestRegistry registry;
  CoverageTable table;
  TestNumber firstFileTests = 0;
  try {
    // Twice, as two files: the second merges into what the first left. The
    // second is read in tiny blocks, where the rest of a line that does not
    // matter is read past: the entries must be the same.
    for (std::uint32_t file = 0; file < 2; ++file) {
      settings.filePaths.push_back("f" + std::to_string(file) + ".tio");
      const std::size_t blockSize = file == 0 ? 4096 : 1 + size % 13;
      readCoverageLines(readFromMemory(bytes, blockSize), settings, file, registry, table,
                        diagnostics, blockSize);
      if (file == 0) firstFileTests = registry.lastTest();
    }
  } catch (const FatalError &) {
    return 0;
  }
  checkReadInvariants(table, registry, settings.filePaths.size());
  // Both files are the same bytes: every branch has the second file's tests
  // exactly as it has the first's, their numbers shifted.
  for (const BranchGroup &group : table.groups())
    for (const IndexedBranch &branch : group.branches) {
      std::vector<TestNumber> first, second;
      for (const TestNumber test : table.branch(branch.id).entries())
        (test <= firstFileTests ? first : second).push_back(test);
      for (TestNumber &test : second) test -= firstFileTests;
      require(first == second, "the second file's entries are the first's");
    }
  return 0;
}
