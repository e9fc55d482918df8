#include "coverage/coverage_table.h"

#include <algorithm>
#include <cstdlib>

#include "coverage/group_index.h"
#include "shell/messages.h"

CoverageTable::CoverageTable() : index_(std::make_unique<GroupIndex>()) {}
CoverageTable::~CoverageTable() {
  // The pool frees its own chunks; the longest lists are the process
  // allocator's and must be given back one by one.
  for (BranchGroup &group : groups())
    for (BranchSlot &slot : group.slots) listPool_.release(slot.tests, slot.capacity);
}

BranchGroup::BranchGroup(GroupId id, std::uint32_t ftKey, std::uint32_t dcKey,
                         signed char branchKind)
    : id(id), ftKey(ftKey), dcKey(dcKey), branchKind(branchKind), slots(8) {}

GroupId CoverageTable::findOrInsertUnpredicted(const GroupKey &key, GroupId previous) {
  GroupId id = index_->find(key);
  if (id == noGroup) {
    id = groupCount();
    groupsById_.push_back(
        &groups_.try_emplace(key, id, key.ftKey, key.dcKey, key.branchKind).first->second);
    routes_.push_back({key});
    index_->insert(key, id);
  }
  if (previous != noGroup) routes_[previous].followedBy = id;
  return arriveAt(id);
}

void CoverageTable::growSlots(BranchGroup &group, std::uint16_t branchIndex) {
  group.slots.resize((branchIndex / 8u + 1) * 8u);
  if (group.id < slotRows_.size())
    slotRows_[group.id] = {&group, group.slots.data(), group.slotCapacity()};
}

void CoverageTable::appendTest(BranchSlot &slot, TestNumber test) {
  if (slot.count == slot.capacity) slot.tests = listPool_.grow(slot.tests, slot.capacity);
  slot.tests[slot.count] = test;
  if (slot.count++ == 0) ++liveBranchCount_;
}

void CoverageTable::addTestToBranch(BranchGroup &group, TestNumber test,
                                    std::uint16_t branchIndex) {
  if (branchIndex >= group.slots.size()) growSlots(group, branchIndex);
  appendTest(group.slots[branchIndex], test);
}

void CoverageTable::addTestsToBranches(std::span<const BranchEntry> entries,
                                       std::span<BranchGroup *const> newGroups) {
  for (BranchGroup *group : newGroups)
    slotRows_.push_back({group, group->slots.data(), group->slotCapacity()});
  // Each entry's slot is fetched two strides ahead of its store and the end
  // of its list one stride ahead, so that the misses of a few dozen entries
  // are always under way together.
  constexpr std::size_t stride = 32;
  const auto slotOf = [this](const BranchEntry &entry) -> BranchSlot * {
    const SlotRow &row = slotRows_[entry.group];
    return entry.branchIndex < row.size ? &row.slots[entry.branchIndex] : nullptr;
  };
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i + 2 * stride < entries.size())
      if (const BranchSlot *slot = slotOf(entries[i + 2 * stride])) __builtin_prefetch(slot, 1);
    if (i + stride < entries.size())
      if (const BranchSlot *slot = slotOf(entries[i + stride]); slot && slot->count < slot->capacity)
        __builtin_prefetch(slot->tests + slot->count, 1);
    const BranchEntry &entry = entries[i];
    BranchSlot *slot = slotOf(entry);
    if (!slot) {
      growSlots(*slotRows_[entry.group].group, entry.branchIndex);
      slot = slotOf(entry);
    }
    appendTest(*slot, entry.test);
  }
}

void CoverageTable::emptySlot(BranchSlot &slot) {
  listPool_.release(slot.tests, slot.capacity);
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
