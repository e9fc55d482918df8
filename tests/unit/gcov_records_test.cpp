#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gcov/gcov_records.h"
#include "gcov/unit_coverage.h"
#include "tio/conversion_error.h"

using namespace zorvane::gcov;
using namespace zorvane::tio;

namespace {

constexpr std::uint32_t version12 = 0x4232322a;  // "B22*"

// Records as GCC writes them: 32-bit words, strings as a byte length and
// the bytes with their NUL, each record a tag, a length in bytes, contents.
class Bytes {
 public:
  explicit Bytes(bool swapped = false) : swapped_(swapped) {}

  Bytes &word(std::uint32_t value) {
    if (swapped_) value = __builtin_bswap32(value);
    text_.append(reinterpret_cast<const char *>(&value), 4);
    return *this;
  }
  Bytes &text(const std::string &value) {
    word(static_cast<std::uint32_t>(value.size() + 1));
    text_.append(value);
    text_ += '\0';
    return *this;
  }
  Bytes &counter(std::int64_t value) {
    return word(static_cast<std::uint32_t>(value)).word(static_cast<std::uint32_t>(value >> 32));
  }
  Bytes &record(std::uint32_t tag, const Bytes &contents) {
    word(tag).word(static_cast<std::uint32_t>(contents.text_.size()));
    text_.append(contents.text_);
    return *this;
  }
  const std::string &str() const { return text_; }

 private:
  bool swapped_;
  std::string text_;
};

// One function, main() in src/m.c from line 2 to 7, whose "if" on line 3
// goes to line 4 or line 5, both going on to line 6; line 4 calls a
// function that may not return. Counted arcs: 2->4, 2->3, and the call's.
Bytes functionNotes(bool swapped = false) {
  Bytes notes(swapped);
  notes.word(0x67636e6f).word(version12).word(77).word(0).text("/work").word(1);
  notes.record(0x01000000, Bytes(swapped)
                               .word(9)
                               .word(0x1111)
                               .word(0x2222)
                               .text("main")
                               .word(0)
                               .text("src/./m.c")
                               .word(2)
                               .word(1)
                               .word(7)
                               .word(1));
  notes.record(0x01410000, Bytes(swapped).word(6));
  // Block 2 lists its arcs out of order; gcov reports them by destination.
  notes.record(0x01430000, Bytes(swapped).word(0).word(2).word(1));
  notes.record(0x01430000, Bytes(swapped).word(2).word(4).word(0).word(3).word(4));
  notes.record(0x01430000, Bytes(swapped).word(3).word(5).word(5).word(1).word(2));
  notes.record(0x01430000, Bytes(swapped).word(4).word(5).word(1));
  notes.record(0x01430000, Bytes(swapped).word(5).word(1).word(1));
  const auto lines = [&](std::uint32_t block, std::uint32_t line) {
    notes.record(0x01450000,
                 Bytes(swapped).word(block).word(0).text("src/m.c").word(line).word(0).word(0));
  };
  lines(2, 3);
  lines(3, 4);
  lines(4, 5);
  lines(5, 6);
  return notes;
}

Bytes countersFor(std::uint32_t stamp, std::vector<std::int64_t> counts,
                  std::uint32_t cfgChecksum = 0x2222) {
  Bytes counters;
  counters.word(0x67636461).word(version12).word(stamp).word(0);
  counters.record(0xa1000000, Bytes().word(1).word(1));
  counters.record(0x01000000, Bytes().word(9).word(0x1111).word(cfgChecksum));
  Bytes values;
  for (std::int64_t count : counts) values.counter(count);
  counters.record(0x01a10000, values);
  return counters;
}

std::string errorOf(const std::function<void()> &read) {
  try {
    read();
  } catch (const ConversionError &error) {
    return error.what();
  }
  return "no error";
}

std::vector<GcovFile> reportOf(const UnitNotes &notes,
                               const std::vector<std::vector<std::int64_t>> *counters) {
  std::vector<GcovFile> files;
  UnitCoverage(notes, counters != nullptr).report(counters, [&](GcovFile &&file) {
    files.push_back(std::move(file));
  });
  return files;
}

}  // namespace

TEST(GcovRecords, NotesGiveFunctionsBlocksArcsAndLines) {
  for (const bool swapped : {false, true}) {
    const UnitNotes notes = parseNotes(functionNotes(swapped).str());
    EXPECT_EQ(notes.version, version12);
    EXPECT_TRUE(isKnownNotesVersion(notes.version));
    EXPECT_EQ(notes.stamp, 77u);
    EXPECT_EQ(notes.directory, "/work");
    // "src/./m.c" and "src/m.c" are one file.
    EXPECT_EQ(notes.sources, std::vector<std::string>{"src/m.c"});
    ASSERT_EQ(notes.functions.size(), 1u);
    const NotesFunction &main = notes.functions[0];
    EXPECT_EQ(main.name, "main");
    EXPECT_EQ(main.startLine, 2u);
    EXPECT_EQ(main.endLine, 7u);
    ASSERT_EQ(main.blocks.size(), 6u);
    EXPECT_EQ(main.counterCount, 3u);
    ASSERT_EQ(main.blocks[3].arcs.size(), 2u);
    EXPECT_EQ(main.blocks[3].arcs[1].flags, arcFake);
    ASSERT_EQ(main.blocks[5].locations.size(), 1u);
    EXPECT_EQ(main.blocks[5].locations[0].lines, std::vector<std::uint32_t>{6});
  }
  EXPECT_EQ(versionText(version12), "B22*");
  EXPECT_FALSE(isKnownNotesVersion(0x4233302a));  // GCC 13
  EXPECT_EQ(notesVersionOf(functionNotes().str()), version12);
  EXPECT_EQ(notesVersionOf("junk"), 0u);
}

