#pragma once

#include <compare>
#include <cstdint>
#include <deque>
#include <memory>
#include <ranges>
#include <span>

#include <absl/container/flat_hash_map.h>
#include <vector>

#include "coverage/source_notes.h"
#include "coverage/test_number.h"

// Branches are numbered from 0 in the order they were first reached.
using BranchId = std::uint32_t;
inline constexpr BranchId noBranch = UINT32_MAX;

// What the table knows of one branch: how many entries it has (a repeated
// branch line counts twice), the highest test among them, and, once the
// lists are built, its tests in the order they were added.
struct BranchSlot {
  BranchId id = 0;
  std::uint32_t count = 0;
  TestNumber lastTest = 0;
  std::span<const TestNumber> tests;

  bool isLive() const { return count != 0; }
  std::span<const TestNumber> entries() const { return tests; }
};

// Groups are numbered from 0 in the order they were created.
using GroupId = std::uint32_t;

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
  // The branch of each low index, noBranch where none was reached: what
  // most branch lines name, found without hashing. It holds at most a few
  // more indexes than the group has branches; the others are hashed.
  std::vector<BranchId> lowIndexes;
  bool hasHashedIndexes = false;
  // The next group of the same FT and DC keys (of another kind), in a ring.
  GroupId sameKeys;
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
// once a test reaches it. Entries are logged in the order they are added;
// the per-branch lists are built from the log when they are needed, for the
// live branches only. Everything that walks the table walks it in one
// order: groups in key order, branches by ascending index.
class CoverageTable {
 public:
  CoverageTable() = default;
  CoverageTable(const CoverageTable &) = delete;
  CoverageTable &operator=(const CoverageTable &) = delete;

  // The group of those keys, created empty when it is new.
  GroupId findOrInsertGroupId(std::uint32_t ftKey, std::uint32_t dcKey, signed char branchKind);
  // The same, for the FT and DC keys of `sameKeys`: found without hashing.
  GroupId findOrInsertGroupId(GroupId sameKeys, signed char branchKind);
  BranchGroup &findOrInsertGroup(std::uint32_t ftKey, std::uint32_t dcKey,
                                 signed char branchKind) {
    return groups_[findOrInsertGroupId(ftKey, dcKey, branchKind)];
  }

  // Appends `test` to the branch `branchIndex` of the group.
  void addTestToBranch(GroupId group, TestNumber test, std::uint32_t branchIndex);
  void addTestToBranch(const BranchGroup &group, TestNumber test, std::uint32_t branchIndex) {
    addTestToBranch(group.id, test, branchIndex);
  }

  // Groups in key order, each with its branches in index order.
  auto groups() const {
    putInOrder();
    return orderedGroups_ |
           std::views::transform([](BranchGroup *group) -> BranchGroup & { return *group; });
  }

  // The branch `id`; its list of tests is empty until buildTestLists().
  BranchSlot slot(BranchId id) const {
    const Tally &tally = tallies_[id];
    return {id, tally.count, tally.lastTest,
            listsBuilt_ ? std::span(listEntries_).subspan(listStarts_[id], tally.count)
                        : std::span<const TestNumber>()};
  }
  // The branch at `index` of `group`, empty when no test reached it.
  BranchSlot slot(const BranchGroup &group, std::uint32_t index) const;

  // Builds the test list of every live branch, which slot() then gives.
  // Entries added later undo it.
  void buildTestLists();

  // Calls visit(test, branch) for every entry of a test for which
  // wanted(test) holds, in the order added.
  template <class Wanted, class Visit>
  void forEachEntryOf(Wanted wanted, Visit visit) const {
    std::uint64_t position = 0;
    for (const TestRun &run : runs_) {
      if (wanted(run.test))
        for (std::uint64_t k = position; k < run.end; ++k) visit(run.test, logAt(k));
      position = run.end;
    }
  }

  std::uint32_t branchCount() const { return static_cast<std::uint32_t>(tallies_.size()); }

  // Empties a live slot (the mandatory reduction).
  void emptySlot(const BranchSlot &slot);

  // The entry count of every live slot in table order; also sets
  // maxTestsPerBranch(). Reports message 3 if the live slots found disagree
  // with liveBranchCount().
  std::vector<std::uint32_t> buildCoverCounts();

  std::uint32_t liveBranchCount() const { return liveBranchCount_; }
  std::uint32_t maxTestsPerBranch() const { return maxTestsPerBranch_; }

  // What the coverage files' comments said of their sources.
  SourceNotes &sourceNotes() { return sourceNotes_; }
  const SourceNotes &sourceNotes() const { return sourceNotes_; }

 private:
  struct Tally {
    std::uint32_t count = 0;
    TestNumber lastTest = 0;
  };
  // The entries of one test, up to `end` in the log, after those of the run
  // before.
  struct TestRun {
    TestNumber test;
    std::uint64_t end;
  };

  BranchId branchAt(BranchGroup &group, std::uint32_t index);
  BranchId addBranch(BranchGroup &group, std::uint32_t index);
  GroupId addGroup(std::uint32_t ftKey, std::uint32_t dcKey, signed char branchKind);
  void putInOrder() const;
  void appendToLog(TestNumber test, BranchId branch);
  BranchId logAt(std::uint64_t position) const {
    return logBlocks_[position >> logBlockBits][position & (logBlockSize - 1)];
  }

  std::deque<BranchGroup> groups_;
  // A group of each pair of FT and DC keys (FT key in the high half); the
  // others of the pair are on its ring.
  absl::flat_hash_map<std::uint64_t, GroupId> groupOfKeys_;
  // The branch of each (group, index) past the group's low indexes: group
  // id in the high half.
  absl::flat_hash_map<std::uint64_t, BranchId> branchOfKey_;
  std::vector<Tally> tallies_;

  // The log, in blocks of a fixed size: it grows without ever being copied.
  static constexpr unsigned logBlockBits = 20;
  static constexpr std::uint64_t logBlockSize = std::uint64_t{1} << logBlockBits;
  std::vector<std::unique_ptr<BranchId[]>> logBlocks_;
  std::uint64_t logSize_ = 0;
  std::vector<TestRun> runs_;

  mutable std::vector<BranchGroup *> orderedGroups_;
  mutable bool ordered_ = true;

  // The lists, one after another in branch id order, while listsBuilt_.
  std::vector<TestNumber> listEntries_;
  std::vector<std::uint64_t> listStarts_;
  bool listsBuilt_ = false;

  std::uint32_t liveBranchCount_ = 0;
  std::uint32_t maxTestsPerBranch_ = 0;
  SourceNotes sourceNotes_;
};
