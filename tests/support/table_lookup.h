#pragma once

#include <cstdint>

#include "coverage/coverage_table.h"

namespace zorvane::testing_support {

// The branch at `index` of `group`, empty when no test reached it.
inline coverage::Branch branchAtIndex(const coverage::CoverageTable &table,
                                      const coverage::BranchGroup &group, std::uint32_t index) {
  for (const coverage::IndexedBranch &branch : group.branches)
    if (branch.index == index) return table.branch(branch.id);
  return {};
}

// The same for the group numbered `group`.
inline coverage::Branch branchAtIndex(const coverage::CoverageTable &table, coverage::GroupId group,
                                      std::uint32_t index) {
  for (const coverage::BranchGroup &walked : table.groups())
    if (walked.id == group) return branchAtIndex(table, walked, index);
  return {};
}

}  // namespace zorvane::testing_support