TEST(GcovRecords, BadNotesAreClearErrorsWithoutCrashOrHugeAllocation) {
  const std::string good = functionNotes().str();
  EXPECT_EQ(errorOf([&] { parseNotes("abcdXXXX"); }), "not a .gcno notes file");
  EXPECT_EQ(errorOf([&] { parseNotes(""); }), "truncated: a word runs past the end");
  // Every cut of a good file is refused or read, never read past its end.
  for (std::size_t size = 0; size < good.size(); ++size) {
    try {
      parseNotes(good.substr(0, size));
    } catch (const ConversionError &) {}
  }
  const auto withRecord = [](std::uint32_t tag, const Bytes &contents) {
    Bytes notes;
    notes.word(0x67636e6f).word(version12).word(1).word(0).text("/w").word(1);
    notes.record(
        0x01000000,
        Bytes().word(1).word(0).word(0).text("f").word(0).text("f.c").word(1).word(1).word(2).word(
            1));
    notes.record(0x01410000, Bytes().word(4));
    notes.record(tag, contents);
    return notes.str();
  };
  EXPECT_EQ(errorOf([&] { parseNotes(withRecord(0x01410000, Bytes().word(0xFFFFFFFF))); }),
            "no error");  // a second count is passed over, as gcov does
  EXPECT_EQ(errorOf([&] { parseNotes(withRecord(0x01430000, Bytes().word(9).word(1).word(0))); }),
            "corrupt: arcs of an unknown block");
  EXPECT_EQ(errorOf([&] { parseNotes(withRecord(0x01430000, Bytes().word(2).word(7).word(0))); }),
            "corrupt: an arc to an unknown block");
  EXPECT_EQ(errorOf([&] { parseNotes(withRecord(0x01450000, Bytes().word(2).word(5).word(0))); }),
            "corrupt: a line before its file");
  EXPECT_EQ(errorOf([&] { parseNotes(withRecord(0x01450000, Bytes().word(2).word(0))); }),
            "truncated: a word runs past the end");
  EXPECT_EQ(errorOf([&] {
              parseNotes(withRecord(0x01450000, Bytes().word(2).word(0).text("f.c").word(3)));
            }),
            "corrupt: lines without their end");
  Bytes hugeString;
  hugeString.word(0x67636e6f).word(version12).word(1).word(0).word(0xFFFFFFF0);
  EXPECT_EQ(errorOf([&] { parseNotes(hugeString.str()); }),
            "truncated: a string runs past the end");
  Bytes hugeBlocks;
  hugeBlocks.word(0x67636e6f).word(version12).word(1).word(0).text("/w").word(1);
  hugeBlocks.record(
      0x01000000,
      Bytes().word(1).word(0).word(0).text("f").word(0).text("f.c").word(1).word(1).word(2).word(
          1));
  hugeBlocks.record(0x01410000, Bytes().word(0xFFFFFFFF));
  EXPECT_EQ(errorOf([&] { parseNotes(hugeBlocks.str()); }), "corrupt: too many blocks");
  Bytes longRecord;
  longRecord.word(0x67636e6f).word(version12).word(1).word(0).text("/w").word(1);
  longRecord.word(0x01000000).word(0x7FFFFFF0);
  EXPECT_EQ(errorOf([&] { parseNotes(longRecord.str()); }),
            "truncated: a record runs past the end");
}

