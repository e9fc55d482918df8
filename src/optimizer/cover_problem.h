#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "coverage/coverage_table.h"
#include "coverage/test_registry.h"
#include "optimizer/cover_instance.h"

namespace zorvane::optimizer {

// A live branch as the search sees it: its tests in table order, and where it
// stands in the table, for the consistency diagnostics.
struct LiveBranch {
  std::span<const coverage::TestNumber> tests;
  const coverage::BranchGroup *group;
  std::uint32_t slotIndex;
};

// The set-cover instance left after the mandatory reduction: the live
// branches in table order (live branch k is entry k), with the per-branch and
// per-test counts the search starts from.
struct CoverProblem {
  std::vector<LiveBranch> branches;
  // Entry k: number of tests of live branch k.
  std::vector<std::uint32_t> coverCounts;
  // Entry t: entries of test t in live branches (the reduced covItem counts).
  std::vector<std::uint32_t> testCounts;
  std::uint32_t maxTestsPerBranch = 0;
};

// Builds the instance from the reduced table; builds the table's cover counts
// (which checks them against its live branch count).
CoverProblem buildCoverProblem(coverage::CoverageTable &table, const coverage::TestRegistry &registry);

// The instance of the problem's live branches, for tests below `testCount`.
CoverInstance coverInstanceOf(const CoverProblem &problem, std::uint32_t testCount);

}  // namespace zorvane::optimizer
