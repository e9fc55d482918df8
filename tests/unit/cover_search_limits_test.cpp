#include <gtest/gtest.h>

#include <vector>

#include "optimizer/cover_search.h"
#include "optimizer/mandatory_reduction.h"
#include "support/recording_diagnostics.h"

using namespace zorvane;
using zorvane::testing_support::RecordingDiagnostics;
using namespace zorvane::coverage;
using namespace zorvane::optimizer;

// 40,000 tests in pairs, each pair the only two tests of one branch: the
// cover takes one test of every pair, 20,000 levels deep. The search must
// finish without exhausting the call stack or the memory.
TEST(DeepCover, FortyThousandTestsInPairsAreCoveredTwentyThousandLevelsDeep) {
  constexpr TestNumber pairs = 20000;
  RunSettings settings;
  settings.filePaths = {"a.tio"};
  settings.fileCountBound = 2;
  TestRegistry registry;
  CoverageTable table;
  for (TestNumber pair = 0; pair < pairs; ++pair) {
    // Branches spread over groups, as branch indexes stop at 65535.
    const GroupId group = table.findOrInsertGroupId(pair / 4096, 0, 'B');
    for (TestNumber test = 2 * pair + 1; test <= 2 * pair + 2; ++test) {
      ASSERT_EQ(registry.newTest(0, "t\n", test), test);
      table.addTestToBranch(group, test, static_cast<std::uint16_t>(pair % 4096));
      registry.finishTest(test, 1);
    }
  }
  SelectionStack stack;
  RecordingDiagnostics diagnostics;
  reduceMandatoryTests(table, registry, stack, 0, diagnostics);
  ASSERT_EQ(stack.stackSize(), 0u);

  const SearchOutcome outcome = searchCover(table, registry, settings, stack, diagnostics);
  EXPECT_EQ(outcome.bestDepth, pairs - 1);
  EXPECT_EQ(outcome.bestFileCount, 1u);
  EXPECT_EQ(stack.stackSize(), 0u);
  // Ties go to the first test of each branch.
  std::vector<TestNumber> expected;
  for (TestNumber pair = 0; pair < pairs; ++pair) expected.push_back(2 * pair + 1);
  std::vector<TestNumber> needed;
  needed.assign(stack.best().begin(), stack.best().end());
  EXPECT_EQ(needed, expected);
}
