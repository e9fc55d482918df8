#include "coverage/coverage_table.h"

#include <algorithm>

#include "base/fatal_error.h"

namespace zorvane::coverage {

GroupId CoverageTable::addGroup(std::uint32_t ftKey, std::uint32_t dcKey, signed char branchKind) {
  const auto id = static_cast<GroupId>(groups_.size());
  groups_.push_back({id, ftKey, dcKey, branchKind, {}});
  GroupHead &head = heads_.emplace_back();
  head.ftKey = ftKey;
  head.dcKey = dcKey;
  head.branchKind = branchKind;
  head.low.fill(noBranch);
  orderedGroups_.push_back(&groups_.back());
  ordered_ = false;
  return id;
}

GroupId CoverageTable::findOrInsertGroupId(std::uint32_t ftKey, std::uint32_t dcKey,
                                           signed char branchKind) {
  const auto [found, added] = groupOfKeys_.try_emplace({ftKey, dcKey, branchKind}, 0);
  if (added) found->second = addGroup(ftKey, dcKey, branchKind);
  return found->second;
}

BranchId CoverageTable::branchAt(GroupId group, std::uint32_t index) {
  BranchId *slot;
  if (index < GroupHead::lowIndexCount) {
    slot = &heads_[group].low[index];
  } else {
    slot = &branchOfKey_.try_emplace(std::uint64_t{group} << 32 | index, noBranch).first->second;
  }
  if (*slot == noBranch) {
    *slot = branchCount_++;
    groups_[group].branches.push_back({index, *slot});
    ordered_ = false;
  }
  return *slot;
}

void CoverageTable::addLogBlock() {
  logBlocks_.push_back(std::make_unique_for_overwrite<BranchId[]>(logBlockSize));
}

void CoverageTable::repeatEntries(TestNumber test, std::uint64_t from, std::uint64_t count) {
  if (count == 0) return;
  while (count != 0) {
    if (logSize_ % logBlockSize == 0) addLogBlock();
    const std::uint64_t fromOffset = from & (logBlockSize - 1);
    const std::uint64_t toOffset = logSize_ & (logBlockSize - 1);
    const std::uint64_t step =
        std::min({count, logBlockSize - fromOffset, logBlockSize - toOffset});
    std::copy_n(&logBlocks_[from >> logBlockBits][fromOffset], step,
                &logBlocks_.back()[toOffset]);
    from += step;
    logSize_ += step;
    count -= step;
  }
  if (runs_.back().test != test)
    runs_.push_back({test, logSize_});
  else
    runs_.back().end = logSize_;
}

void CoverageTable::settleNewEntries() const {
  tallies_.resize(branchCount_);
  std::uint64_t position = 0;
  for (const TestRun &run : runs_) {
    for (std::uint64_t k = std::max(position, settledSize_); k < run.end; ++k) {
      Tally &tally = tallies_[logAt(k)];
      liveBranchCount_ += tally.count++ == 0;
      tally.lastTest = std::max(tally.lastTest, run.test);
    }
    position = run.end;
  }
  settledSize_ = logSize_;
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

void CoverageTable::buildTestLists() {
  if (listsBuilt()) return;
  settleTallies();
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
  forEachEntryOf([](TestNumber) { return true; },
                 [&](TestNumber test, BranchId branch) {
                   if (tallies_[branch].count != 0) listEntries_[cursors[branch]++] = test;
                 });
  listsBuilt_ = true;
  listsLogSize_ = logSize_;
}

void CoverageTable::emptySlot(const BranchSlot &slot) {
  settleTallies();
  tallies_[slot.id].count = 0;
  --liveBranchCount_;
}

std::vector<std::uint32_t> CoverageTable::buildCoverCounts() {
  settleTallies();
  std::vector<std::uint32_t> coverCounts;
  coverCounts.reserve(liveBranchCount_);
  std::uint32_t largest = maxTestsPerBranch_;
  for (const BranchGroup &group : groups())
    for (const IndexedBranch &branch : group.branches) {
      const std::uint32_t count = tallies_[branch.id].count;
      if (count == 0) continue;
      if (coverCounts.size() == liveBranchCount_) throw FatalError(Message::TooMuchCovItem);
      coverCounts.push_back(count);
      largest = std::max(largest, count);
    }
  if (!groups_.empty()) maxTestsPerBranch_ = largest;
  return coverCounts;
}

}  // namespace zorvane::coverage
