// The whole optimisation on small fuzzed suites. The first byte holds the
// options (bit 0: -T; bits 1-2: the -F allowance, 0 for none; bit 3: -D);
// the rest is split at each 0x1E byte into up to twelve coverage files, so
// that the file count can take the solver. Checks that the fast search ends
// exactly where the reference search ends, that the needed tests reach every
// branch that any test reached, that no test is both needed and useless, and
// that no consistency diagnostic is printed.
#include <cstdint>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/fatal_error.h"
#include "fuzz_support.h"
#include "optimizer/pipeline.h"
#include "shell/report.h"
#include "support/memory_read.h"
#include "support/recording_diagnostics.h"
#include "support/reference_search.h"

using namespace zorvane;
using namespace zorvane::coverage;
using namespace zorvane::optimizer;
using zorvane::shell::printReport;
using zorvane::testing_support::readFromMemory;
using zorvane::testing_support::RecordingDiagnostics;
using zorvane::testing_support::referenceSearchCover;
using zorvane::testing_support::SearchLimits;

namespace {

constexpr char fileSeparator = '\x1E';
constexpr std::size_t maxFiles = 12;
// Beyond this the exponential reference search is not waited for.
constexpr std::uint64_t referenceNodeLimit = 25000;

std::vector<std::string_view> splitFiles(std::string_view bytes) {
  std::vector<std::string_view> files;
  while (files.size() + 1 < maxFiles) {
    const std::size_t separator = bytes.find(fileSeparator);
    if (separator == std::string_view::npos) break;
    files.push_back(bytes.substr(0, separator));
    bytes.remove_prefix(separator + 1);
  }
  files.push_back(bytes);
  return files;
}

std::vector<TestNumber> snapshotOf(const SelectionStack &stack) {
  std::vector<TestNumber> tests;
  tests.assign(stack.best().begin(), stack.best().end());
  return tests;
}

// The test numbers of the report lines that start with `prefix`.
std::vector<TestNumber> reportedTests(const std::string &report, std::string_view prefix) {
  std::vector<TestNumber> tests;
  std::istringstream lines(report);
  for (std::string line; std::getline(lines, line);)
    if (line.starts_with(prefix)) tests.push_back(std::stoul(line.substr(prefix.size())));
  return tests;
}

void checkOptimisation(const std::vector<std::string_view> &files, std::uint8_t options) {
  const int allowance = (options >> 1) & 3;
  const bool testLevel = options & 1, traced = options & 8;
  // As the command line "[-D] f0.tio ... [-T] [-F n]" would start it.
  RunSettings initial;
  initial.fileCountBound =
      static_cast<std::uint32_t>(1 + files.size() + (allowance ? 2 : 0) + testLevel + traced);
  RecordingDiagnostics diagnostics;
  Pipeline pipeline(initial, diagnostics);
  std::vector<RunStep> switches;
  if (traced) switches.push_back({RunStep::Kind::MoreVerbose});
  if (testLevel) switches.push_back({RunStep::Kind::TestLevel});
  if (allowance) switches.push_back({RunStep::Kind::Allowance, {}, allowance});
  pipeline.read(switches);
  for (std::uint32_t file = 0; file < files.size(); ++file)
    pipeline.readContents("f" + std::to_string(file) + ".tio", readFromMemory(files[file]));
  if (!pipeline.readAnyTest()) return;
  pipeline.finishReading(nullptr, false);

  CoverageTable &table = pipeline.table();
  const TestRegistry &registry = pipeline.registry();
  std::vector<std::vector<TestNumber>> branches;
  table.buildTestLists();
  for (const BranchGroup &group : table.groups())
    for (const IndexedBranch &branch : group.branches)
      if (const Branch reached = table.branch(branch.id); reached.isLive())
        branches.emplace_back(reached.entries().begin(), reached.entries().end());

  pipeline.reduce(false);
  SelectionStack &stack = pipeline.stack();
  const std::uint32_t mandatory = stack.stackSize();
  diagnostics.printed.clear();

  SelectionStack referenceStack = stack;
  const SearchOutcome expected =
      referenceSearchCover(table, registry, pipeline.settings(), referenceStack, diagnostics,
                           SearchLimits{referenceNodeLimit, 0});
  const std::string referenceTrace = std::exchange(diagnostics.printed, {});
  if (!expected.completed) return;
  const SearchOutcome got = pipeline.search();
  const std::string fastTrace = std::exchange(diagnostics.printed, {});
  require(got.bestDepth == expected.bestDepth, "same best depth as the reference search");
  require(got.bestFileCount == expected.bestFileCount, "same file count as the reference search");
  require(snapshotOf(stack) == snapshotOf(referenceStack), "same snapshot as the reference search");
  require(stack.stackSize() == mandatory, "the search leaves the stack as it found it");
  require(fastTrace == referenceTrace, "same traces and diagnostics as the reference search");
  require(traced || referenceTrace.empty(), "no consistency diagnostic");

  diagnostics.messages.clear();
  printReport(stack, pipeline.registry(), pipeline.settings(), {}, diagnostics);
  const std::string report = diagnostics.takeMessages();
  const std::vector<TestNumber> needed = reportedTests(report, "Need tst ");
  const std::vector<TestNumber> useless = reportedTests(report, "Useless tst ");
  const std::set<TestNumber> neededSet(needed.begin(), needed.end());
  require(neededSet.size() == needed.size(), "no test needed twice");
  require(
      report.find("# " + std::to_string(needed.size()) + " tests are needed") != std::string::npos,
      "the number of needed tests is the number listed");
  for (TestNumber test : useless) require(!neededSet.contains(test), "no needed test is useless");
  for (const auto &branch : branches) {
    bool covered = false;
    for (TestNumber test : branch) covered = covered || neededSet.contains(test);
    require(covered, "the needed tests reach every branch");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char *>(data) + 1, size - 1);
  try {
    checkOptimisation(splitFiles(bytes), data[0]);
  } catch (const FatalError &) {}
  return 0;
}
