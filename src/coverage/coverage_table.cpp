#include "coverage/coverage_table.h"

#include <algorithm>

#include "shell/messages.h"

GroupId CoverageTable::addGroup(std::uint32_t ftKey, std::uint32_t dcKey,
                               signed char branchKind) {
  const auto id = static_cast<GroupId>(groups_.size());
  groups_.push_back({id, ftKey, dcKey, branchKind, {}, {}, false, id});
  orderedGroups_.push_back(&groups_.back());
  ordered_ = false;
  return id;
}

GroupId CoverageTable::findOrInsertGroupId(std::uint32_t ftKey, std::uint32_t dcKey,
                                           signed char branchKind) {
  const auto [found, added] = groupOfKeys_.try_emplace(std::uint64_t{ftKey} << 32 | dcKey, 0);
  if (added) return found->second = addGroup(ftKey, dcKey, branchKind);
  return findOrInsertGroupId(found->second, branchKind);
}

GroupId CoverageTable::findOrInsertGroupId(GroupId sameKeys, signed char branchKind) {
  GroupId id = sameKeys;
  do {
    if (groups_[id].branchKind == branchKind) return id;
    id = groups_[id].sameKeys;
  } while (id != sameKeys);
  BranchGroup &start = groups_[sameKeys];
  const GroupId added = addGroup(start.ftKey, start.dcKey, branchKind);
  groups_[added].sameKeys = start.sameKeys;
  start.sameKeys = added;
  return added;
}

BranchId CoverageTable::addBranch(BranchGroup &group, std::uint32_t index) {
  const auto branch = static_cast<BranchId>(tallies_.size());
  tallies_.emplace_back();
  group.branches.push_back({index, branch});
  ordered_ = false;
  return branch;
}

BranchId CoverageTable::branchAt(BranchGroup &group, std::uint32_t index) {
  const std::uint64_t key = std::uint64_t{group.id} << 32 | index;
  // Low indexes grow with the branches, so that they stay in proportion.
  if (index < 2 * group.branches.size() + 16) {
    if (index >= group.lowIndexes.size()) group.lowIndexes.resize(index + 1, noBranch);
    BranchId &low = group.lowIndexes[index];
    if (low != noBranch) return low;
    // Hashed while it was not low yet?
    const auto hashed = group.hasHashedIndexes ? branchOfKey_.find(key) : branchOfKey_.end();
    return low = hashed != branchOfKey_.end() ? hashed->second : addBranch(group, index);
  }
  const auto [found, added] = branchOfKey_.try_emplace(key, noBranch);
  if (added) {
    found->second = addBranch(group, index);
    group.hasHashedIndexes = true;
  }
  return found->second;
}

void CoverageTable::addTestToBranch(GroupId group, TestNumber test, std::uint32_t branchIndex) {
  const BranchId branch = branchAt(groups_[group], branchIndex);
  Tally &tally = tallies_[branch];
  if (tally.count++ == 0) ++liveBranchCount_;
  tally.lastTest = std::max(tally.lastTest, test);
  appendToLog(test, branch);
}

void CoverageTable::appendToLog(TestNumber test, BranchId branch) {
  if (logSize_ % logBlockSize == 0)
    logBlocks_.push_back(std::make_unique_for_overwrite<BranchId[]>(logBlockSize));
  logBlocks_.back()[logSize_ % logBlockSize] = branch;
  ++logSize_;
  if (runs_.empty() || runs_.back().test != test) runs_.push_back({test, logSize_});
  else runs_.back().end = logSize_;
  listsBuilt_ = false;
}

void CoverageTable::putInOrder() const {
  if (ordered_) return;
  std::ranges::sort(orderedGroups_, {}, [](const BranchGroup *group) {
    return GroupKey{group->ftKey, group->dcKey, group->branchKind};
  });
  for (BranchGroup *group : orderedGroups_)
    if (!std::ranges::is_sorted(group->branches, {}, &IndexedBranch::index))
      std::ranges::sort(group->branches, {}, &IndexedBranch::index);
  ordered_ = true;
}

BranchSlot CoverageTable::slot(const BranchGroup &group, std::uint32_t index) const {
  if (index < group.lowIndexes.size() && group.lowIndexes[index] != noBranch)
    return slot(group.lowIndexes[index]);
  const auto found = branchOfKey_.find(std::uint64_t{group.id} << 32 | index);
  return found == branchOfKey_.end() ? BranchSlot() : slot(found->second);
}

void CoverageTable::buildTestLists() {
  if (listsBuilt_) return;
  // Room for the live branches only: before the mandatory reduction that is
  // every branch, after it only those the search still needs.
  listStarts_.resize(tallies_.size());
  std::uint64_t total = 0;
  for (std::size_t branch = 0; branch < tallies_.size(); ++branch) {
    listStarts_[branch] = total;
    total += tallies_[branch].count;
  }
  listEntries_.clear();
  listEntries_.shrink_to_fit();
  listEntries_.resize(total);
  std::vector<std::uint64_t> cursors(listStarts_);
  forEachEntryOf([](TestNumber) { return true; }, [&](TestNumber test, BranchId branch) {
    if (tallies_[branch].count != 0) listEntries_[cursors[branch]++] = test;
  });
  listsBuilt_ = true;
}

void CoverageTable::emptySlot(const BranchSlot &slot) {
  tallies_[slot.id].count = 0;
  --liveBranchCount_;
}

std::vector<std::uint32_t> CoverageTable::buildCoverCounts() {
  std::vector<std::uint32_t> coverCounts;
  coverCounts.reserve(liveBranchCount_);
  std::uint32_t largest = maxTestsPerBranch_;
  for (const BranchGroup &group : groups())
    for (const IndexedBranch &branch : group.branches) {
      const std::uint32_t count = tallies_[branch.id].count;
      if (count == 0) continue;
      if (coverCounts.size() == liveBranchCount_) reportMessage(Message::TooMuchCovItem);
      coverCounts.push_back(count);
      largest = std::max(largest, count);
    }
  if (!groups_.empty()) maxTestsPerBranch_ = largest;
  return coverCounts;
}
