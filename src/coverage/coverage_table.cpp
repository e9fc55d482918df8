#include "coverage/coverage_table.h"

#include <algorithm>
#include <bit>
#include <utility>

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
  if (!lastGroupsOfFile_ || ftKey != lastFtKey_) {
    lastGroupsOfFile_ = &groupsOfFile_[ftKey];
    lastFtKey_ = ftKey;
  }
  const auto [found, added] = lastGroupsOfFile_->try_emplace({dcKey, branchKind}, 0);
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

std::uint32_t CoverageTable::markRun(std::uint64_t first) {
  runs_.push_back({first, storedCount_ - first, 0});
  return static_cast<std::uint32_t>(runs_.size() - 1);
}

std::uint64_t CoverageTable::repeatRun(TestNumber test, std::uint32_t run) {
  lastPieceStores_ = false;
  if (runs_[run].newRepeats++ == 0) repeatedRuns_.push_back(run);
  forEachPieceOf(test, runs_[run], [this](const Piece &piece) { pieces_.push_back(piece); });
  return runs_[run].count;
}

void CoverageTable::settleNewPieces() const {
  totals_.resize(branchCount_);
  const auto count = [this](const Piece &piece, std::uint32_t times, bool stores) {
    for (const BranchId branch : storedRun(piece)) {
      BranchTotal &total = totals_[branch];
      liveBranchCount_ += total.count == 0;
      total.count += times;
      if (stores) total.onlyTest = piece.test;
    }
  };
  // The pieces that store follow one another through the positions; a
  // branch with one entry has it from the piece that stored it. The other
  // pieces repeat runs.
  std::uint64_t frontier = settledStoredCount_;
  for (std::size_t k = settledPieces_; k < pieces_.size(); ++k) {
    const Piece &piece = pieces_[k];
    if (piece.first != frontier) continue;
    count(piece, 1, true);
    frontier += piece.count;
  }
  // Each run repeated is counted once, times its new repeats, in stored
  // order.
  std::ranges::sort(repeatedRuns_);
  for (const std::uint32_t repeated : repeatedRuns_) {
    Run &run = runs_[repeated];
    forEachPieceOf(0, run, [&](const Piece &piece) { count(piece, run.newRepeats, false); });
    run.newRepeats = 0;
  }
  repeatedRuns_.clear();
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
  countNewEntries();
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
  // Which stored entries are of live branches, a bit each: a piece is
  // walked a word of 64 entries at a time, stopping at live entries only.
  // They are found from the live branches' bits, few enough to stay cached.
  std::vector<std::uint64_t> liveBranches((totals_.size() + 63) / 64, 0);
  for (std::size_t branch = 0; branch < totals_.size(); ++branch)
    if (totals_[branch].count != 0) liveBranches[branch / 64] |= std::uint64_t{1} << (branch % 64);
  const auto isLive = [&liveBranches](BranchId branch) -> std::uint64_t {
    return liveBranches[branch / 64] >> (branch % 64) & 1;
  };
  // A word's 64 entries lie in one block.
  std::vector<std::uint64_t> liveBits((storedCount_ + 63) / 64);
  for (std::uint64_t word = 0; word < liveBits.size(); ++word) {
    const std::uint64_t first = word * 64;
    const BranchId *entries = &blocks_[first >> blockBits][first & (blockSize - 1)];
    const auto count = static_cast<unsigned>(std::min<std::uint64_t>(64, storedCount_ - first));
    std::uint64_t bits = 0;
    for (unsigned k = 0; k < count; ++k) bits |= isLive(entries[k]) << k;
    liveBits[word] = bits;
  }
  std::vector<std::uint64_t> cursors(listStarts_);
  for (const Piece &piece : pieces_) {
    const std::span<const BranchId> run = storedRun(piece);
    const std::uint64_t first = piece.first, last = first + piece.count - 1;
    for (std::uint64_t word = first / 64; word <= last / 64; ++word) {
      std::uint64_t bits = liveBits[word];
      if (word == first / 64) bits &= ~std::uint64_t{0} << (first % 64);
      if (word == last / 64) bits &= ~std::uint64_t{0} >> (63 - last % 64);
      for (; bits != 0; bits &= bits - 1)
        listEntries_[cursors[run[word * 64 + std::countr_zero(bits) - first]]++] = piece.test;
    }
  }
  listsBuilt_ = true;
  listedPieces_ = pieces_.size();
  lastPieceStores_ = false;
}

CoverageTable::TestLists CoverageTable::takeTestLists() {
  buildTestLists();
  listsBuilt_ = false;
  return {std::move(listEntries_), std::move(listStarts_)};
}

void CoverageTable::emptyBranch(const Branch &branch) {
  countNewEntries();
  totals_[branch.id].count = 0;
  --liveBranchCount_;
}

std::vector<std::uint32_t> CoverageTable::buildCoverCounts() {
  countNewEntries();
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
