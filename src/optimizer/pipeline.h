#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/diagnostics.h"
#include "base/run_settings.h"
#include "coverage/coverage_table.h"
#include "coverage/line_source.h"
#include "coverage/table_writer.h"
#include "coverage/test_registry.h"
#include "optimizer/branch_reach.h"
#include "optimizer/cost_file.h"
#include "optimizer/cover_search.h"
#include "optimizer/selection_stack.h"

namespace zorvane::optimizer {

// One step of a run, in command-line order: a coverage file to read, or a
// switch that acts from where it stands.
struct RunStep {
  enum class Kind { ReadFile, Verbose, MoreVerbose, TestLevel, Allowance };
  Kind kind;
  // ReadFile: the file's path.
  std::string path = {};
  // Allowance: the value given, 0 or less when it was missing or is no
  // positive number (message 8, fatal, once the step is reached).
  std::int32_t allowance = 0;
};

// The whole optimisation of one run, in the order it happens: read() takes
// the steps, finishReading() closes the tests' numbering and gives them their
// costs, reduce() takes out the mandatory tests, search() finds the needed
// tests among the others. The tool, the bench driver, the fuzz targets and
// the tests all go through it.
class Pipeline {
 public:
  // `settings` as the command line leaves them before its first step (file
  // count preference, time limit).
  Pipeline(RunSettings settings, Diagnostics &diagnostics);

  // Applies each step in order; a coverage file is announced (message 9)
  // and read.
  void read(std::span<const RunStep> steps);
  // Reads the bytes `contents` delivers as the coverage file `path`, as a
  // ReadFile step would.
  void readContents(const std::string &path, const coverage::ReadBlock &contents);

  // Whether some coverage file could not be opened.
  bool inputUnreadable() const { return inputUnreadable_; }
  // Whether any test was read, even one dropped again for reaching nothing.
  bool readAnyTest() const { return registry_.wasEverUsed(); }

  // Ends the reading. With `costTable`, or `costsFromDurations`, every test
  // gets a cost (one warning, message 31, counts those without one).
  void finishReading(const CostTable *costTable, bool costsFromDurations);

  // Takes out the mandatory tests. With `keepReach`, the table as read is
  // kept for the explanation of the needed tests. From -V on the table is
  // listed before and after.
  void reduce(bool keepReach);

  // Finds the needed tests, the cheapest cover when tests have costs, the
  // fewest tests otherwise; they end in the stack's snapshot.
  SearchOutcome search();

  const RunSettings &settings() const { return settings_; }
  coverage::TestRegistry &registry() { return registry_; }
  coverage::CoverageTable &table() { return table_; }
  SelectionStack &stack() { return stack_; }
  // By test number; empty when tests have no costs.
  const std::vector<std::uint64_t> &costs() const { return costs_; }
  const BranchReach *reach() const { return reach_ ? &*reach_ : nullptr; }
  Diagnostics &diagnostics() { return diagnostics_; }

 private:
  void apply(const RunStep &step);
  void listTable();

  RunSettings settings_;
  Diagnostics &diagnostics_;
  coverage::TestRegistry registry_;
  coverage::CoverageTable table_;
  // Stores what the files read into table_; flushed before read() and
  // readContents() return.
  coverage::TableWriter writer_{table_};
  SelectionStack stack_;
  std::vector<std::uint64_t> costs_;
  std::optional<BranchReach> reach_;
  bool inputUnreadable_ = false;
};

}  // namespace zorvane::optimizer
