#include "optimizer/table_instance.h"

#include <gtest/gtest.h>

#include <vector>

using namespace zorvane;
using namespace zorvane::coverage;
using namespace zorvane::optimizer;

using Tests = std::vector<std::uint32_t>;

TEST(TableInstance, LiveBranchesInTableOrderWithTheirTestsFilesAndOrigins) {
  TestRegistry registry;
  for (std::uint32_t file : {0u, 1u, 1u}) {
    const TestNumber test = registry.newTest(file, "t", 1);
    registry.finishTest(test, 1);
  }
  CoverageTable table;
  const GroupId later = table.findOrInsertGroupId(0x2a, 9, 'B');
  const GroupId earlier = table.findOrInsertGroupId(0x2a, 3, 'L');
  table.addTestToBranch(earlier, 1, 1);
  table.addTestToBranch(later, 1, 5);
  table.addTestToBranch(earlier, 2, 7);
  table.addTestToBranch(later, 3, 5);

  const CoverInstance instance = coverInstanceOfTable(table, registry);
  ASSERT_EQ(instance.branchCount(), 3u);
  EXPECT_EQ(instance.testCount(), 4u);
  EXPECT_EQ(Tests(instance.testsOf(0).begin(), instance.testsOf(0).end()), (Tests{1}));
  EXPECT_EQ(Tests(instance.testsOf(1).begin(), instance.testsOf(1).end()), (Tests{2}));
  EXPECT_EQ(Tests(instance.testsOf(2).begin(), instance.testsOf(2).end()), (Tests{1, 3}));
  EXPECT_EQ(Tests(instance.branchesOf(1).begin(), instance.branchesOf(1).end()), (Tests{0, 2}));
  EXPECT_EQ(Tests(instance.fileOfTest().begin(), instance.fileOfTest().end()), (Tests{0, 0, 1, 1}));

  const std::vector<BranchOrigin> origins = branchOriginsOfTable(table);
  ASSERT_EQ(origins.size(), 3u);
  EXPECT_EQ(origins[0].group->dcKey, 3u);
  EXPECT_EQ(origins[0].index, 1u);
  EXPECT_EQ(origins[1].index, 7u);
  EXPECT_EQ(origins[2].group->dcKey, 9u);
  EXPECT_EQ(origins[2].index, 5u);
}