TEST(GcovRecords, CountersMustComeFromTheNotesCompilation) {
  const UnitNotes notes = parseNotes(functionNotes().str());
  const auto counters = parseCounters(countersFor(77, {1, 2, 3}).str(), notes);
  EXPECT_EQ(counters, (std::vector<std::vector<std::int64_t>>{{1, 2, 3}}));
  EXPECT_EQ(errorOf([&] {
              parseCounters(countersFor(78, {1, 2, 3}).str(), notes);
            }),
            "stamp mismatch with notes file");
  EXPECT_EQ(errorOf([&] {
              parseCounters(countersFor(77, {1, 2, 3}, 9).str(), notes);
            }),
            "profile mismatch for 'main'");
  EXPECT_EQ(errorOf([&] {
              parseCounters(countersFor(77, {1, 2}).str(), notes);
            }),
            "profile mismatch for 'main'");
  EXPECT_EQ(errorOf([&] { parseCounters(functionNotes().str(), notes); }),
            "not a .gcda counters file");
  const std::string good = countersFor(77, {1, 2, 3}).str();
  for (std::size_t size = 0; size < good.size(); ++size) {
    try {
      parseCounters(good.substr(0, size), notes);
    } catch (const ConversionError &) {}
  }
  // Counters that are all zero may be left out: a negative length.
  Bytes zeros;
  zeros.word(0x67636461).word(version12).word(77).word(0);
  zeros.record(0x01000000, Bytes().word(9).word(0x1111).word(0x2222));
  zeros.word(0x01a10000).word(static_cast<std::uint32_t>(-24));
  EXPECT_EQ(parseCounters(zeros.str(), notes), (std::vector<std::vector<std::int64_t>>{{0, 0, 0}}));
  // Two records of one function add up, modulo 2^64 past 64 bits.
  Bytes twice;
  twice.word(0x67636461).word(version12).word(77).word(0);
  twice.record(0x01000000, Bytes().word(9).word(0x1111).word(0x2222));
  twice.record(0x01a10000, Bytes().counter(INT64_MAX).counter(2).counter(-1));
  twice.record(0x01a10000, Bytes().counter(2).counter(3).counter(INT64_MIN));
  EXPECT_EQ(parseCounters(twice.str(), notes),
            (std::vector<std::vector<std::int64_t>>{{INT64_MIN + 1, 5, INT64_MAX}}));
}

TEST(UnitCoverage, CountsAreSolvedAndBranchesFollowGcovsRules) {
  const UnitNotes notes = parseNotes(functionNotes().str());
  // Arcs counted: 2->4 (not taken), 2->3 (taken twice), 3->1 (the call
  // returned every time).
  const std::vector<std::vector<std::int64_t>> counters = {{0, 2, 0}};
  const std::vector<GcovFile> files = reportOf(notes, &counters);
  ASSERT_EQ(files.size(), 1u);
  const GcovFile &file = files[0];
  EXPECT_EQ(file.path, "/work/src/m.c");
  ASSERT_EQ(file.functions.size(), 1u);
  EXPECT_EQ(file.functions[0].name, "main");
  EXPECT_EQ(file.functions[0].startLine, 2u);
  EXPECT_TRUE(file.functions[0].called);
  ASSERT_EQ(file.lines.size(), 4u);
  EXPECT_EQ(file.lines[0].number, 3u);
  EXPECT_TRUE(file.lines[0].ran);
  // Ordered by destination: 2->3 first, taken; 2->4 not.
  EXPECT_EQ(file.lines[0].branchesTaken, (std::vector<bool>{true, false}));
  // Line 4's block has one way out besides a call: no branch.
  EXPECT_TRUE(file.lines[1].ran);
  EXPECT_TRUE(file.lines[1].branchesTaken.empty());
  EXPECT_FALSE(file.lines[2].ran);
  EXPECT_TRUE(file.lines[3].ran);

  const std::vector<GcovFile> alone = reportOf(notes, nullptr);
  ASSERT_EQ(alone.size(), 1u);
  EXPECT_FALSE(alone[0].functions[0].called);
  for (const GcovLine &line : alone[0].lines) EXPECT_FALSE(line.ran) << line.number;
  EXPECT_EQ(alone[0].lines[0].branchesTaken, (std::vector<bool>{false, false}));
}

TEST(UnitCoverage, ALoopWithinOneLineCountsEvenWhenNothingCameIn) {
  // f() in l.c: block 2 on line 3 loops on itself, then lines 4 and 5.
  // Counted arcs: 0->2 and the loop 2->2.
  Bytes notes;
  notes.word(0x67636e6f).word(version12).word(5).word(0).text("/w").word(1);
  notes.record(
      0x01000000,
      Bytes().word(1).word(3).word(4).text("f").word(0).text("l.c").word(2).word(1).word(6).word(
          1));
  notes.record(0x01410000, Bytes().word(5));
  notes.record(0x01430000, Bytes().word(0).word(2).word(0));
  notes.record(0x01430000, Bytes().word(2).word(2).word(0).word(3).word(1));
  notes.record(0x01430000, Bytes().word(3).word(4).word(1));
  notes.record(0x01430000, Bytes().word(4).word(1).word(1));
  for (std::uint32_t block : {2u, 3u, 4u})
    notes.record(0x01450000,
                 Bytes().word(block).word(0).text("l.c").word(block + 1).word(0).word(0));
  const UnitNotes parsed = parseNotes(notes.str());
  const auto lineThreeRan = [&](std::int64_t entered, std::int64_t looped) {
    const std::vector<std::vector<std::int64_t>> counters = {{entered, looped}};
    const std::vector<GcovFile> files = reportOf(parsed, &counters);
    return files.at(0).lines.at(0).number == 3 && files[0].lines[0].ran;
  };
  EXPECT_TRUE(lineThreeRan(1, 4));
  EXPECT_FALSE(lineThreeRan(0, 0));
  // Counters of racing threads: the loop was counted, its entry was not.
  EXPECT_TRUE(lineThreeRan(0, 4));
}
