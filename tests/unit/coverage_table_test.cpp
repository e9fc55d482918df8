#include "coverage/coverage_table.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>
#include "support/table_lookup.h"

using namespace zorvane;
using zorvane::testing_support::branchAtIndex;
using namespace zorvane::coverage;

namespace {

using Key = std::tuple<std::uint32_t, std::uint32_t, signed char>;

std::vector<Key> keysInOrder(const CoverageTable &table) {
  std::vector<Key> keys;
  for (const BranchGroup &group : table.groups())
    keys.emplace_back(group.ftKey, group.dcKey, group.branchKind);
  return keys;
}

std::vector<TestNumber> testsOf(const Branch &reached) {
  return {reached.entries().begin(), reached.entries().end()};
}

}  // namespace

TEST(CoverageTable, GroupsAreKeptInKeyOrder) {
  CoverageTable table;
  table.findOrInsertGroupId(1, 1, 'b');
  table.findOrInsertGroupId(1, 1, 'a');
  table.findOrInsertGroupId(0, 5, 'z');
  EXPECT_EQ(keysInOrder(table), (std::vector<Key>{{0, 5, 'z'}, {1, 1, 'a'}, {1, 1, 'b'}}));
}

TEST(CoverageTable, KeysCompareUnsignedAndKindsSigned) {
  CoverageTable table;
  table.findOrInsertGroupId(0, 0, 'A');
  table.findOrInsertGroupId(0, 0, static_cast<signed char>(0xE9));
  table.findOrInsertGroupId(0x80000000u, 0, 'A');
  table.findOrInsertGroupId(0x7FFFFFFFu, 0, 'A');
  table.findOrInsertGroupId(0, 0xFFFFFFFEu, 'A');
  table.findOrInsertGroupId(0, 5, 'A');
  EXPECT_EQ(keysInOrder(table), (std::vector<Key>{{0, 0, static_cast<signed char>(0xE9)},
                                                  {0, 0, 'A'},
                                                  {0, 5, 'A'},
                                                  {0, 0xFFFFFFFEu, 'A'},
                                                  {0x7FFFFFFFu, 0, 'A'},
                                                  {0x80000000u, 0, 'A'}}));
}

TEST(CoverageTable, LookupOfAPresentKeyCreatesNothing) {
  CoverageTable table;
  const GroupId first = table.findOrInsertGroupId(3, 4, 'B');
  table.findOrInsertGroupId(9, 9, 'B');
  table.findOrInsertGroupId(1, 1, 'B');
  EXPECT_EQ(table.findOrInsertGroupId(3, 4, 'B'), first);
  EXPECT_EQ(keysInOrder(table).size(), 3u);
}

TEST(CoverageTable, GroupsOfEachSourceFileStayFoundAsFilesAreAdded) {
  // The same DC key under many FT keys, each looked up again, and a new
  // group added to each file, after the files have been added.
  CoverageTable table;
  std::vector<GroupId> first;
  for (std::uint32_t ftKey = 0; ftKey < 1000; ++ftKey)
    first.push_back(table.findOrInsertGroupId(ftKey, 7, 'B'));
  for (std::uint32_t ftKey = 0; ftKey < 1000; ++ftKey) {
    EXPECT_EQ(table.findOrInsertGroupId(ftKey, 7, 'B'), first[ftKey]);
    EXPECT_NE(table.findOrInsertGroupId(ftKey, 8, 'B'), first[ftKey]);
  }
  EXPECT_EQ(std::set<GroupId>(first.begin(), first.end()).size(), 1000u);
  EXPECT_EQ(keysInOrder(table).size(), 2000u);
}

TEST(CoverageTable, BranchesAreWalkedByIndexWhateverTheOrderReached) {
  CoverageTable table;
  const GroupId group = table.findOrInsertGroupId(0, 0, 'B');
  for (const std::uint32_t index : {20u, 7u, 0xFFFFFFFFu, 8u, 0x10000u, 0u})
    table.addTestToBranch(group, 1, index);
  std::vector<std::uint32_t> indexes;
  for (const BranchGroup &walked : table.groups())
    for (const IndexedBranch &branch : walked.branches) indexes.push_back(branch.index);
  EXPECT_EQ(indexes, (std::vector<std::uint32_t>{0, 7, 8, 20, 0x10000, 0xFFFFFFFFu}));
  EXPECT_EQ(table.liveBranchCount(), 6u);
  EXPECT_FALSE(branchAtIndex(table, group, 9).isLive());
  EXPECT_TRUE(branchAtIndex(table, group, 0xFFFFFFFFu).isLive());
}

