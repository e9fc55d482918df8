#include "coverage/coverage_table.h"

#include <gtest/gtest.h>

#include <string>
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

std::vector<TestNumber> testsOf(const BranchSlot &slot) {
  return {slot.entries().begin(), slot.entries().end()};
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
  EXPECT_FALSE(table.slot(group, 9).isLive());
  EXPECT_FALSE(table.slot(group, 100).isLive());
}

TEST(CoverageTable, HoldsTheHighestBranchIndexes) {
  CoverageTable table;
  BranchGroup &group = table.findOrInsertGroup(0, 0, 'B');
  for (std::uint32_t index = 65528; index <= 65535; ++index)
    table.addTestToBranch(group, 1, static_cast<std::uint16_t>(index));
  EXPECT_EQ(group.slotCapacity(), 65536u);
  EXPECT_EQ(table.slot(group, 65535).count, 1u);
  EXPECT_EQ(table.liveBranchCount(), 8u);
}

TEST(CoverageTable, TestListsKeepOrderAndDuplicates) {
  CoverageTable table;
  BranchGroup &group = table.findOrInsertGroup(0, 0, 'B');
  table.addTestToBranch(group, 3, 0);
  table.addTestToBranch(group, 3, 0);
  EXPECT_EQ(table.liveBranchCount(), 1u);
  table.buildTestLists();
  EXPECT_EQ(testsOf(table.slot(group, 0)), (std::vector<TestNumber>{3, 3}));
  // Entries added after the lists were built are in the lists built next.
  for (TestNumber test = 4; test <= 20; ++test) table.addTestToBranch(group, test, 0);
  EXPECT_TRUE(table.slot(group, 0).entries().empty());
  table.buildTestLists();
  EXPECT_EQ(table.slot(group, 0).count, 19u);
  EXPECT_EQ(table.slot(group, 0).lastTest, 20u);
  EXPECT_EQ(testsOf(table.slot(group, 0)).size(), 19u);
}

TEST(CoverageTable, CountsStayExactPast65535Entries) {
  CoverageTable table;
  BranchGroup &group = table.findOrInsertGroup(0, 0, 'B');
  for (TestNumber test = 1; test <= 70000; ++test) table.addTestToBranch(group, test, 2);
  table.buildTestLists();
  EXPECT_EQ(table.slot(group, 2).count, 70000u);
  EXPECT_EQ(table.slot(group, 2).entries()[69999], 70000u);
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
  table.emptySlot(table.slot(group, 0));
  EXPECT_EQ(table.liveBranchCount(), 0u);
  EXPECT_TRUE(table.buildCoverCounts().empty());
  EXPECT_EQ(table.maxTestsPerBranch(), 2u);
}

TEST(CoverageTable, ListsFollowTheOrderOfAddingAcrossBranchesAndTests) {
  CoverageTable table;
  BranchGroup &b = table.findOrInsertGroup(0, 0, 'B');
  BranchGroup &l = table.findOrInsertGroup(0, 0, 'L');
  // Tests interleave as a caller may add them; each list keeps its order.
  table.addTestToBranch(b, 2, 1);
  table.addTestToBranch(l, 1, 0);
  table.addTestToBranch(b, 1, 1);
  table.addTestToBranch(b, 2, 3);
  table.addTestToBranch(l, 2, 0);
  table.addTestToBranch(b, 2, 1);
  table.buildTestLists();
  EXPECT_EQ(testsOf(table.slot(b, 1)), (std::vector<TestNumber>{2, 1, 2}));
  EXPECT_EQ(testsOf(table.slot(b, 3)), (std::vector<TestNumber>{2}));
  EXPECT_EQ(testsOf(table.slot(l, 0)), (std::vector<TestNumber>{1, 2}));
  EXPECT_EQ(table.slot(b, 1).lastTest, 2u);
}

TEST(CoverageTable, ListsBuiltAfterEmptyingHoldOnlyLiveBranches) {
  CoverageTable table;
  BranchGroup &group = table.findOrInsertGroup(0, 0, 'B');
  for (TestNumber test = 1; test <= 3; ++test) {
    table.addTestToBranch(group, test, 0);
    table.addTestToBranch(group, test, 1);
  }
  table.emptySlot(table.slot(group, 0));
  table.buildTestLists();
  EXPECT_FALSE(table.slot(group, 0).isLive());
  EXPECT_TRUE(table.slot(group, 0).entries().empty());
  EXPECT_EQ(testsOf(table.slot(group, 1)), (std::vector<TestNumber>{1, 2, 3}));
}

TEST(EntryLog, EntriesComeBackInOrderAcrossChunks) {
  // Pieces of every length, empty ones included, and enough entries to fill
  // several chunks, with runs that straddle them and piece differences of
  // several encoded sizes and both signs.
  EntryLog log;
  constexpr std::uint32_t pieceCount = 300000;
  std::vector<std::vector<BranchId>> pieces(pieceCount);
  for (std::uint32_t p = 0; p < pieceCount; ++p) {
    for (std::uint32_t k = 0; k < p % 4; ++k) pieces[p].push_back(p * 2654435761u + k);
    ASSERT_EQ(log.addPiece(pieces[p]), p);
  }
  std::vector<std::pair<TestNumber, BranchId>> added;
  for (std::uint32_t i = 0; i < 400000; ++i) {
    const TestNumber test = 1 + i / 7000 % 5;
    const PieceId piece = i % 3 == 0   ? i * 2654435761u % pieceCount
                          : i % 3 == 1 ? i / 3 % pieceCount
                                       : pieceCount - 1 - i % 300;
    for (const BranchId branch : pieces[piece]) added.emplace_back(test, branch);
    log.append(test, piece);
  }
  std::vector<std::pair<TestNumber, BranchId>> walked;
  log.forEachEntry([&](TestNumber test, BranchId branch) { walked.emplace_back(test, branch); });
  EXPECT_EQ(walked, added);

  // Runs of the tests not wanted are skipped, and the others still read
  // from their own start.
  std::vector<std::pair<TestNumber, BranchId>> wanted;
  std::erase_if(added, [](const auto &entry) { return entry.first % 2 == 0; });
  log.forEachEntryOf([](TestNumber test) { return test % 2 != 0; },
                     [&](TestNumber test, BranchId branch) { wanted.emplace_back(test, branch); });
  EXPECT_EQ(wanted, added);
}

TEST(CoverageTable, KindsPastTheSlottedOnesAreFoundByKey) {
  // More kinds than get slots of their own, met in two pairs in turn: each
  // lookup must find the one group of its key, and create it only once.
  CoverageTable table;
  const std::string kinds = "BLFCDEGHIJKMN";
  std::vector<GroupId> first;
  for (int round = 0; round < 3; ++round)
    for (std::uint32_t dc = 1; dc <= 2; ++dc) {
      const KeyPairId pair = table.findKeyPair(7, dc);
      for (std::size_t k = 0; k < kinds.size(); ++k) {
        const GroupId id = table.findOrInsertGroupId(pair, static_cast<signed char>(kinds[k]));
        if (round == 0) first.push_back(id);
        else EXPECT_EQ(id, first[(dc - 1) * kinds.size() + k]);
      }
    }
  EXPECT_EQ(table.groupCount(), 2 * kinds.size());
  EXPECT_EQ(keysInOrder(table).size(), 2 * kinds.size());
}
