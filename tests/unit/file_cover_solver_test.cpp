#include "optimizer/file_cover_solver.h"

#include <glpk.h>
#include <gtest/gtest.h>

#include <bit>
#include <new>
#include <optional>
#include <random>
#include <span>
#include <vector>
#include "support/cover_instances.h"

using namespace zorvane;
using zorvane::testing_support::makeInstance;
using namespace zorvane::optimizer;

namespace {

using Branches = std::vector<std::vector<std::uint32_t>>;

constexpr std::uint32_t unlimited = UINT32_MAX;

// The files of `tests` that are not free.
std::uint32_t newFilesOf(const std::vector<std::uint32_t> &tests,
                         const std::vector<std::uint32_t> &fileOfTest,
                         const std::vector<std::uint32_t> &freeFiles) {
  std::vector<char> seen(freeFiles.size(), 0);
  std::uint32_t files = 0;
  for (std::uint32_t test : tests) {
    const std::uint32_t file = fileOfTest[test];
    if (!freeFiles[file] && !seen[file]) {
      seen[file] = 1;
      ++files;
    }
  }
  return files;
}

// Whether `tests` reach every branch that `state` has left uncovered.
bool coversTheRest(const CoverState &state, const std::vector<std::uint32_t> &tests) {
  const CoverInstance &instance = state.instance();
  for (std::uint32_t k = 0; k < instance.branchCount(); ++k) {
    if (state.isCovered(k)) continue;
    bool reached = false;
    for (std::uint32_t test : tests)
      for (std::uint32_t listed : instance.testsOf(k)) reached |= listed == test;
    if (!reached) return false;
  }
  return true;
}

// The fewest new files of any cover within the limits, by trying every set
// of tests 1..testCount-1 that the state still offers.
std::optional<std::uint32_t> bruteForce(const CoverState &state, std::uint32_t testCount,
                                        const std::vector<std::uint32_t> &fileOfTest,
                                        const std::vector<std::uint32_t> &freeFiles,
                                        std::uint32_t maxTests, std::uint32_t maxNewFiles) {
  std::optional<std::uint32_t> best;
  std::vector<std::uint32_t> tests;
  for (std::uint32_t mask = 0; mask < (1u << testCount); mask += 2) {
    if (static_cast<std::uint32_t>(std::popcount(mask)) > maxTests) continue;
    tests.clear();
    bool offered = true;
    for (std::uint32_t test = 1; test < testCount; ++test)
      if ((mask >> test) & 1u) {
        tests.push_back(test);
        offered &= state.countOf(test) != 0;
      }
    if (!offered || !coversTheRest(state, tests)) continue;
    const std::uint32_t files = newFilesOf(tests, fileOfTest, freeFiles);
    if (files <= maxNewFiles && (!best || files < *best)) best = files;
  }
  return best;
}

}  // namespace

