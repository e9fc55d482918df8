#include "coverage/coverage_table.h"

#include <algorithm>

#include "coverage/key_pair_index.h"
#include "shell/messages.h"

CoverageTable::CoverageTable() : pairIndex_(std::make_unique<KeyPairIndex>()) {
  kindSlots_.fill(kindSlotLimit);
}
CoverageTable::~CoverageTable() = default;

BranchGroup::BranchGroup(GroupId id, std::uint32_t ftKey, std::uint32_t dcKey,
                         signed char branchKind)
    : id(id), ftKey(ftKey), dcKey(dcKey), branchKind(branchKind), branchIds(8, noBranch) {}

KeyPairId CoverageTable::findKeyPairUnpredicted(std::uint32_t ftKey, std::uint32_t dcKey,
                                                KeyPairId previous) {
  KeyPairId pair = pairIndex_->find(ftKey, dcKey);
  if (pair == noKeyPair) {
    pair = static_cast<KeyPairId>(pairs_.size());
    KeyPair &added = pairs_.emplace_back(KeyPair{ftKey, dcKey});
    added.groupOfKindSlot.fill(noGroup);
    pairIndex_->insert(ftKey, dcKey, pair);
  }
  if (previous != noKeyPair) pairs_[previous].followedBy = pair;
  return arriveAt(pair);
}

GroupId CoverageTable::findOrInsertGroupOfNewKind(KeyPairId pair, signed char branchKind) {
  KeyPair &keys = pairs_[pair];
  const GroupKey key{keys.ftKey, keys.dcKey, branchKind};
  const auto [found, added] = groups_.try_emplace(key, groupCount(), key.ftKey, key.dcKey, branchKind);
  if (added) groupsById_.push_back(&found->second);
  std::uint8_t &kindSlot = kindSlots_[static_cast<unsigned char>(branchKind)];
  if (kindSlot == kindSlotLimit && kindSlotCount_ < kindSlotLimit) kindSlot = kindSlotCount_++;
  if (kindSlot != kindSlotLimit) keys.groupOfKindSlot[kindSlot] = found->second.id;
  return found->second.id;
}

void CoverageTable::growSlots(BranchGroup &group, std::uint16_t branchIndex) {
  group.branchIds.resize((branchIndex / 8u + 1) * 8u, noBranch);
  if (group.id < slotRows_.size())
    slotRows_[group.id] = {&group, group.branchIds.data(), group.slotCapacity()};
}

BranchId CoverageTable::newBranch() {
  tallies_.emplace_back();
  return static_cast<BranchId>(tallies_.size() - 1);
}

// The callers say that the lists built so far are out of date.
inline void CoverageTable::addEntry(BranchId &branch, TestNumber test) {
  if (branch == noBranch) branch = newBranch();
  BranchTally &tally = tallies_[branch];
  if (tally.count++ == 0) ++liveBranchCount_;
  tally.lastTest = test;
  log_.append(test, branch);
}

void CoverageTable::addTestToBranch(BranchGroup &group, TestNumber test,
                                    std::uint16_t branchIndex) {
  if (branchIndex >= group.branchIds.size()) growSlots(group, branchIndex);
  addEntry(group.branchIds[branchIndex], test);
  listsBuilt_ = false;
}

void CoverageTable::addTestsToBranches(std::span<const BranchEntry> entries,
                                       std::span<BranchGroup *const> newGroups) {
  for (BranchGroup *group : newGroups)
    slotRows_.push_back({group, group->branchIds.data(), group->slotCapacity()});
  listsBuilt_ = false;
  // Each entry's branch id is fetched two strides ahead of its store and the
  // branch's tally one stride ahead, so that the misses of a few dozen
  // entries are always under way together.
  constexpr std::size_t stride = 16;
  const auto branchOf = [this](const BranchEntry &entry) -> BranchId * {
    const SlotRow &row = slotRows_[entry.group];
    return entry.branchIndex < row.size ? &row.branchIds[entry.branchIndex] : nullptr;
  };
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (i + 2 * stride < entries.size())
      if (const BranchId *branch = branchOf(entries[i + 2 * stride])) __builtin_prefetch(branch);
    if (i + stride < entries.size())
      if (const BranchId *branch = branchOf(entries[i + stride]); branch && *branch != noBranch)
        __builtin_prefetch(&tallies_[*branch], 1);
    const BranchEntry &entry = entries[i];
    BranchId *branch = branchOf(entry);
    if (!branch) {
      growSlots(*slotRows_[entry.group].group, entry.branchIndex);
      branch = branchOf(entry);
    }
    addEntry(*branch, entry.test);
  }
}

void CoverageTable::buildTestLists() {
  if (listsBuilt_) return;
  // Room for the live branches only: before the mandatory reduction that is
  // every branch, after it only those the search still needs.
  listStarts_.resize(tallies_.size());
  std::size_t total = 0;
  for (std::size_t branch = 0; branch < tallies_.size(); ++branch) {
    listStarts_[branch] = total;
    total += tallies_[branch].count;
  }
  listEntries_.clear();
  listEntries_.shrink_to_fit();
  listEntries_.resize(total);
  std::vector<std::size_t> cursors(listStarts_);
  log_.forEachEntry([&](TestNumber test, BranchId branch) {
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
    for (const BranchId branch : group.branchIds) {
      if (branch == noBranch || tallies_[branch].count == 0) continue;
      if (coverCounts.size() == liveBranchCount_) reportMessage(Message::TooMuchCovItem);
      coverCounts.push_back(tallies_[branch].count);
      largest = std::max(largest, tallies_[branch].count);
    }
  if (!groups_.empty()) maxTestsPerBranch_ = largest;
  return coverCounts;
}
