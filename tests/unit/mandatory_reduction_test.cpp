#include "optimizer/mandatory_reduction.h"

#include <gtest/gtest.h>

#include <vector>
#include "support/recording_diagnostics.h"

using namespace zorvane;
using zorvane::testing_support::RecordingDiagnostics;
using namespace zorvane::coverage;
using namespace zorvane::optimizer;

namespace {

// Test 1 is the only test of branch 0, so it is mandatory and branches 0 and
// 1 go; what is left of tests 2 and 3 is their entries in branches 2 and 3,
// a repeated line counting twice.
void fillSuite(TestRegistry &registry, CoverageTable &table) {
  const std::vector<std::vector<std::uint16_t>> linesOfTest = {{0, 1, 1}, {1, 2}, {2, 3, 3, 1}};
  const GroupId group = table.findOrInsertGroupId(1, 2, 'B');
  for (std::uint32_t t = 0; t < linesOfTest.size(); ++t) {
    const TestNumber test = registry.newTest(0, "t\n", t + 1);
    for (std::uint16_t branch : linesOfTest[t]) table.addTestToBranch(group, test, branch);
    registry.finishTest(test, linesOfTest[t].size());
  }
}

TEST(MandatoryReduction, CountsAreTheEntriesLeftWhicheverWayTheyAreLowered) {
  // Without the trace, with the lists already built (as a dump leaves them),
  // and with the trace, which lowers them entry by entry.
  for (const auto &[verbosity, listsFirst] : {std::pair{0, false}, {0, true}, {2, false}}) {
    TestRegistry registry;
    CoverageTable table;
    fillSuite(registry, table);
    if (listsFirst) table.buildTestLists();
    SelectionStack stack;
    RecordingDiagnostics diagnostics;
    reduceMandatoryTests(table, registry, stack, static_cast<std::uint8_t>(verbosity), diagnostics);
    const auto counts = registry.entryCounts();
    EXPECT_EQ(std::vector<std::uint32_t>(counts.begin(), counts.end()),
              (std::vector<std::uint32_t>{0, 0, 1, 3}))
        << "verbosity " << verbosity << (listsFirst ? ", lists built first" : "");
    EXPECT_EQ(table.liveBranchCount(), 2u);
    EXPECT_EQ(stack.stackSize(), 1u);
  }
}

}  // namespace
