#include "optimizer/cover_search.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "optimizer/mandatory_reduction.h"
#include "support/recording_diagnostics.h"
#include "support/reference_search.h"

using namespace zorvane;
using zorvane::testing_support::RecordingDiagnostics;
using zorvane::testing_support::referenceSearchCover;
using namespace zorvane::coverage;
using namespace zorvane::optimizer;

namespace {

struct Instance {
  RunSettings settings;
  TestRegistry registry;
  CoverageTable table;
  SelectionStack stack;
  RecordingDiagnostics diagnostics;
};

// A random suite: `tests` tests spread over `files` files, each reaching
// each of `branches` branches (in a few groups) with probability `density`,
// sometimes twice, some re-running an earlier test in another file; then
// closed and reduced, as a run does before searching.
void makeRandom(Instance &in, std::mt19937 &random, std::uint32_t tests, std::uint32_t branches,
                std::uint32_t files, double density) {
  for (std::uint32_t f = 0; f < files; ++f)
    in.settings.filePaths.push_back("f" + std::to_string(f));
  in.settings.fileCountBound = files + 1;
  std::bernoulli_distribution reaches(density), repeats(0.05), rerun(0.3);
  std::uniform_int_distribution<std::uint32_t> fileOf(0, files - 1);
  std::vector<std::vector<bool>> reached;
  for (std::uint32_t t = 1; t <= tests; ++t) {
    const TestNumber test = in.registry.newTest(fileOf(random), "t\n", t);
    if (reached.empty() || !rerun(random)) {
      reached.emplace_back(branches);
      for (std::uint32_t b = 0; b < branches; ++b) reached.back()[b] = reaches(random);
    } else {
      reached.push_back(
          reached[std::uniform_int_distribution<std::size_t>(0, reached.size() - 1)(random)]);
    }
    std::uint64_t entries = 0;
    for (std::uint32_t b = 0; b < branches; ++b) {
      if (!reached.back()[b]) continue;
      const GroupId group = in.table.findOrInsertGroupId(b % 3, 0, 'B');
      const int times = repeats(random) ? 2 : 1;
      for (int i = 0; i < times; ++i, ++entries)
        in.table.addTestToBranch(group, test, static_cast<std::uint16_t>(b));
    }
    in.registry.finishTest(test, entries);
  }
  if (!in.registry.wasEverUsed()) in.registry.newTest(0, "x\n", 1);
  reduceMandatoryTests(in.table, in.registry, in.stack, 0, in.diagnostics);
}

std::vector<TestNumber> snapshot(const SelectionStack &stack) {
  std::vector<TestNumber> tests;
  tests.assign(stack.best().begin(), stack.best().end());
  return tests;
}

// Runs both searches on `rounds` random suites of up to `maxTests` tests
// over up to `maxFiles` files: the fast search must end exactly where the
// plain branch and bound ends (same snapshot, tests and order, same depth
// and file count) and leave the stack as it found it.
void expectSameAsReference(std::uint32_t seed, int rounds, std::uint32_t maxTests,
                           std::uint32_t minFiles, std::uint32_t maxFiles) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<std::uint32_t> testsDist(1, maxTests), branchesDist(1, 20),
      filesDist(minFiles, maxFiles), allowanceDist(0, 3);
  std::uniform_real_distribution<double> densityDist(0.1, 0.6);
  std::bernoulli_distribution testLevel(0.25);
  for (int round = 0; round < rounds; ++round) {
    Instance in;
    makeRandom(in, random, testsDist(random), branchesDist(random), filesDist(random),
               densityDist(random));
    in.settings.allowance = static_cast<std::int32_t>(allowanceDist(random));
    if (testLevel(random)) in.settings.countFiles = false;

    SelectionStack referenceStack = in.stack;
    const SearchOutcome expected =
        referenceSearchCover(in.table, in.registry, in.settings, referenceStack, in.diagnostics);
    SelectionStack fastStack = in.stack;
    const SearchOutcome actual =
        searchCover(in.table, in.registry, in.settings, fastStack, in.diagnostics);

    ASSERT_EQ(snapshot(fastStack), snapshot(referenceStack)) << "round " << round;
    ASSERT_EQ(actual.bestDepth, expected.bestDepth) << "round " << round;
    ASSERT_EQ(actual.bestFileCount, expected.bestFileCount) << "round " << round;
    ASSERT_EQ(fastStack.stackSize(), in.stack.stackSize());
    ASSERT_LE(actual.nodes, expected.nodes) << "round " << round;
  }
}

}  // namespace

TEST(CoverSearch, MatchesTheReferenceSearchOnRandomSuites) {
  expectSameAsReference(20261207, 3000, 16, 1, 4);
}

// Many files make the file count the hard part: the search then aims at the
// fewest files possible, and with an allowance may have to walk again.
TEST(CoverSearch, MatchesTheReferenceSearchOnSuitesOfManyFiles) {
  expectSameAsReference(1208, 1500, 16, 5, 14);
}

// One test per file, as when every test is run on its own: tests alike in
// what they reach are then interchangeable for the file count too.
TEST(CoverSearch, MatchesTheReferenceSearchWhenEachFileHoldsOneTest) {
  expectSameAsReference(30000, 1000, 14, 40, 40);
}

// With every candidate traced, the fast search walks the same tree and
// prints the same lines in the same order.
TEST(CoverSearch, TracesTheSameTreeAsTheReferenceSearch) {
  std::mt19937 random(7);
  std::uniform_int_distribution<std::uint32_t> testsDist(1, 10), branchesDist(1, 12),
      filesDist(1, 3), allowanceDist(0, 2);
  for (int round = 0; round < 300; ++round) {
    Instance in;
    makeRandom(in, random, testsDist(random), branchesDist(random), filesDist(random), 0.4);
    in.settings.verbosity = 2;
    in.settings.allowance = static_cast<std::int32_t>(allowanceDist(random));

    SelectionStack referenceStack = in.stack;
    referenceSearchCover(in.table, in.registry, in.settings, referenceStack, in.diagnostics);
    const std::string expected = std::exchange(in.diagnostics.printed, {});
    SelectionStack fastStack = in.stack;
    searchCover(in.table, in.registry, in.settings, fastStack, in.diagnostics);
    ASSERT_EQ(std::exchange(in.diagnostics.printed, {}), expected) << "round " << round;
    ASSERT_EQ(snapshot(fastStack), snapshot(referenceStack)) << "round " << round;
  }
}
