#pragma once

#include <cstdint>
#include <vector>

#include "coverage/coverage_table.h"
#include "coverage/test_registry.h"
#include "optimizer/cover_instance.h"

namespace zorvane::optimizer {

// The instance left after the mandatory reduction: the live branches in
// table order (live branch k is branch k of the instance), each test with
// its coverage file. Takes the table's test lists, built if need be, so
// that the table's branches give empty lists afterwards; checks its cover
// counts against its live branch count.
CoverInstance coverInstanceOfTable(coverage::CoverageTable &table,
                                   const coverage::TestRegistry &registry);

// Where a branch of that instance stands in the table, for diagnostics.
struct BranchOrigin {
  const coverage::BranchGroup *group;
  std::uint32_t index;
};

// By branch of the instance coverInstanceOfTable() built.
std::vector<BranchOrigin> branchOriginsOfTable(const coverage::CoverageTable &table);

}  // namespace zorvane::optimizer
