#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <deque>
#include <memory>
#include <ranges>
#include <span>

#include <absl/container/flat_hash_map.h>
#include <vector>

#include "coverage/repeated_sections.h"
#include "coverage/source_notes.h"
#include "coverage/numbering.h"

namespace zorvane::coverage {

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
  template <class H>
  friend H AbslHashValue(H hash, const GroupKey &key) {
    return H::combine(std::move(hash), key.ftKey, key.dcKey, key.branchKind);
  }
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
  // The same, for a reader that looked up `previous` just before: the group
  // that followed it last time is tried first, without hashing, as tests of
  // a suite mostly reach code in the same order.
  GroupId findGroupAfter(GroupId previous, std::uint32_t ftKey, std::uint32_t dcKey,
                         signed char branchKind) {
    if (previous != noGroup) {
      const GroupId next = heads_[previous].next;
      if (next != noGroup && heads_[next].ftKey == ftKey && heads_[next].dcKey == dcKey &&
          heads_[next].branchKind == branchKind)
        return arriveAt(next);
    }
    const GroupId found = findOrInsertGroupId(ftKey, dcKey, branchKind);
    if (previous != noGroup) heads_[previous].next = found;
    return arriveAt(found);
  }

  // Appends `test` to the branch `branchIndex` of the group.
  void addTestToBranch(GroupId group, TestNumber test, std::uint32_t branchIndex) {
    const GroupHead &head = heads_[group];
    appendToLog(test, branchIndex < GroupHead::lowIndexCount && head.low[branchIndex] != noBranch
                          ? head.low[branchIndex]
                          : branchAt(group, branchIndex));
  }

  // How many entries have been added so far.
  std::uint64_t entryCount() const { return logSize_; }
  // Adds to `test` a copy of the `count` entries added from position `from`.
  void repeatEntries(TestNumber test, std::uint64_t from, std::uint64_t count);

  // Groups in key order, each with its branches in index order.
  auto groups() const {
    putInOrder();
    return orderedGroups_ |
           std::views::transform([](BranchGroup *group) -> BranchGroup & { return *group; });
  }

  // The branch `id`; its list of tests is empty until buildTestLists().
  BranchSlot slot(BranchId id) const {
    settleTallies();
    const Tally &tally = tallies_[id];
    return {id, tally.count, tally.lastTest,
            listsBuilt() ? std::span(listEntries_).subspan(listStarts_[id], tally.count)
                         : std::span<const TestNumber>()};
  }

  // Builds the test list of every live branch, which slot() then gives.
  // Entries added later undo it.
  void buildTestLists();

  // Calls visit(test, branch) for every entry of a test for which
  // wanted(test) holds, in the order added.
  template <class Wanted, class Visit>
  void forEachEntryOf(Wanted wanted, Visit visit) const {
    std::uint64_t position = 0;
    for (const TestRun &run : runs_) {
      if (run.end != position && wanted(run.test))
        for (std::uint64_t k = position; k < run.end; ++k) visit(run.test, logAt(k));
      position = run.end;
    }
  }

  std::uint32_t branchCount() const { return static_cast<std::uint32_t>(branchCount_); }

  // Empties a live slot (the mandatory reduction).
  void emptySlot(const BranchSlot &slot);

  // The entry count of every live slot in table order; also sets
  // maxTestsPerBranch(). Reports message 3 if the live slots found disagree
  // with liveBranchCount().
  std::vector<std::uint32_t> buildCoverCounts();

  std::uint32_t liveBranchCount() const {
    settleTallies();
    return liveBranchCount_;
  }
  std::uint32_t maxTestsPerBranch() const { return maxTestsPerBranch_; }

  // What the reader recorded of the sections it parsed.
  RepeatedSections &repeatedSections() { return repeatedSections_; }

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

  GroupId arriveAt(GroupId group) const {
    // Fetched now, the group likely next is there when it is asked for.
    if (const GroupId next = heads_[group].next; next != noGroup) __builtin_prefetch(&heads_[next]);
    return group;
  }
  BranchId branchAt(GroupId group, std::uint32_t index);
  GroupId addGroup(std::uint32_t ftKey, std::uint32_t dcKey, signed char branchKind);
  void appendToLog(TestNumber test, BranchId branch) {
    if (logSize_ % logBlockSize == 0) addLogBlock();
    logBlocks_.back()[logSize_ % logBlockSize] = branch;
    ++logSize_;
    if (runs_.back().test != test)
      runs_.push_back({test, logSize_});
    else
      runs_.back().end = logSize_;
  }
  void addLogBlock();
  // Brings the tallies up to date with the entries logged since last time.
  void settleTallies() const {
    if (settledSize_ != logSize_) settleNewEntries();
  }
  void settleNewEntries() const;
  void putInOrder() const;
  BranchId logAt(std::uint64_t position) const {
    return logBlocks_[position >> logBlockBits][position & (logBlockSize - 1)];
  }

  std::deque<BranchGroup> groups_;
  std::vector<GroupHead> heads_;
  absl::flat_hash_map<GroupKey, GroupId> groupOfKeys_;
  // The branch of each (group, index) past the group's low indexes: group
  // id in the high half.
  absl::flat_hash_map<std::uint64_t, BranchId> branchOfKey_;
  BranchId branchCount_ = 0;
  // Counted from the log, up to settledSize_, when first asked for: reading
  // only appends to the log, in order.
  mutable std::vector<Tally> tallies_;
  mutable std::uint64_t settledSize_ = 0;

  // The log, in blocks of a fixed size: it grows without ever being copied.
  static constexpr unsigned logBlockBits = 20;
  static constexpr std::uint64_t logBlockSize = std::uint64_t{1} << logBlockBits;
  std::vector<std::unique_ptr<BranchId[]>> logBlocks_;
  std::uint64_t logSize_ = 0;
  // Starts with a run of no test, so that a run is always at hand.
  std::vector<TestRun> runs_{{0, 0}};

  mutable std::vector<BranchGroup *> orderedGroups_;
  mutable bool ordered_ = true;

  // The lists, one after another in branch id order, while listsBuilt_.
  std::vector<TestNumber> listEntries_;
  std::vector<std::uint64_t> listStarts_;
  bool listsBuilt_ = false;
  std::uint64_t listsLogSize_ = 0;
  bool listsBuilt() const { return listsBuilt_ && listsLogSize_ == logSize_; }

  mutable std::uint32_t liveBranchCount_ = 0;
  std::uint32_t maxTestsPerBranch_ = 0;
  RepeatedSections repeatedSections_;
  SourceNotes sourceNotes_;
};

}  // namespace zorvane::coverage
