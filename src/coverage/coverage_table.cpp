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
  BranchId *stored;
  if (index < GroupHead::lowIndexCount) {
    stored = &heads_[group].low[index];
  } else {
    stored = &branchOfKey_.try_emplace(std::uint64_t{group} << 32 | index, noBranch).first->second;
  }
  if (*stored == noBranch) {
    *stored = branchCount_++;
    groups_[group].branches.push_back({index, *stored});
    ordered_ = false;
  }
  return *stored;
}

void CoverageTable::repeatEntries(TestNumber test, std::uint64_t first, std::uint64_t count) {
  lastPieceStores_ = false;
  while (count != 0) {
    const std::uint64_t step = std::min(count, blockSize - (first & (blockSize - 1)));
    pieces_.push_back({test, static_cast<std::uint32_t>(step), first});
    first += step;
    count -= step;
  }
}

void CoverageTable::settleNewPieces() const {
  totals_.resize(branchCount_);
  // How many of the new pieces hold each stored entry: one more where a
  // piece starts, one less past its end.
  std::vector<std::int32_t> holderChange(storedCount_ + 1, 0);
  for (std::size_t k = settledPieces_; k < pieces_.size(); ++k) {
    ++holderChange[pieces_[k].first];
    --holderChange[pieces_[k].first + pieces_[k].count];
  }
  std::int64_t holders = 0;
  for (std::uint64_t position = 0; position < storedCount_; ++position) {
    holders += holderChange[position];
    if (holders == 0) continue;
    BranchTotal &total = totals_[storedAt(position)];
    liveBranchCount_ += total.count == 0;
    total.count += static_cast<std::uint32_t>(holders);
  }
  // A branch with one entry has it from the piece that stored it: the
  // pieces that store follow one another through the positions.
  std::uint64_t frontier = settledStoredCount_;
  for (std::size_t k = settledPieces_; k < pieces_.size(); ++k) {
    const Piece &piece = pieces_[k];
    if (piece.first != frontier) continue;
    for (const BranchId branch : storedRun(piece)) totals_[branch].onlyTest = piece.test;
    frontier += piece.count;
  }
  settledPieces_ = pieces_.size();
  settledStoredCount_ = storedCount_;
  lastPieceStores_ = false;
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
  updateTotals();
  // Room for the live branches only: before the mandatory reduction that is
  // every branch, after it only those the search still needs.
  listStarts_.resize(totals_.size());
  std::uint64_t total = 0;
  for (std::size_t branch = 0; branch < totals_.size(); ++branch) {
    listStarts_[branch] = total;
    total += totals_[branch].count;
  }
  listEntries_.clear();
  listEntries_.shrink_to_fit();
  listEntries_.resize(total);
  // From each stored position, the next one in its block whose branch is
  // live: a piece is walked in steps over the live entries only.
  std::vector<std::uint32_t> nextLive(storedCount_);
  for (std::uint64_t blockStart = 0; blockStart < storedCount_; blockStart += blockSize) {
    const BranchId *block = blocks_[blockStart >> blockBits].get();
    auto next = static_cast<std::uint32_t>(blockSize);
    for (auto offset = static_cast<std::uint32_t>(std::min(blockSize, storedCount_ - blockStart));
         offset-- != 0;) {
      if (totals_[block[offset]].count != 0) next = offset;
      nextLive[blockStart + offset] = next;
    }
  }
  std::vector<std::uint64_t> cursors(listStarts_);
  for (const Piece &piece : pieces_) {
    const std::uint64_t blockStart = piece.first & ~(blockSize - 1);
    const BranchId *block = blocks_[piece.first >> blockBits].get();
    const auto end = static_cast<std::uint32_t>(piece.first - blockStart) + piece.count;
    for (std::uint32_t offset = nextLive[piece.first]; offset < end;) {
      listEntries_[cursors[block[offset]]++] = piece.test;
      if (++offset == end) break;
      offset = nextLive[blockStart + offset];
    }
  }
  listsBuilt_ = true;
  listedPieces_ = pieces_.size();
  lastPieceStores_ = false;
}

void CoverageTable::emptyBranch(const Branch &branch) {
  updateTotals();
  totals_[branch.id].count = 0;
  --liveBranchCount_;
}

std::vector<std::uint32_t> CoverageTable::buildCoverCounts() {
  updateTotals();
  std::vector<std::uint32_t> coverCounts;
  coverCounts.reserve(liveBranchCount_);
  std::uint32_t largest = maxTestsPerBranch_;
  for (const BranchGroup &group : groups())
    for (const IndexedBranch &branch : group.branches) {
      const std::uint32_t count = totals_[branch.id].count;
      if (count == 0) continue;
      if (coverCounts.size() == liveBranchCount_) throw FatalError(Message::TooMuchCovItem);
      coverCounts.push_back(count);
      largest = std::max(largest, count);
    }
  if (!groups_.empty()) maxTestsPerBranch_ = largest;
  return coverCounts;
}

}  // namespace zorvane::coverage
