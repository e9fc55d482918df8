#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <map>
#include <memory>
#include <ranges>
#include <span>
#include <vector>

#include "coverage/entry_log.h"
#include "coverage/source_notes.h"
#include "coverage/test_number.h"

class ChunkIndex;
class KeyPairIndex;

// What the table knows of one branch: how many entries it has (a repeated
// branch line counts twice), the highest test among them (the test of the
// last, as tests are read one after another), and, once the
// lists are built, its tests in the order they were added (which is
// non-decreasing test order, since tests are read one after another).
struct BranchSlot {
  BranchId id = noBranch;
  std::uint32_t count = 0;
  TestNumber lastTest = 0;
  std::span<const TestNumber> tests;

  bool isLive() const { return count != 0; }
  std::span<const TestNumber> entries() const { return tests; }
};

// Groups are numbered from 0 in the order they were created.
using GroupId = std::uint32_t;
inline constexpr GroupId noGroup = UINT32_MAX;

// Pairs of an FT and a DC key are numbered from 0 in the order they were
// first looked up.
using KeyPairId = std::uint32_t;
inline constexpr KeyPairId noKeyPair = UINT32_MAX;

// The branches that share an FT key, a DC key and a kind; a branch's index
// in `branchIds` is its branch index.
class BranchGroup {
 public:
  BranchGroup(GroupId id, std::uint32_t ftKey, std::uint32_t dcKey, signed char branchKind);
  BranchGroup(const BranchGroup &) = delete;
  BranchGroup &operator=(const BranchGroup &) = delete;

  GroupId id;
  std::uint32_t ftKey;
  std::uint32_t dcKey;
  signed char branchKind;
  // The branch at each index, noBranch where none was reached. Grows in
  // steps of 8 to hold the highest branch index seen.
  std::vector<BranchId> branchIds;

  std::uint32_t slotCapacity() const { return static_cast<std::uint32_t>(branchIds.size()); }
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
// named the same way in two files is one branch. Everything that walks the
// table walks it in one order: groups in key order, slots by index.
class CoverageTable {
 public:
  CoverageTable();
  ~CoverageTable();
  CoverageTable(const CoverageTable &) = delete;
  CoverageTable &operator=(const CoverageTable &) = delete;

  // Groups are found in two steps, as a reader meets their keys: the pair of
  // FT and DC keys, at the key lines, then the kind, at each branch line.

  // The pair of those keys, added if new. `previous`, when given, is the
  // pair looked up just before by the same reader: the pair that followed it
  // last time is tried first (tests of a suite mostly reach code in the same
  // order).
  KeyPairId findKeyPair(std::uint32_t ftKey, std::uint32_t dcKey,
                        KeyPairId previous = noKeyPair) {
    if (previous != noKeyPair) {
      const KeyPairId predicted = pairs_[previous].followedBy;
      if (predicted != noKeyPair && pairs_[predicted].ftKey == ftKey &&
          pairs_[predicted].dcKey == dcKey)
        return arriveAt(predicted);
    }
    return findKeyPairUnpredicted(ftKey, dcKey, previous);
  }
  // The id of the group of that pair and kind, created empty (8 slots) when
  // it is new. Costs two reads from memory that stays in cache, with no
  // branch that depends on the data, for the first kinds a run meets.
  GroupId findOrInsertGroupId(KeyPairId pair, signed char branchKind) {
    const std::uint8_t kindSlot = kindSlots_[static_cast<unsigned char>(branchKind)];
    const GroupId id = pairs_[pair].groupOfKindSlot[kindSlot];
    return id != noGroup ? id : findOrInsertGroupOfNewKind(pair, branchKind);
  }
  GroupId findOrInsertGroupId(std::uint32_t ftKey, std::uint32_t dcKey, signed char branchKind) {
    return findOrInsertGroupId(findKeyPair(ftKey, dcKey), branchKind);
  }
  BranchGroup &findOrInsertGroup(std::uint32_t ftKey, std::uint32_t dcKey,
                                 signed char branchKind) {
    return *groupsById_[findOrInsertGroupId(ftKey, dcKey, branchKind)];
  }

  GroupId groupCount() const { return static_cast<GroupId>(groupsById_.size()); }
  BranchGroup &group(GroupId id) { return *groupsById_[id]; }

  // Appends `test` to the branch `branchIndex` of `group`.
  void addTestToBranch(BranchGroup &group, TestNumber test, std::uint16_t branchIndex);

  // A branch as a branch line names it.
  struct BranchEntry {
    GroupId group;
    std::uint16_t branchIndex;
  };
  // Stores a piece of the branches that `entries` name, in their order, and
  // adds those not reached before.
  PieceId addPiece(std::span<const BranchEntry> entries);
  // Appends `test` to every branch of `piece`, in its order: the same as
  // addTestToBranch for each of its entries, except that the slots' counts
  // take them in only at settleCounts(). A piece met a thousand times then
  // costs its branches one update, not a thousand.
  void addPieceToTest(PieceId piece, TestNumber test);
  // Brings the counts of the slots up to date with the pieces added.
  void settleCounts();
  // Appends `test` to the branches that `entries` name, in their order, as
  // a piece that will not be met again: the slots' counts take them in at
  // once.
  void addEntriesOnce(std::span<const BranchEntry> entries, TestNumber test);

