#include "optimizer/branch_reach.h"

#include <gtest/gtest.h>

#include <vector>

using namespace zorvane;
using namespace zorvane::coverage;
using namespace zorvane::optimizer;

namespace {

std::vector<std::string> described(const std::vector<ReachedBranch> &branches,
                                   const SourcePathLookup &lookup = {}) {
  std::vector<std::string> lines;
  for (const ReachedBranch &branch : branches) lines.push_back(describeBranch(branch, lookup));
  return lines;
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(BranchReach, EachNeededTestOwnsTheBranchesNoOtherNeededTestReaches) {
  CoverageTable table;
  const GroupId lines = table.findOrInsertGroupId(0x1c, 7, 'L');
  const GroupId branches = table.findOrInsertGroupId(0x1c, 9, 'B');
  // Branch 0 of the lines: tests 1 (twice) and 2; branch 1: test 2 and the
  // test 3 that is not needed; branch 2: test 3 only.
  table.addTestToBranch(lines, 1, 0);
  table.addTestToBranch(lines, 1, 0);
  table.addTestToBranch(lines, 2, 0);
  table.addTestToBranch(lines, 2, 1);
  table.addTestToBranch(lines, 3, 1);
  table.addTestToBranch(lines, 3, 2);
  table.addTestToBranch(branches, 1, 4);
  table.addTestToBranch(branches, 1, 3);
  const BranchReach reach(table);
  const std::vector<TestNumber> needed = {2, 1};
  const auto own = reach.ownBranches(needed);
  ASSERT_EQ(own.size(), 2u);
  EXPECT_EQ(described(own[0]), (Lines{"FT 1c DC 7 TL 1"}));
  EXPECT_EQ(described(own[1]), (Lines{"FT 1c DC 9 TB 3", "FT 1c DC 9 TB 4"}));
  // Alone, a test owns everything it reaches.
  const std::vector<TestNumber> alone = {3};
  EXPECT_EQ(described(reach.ownBranches(alone)[0]), (Lines{"FT 1c DC 7 TL 1", "FT 1c DC 7 TL 2"}));
}

TEST(BranchReach, APathKnownForTheKeyNamesTheSourceAndLine) {
  const SourcePathLookup lookup = [](std::uint32_t ftKey) -> std::optional<std::string> {
    if (ftKey == 0x1c) return "src/lexer.c";
    return std::nullopt;
  };
  EXPECT_EQ(describeBranch({0x1c, 0x2a, 'B', 1}, lookup), "src/lexer.c:42 TB 1");
  EXPECT_EQ(describeBranch({0xffffffff, 0x2a, 'B', 1}, lookup), "FT ffffffff DC 2a TB 1");
}