TEST(FileCoverSolver, FindsTheFewestFilesOfRandomInstances) {
  std::mt19937 random(4242);
  std::uniform_int_distribution<std::uint32_t> testsDist(2, 11), branchesDist(1, 12),
      filesDist(1, 6), testLimitDist(1, 7), fileLimitDist(0, 4);
  std::uniform_real_distribution<double> densityDist(0.15, 0.6);
  std::bernoulli_distribution freeDist(0.25), applyDist(0.2);
  for (int round = 0; round < 3000; ++round) {
    const std::uint32_t testCount = testsDist(random);
    const std::uint32_t fileCount = filesDist(random);
    std::bernoulli_distribution reaches(densityDist(random));
    Branches branches(branchesDist(random));
    for (auto &tests : branches)
      for (std::uint32_t test = 1; test < testCount; ++test)
        if (reaches(random)) tests.push_back(test);
    std::vector<std::uint32_t> fileOfTest(testCount);
    for (auto &file : fileOfTest)
      file = std::uniform_int_distribution<std::uint32_t>(0, fileCount - 1)(random);
    std::vector<std::uint32_t> freeFiles(fileCount);
    for (auto &free : freeFiles) free = freeDist(random);

    const CoverInstance instance = makeInstance(branches, testCount);
    CoverState state(instance);
    // Part of the way down a search: the applied tests' files are free.
    for (std::uint32_t test = 1; test < testCount; ++test)
      if (state.countOf(test) != 0 && applyDist(random)) {
        state.apply(test);
        freeFiles[fileOfTest[test]] = 1;
      }
    const std::uint32_t maxTests = testLimitDist(random), maxNewFiles = fileLimitDist(random);

    std::vector<std::uint32_t> cover;
    const FileCoverAnswer answer = fewestNewFilesCover(state, fileOfTest, freeFiles, maxTests,
                                                       maxNewFiles, unlimited, nullptr, cover);
    const auto expected =
        bruteForce(state, testCount, fileOfTest, freeFiles, maxTests, maxNewFiles);
    if (!expected) {
      ASSERT_EQ(answer.kind, FileCoverAnswer::Kind::none) << "round " << round;
      continue;
    }
    ASSERT_EQ(answer.kind, FileCoverAnswer::Kind::found) << "round " << round;
    EXPECT_EQ(answer.newFiles, *expected) << "round " << round;
    EXPECT_EQ(newFilesOf(cover, fileOfTest, freeFiles), answer.newFiles) << "round " << round;
    EXPECT_LE(cover.size(), maxTests) << "round " << round;
    EXPECT_TRUE(coversTheRest(state, cover)) << "round " << round;
  }
}

// Two tests of one free file reach what one test of another file reaches:
// more tests, no new file. Limited to one test, the new file is needed.
TEST(FileCoverSolver, TradesTestsForFiles) {
  const Branches branches{{1, 3}, {2, 3}};
  const CoverInstance instance = makeInstance(branches, 4);
  const CoverState state(instance);
  const std::vector<std::uint32_t> fileOfTest{0, 0, 0, 1};
  const std::vector<std::uint32_t> freeFiles{1, 0};
  std::vector<std::uint32_t> cover;

  FileCoverAnswer answer =
      fewestNewFilesCover(state, fileOfTest, freeFiles, 2, 1, unlimited, nullptr, cover);
  ASSERT_EQ(answer.kind, FileCoverAnswer::Kind::found);
  EXPECT_EQ(answer.newFiles, 0u);
  EXPECT_EQ(cover, (std::vector<std::uint32_t>{1, 2}));

  answer = fewestNewFilesCover(state, fileOfTest, freeFiles, 1, 1, unlimited, nullptr, cover);
  ASSERT_EQ(answer.kind, FileCoverAnswer::Kind::found);
  EXPECT_EQ(answer.newFiles, 1u);
  EXPECT_EQ(cover, (std::vector<std::uint32_t>{3}));

  answer = fewestNewFilesCover(state, fileOfTest, freeFiles, 1, 0, unlimited, nullptr, cover);
  EXPECT_EQ(answer.kind, FileCoverAnswer::Kind::none);
}

// Nothing left to cover needs no test; a branch that only entries of test 0
// (no test) reach cannot be covered at all.
TEST(FileCoverSolver, HandlesNothingLeftAndTheUncoverable) {
  const Branches branches{{1}, {2}, {0}};
  const CoverInstance instance = makeInstance(branches, 3);
  CoverState state(instance);
  const std::vector<std::uint32_t> fileOfTest{0, 0, 1};
  const std::vector<std::uint32_t> freeFiles{0, 0};
  std::vector<std::uint32_t> cover{7};

  FileCoverAnswer answer =
      fewestNewFilesCover(state, fileOfTest, freeFiles, 5, 5, unlimited, nullptr, cover);
  EXPECT_EQ(answer.kind, FileCoverAnswer::Kind::none);

  const Branches reachable{{1}, {2}};
  const CoverInstance covered = makeInstance(reachable, 3);
  CoverState done(covered);
  done.apply(1);
  done.apply(2);
  answer = fewestNewFilesCover(done, fileOfTest, freeFiles, 0, 0, unlimited, nullptr, cover);
  ASSERT_EQ(answer.kind, FileCoverAnswer::Kind::found);
  EXPECT_EQ(answer.newFiles, 0u);
  EXPECT_TRUE(cover.empty());
}

