#include "optimizer/cover_search.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "optimizer/pipeline.h"
#include "support/memory_read.h"
#include "support/recording_diagnostics.h"
#include "support/reference_search.h"
#include "tio/tio_encoding.h"

using namespace zorvane;
using zorvane::testing_support::RecordingDiagnostics;
using zorvane::testing_support::referenceSearchCover;
using namespace zorvane::coverage;
using namespace zorvane::optimizer;

namespace {

// A random suite: `tests` tests spread over `files` coverage files, each
// reaching each of `branches` branches (in a few groups) with probability
// `density`, sometimes twice, some re-running an earlier test; read, with
// `switches` first, and reduced as a run does before searching.
struct Instance {
  Instance(std::mt19937 &random, std::uint32_t tests, std::uint32_t branches, std::uint32_t files,
           double density, const std::vector<RunStep> &switches)
      : pipeline(settingsFor(files), diagnostics) {
    std::bernoulli_distribution reaches(density), repeats(0.05), rerun(0.3);
    std::uniform_int_distribution<std::uint32_t> fileOf(0, files - 1);
    std::vector<std::string> texts(files);
    std::vector<std::vector<bool>> reached;
    for (std::uint32_t t = 1; t <= tests; ++t) {
      std::string &text = texts[fileOf(random)];
      text += "NT t\n";
      if (reached.empty() || !rerun(random)) {
        reached.emplace_back(branches);
        for (std::uint32_t b = 0; b < branches; ++b) reached.back()[b] = reaches(random);
      } else {
        reached.push_back(
            reached[std::uniform_int_distribution<std::size_t>(0, reached.size() - 1)(random)]);
      }
      for (std::uint32_t b = 0; b < branches; ++b) {
        if (!reached.back()[b]) continue;
        const std::string line =
            "FT " + tio::formatTioNumber(b % 3) + "\nDC 0\nTB " + tio::formatTioNumber(b) + "\n";
        text += repeats(random) ? line + line : line;
      }
    }
    pipeline.read(switches);
    for (std::uint32_t f = 0; f < files; ++f)
      pipeline.readContents("f" + std::to_string(f), testing_support::readFromMemory(texts[f]));
    pipeline.finishReading(nullptr, false);
    pipeline.reduce(false);
    diagnostics.printed.clear();
  }

  static RunSettings settingsFor(std::uint32_t files) {
    RunSettings settings;
    settings.fileCountBound = files + 1;
    return settings;
  }

  RecordingDiagnostics diagnostics;
  Pipeline pipeline;
};

// The switches of a random run: -T sometimes, an allowance of 0 to
// `maxAllowance`.
std::vector<RunStep> randomSwitches(std::mt19937 &random, std::uint32_t maxAllowance,
                                    double testLevelShare) {
  std::vector<RunStep> switches;
  const auto allowance = std::uniform_int_distribution<std::int32_t>(
      0, static_cast<std::int32_t>(maxAllowance))(random);
  if (allowance > 0) switches.push_back({RunStep::Kind::Allowance, {}, allowance});
  if (std::bernoulli_distribution(testLevelShare)(random))
    switches.push_back({RunStep::Kind::TestLevel});
  return switches;
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
      filesDist(minFiles, maxFiles);
  std::uniform_real_distribution<double> densityDist(0.1, 0.6);
  for (int round = 0; round < rounds; ++round) {
    const std::uint32_t tests = testsDist(random), branches = branchesDist(random),
                        files = filesDist(random);
    const double density = densityDist(random);
    Instance in(random, tests, branches, files, density, randomSwitches(random, 3, 0.25));
    Pipeline &run = in.pipeline;

    SelectionStack referenceStack = run.stack();
    const SearchOutcome expected = referenceSearchCover(run.table(), run.registry(), run.settings(),
                                                        referenceStack, in.diagnostics);
    const std::uint32_t mandatory = run.stack().stackSize();
    const SearchOutcome actual = run.search();

    ASSERT_EQ(snapshot(run.stack()), snapshot(referenceStack)) << "round " << round;
    ASSERT_EQ(actual.bestDepth, expected.bestDepth) << "round " << round;
    ASSERT_EQ(actual.bestFileCount, expected.bestFileCount) << "round " << round;
    ASSERT_EQ(run.stack().stackSize(), mandatory);
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
      filesDist(1, 3);
  for (int round = 0; round < 300; ++round) {
    const std::uint32_t tests = testsDist(random), branches = branchesDist(random),
                        files = filesDist(random);
    std::vector<RunStep> switches = randomSwitches(random, 2, 0);
    switches.push_back({RunStep::Kind::MoreVerbose});
    Instance in(random, tests, branches, files, 0.4, switches);
    Pipeline &run = in.pipeline;

    SelectionStack referenceStack = run.stack();
    referenceSearchCover(run.table(), run.registry(), run.settings(), referenceStack,
                         in.diagnostics);
    const std::string expected = std::exchange(in.diagnostics.printed, {});
    run.search();
    ASSERT_EQ(std::exchange(in.diagnostics.printed, {}), expected) << "round " << round;
    ASSERT_EQ(snapshot(run.stack()), snapshot(referenceStack)) << "round " << round;
  }
}
