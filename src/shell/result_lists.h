#pragma once

#include <span>
#include <string>

#include "base/run_settings.h"
#include "coverage/test_registry.h"
#include "optimizer/branch_reach.h"
#include "shell/long_options.h"
#include "shell/report.h"

namespace zorvane::shell {

// The list file of these tests, one line per test in the order given: the
// test number, a tab, the path of its coverage file as given, a tab, and its
// name without the name's own line end (a final "\n" and a "\r" before it).
std::string formatTestList(std::span<const coverage::TestNumber> tests,
                           const coverage::TestRegistry &registry, const RunSettings &settings);

// Whether the command line asked for any list file.
bool listsRequested(const LongOptions &options);

// Refuses, before anything is read, list files that would replace one of
// the coverage files (message 23) or another list of the run (message 24),
// both fatal. Paths are compared as files (device and inode) where they
// exist, else as normalised paths; devices and pipes are not compared.
void checkResultFiles(const LongOptions &options, std::span<const std::string> coverageFiles);

// What the lists are made from.
struct ResultsToList {
  ReportedTests reported;
  // The branches as read, when --explain asked for them.
  const optimizer::BranchReach *reach = nullptr;
  // Where the explanation finds the source path of an FT key; none yet.
  optimizer::SourcePathLookup sourcePaths;
  // Each test's cost in microseconds, by test number; empty without costs.
  std::span<const std::uint64_t> costs;
};

// Writes the lists that --needed (with the kind of each test, "mandatory"
// or "chosen", as a fourth field, and when tests have costs the test's cost
// in seconds as a fifth), --useless, --droppable (every test not
// needed) and --explain (each needed test, then a line starting with a tab
// for each branch that no other needed test reaches) asked for, all of them
// whole or none; a file that cannot be written is message 18 (fatal).
void writeResultLists(const LongOptions &options, const ResultsToList &results,
                      const coverage::TestRegistry &registry, const RunSettings &settings);

}  // namespace zorvane::shell
