#pragma once

#include <algorithm>
#include <array>
#include <compare>
#include <cstdint>
#include <deque>
#include <memory>
#include <ranges>
#include <span>

#include <vector>

#include <absl/container/flat_hash_map.h>

#include "coverage/numbering.h"
#include "coverage/source_notes.h"

namespace zorvane::coverage {

// What the table knows of one branch: how many entries it has (a repeated
// branch line counts twice), its test when it has one entry, and, once the
// lists are built, its tests in the order they were added.
struct Branch {
  BranchId id = 0;
  std::uint32_t count = 0;
  TestNumber onlyTest = 0;
  std::span<const TestNumber> tests;

  bool isLive() const { return count != 0; }
  std::span<const TestNumber> entries() const { return tests; }
};

// A branch of a group with its index, as the branch line gave it.
struct IndexedBranch {
  std::uint32_t index;
  BranchId id;
};

// The branches that share an FT key, a DC key and a kind.
struct BranchGroup {
  GroupId id;
  std::uint32_t ftKey;
  std::uint32_t dcKey;
  signed char branchKind;
  // The branches reached, by ascending index whenever the table is walked.
  std::vector<IndexedBranch> branches;
};

// Key order of groups: FT key, then DC key (both unsigned), then the kind as
// a signed byte, so kinds 0x80 to 0xFF sort before 0x00 to 0x7F.
struct GroupKey {
  std::uint32_t ftKey;
  std::uint32_t dcKey;
  signed char branchKind;
  auto operator<=>(const GroupKey &) const = default;
};

// All branches that any test of any coverage file reached, merged: a branch
// named the same way in two files is one branch. A branch takes room only
// once a test reaches it. Entries are kept in the order they are added, as
// pieces: a piece gives one test a run of stored entries, and entries
// repeated by a later test are stored once, its piece pointing back at them.
// Counts and the per-branch lists are made from the pieces when they are
// needed, the lists for the live branches only. Everything that walks the
// table walks it in one order: groups in key order, branches by ascending
// index.
class CoverageTable {
 public:
  CoverageTable() = default;
  CoverageTable(const CoverageTable &) = delete;
  CoverageTable &operator=(const CoverageTable &) = delete;

  // The group of those keys, created empty when it is new.
  GroupId findOrInsertGroupId(std::uint32_t ftKey, std::uint32_t dcKey, signed char branchKind);
  // The same, for a reader that looked up `previous` just before: the group
  // that followed it last time is tried first, without hashing, as tests of
  // a suite mostly reach code in the same order.
  GroupId findGroupAfter(GroupId previous, std::uint32_t ftKey, std::uint32_t dcKey,
                         signed char branchKind) {
    if (previous != noGroup) {
      const GroupId next = heads_[previous].next;
      if (next != noGroup && heads_[next].ftKey == ftKey && heads_[next].dcKey == dcKey &&
          heads_[next].branchKind == branchKind)
        return next;
    }
    const GroupId found = findOrInsertGroupId(ftKey, dcKey, branchKind);
    if (previous != noGroup) heads_[previous].next = found;
    return found;
  }

  // Appends `test` to the branch `branchIndex` of the group.
  void addTestToBranch(GroupId group, TestNumber test, std::uint32_t branchIndex) {
    const GroupHead &head = heads_[group];
    store(test, branchIndex < GroupHead::lowIndexCount && head.low[branchIndex] != noBranch
                    ? head.low[branchIndex]
                    : branchAt(group, branchIndex));
  }

  // How many entries are stored: an entry added through addTestToBranch()
  // is stored at the position this gave before.
  std::uint64_t storedCount() const { return storedCount_; }
  // Makes the entries stored from position `first` on a run that later
  // tests may repeat, and gives its number.
  std::uint32_t markRun(std::uint64_t first);
  // Adds to `test` the entries of the run `run`; gives how many they are.
  std::uint64_t repeatRun(TestNumber test, std::uint32_t run);
  // Counts the entries added since the last count. Every question about
  // counts does it first; done ahead, the question has less left to do.
  void countNewEntries() const {
    if (settledPieces_ != pieces_.size() || !repeatedRuns_.empty()) settleNewPieces();
  }

