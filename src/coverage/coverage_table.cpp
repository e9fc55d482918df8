#include "coverage/coverage_table.h"

#include <algorithm>

#include "coverage/chunk_index.h"
#include "coverage/key_pair_index.h"
#include "shell/messages.h"

CoverageTable::CoverageTable()
    : pairIndex_(std::make_unique<KeyPairIndex>()), chunkIndex_(std::make_unique<ChunkIndex>()) {
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
    KeyPair &added = pairs_.emplace_back(KeyPair{ftKey, dcKey, noKeyPair, {}});
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
}

BranchId CoverageTable::branchOf(const BranchEntry &entry) {
  BranchGroup &group = *groupsById_[entry.group];
  if (entry.branchIndex >= group.branchIds.size()) growSlots(group, entry.branchIndex);
  BranchId &branch = group.branchIds[entry.branchIndex];
  if (branch == noBranch) {
    branch = static_cast<BranchId>(tallies_.size());
    tallies_.emplace_back();
  }
  return branch;
}

PieceId CoverageTable::addPiece(std::span<const BranchEntry> entries) {
  pieceBranches_.clear();
  for (const BranchEntry &entry : entries) pieceBranches_.push_back(branchOf(entry));
  pieceUses_.emplace_back();
  return log_.addPiece(pieceBranches_);
}

void CoverageTable::addPieceToTest(PieceId piece, TestNumber test) {
  PieceUse &use = pieceUses_[piece];
  if (use.count++ == 0) piecesUsed_.push_back(piece);
  use.lastTest = std::max(use.lastTest, test);
  log_.append(test, piece);
  listsBuilt_ = false;
}

void CoverageTable::settleCounts() {
  for (const PieceId piece : piecesUsed_) {
    PieceUse &use = pieceUses_[piece];
    log_.forEachBranchOf(piece,
                         [&](BranchId branch) { addToTally(branch, use.count, use.lastTest); });
    use = PieceUse();
  }
  piecesUsed_.clear();
}

void CoverageTable::addEntriesOnce(std::span<const BranchEntry> entries, TestNumber test) {
  const PieceId piece = addPiece(entries);
  // addPiece leaves the piece's branches in pieceBranches_.
  for (const BranchId branch : pieceBranches_) addToTally(branch, 1, test);
  log_.append(test, piece);
  listsBuilt_ = false;
}

void CoverageTable::addToTally(BranchId branch, std::uint32_t count, TestNumber lastTest) {
  BranchTally &tally = tallies_[branch];
  if (tally.count == 0) ++liveBranchCount_;
  tally.count += count;
  tally.lastTest = std::max(tally.lastTest, lastTest);
}

void CoverageTable::addTestToBranch(BranchGroup &group, TestNumber test,
                                    std::uint16_t branchIndex) {
  const BranchEntry entry{group.id, branchIndex};
  addEntriesOnce({&entry, 1}, test);
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