TEST(CoverageTable, BranchesReachedAfterAWalkAreWalkedByIndexToo) {
  CoverageTable table;
  const GroupId group = table.findOrInsertGroupId(0, 0, 'B');
  table.addTestToBranch(group, 1, 20);
  table.addTestToBranch(group, 1, 7);
  (void)keysInOrder(table);
  // Below the largest index, then above the last one added.
  table.addTestToBranch(group, 1, 8);
  table.addTestToBranch(group, 1, 30);
  table.addTestToBranch(group, 1, 9);
  std::vector<std::uint32_t> indexes;
  for (const BranchGroup &walked : table.groups())
    for (const IndexedBranch &branch : walked.branches) indexes.push_back(branch.index);
  EXPECT_EQ(indexes, (std::vector<std::uint32_t>{7, 8, 9, 20, 30}));
}

TEST(CoverageTable, RepeatedRunsCountEachRepeatOnceWhenCountedMidway) {
  // A run across the end of a block of stored entries, repeated before and
  // after the counts are first asked for.
  CoverageTable table;
  const GroupId group = table.findOrInsertGroupId(0, 0, 'B');
  constexpr std::uint32_t before = (1u << 20) - 2;
  for (std::uint32_t i = 0; i < before; ++i) table.addTestToBranch(group, 1, 100);
  const std::uint64_t first = table.storedCount();
  for (const std::uint32_t index : {0u, 1u, 2u, 1u}) table.addTestToBranch(group, 2, index);
  const std::uint32_t run = table.markRun(first);
  EXPECT_EQ(table.repeatRun(3, run), 4u);
  EXPECT_EQ(branchAtIndex(table, group, 1).count, 4u);
  EXPECT_EQ(branchAtIndex(table, group, 2).count, 2u);
  table.repeatRun(4, run);
  table.repeatRun(5, run);
  table.addTestToBranch(group, 5, 2);
  EXPECT_EQ(branchAtIndex(table, group, 0).count, 4u);
  EXPECT_EQ(branchAtIndex(table, group, 1).count, 8u);
  EXPECT_EQ(branchAtIndex(table, group, 2).count, 5u);
  EXPECT_EQ(branchAtIndex(table, group, 100).count, before);
  table.buildTestLists();
  EXPECT_EQ(testsOf(branchAtIndex(table, group, 1)),
            (std::vector<TestNumber>{2, 2, 3, 3, 4, 4, 5, 5}));
  EXPECT_EQ(testsOf(branchAtIndex(table, group, 2)), (std::vector<TestNumber>{2, 3, 4, 5, 5}));
}

TEST(CoverageTable, ListsMatchEveryEntryAddedOrRepeatedOfTheBranchesLeftLive) {
  // Tests store runs of entries and repeat earlier runs, as the reader does
  // with sections; some branches are then emptied. Each list must hold the
  // tests of its branch's entries, in order, whatever words of stored
  // entries the runs begin and end in.
  std::mt19937 random(11);
  for (int round = 0; round < 20; ++round) {
    CoverageTable table;
    const GroupId group = table.findOrInsertGroupId(0, 0, 'B');
    std::map<std::uint32_t, std::vector<TestNumber>> expected;
    std::vector<std::pair<std::uint32_t, std::vector<std::uint32_t>>> runs;
    for (TestNumber test = 1; test <= 60; ++test)
      for (unsigned step = random() % 5; step-- != 0;) {
        if (!runs.empty() && random() % 2 == 0) {
          const auto &[run, indexes] = runs[random() % runs.size()];
          table.repeatRun(test, run);
          for (const std::uint32_t index : indexes) expected[index].push_back(test);
          continue;
        }
        const std::uint64_t first = table.storedCount();
        std::vector<std::uint32_t> indexes(random() % 150);
        for (std::uint32_t &index : indexes) {
          index = random() % 100;
          table.addTestToBranch(group, test, index);
          expected[index].push_back(test);
        }
        if (!indexes.empty()) runs.emplace_back(table.markRun(first), indexes);
      }
    for (auto kept = expected.begin(); kept != expected.end();)
      if (random() % 3 == 0) {
        table.emptyBranch(branchAtIndex(table, group, kept->first));
        kept = expected.erase(kept);
      } else {
        ++kept;
      }
    table.buildTestLists();
    for (std::uint32_t index = 0; index < 100; ++index) {
      const auto found = expected.find(index);
      EXPECT_EQ(testsOf(branchAtIndex(table, group, index)),
                found == expected.end() ? std::vector<TestNumber>() : found->second)
          << "round " << round << ", index " << index;
    }
  }
}