  // Groups in key order, each with its branches in index order.
  auto groups() const {
    putInOrder();
    return orderedGroups_ |
           std::views::transform([](BranchGroup *group) -> BranchGroup & { return *group; });
  }

  // The branch `id`; its list of tests is empty until buildTestLists().
  Branch branch(BranchId id) const {
    countNewEntries();
    const BranchTotal &total = totals_[id];
    return {id, total.count, total.onlyTest,
            listsBuilt() ? std::span(listEntries_).subspan(listStarts_[id], total.count)
                         : std::span<const TestNumber>()};
  }

  // Builds the test list of every live branch, which branch() then gives.
  // Entries added later undo it.
  void buildTestLists();
  // The lists, one after another, with where each branch's list starts, by
  // branch id (a branch emptied since they were built keeps its list).
  struct TestLists {
    std::vector<TestNumber> entries;
    std::vector<std::uint64_t> starts;
  };
  // Builds the lists if need be and gives them up: branch() gives empty
  // lists afterwards.
  TestLists takeTestLists();

  // Calls visit(test, branch) for every entry of a test for which
  // wanted(test) holds, in the order added.
  template <class Wanted, class Visit>
  void forEachEntryOf(Wanted wanted, Visit visit) const {
    for (const Piece &piece : pieces_)
      if (wanted(piece.test))
        for (const BranchId branch : storedRun(piece)) visit(piece.test, branch);
  }

  std::uint32_t branchCount() const { return static_cast<std::uint32_t>(branchCount_); }

  // Empties a live branch (the mandatory reduction).
  void emptyBranch(const Branch &branch);

  // The entry count of every live branch in table order; also sets
  // maxTestsPerBranch(). Reports message 3 if the live branches found disagree
  // with liveBranchCount().
  std::vector<std::uint32_t> buildCoverCounts();

  std::uint32_t liveBranchCount() const {
    countNewEntries();
    return liveBranchCount_;
  }
  std::uint32_t maxTestsPerBranch() const { return maxTestsPerBranch_; }

  // What the coverage files' comments said of their sources.
  SourceNotes &sourceNotes() { return sourceNotes_; }
  const SourceNotes &sourceNotes() const { return sourceNotes_; }

 private:
  struct BranchTotal {
    std::uint32_t count = 0;
    TestNumber onlyTest = 0;
  };
  // Stored entries that later tests repeat, and how many times they were
  // repeated since the totals last counted them.
  struct Run {
    std::uint64_t first;
    std::uint64_t count;
    std::uint32_t newRepeats;
  };
  // The entries of `test` stored from `first` on, all in one block (never
  // empty).
  struct Piece {
    TestNumber test;
    std::uint32_t count;
    std::uint64_t first;
  };

  // What the reader's lookups read, apart from the groups themselves: the
  // keys, the group looked up next last time, and the branches of the first
  // indexes, in one cache line.
  struct alignas(64) GroupHead {
    static constexpr std::uint32_t lowIndexCount = 12;
    std::uint32_t ftKey;
    std::uint32_t dcKey;
    GroupId next = noGroup;
    signed char branchKind;
    std::array<BranchId, lowIndexCount> low;
  };
  static_assert(sizeof(GroupHead) == 64);

