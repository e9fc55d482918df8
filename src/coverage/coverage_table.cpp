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
                                              signed char branchKind, BranchGroup *previous) {
  const GroupKey key{ftKey, dcKey, branchKind};
  BranchGroup *group = previous ? previous->followedBy : nullptr;
  if (!group || GroupKey{group->ftKey, group->dcKey, group->branchKind} != key) {
    group = index_->find(key);
    if (!group) {
      group = &groups_.try_emplace(key, ftKey, dcKey, branchKind).first->second;
      index_->insert(group);
    }
    if (previous) previous->followedBy = group;
  }
  // Fetched now, the group likely next is there when it is asked for.
  if (group->followedBy) __builtin_prefetch(group->followedBy);
  return *group;
}

void CoverageTable::addTestToBranch(BranchGroup &group, TestNumber test,
                                    std::uint16_t branchIndex) {
  if (branchIndex >= group.slots.size()) group.slots.resize((branchIndex / 8u + 1) * 8u);
  BranchSlot &slot = group.slots[branchIndex];
  if (slot.count == slot.capacity) {
    // Short lists grow by 16 entries, long ones by a half, so that neither
    // the reallocations nor the unused room get large.
    std::uint32_t step = std::max<std::uint32_t>(16, (slot.capacity / 2) & ~3u);
    void *grown = checkedRealloc(slot.tests, (std::size_t{slot.capacity} + step) * sizeof(TestNumber));
    slot.tests = static_cast<TestNumber *>(grown);
    slot.capacity += step;
  }
  slot.tests[slot.count] = test;
  if (slot.count++ == 0) ++liveBranchCount_;
}

void CoverageTable::addTestsToBranches(std::span<const BranchEntry> entries) {
  // Each entry's slot is fetched two strides ahead of its store and the end
  // of its list one stride ahead, so that the misses of a few dozen entries
  // are always under way together.
  constexpr std::size_t stride = 16;
  const auto slotOf = [](const BranchEntry &entry) -> const BranchSlot * {
    return entry.branchIndex < entry.group->slots.size() ? &entry.group->slots[entry.branchIndex]
                                                         : nullptr;
  };
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i + 2 * stride < entries.size())
      if (const BranchSlot *slot = slotOf(entries[i + 2 * stride])) __builtin_prefetch(slot, 1);
    if (i + stride < entries.size())
      if (const BranchSlot *slot = slotOf(entries[i + stride]); slot && slot->count < slot->capacity)
        __builtin_prefetch(slot->tests + slot->count, 1);
    addTestToBranch(*entries[i].group, entries[i].test, entries[i].branchIndex);
  }
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
