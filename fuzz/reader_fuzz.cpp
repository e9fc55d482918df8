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
  TableWriter writer(table);
  // The last test of each file read.
  std::vector<TestNumber> lastTests;
  try {
    // Three times, as three files: each merges into what the others left.
    // The second is read in tiny blocks, where the rest of a line that does
    // not matter is read past; the third as the first, where every section
    // repeats one the first read. The entries must be the same each time.
    for (std::uint32_t file = 0; file < 3; ++file) {
      settings.filePaths.push_back("f" + std::to_string(file) + ".tio");
      const std::size_t blockSize = file == 1 ? 1 + size % 13 : 4096;
      readCoverageLines(readFromMemory(bytes, blockSize), settings, file, registry, writer,
                        diagnostics, blockSize);
      lastTests.push_back(registry.lastTest());
    }
    writer.flush();
  } catch (const FatalError &) {
    return 0;
  }
  checkReadInvariants(table, registry, settings.filePaths.size());
  // The files are the same bytes: every branch has each file's tests
  // exactly as it has the first's, their numbers shifted.
  for (const BranchGroup &group : table.groups())
    for (const IndexedBranch &branch : group.branches) {
      std::vector<std::vector<TestNumber>> testsOfFile(lastTests.size());
      for (const TestNumber test : table.branch(branch.id).entries()) {
        const std::size_t file = std::ranges::lower_bound(lastTests, test) - lastTests.begin();
        testsOfFile[file].push_back(test - (file == 0 ? 0 : lastTests[file - 1]));
      }
      for (std::size_t file = 1; file < testsOfFile.size(); ++file)
        require(testsOfFile[file] == testsOfFile[0], "each file's entries are the first's");
    }
  return 0;
}
