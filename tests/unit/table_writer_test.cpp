#include "coverage/table_writer.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <optional>
#include <random>
#include <tuple>
#include <vector>

using namespace zorvane::coverage;

namespace {

// A branch by FT key, DC key, kind and index.
using BranchKey = std::tuple<std::uint32_t, std::uint32_t, signed char, std::uint32_t>;
using Entries = std::map<BranchKey, std::vector<TestNumber>>;

Entries entriesOf(CoverageTable &table) {
  table.buildTestLists();
  Entries entries;
  for (const BranchGroup &group : table.groups())
    for (const IndexedBranch &branch : group.branches) {
      const auto tests = table.branch(branch.id).entries();
      entries[{group.ftKey, group.dcKey, group.branchKind, branch.index}].assign(tests.begin(),
                                                                                 tests.end());
    }
  return entries;
}

// Writes the same random steps to a writer on its own thread and to one that
// stores on the caller's, and keeps what they must store: enough steps for
// many chunks, files that start afresh, sections ended or left open, and
// repeats of sections read in this file or an earlier one.
class RandomSteps {
 public:
  RandomSteps(TableWriter &onThread, TableWriter &inlined) : writers_{&onThread, &inlined} {}

  void write(unsigned seed, int steps) {
    std::mt19937 random(seed);
    const auto next = [&random](std::uint32_t bound) {
      return std::uniform_int_distribution<std::uint32_t>(0, bound - 1)(random);
    };
    for (int step = 0; step < steps; ++step) {
      switch (next(20)) {
        case 0:
          // A new file has no test open until its first NT line.
          if (next(50) == 0) {
            each([](TableWriter &writer) { writer.startFile(); });
            cursor_ = {};
            testOpen_ = false;
          }
          break;
        case 1:
          ++test_;
          testOpen_ = true;
          each([this](TableWriter &writer) { writer.openTest(test_); });
          break;
        case 2: {
          const std::uint32_t key = next(6);
          each([key](TableWriter &writer) { writer.setFtKey(key); });
          cursor_.ftKey = key;
          break;
        }
        case 3: {
          const std::uint32_t key = next(40);
          each([key](TableWriter &writer) { writer.setDcKey(key); });
          cursor_.dcKey = key;
          break;
        }
        case 4:
          each([](TableWriter &writer) { writer.beginSection(); });
          section_ = Section{};
          break;
        case 5:
          if (section_) {
            std::uint32_t run = 0;
            each([&run](TableWriter &writer) { run = writer.endSection(); });
            section_->end = cursor_;
            ASSERT_EQ(run, sections_.size());
            sections_.push_back(*section_);
            section_.reset();
          }
          break;
        case 6:
          // A repeat ends the section being read, as the reader's do.
          if (!sections_.empty() && testOpen_) {
            const auto run = next(static_cast<std::uint32_t>(sections_.size()));
            each([run](TableWriter &writer) { writer.repeatSection(run); });
            for (const BranchKey &key : sections_[run].entries) expected_[key].push_back(test_);
            cursor_ = sections_[run].end;
            section_.reset();
          }
          break;
        default:
          if (testOpen_) {
            const char kind = next(3) == 0 ? 'L' : 'B';
            const std::uint32_t index = next(3) == 0 ? next(70000) : next(16);
            each([kind, index](TableWriter &writer) { writer.addBranch(kind, index); });
            const BranchKey key{cursor_.ftKey, cursor_.dcKey, kind, index};
            expected_[key].push_back(test_);
            if (section_) section_->entries.push_back(key);
          }
      }
    }
  }

  const Entries &expected() const { return expected_; }

 private:
  struct Keys {
    std::uint32_t ftKey = 0;
    std::uint32_t dcKey = 0;
  };
  struct Section {
    std::vector<BranchKey> entries;
    Keys end;
  };
  template <class Write>
  void each(Write write) {
    for (TableWriter *writer : writers_) write(*writer);
  }

  std::array<TableWriter *, 2> writers_;
  TestNumber test_ = 0;
  bool testOpen_ = false;
  Keys cursor_;
  std::optional<Section> section_;
  std::vector<Section> sections_;
  Entries expected_;
};

}  // namespace

TEST(TableWriter, StoresEveryStepInOrderOnItsThreadOrNot) {
  for (unsigned seed = 1; seed <= 3; ++seed) {
    CoverageTable threadTable, inlineTable;
    TableWriter onThread(threadTable), inlined(inlineTable, false);
    RandomSteps steps(onThread, inlined);
    // Written in two rounds: a writer goes on after a flush.
    for (unsigned round = 0; round < 2; ++round) {
      steps.write(seed * 2 + round, 100000);
      onThread.flush();
      inlined.flush();
      // Compared whole: the tables are too large to print.
      EXPECT_TRUE(entriesOf(threadTable) == steps.expected()) << "seed " << seed;
      EXPECT_TRUE(entriesOf(inlineTable) == steps.expected()) << "seed " << seed;
    }
  }
}

TEST(TableWriter, WhatWasWrittenIsStoredWhenTheWriterEnds) {
  CoverageTable table;
  {
    TableWriter writer(table);
    writer.openTest(1);
    writer.setFtKey(2);
    writer.addBranch('B', 0);
  }
  EXPECT_EQ(entriesOf(table), (Entries{{{2, 0, 'B', 0}, {1}}}));
}