  // The chunks that the readers have met, for the readers of later ones.
  ChunkIndex &chunkIndex() { return *chunkIndex_; }

  // What the coverage files' comments said of their sources.
  SourceNotes &sourceNotes() { return sourceNotes_; }
  const SourceNotes &sourceNotes() const { return sourceNotes_; }

  // The branch at `index` of `group` (which may be past its capacity).
  BranchSlot slot(const BranchGroup &group, std::uint32_t index) const {
    const BranchId id = index < group.branchIds.size() ? group.branchIds[index] : noBranch;
    if (id == noBranch) return {};
    const BranchTally &tally = tallies_[id];
    return {id, tally.count, tally.lastTest,
            listsBuilt_ ? std::span(listEntries_).subspan(listStarts_[id], tally.count)
                        : std::span<const TestNumber>()};
  }

  // Builds the test list of every live branch, which slot() then gives;
  // until then slots have no lists. Entries added later undo it.
  void buildTestLists();

  // Every entry in the order added, by test: see EntryLog::forEachEntry.
  const EntryLog &entryLog() const { return log_; }
  std::uint32_t branchCount() const { return static_cast<std::uint32_t>(tallies_.size()); }

  // Empties a live slot (the mandatory reduction).
  void emptySlot(const BranchSlot &slot);

  // The entry count of every live slot in table order; also sets
  // maxTestsPerBranch(). Reports message 3 if the live slots found disagree
  // with liveBranchCount().
  std::vector<std::uint32_t> buildCoverCounts();

  std::uint32_t liveBranchCount() const { return liveBranchCount_; }
  std::uint32_t maxTestsPerBranch() const { return maxTestsPerBranch_; }

  auto groups() const { return std::views::values(groups_); }
  auto groups() { return std::views::values(groups_); }

 private:
  KeyPairId findKeyPairUnpredicted(std::uint32_t ftKey, std::uint32_t dcKey, KeyPairId previous);
  GroupId findOrInsertGroupOfNewKind(KeyPairId pair, signed char branchKind);
  KeyPairId arriveAt(KeyPairId pair) {
    // Fetched now, the pair likely next is there when it is asked for.
    if (const KeyPairId next = pairs_[pair].followedBy; next != noKeyPair)
      __builtin_prefetch(&pairs_[next]);
    return pair;
  }
  void growSlots(BranchGroup &group, std::uint16_t branchIndex);
  BranchId branchOf(const BranchEntry &entry);
  void addToTally(BranchId branch, std::uint32_t count, TestNumber lastTest);

  // Groups in key order, for walking and for finding them by key.
  std::map<GroupKey, BranchGroup> groups_;
  std::vector<BranchGroup *> groupsById_;

  // What the reader's lookups read instead of the groups, whose memory is
  // spread over the heap. The first kinds met (few in any real suite) get a
  // slot each, and every pair holds its groups by kind slot; a kind without
  // a slot reads the last entry, which stays empty, and is looked up by key.
  static constexpr std::uint8_t kindSlotLimit = 8;
  std::array<std::uint8_t, 256> kindSlots_;
  std::uint8_t kindSlotCount_ = 0;
  struct KeyPair {
    std::uint32_t ftKey;
    std::uint32_t dcKey;
    // The pair looked up right after this one the last time.
    KeyPairId followedBy = noKeyPair;
    std::array<GroupId, kindSlotLimit + 1> groupOfKindSlot;
  };
  std::vector<KeyPair> pairs_;
  std::unique_ptr<KeyPairIndex> pairIndex_;

  std::unique_ptr<ChunkIndex> chunkIndex_;
  std::vector<BranchId> pieceBranches_;
  // What each piece has been added since the counts were last settled, and
  // which pieces that is.
  struct PieceUse {
    std::uint32_t count = 0;
    TestNumber lastTest = 0;
  };
  std::vector<PieceUse> pieceUses_;
  std::vector<PieceId> piecesUsed_;

  struct BranchTally {
    std::uint32_t count = 0;
    TestNumber lastTest = 0;
  };
  std::vector<BranchTally> tallies_;
  EntryLog log_;

  // The lists, one after another in branch id order, while listsBuilt_.
  std::vector<TestNumber> listEntries_;
  std::vector<std::size_t> listStarts_;
  bool listsBuilt_ = false;

  std::uint32_t liveBranchCount_ = 0;
  SourceNotes sourceNotes_;
  std::uint32_t maxTestsPerBranch_ = 0;
};