// Thousands of tests, each alone in its file, in groups alike in what they
// reach: one of each group stays in the program, which is then settled at
// once; the cover spans one file per group.
TEST(FileCoverSolver, TestsAloneInTheirFilesAndAlikeAreOne) {
  constexpr std::uint32_t testCount = 6001;
  Branches branches(7);
  for (std::uint32_t test = 1; test < testCount; ++test) branches[test % 7].push_back(test);
  std::vector<std::uint32_t> fileOfTest(testCount), freeFiles(testCount, 0);
  for (std::uint32_t test = 0; test < testCount; ++test) fileOfTest[test] = test;
  const CoverInstance instance = makeInstance(branches, testCount);
  const CoverState state(instance);
  std::vector<std::uint32_t> cover;
  const FileCoverAnswer answer =
      fewestNewFilesCover(state, fileOfTest, freeFiles, 7, 7, 1, nullptr, cover);
  ASSERT_EQ(answer.kind, FileCoverAnswer::Kind::found);
  EXPECT_EQ(answer.newFiles, 7u);
  EXPECT_TRUE(coversTheRest(state, cover));
  EXPECT_EQ(fewestNewFilesCover(state, fileOfTest, freeFiles, 7, 6, 1, nullptr, cover).kind,
            FileCoverAnswer::Kind::none);
}

// A dense random instance, each test in a file of its own: a program that
// needs much branching.
struct HardInstance {
  static constexpr std::uint32_t testCount = 200;
  Branches branches = Branches(200);
  CoverInstance instance;
  std::vector<std::uint32_t> fileOfTest = std::vector<std::uint32_t>(testCount);
  std::vector<std::uint32_t> freeFiles = std::vector<std::uint32_t>(testCount, 0);

  HardInstance() {
    std::mt19937 random(5);
    std::bernoulli_distribution reaches(0.5);
    for (auto &tests : branches)
      for (std::uint32_t test = 1; test < testCount; ++test)
        if (reaches(random)) tests.push_back(test);
    instance = makeInstance(branches, testCount);
    for (std::uint32_t test = 0; test < testCount; ++test) fileOfTest[test] = test;
  }
};

TEST(FileCoverSolver, GivesUpBeyondItsBudget) {
  const HardInstance hard;
  const CoverState state(hard.instance);
  std::vector<std::uint32_t> cover;
  const FileCoverAnswer answer =
      fewestNewFilesCover(state, hard.fileOfTest, hard.freeFiles, 10, 10, 5, nullptr, cover);
  EXPECT_EQ(answer.kind, FileCoverAnswer::Kind::unknown);
}

// GLPK running out of memory surfaces as std::bad_alloc, as any allocation
// failure does, and leaves GLPK fit for the next program.
TEST(FileCoverSolver, ReportsGlpkRunningOutOfMemory) {
  const HardInstance hard;
  const CoverState state(hard.instance);
  const std::vector<std::uint32_t> &fileOfTest = hard.fileOfTest;
  const std::vector<std::uint32_t> &freeFiles = hard.freeFiles;
  std::vector<std::uint32_t> cover;

  glp_mem_limit(1);
  EXPECT_THROW(fewestNewFilesCover(state, fileOfTest, freeFiles, 10, 10, unlimited, nullptr, cover),
               std::bad_alloc);
  const Branches small{{1, 2}, {2, 3}};
  const CoverInstance smallInstance = makeInstance(small, 4);
  const CoverState smallState(smallInstance);
  const FileCoverAnswer answer =
      fewestNewFilesCover(smallState, fileOfTest, freeFiles, 10, 10, unlimited, nullptr, cover);
  ASSERT_EQ(answer.kind, FileCoverAnswer::Kind::found);
  EXPECT_EQ(cover, (std::vector<std::uint32_t>{2}));
}