TEST(CoverageTable, IndexesPast16BitsAreDistinctBranches) {
  CoverageTable table;
  const GroupId group = table.findOrInsertGroupId(0, 0, 'B');
  table.addTestToBranch(group, 1, 0);
  table.addTestToBranch(group, 2, 0x10000);
  EXPECT_EQ(table.liveBranchCount(), 2u);
  EXPECT_EQ(branchAtIndex(table, group, 0).onlyTest, 1u);
  EXPECT_EQ(branchAtIndex(table, group, 0x10000).onlyTest, 2u);
}

TEST(CoverageTable, ABranchTakesRoomOnlyOnceReached) {
  // Far-apart indexes in many groups: as many branches as were reached,
  // whatever the indexes.
  CoverageTable table;
  for (std::uint32_t dc = 0; dc < 2000; ++dc)
    table.addTestToBranch(table.findOrInsertGroupId(0, dc, 'B'), 1, 0xFFFF);
  EXPECT_EQ(table.branchCount(), 2000u);
}

TEST(CoverageTable, TestListsKeepOrderAndDuplicates) {
  CoverageTable table;
  const GroupId group = table.findOrInsertGroupId(0, 0, 'B');
  table.addTestToBranch(group, 3, 0);
  table.addTestToBranch(group, 3, 0);
  EXPECT_EQ(table.liveBranchCount(), 1u);
  table.buildTestLists();
  EXPECT_EQ(testsOf(branchAtIndex(table, group, 0)), (std::vector<TestNumber>{3, 3}));
  // Entries added after the lists were built are in the lists built next.
  for (TestNumber test = 4; test <= 20; ++test) table.addTestToBranch(group, test, 0);
  EXPECT_TRUE(branchAtIndex(table, group, 0).entries().empty());
  table.buildTestLists();
  EXPECT_EQ(branchAtIndex(table, group, 0).count, 19u);
  EXPECT_EQ(testsOf(branchAtIndex(table, group, 0)).size(), 19u);
}

TEST(CoverageTable, CountsStayExactPast65535Entries) {
  CoverageTable table;
  const GroupId group = table.findOrInsertGroupId(0, 0, 'B');
  for (TestNumber test = 1; test <= 70000; ++test) table.addTestToBranch(group, test, 2);
  table.buildTestLists();
  EXPECT_EQ(branchAtIndex(table, group, 2).count, 70000u);
  EXPECT_EQ(branchAtIndex(table, group, 2).entries()[69999], 70000u);
  EXPECT_EQ(table.buildCoverCounts(), (std::vector<std::uint32_t>{70000}));
  EXPECT_EQ(table.maxTestsPerBranch(), 70000u);
}

TEST(CoverageTable, CoverCountsFollowTableOrder) {
  CoverageTable table;
  const GroupId later = table.findOrInsertGroupId(2, 0, 'B');
  const GroupId earlier = table.findOrInsertGroupId(1, 0, 'B');
  table.addTestToBranch(later, 1, 0);
  table.addTestToBranch(later, 2, 0);
  table.addTestToBranch(earlier, 1, 4);
  table.addTestToBranch(earlier, 1, 1);
  table.addTestToBranch(earlier, 2, 1);
  table.addTestToBranch(earlier, 3, 1);
  EXPECT_EQ(table.buildCoverCounts(), (std::vector<std::uint32_t>{3, 1, 2}));
  EXPECT_EQ(table.maxTestsPerBranch(), 3u);
}

TEST(CoverageTable, CoverCountsOfAnEmptiedTable) {
  CoverageTable table;
  const GroupId group = table.findOrInsertGroupId(0, 0, 'B');
  table.addTestToBranch(group, 1, 0);
  table.addTestToBranch(group, 2, 0);
  table.buildCoverCounts();
  table.emptyBranch(branchAtIndex(table, group, 0));
  EXPECT_EQ(table.liveBranchCount(), 0u);
  EXPECT_TRUE(table.buildCoverCounts().empty());
  EXPECT_EQ(table.maxTestsPerBranch(), 2u);
}

