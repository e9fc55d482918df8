#include "optimizer/branch_reach.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

namespace zorvane::optimizer {

using coverage::Branch;
using coverage::BranchGroup;
using coverage::CoverageTable;
using coverage::TestNumber;

BranchReach::BranchReach(CoverageTable &table) {
  table.buildTestLists();
  starts_.push_back(0);
  for (const BranchGroup &group : table.groups()) {
    for (const auto &[index, id] : group.branches) {
      const Branch branch = table.branch(id);
      if (!branch.isLive()) continue;
      branches_.push_back({group.ftKey, group.dcKey, group.branchKind, index});
      // The entries are in non-decreasing test order: repeats are neighbours.
      TestNumber previous = 0;
      for (const TestNumber test : branch.entries())
        if (test != previous) tests_.push_back(previous = test);
      starts_.push_back(tests_.size());
    }
  }
}

std::vector<std::vector<ReachedBranch>> BranchReach::ownBranches(
    std::span<const TestNumber> needed) const {
  std::unordered_map<TestNumber, std::size_t> position;
  for (std::size_t i = 0; i < needed.size(); ++i) position.emplace(needed[i], i);
  std::vector<std::vector<ReachedBranch>> own(needed.size());
  for (std::size_t branch = 0; branch < branches_.size(); ++branch) {
    std::optional<std::size_t> only;
    bool shared = false;
    for (std::size_t k = starts_[branch]; k < starts_[branch + 1] && !shared; ++k) {
      const auto found = position.find(tests_[k]);
      if (found == position.end()) continue;
      shared = only.has_value();
      only = found->second;
    }
    if (only && !shared) own[*only].push_back(branches_[branch]);
  }
  return own;
}

std::string describeBranch(const ReachedBranch &branch, const SourcePathLookup &lookup) {
  char kindAndIndex[32];
  std::snprintf(kindAndIndex, sizeof kindAndIndex, " T%c %u", branch.branchKind, branch.index);
  if (const std::optional<std::string> path = lookup ? lookup(branch.ftKey) : std::nullopt)
    return *path + ":" + std::to_string(branch.dcKey) + kindAndIndex;
  char keys[40];
  std::snprintf(keys, sizeof keys, "FT %x DC %x", branch.ftKey, branch.dcKey);
  return keys + std::string(kindAndIndex);
}

}  // namespace zorvane::optimizer
