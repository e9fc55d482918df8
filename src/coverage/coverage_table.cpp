#include "coverage/coverage_table.h"

#include <algorithm>
#include <cstdlib>

#include "coverage/group_index.h"
#include "shell/messages.h"

CoverageTable::CoverageTable() : index_(std::make_unique<GroupIndex>()) {}
CoverageTable::~CoverageTable() = default;

BranchGroup::BranchGroup(std::uint32_t ftKey, std::uint32_t dcKey, signed char branchKind)
    : ftKey(ftKey), dcKey(dcKey), branchKind(branchKind), slots(8) {}

BranchGroup::~BranchGroup() {
  for (BranchSlot &slot : slots) std::free(slot.tests);
}

BranchGroup &CoverageTable::findOrInsertGroup(std::uint32_t ftKey, std::uint32_t dcKey,
                                              signed char branchKind) {
  const GroupKey key{ftKey, dcKey, branchKind};
  if (BranchGroup *group = index_->find(key)) return *group;
  BranchGroup &group = groups_.try_emplace(key, ftKey, dcKey, branchKind).first->second;
  index_->insert(&group);
  return group;
}

void CoverageTable::addTestToBranch(BranchGroup &group, TestNumber test,
                                    std::uint16_t branchIndex) {
  if (branchIndex >= group.slots.size()) group.slots.resize((branchIndex / 8u + 1) * 8u);
  BranchSlot &slot = group.slots[branchIndex];
  if (slot.count == slot.capacity) {
    // Small lists grow by 4 entries, long ones by a half, so that neither
    // the copying nor the unused room gets large.
    std::uint32_t step = std::max<std::uint32_t>(4, (slot.capacity / 2) & ~3u);
    void *grown = checkedRealloc(slot.tests, (std::size_t{slot.capacity} + step) * sizeof(TestNumber));
    slot.tests = static_cast<TestNumber *>(grown);
    slot.capacity += step;
  }
  slot.tests[slot.count] = test;
  if (slot.count++ == 0) ++liveBranchCount_;
}

void CoverageTable::addTestsToBranches(std::span<const BranchEntry> entries) {
  for (const BranchEntry &entry : entries)
    if (entry.branchIndex < entry.group->slots.size())
      __builtin_prefetch(&entry.group->slots[entry.branchIndex], 1);
  for (const BranchEntry &entry : entries)
    if (entry.branchIndex < entry.group->slots.size()) {
      const BranchSlot &slot = entry.group->slots[entry.branchIndex];
      if (slot.count < slot.capacity) __builtin_prefetch(slot.tests + slot.count, 1);
    }
  for (const BranchEntry &entry : entries)
    addTestToBranch(*entry.group, entry.test, entry.branchIndex);
}

void CoverageTable::emptySlot(BranchSlot &slot) {
  std::free(slot.tests);
  slot = BranchSlot{};
  --liveBranchCount_;
}

std::vector<std::uint32_t> CoverageTable::buildCoverCounts() {
  std::vector<std::uint32_t> coverCounts;
  coverCounts.reserve(liveBranchCount_);
  std::uint32_t largest = maxTestsPerBranch_;
  for (const BranchGroup &group : groups())
    for (const BranchSlot &slot : group.slots) {
      if (!slot.isLive()) continue;
      if (coverCounts.size() == liveBranchCount_) reportMessage(Message::TooMuchCovItem);
      coverCounts.push_back(slot.count);
      largest = std::max(largest, slot.count);
    }
  if (!groups_.empty()) maxTestsPerBranch_ = largest;
  return coverCounts;
}