TEST(CoverageTable, ListsFollowTheOrderOfAddingAcrossBranchesAndTests) {
  CoverageTable table;
  const GroupId b = table.findOrInsertGroupId(0, 0, 'B');
  const GroupId l = table.findOrInsertGroupId(0, 0, 'L');
  // Tests interleave as a caller may add them; each list keeps its order.
  table.addTestToBranch(b, 2, 1);
  table.addTestToBranch(l, 1, 0);
  table.addTestToBranch(b, 1, 1);
  table.addTestToBranch(b, 2, 3);
  table.addTestToBranch(l, 2, 0);
  table.addTestToBranch(b, 2, 1);
  table.buildTestLists();
  EXPECT_EQ(testsOf(branchAtIndex(table, b, 1)), (std::vector<TestNumber>{2, 1, 2}));
  EXPECT_EQ(testsOf(branchAtIndex(table, b, 3)), (std::vector<TestNumber>{2}));
  EXPECT_EQ(testsOf(branchAtIndex(table, l, 0)), (std::vector<TestNumber>{1, 2}));
  EXPECT_EQ(branchAtIndex(table, b, 3).onlyTest, 2u);
}

TEST(CoverageTable, ListsBuiltAfterEmptyingHoldOnlyLiveBranches) {
  CoverageTable table;
  const GroupId group = table.findOrInsertGroupId(0, 0, 'B');
  for (TestNumber test = 1; test <= 3; ++test) {
    table.addTestToBranch(group, test, 0);
    table.addTestToBranch(group, test, 1);
  }
  table.emptyBranch(branchAtIndex(table, group, 0));
  table.buildTestLists();
  EXPECT_FALSE(branchAtIndex(table, group, 0).isLive());
  EXPECT_TRUE(branchAtIndex(table, group, 0).entries().empty());
  EXPECT_EQ(testsOf(branchAtIndex(table, group, 1)), (std::vector<TestNumber>{1, 2, 3}));
}

TEST(CoverageTable, TakenListsStartWhereEachBranchsListDoes) {
  CoverageTable table;
  const GroupId later = table.findOrInsertGroupId(2, 0, 'B');
  const GroupId earlier = table.findOrInsertGroupId(1, 0, 'B');
  table.addTestToBranch(later, 1, 0);
  table.addTestToBranch(earlier, 2, 5);
  table.addTestToBranch(earlier, 3, 5);
  table.addTestToBranch(later, 3, 0);
  auto listAt = [](const CoverageTable::TestLists &lists, BranchId id, std::uint32_t count) {
    const auto first = lists.entries.begin() + static_cast<std::ptrdiff_t>(lists.starts[id]);
    return std::vector<TestNumber>(first, first + count);
  };
  const BranchId laterId = branchAtIndex(table, later, 0).id;
  const BranchId earlierId = branchAtIndex(table, earlier, 5).id;
  const CoverageTable::TestLists lists = table.takeTestLists();
  EXPECT_EQ(listAt(lists, laterId, 2), (std::vector<TestNumber>{1, 3}));
  EXPECT_EQ(listAt(lists, earlierId, 2), (std::vector<TestNumber>{2, 3}));
  // Given up: the table's branches keep their counts, not their lists,
  // until the lists are built again.
  EXPECT_EQ(branchAtIndex(table, later, 0).count, 2u);
  EXPECT_TRUE(branchAtIndex(table, later, 0).entries().empty());
  table.buildTestLists();
  EXPECT_EQ(testsOf(branchAtIndex(table, later, 0)), (std::vector<TestNumber>{1, 3}));
}

TEST(CoverageTable, EntriesOfWantedTestsComeBackInOrderAcrossLogBlocks) {
  // More entries than one block of the log holds, tests interleaved.
  CoverageTable table;
  const GroupId group = table.findOrInsertGroupId(0, 0, 'B');
  std::vector<std::pair<TestNumber, std::uint32_t>> added;
  for (std::uint32_t i = 0; i < 1500000; ++i) {
    const TestNumber test = 1 + i / 7000 % 5;
    added.emplace_back(test, i % 1000);
    table.addTestToBranch(group, test, i % 1000);
  }
  std::vector<std::pair<TestNumber, std::uint32_t>> wanted;
  // Branches were numbered as first reached: branch id i is index i.
  table.forEachEntryOf(
      [](TestNumber test) { return test % 2 != 0; },
      [&](TestNumber test, BranchId branch) { wanted.emplace_back(test, branch); });
  std::erase_if(added, [](const auto &entry) { return entry.first % 2 == 0; });
  EXPECT_EQ(wanted, added);
}
