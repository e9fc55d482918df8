#include "coverage/coverage_table.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

using Key = std::tuple<std::uint32_t, std::uint32_t, signed char>;

std::vector<Key> keysInOrder(const CoverageTable &table) {
  std::vector<Key> keys;
  for (const BranchGroup &group : table.groups())
    keys.emplace_back(group.ftKey, group.dcKey, group.branchKind);
  return keys;
}

}  // namespace

TEST(CoverageTable, GroupsAreKeptInKeyOrder) {
  CoverageTable table;
  table.findOrInsertGroup(1, 1, 'b');
  table.findOrInsertGroup(1, 1, 'a');
  table.findOrInsertGroup(0, 5, 'z');
  EXPECT_EQ(keysInOrder(table), (std::vector<Key>{{0, 5, 'z'}, {1, 1, 'a'}, {1, 1, 'b'}}));
}

TEST(CoverageTable, KeysCompareUnsignedAndKindsSigned) {
  CoverageTable table;
  table.findOrInsertGroup(0, 0, 'A');
  table.findOrInsertGroup(0, 0, static_cast<signed char>(0xE9));
  table.findOrInsertGroup(0x80000000u, 0, 'A');
  table.findOrInsertGroup(0x7FFFFFFFu, 0, 'A');
  table.findOrInsertGroup(0, 0xFFFFFFFEu, 'A');
  table.findOrInsertGroup(0, 5, 'A');
  EXPECT_EQ(keysInOrder(table),
            (std::vector<Key>{{0, 0, static_cast<signed char>(0xE9)},
                              {0, 0, 'A'},
                              {0, 5, 'A'},
                              {0, 0xFFFFFFFEu, 'A'},
                              {0x7FFFFFFFu, 0, 'A'},
                              {0x80000000u, 0, 'A'}}));
}

TEST(CoverageTable, LookupOfAPresentKeyCreatesNothing) {
  CoverageTable table;
  BranchGroup &first = table.findOrInsertGroup(3, 4, 'B');
  table.findOrInsertGroup(9, 9, 'B');
  table.findOrInsertGroup(1, 1, 'B');
  EXPECT_EQ(&table.findOrInsertGroup(3, 4, 'B'), &first);
  EXPECT_EQ(keysInOrder(table).size(), 3u);
}

TEST(CoverageTable, SlotArraysGrowInStepsOf8) {
  CoverageTable table;
  BranchGroup &group = table.findOrInsertGroup(0, 0, 'B');
  EXPECT_EQ(group.slotCapacity(), 8u);
  table.addTestToBranch(group, 1, 7);
  EXPECT_EQ(group.slotCapacity(), 8u);
  table.addTestToBranch(group, 1, 8);
  EXPECT_EQ(group.slotCapacity(), 16u);
  table.addTestToBranch(group, 1, 20);
  EXPECT_EQ(group.slotCapacity(), 24u);
  EXPECT_EQ(table.liveBranchCount(), 3u);
  EXPECT_FALSE(group.slots[9].isLive());
}

TEST(CoverageTable, HoldsTheHighestBranchIndexes) {
  CoverageTable table;
  BranchGroup &group = table.findOrInsertGroup(0, 0, 'B');
  for (std::uint32_t index = 65528; index <= 65535; ++index)
    table.addTestToBranch(group, 1, static_cast<std::uint16_t>(index));
  EXPECT_EQ(group.slotCapacity(), 65536u);
  EXPECT_EQ(group.slots[65535].count, 1u);
  EXPECT_EQ(table.liveBranchCount(), 8u);
}

TEST(CoverageTable, TestListsKeepOrderAndDuplicates) {
  CoverageTable table;
  BranchGroup &group = table.findOrInsertGroup(0, 0, 'B');
  table.addTestToBranch(group, 3, 0);
  table.addTestToBranch(group, 3, 0);
  EXPECT_EQ(table.liveBranchCount(), 1u);
  EXPECT_EQ(std::vector<TestNumber>(group.slots[0].entries().begin(), group.slots[0].entries().end()),
            (std::vector<TestNumber>{3, 3}));
  EXPECT_EQ(group.slots[0].capacity, 16u);
  for (TestNumber test = 4; test <= 20; ++test) table.addTestToBranch(group, test, 0);
  EXPECT_EQ(group.slots[0].capacity, 32u);
  EXPECT_EQ(group.slots[0].count, 19u);
}

TEST(CoverageTable, CountsStayExactPast65535Entries) {
  CoverageTable table;
  BranchGroup &group = table.findOrInsertGroup(0, 0, 'B');
  for (TestNumber test = 1; test <= 70000; ++test) table.addTestToBranch(group, test, 2);
  EXPECT_EQ(group.slots[2].count, 70000u);
  EXPECT_GE(group.slots[2].capacity, 70000u);
  EXPECT_EQ(group.slots[2].tests[69999], 70000u);
  EXPECT_EQ(table.buildCoverCounts(), (std::vector<std::uint32_t>{70000}));
  EXPECT_EQ(table.maxTestsPerBranch(), 70000u);
}

TEST(CoverageTable, CoverCountsFollowTableOrder) {
  CoverageTable table;
  BranchGroup &later = table.findOrInsertGroup(2, 0, 'B');
  BranchGroup &earlier = table.findOrInsertGroup(1, 0, 'B');
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
  BranchGroup &group = table.findOrInsertGroup(0, 0, 'B');
  table.addTestToBranch(group, 1, 0);
  table.addTestToBranch(group, 2, 0);
  table.buildCoverCounts();
  table.emptySlot(group.slots[0]);
  EXPECT_EQ(table.liveBranchCount(), 0u);
  EXPECT_TRUE(table.buildCoverCounts().empty());
  EXPECT_EQ(table.maxTestsPerBranch(), 2u);
}