  BranchId branchAt(GroupId group, std::uint32_t index);
  GroupId addGroup(std::uint32_t ftKey, std::uint32_t dcKey, signed char branchKind);
  void store(TestNumber test, BranchId branch) {
    const std::uint64_t position = storedCount_++;
    const std::uint64_t offset = position & (blockSize - 1);
    if (offset == 0) blocks_.push_back(std::make_unique_for_overwrite<BranchId[]>(blockSize));
    blocks_.back()[offset] = branch;
    // The last piece grows while it is the one that stores, for the same
    // test, in the same block.
    if (lastPieceStores_ && pieces_.back().test == test && offset != 0)
      ++pieces_.back().count;
    else
      pieces_.push_back({test, 1, position});
    lastPieceStores_ = true;
  }
  // Calls visit(piece) for the pieces that give `test` the run, one a block.
  template <class Visit>
  static void forEachPieceOf(TestNumber test, const Run &run, Visit visit) {
    for (std::uint64_t first = run.first, left = run.count; left != 0;) {
      const std::uint64_t step = std::min(left, blockSize - (first & (blockSize - 1)));
      visit(Piece{test, static_cast<std::uint32_t>(step), first});
      first += step;
      left -= step;
    }
  }
  std::span<const BranchId> storedRun(const Piece &piece) const {
    return {&blocks_[piece.first >> blockBits][piece.first & (blockSize - 1)], piece.count};
  }
  void settleNewPieces() const;
  void putInOrder() const;

  std::deque<BranchGroup> groups_;
  std::vector<GroupHead> heads_;
  // Groups by FT key, then by DC key and kind: the groups of one source
  // file are looked up together, from a map small enough to stay cached.
  struct GroupKeyInFile {
    std::uint32_t dcKey;
    signed char branchKind;
    bool operator==(const GroupKeyInFile &) const = default;
    template <class H>
    friend H AbslHashValue(H hash, const GroupKeyInFile &key) {
      return H::combine(std::move(hash), key.dcKey, key.branchKind);
    }
  };
  using GroupsOfFile = absl::flat_hash_map<GroupKeyInFile, GroupId>;
  absl::flat_hash_map<std::uint32_t, GroupsOfFile> groupsOfFile_;
  // The map of the FT key looked up last; taken again whenever the key
  // changes, which is also the only time groupsOfFile_ grows.
  std::uint32_t lastFtKey_ = 0;
  GroupsOfFile *lastGroupsOfFile_ = nullptr;
  // The branch of each (group, index) past the group's low indexes: group
  // id in the high half.
  absl::flat_hash_map<std::uint64_t, BranchId> branchOfKey_;
  BranchId branchCount_ = 0;
  // Counted from the pieces, up to settledPieces_, when first asked for:
  // reading only adds pieces.
  mutable std::vector<BranchTotal> totals_;
  mutable std::size_t settledPieces_ = 0;
  // The positions stored before the pieces from settledPieces_ on.
  mutable std::uint64_t settledStoredCount_ = 0;

  // The stored entries, in blocks of a fixed size: they grow without ever
  // being copied.
  static constexpr unsigned blockBits = 20;
  static constexpr std::uint64_t blockSize = std::uint64_t{1} << blockBits;
  std::vector<std::unique_ptr<BranchId[]>> blocks_;
  std::uint64_t storedCount_ = 0;
  std::vector<Piece> pieces_;
  mutable std::vector<Run> runs_;
  // The runs repeated since the totals last counted repeats.
  mutable std::vector<std::uint32_t> repeatedRuns_;
  // Whether the last piece is the one the last stored entry went to: a piece
  // that is counted, listed or repeats entries never grows again.
  mutable bool lastPieceStores_ = false;

  mutable std::vector<BranchGroup *> orderedGroups_;
  mutable bool ordered_ = true;

  // The lists, one after another in branch id order, while listsBuilt_.
  std::vector<TestNumber> listEntries_;
  std::vector<std::uint64_t> listStarts_;
  bool listsBuilt_ = false;
  std::size_t listedPieces_ = 0;
  bool listsBuilt() const { return listsBuilt_ && listedPieces_ == pieces_.size(); }

  mutable std::uint32_t liveBranchCount_ = 0;
  std::uint32_t maxTestsPerBranch_ = 0;
  SourceNotes sourceNotes_;
};

}  // namespace zorvane::coverage
