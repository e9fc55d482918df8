#include "coverage/coverage_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "support/recording_diagnostics.h"
#include "support/table_lookup.h"

using namespace zorvane;
using namespace zorvane::coverage;
using zorvane::testing_support::fatalMessageOf;
using zorvane::testing_support::RecordingDiagnostics;

namespace {

std::vector<TestNumber> testsOf(const Branch &reached) {
  return {reached.entries().begin(), reached.entries().end()};
}

// `line` written `count` times.
std::string lines(const std::string &line, int count) {
  std::string text;
  for (int k = 0; k < count; ++k) text += line;
  return text;
}

// Each test as many times as its count says, in that order.
std::vector<TestNumber> times(std::initializer_list<std::pair<TestNumber, int>> counts) {
  std::vector<TestNumber> tests;
  for (const auto &[test, count] : counts) tests.insert(tests.end(), count, test);
  return tests;
}

class ReaderTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zorvane_reader_" + std::to_string(::getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Adds a file argument with these bytes and reads it.
  void read(const std::string &bytes, std::uint8_t verbosity = 0) {
    const std::string path = (dir_ / ("f" + std::to_string(settings_.filePaths.size()))).string();
    std::ofstream(path, std::ios::binary) << bytes;
    readPath(path, verbosity);
  }
  void readPath(const std::string &path, std::uint8_t verbosity = 0) {
    settings_.verbosity = verbosity;
    settings_.filePaths.push_back(path);
    // What was read before a fatal error is stored all the same.
    try {
      readCoverageFile(settings_, static_cast<std::uint32_t>(settings_.filePaths.size() - 1),
                       registry_, writer_, diagnostics_);
    } catch (...) {
      writer_.flush();
      throw;
    }
    writer_.flush();
  }
  // Expects reading these bytes to end the run with this message text.
  // The messages reported on the way come first.
  void expectFatal(const std::string &bytes, const std::string &message) {
    const std::optional<std::string> fatal = fatalMessageOf([&] { read(bytes); });
    ASSERT_TRUE(fatal) << "no fatal error";
    EXPECT_EQ(diagnostics_.takeMessages() + *fatal, message);
  }
  const BranchGroup &onlyGroup() {
    EXPECT_EQ(std::ranges::distance(table_.groups()), 1);
    return *table_.groups().begin();
  }
  // The branch at `index` of `group`, with its list of tests.
  Branch branchAtIndex(const BranchGroup &group, std::uint32_t index) {
    table_.buildTestLists();
    return testing_support::branchAtIndex(table_, group, index);
  }

  // Every branch of the table, by FT key, DC key, kind and index, with its
  // tests.
  using BranchKey = std::tuple<std::uint32_t, std::uint32_t, char, std::uint32_t>;
  std::map<BranchKey, std::vector<TestNumber>> allBranches() {
    std::map<BranchKey, std::vector<TestNumber>> branches;
    for (const BranchGroup &group : table_.groups())
      for (const IndexedBranch &branch : group.branches)
        branches[{group.ftKey, group.dcKey, static_cast<char>(group.branchKind), branch.index}] =
            testsOf(branchAtIndex(group, branch.index));
    return branches;
  }

  std::filesystem::path dir_;
  RunSettings settings_;
  TestRegistry registry_;
  CoverageTable table_;
  TableWriter writer_{table_};
  RecordingDiagnostics diagnostics_;
};

}  // namespace

TEST(ParseHexaValue, LeastSignificantDigitFirst) {
  EXPECT_EQ(parseHexaValue("1A\n", 1), 0xA1u);
  EXPECT_EQ(parseHexaValue("12345678", 1), 0x87654321u);
  EXPECT_EQ(parseHexaValue("fF", 1), 0xFFu);
  EXPECT_EQ(parseHexaValue("12345\n", 1) & 0xFFFF, 0x4321u);
}

TEST(ParseHexaValue, EndingBytesStopTheNumber) {
  EXPECT_EQ(parseHexaValue("1A 7", 1), 0xA1u);
  EXPECT_EQ(parseHexaValue("", 1), 0u);
  EXPECT_EQ(parseHexaValue("\t1", 1), 0u);
  EXPECT_EQ(parseHexaValue("2!x", 1), 2u);
  EXPECT_EQ(parseHexaValue("3\r\n", 1), 3u);
  EXPECT_EQ(parseHexaValue("4\xE9x", 1), 4u);
}

TEST(ParseHexaValue, BadDigitsAndNinthDigitsAreFatal) {
  EXPECT_EQ(fatalMessageOf([&] { parseHexaValue("0x1A\n", 7); }),
            "Zorvane -  fatal: Bad hexa value format in \"0x1A\n\" at line 7\n");
  EXPECT_EQ(fatalMessageOf([&] { parseHexaValue("123456789", 12); }),
            "Zorvane -  fatal: Number overflow in \"123456789\" at line 12\n");
  EXPECT_TRUE(fatalMessageOf([&] { parseHexaValue("-1", 1); }));
}

TEST(SplitKeywordLine, KeywordAndValueText) {
  RecordingDiagnostics diagnostics;
  auto line = splitKeywordLine("   FT   1A\n", 1, diagnostics);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->first, 'F');
  EXPECT_EQ(line->second, 'T');
  EXPECT_EQ(line->value, "1A\n");

  line = splitKeywordLine("T  5\n", 1, diagnostics);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->second, ' ');
  EXPECT_EQ(line->value, "5\n");

  line = splitKeywordLine("T\n", 1, diagnostics);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->second, '\n');
  EXPECT_EQ(line->value, "");

  // A tab between the keyword and its value reads as a blank.
  line = splitKeywordLine("NT\tx\n", 1, diagnostics);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->value, "x\n");
  line = splitKeywordLine("TB \t 1\n", 1, diagnostics);
  ASSERT_TRUE(line);
  EXPECT_EQ(line->value, "1\n");
}

TEST(SplitKeywordLine, IgnoredLines) {
  RecordingDiagnostics diagnostics;
  for (const char *text : {"", "\n", "   \n", "\tFT 1\n", "# note\n", "1A\n", "\xE9t\n", "A"})
    EXPECT_FALSE(splitKeywordLine(text, 1, diagnostics)) << text;
}

TEST(SplitKeywordLine, PrintableByteAfterTheKeywordIsReported) {
  RecordingDiagnostics diagnostics;
  EXPECT_FALSE(splitKeywordLine("FT1A\n", 4, diagnostics));
  EXPECT_FALSE(splitKeywordLine("T 5\n", 5, diagnostics));
  EXPECT_FALSE(splitKeywordLine("Hello\n", 6, diagnostics));
  EXPECT_EQ(diagnostics.takeMessages(),
            "Zorvane -  warning: Unexpected data \"1A\n\" found line 4, line ignored\n"
            "Zorvane -  warning: Unexpected data \"5\n\" found line 5, line ignored\n"
            "Zorvane -  warning: Unexpected data \"llo\n\" found line 6, line ignored\n");
}

TEST_F(ReaderTest, ReadsTheWorkedExample) {
  read(
      "FT 1A\nDC 3\nNT \"first test\" extra\nDT empty input\nTB 1\nTB 2\nTL 1\n# a remark\n"
      "NT\nTB 1\nFT 2\nTB 1\nNote\nNT spare\n");
  EXPECT_EQ(diagnostics_.takeMessages(),
            "Zorvane -  warning: Unexpected data \"te\n\" found line 13, line ignored\n");
  EXPECT_EQ(registry_.lastTest(), 2u);
  EXPECT_EQ(registry_.record(1).name, "\"first test\"");
  EXPECT_EQ(registry_.record(1).description, "empty input\n");
  EXPECT_EQ(registry_.record(2).name, "#2");
  EXPECT_EQ(registry_.entryCounts()[1], 3u);
  EXPECT_EQ(registry_.entryCounts()[2], 2u);

  std::vector<const BranchGroup *> groups;
  for (const BranchGroup &group : table_.groups()) groups.push_back(&group);
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(std::tie(groups[0]->ftKey, groups[0]->dcKey, groups[0]->branchKind),
            std::make_tuple(0x2u, 0x3u, static_cast<signed char>('B')));
  EXPECT_EQ(testsOf(branchAtIndex(*groups[0], 1)), (std::vector<TestNumber>{2}));
  EXPECT_EQ(groups[1]->ftKey, 0xA1u);
  EXPECT_EQ(groups[1]->branchKind, 'B');
  EXPECT_EQ(testsOf(branchAtIndex(*groups[1], 1)), (std::vector<TestNumber>{1, 2}));
  EXPECT_EQ(testsOf(branchAtIndex(*groups[1], 2)), (std::vector<TestNumber>{1}));
  EXPECT_EQ(groups[2]->branchKind, 'L');
  EXPECT_EQ(testsOf(branchAtIndex(*groups[2], 1)), (std::vector<TestNumber>{1}));
  EXPECT_EQ(table_.liveBranchCount(), 4u);
}

TEST_F(ReaderTest, LongLinesAreReadWholeAndCountedOnce) {
  const std::string name(3 << 20, 'x');  // longer than one read block
  read("NT " + name + "\nTB 1\nFT1\n");
  EXPECT_EQ(diagnostics_.takeMessages(),
            "Zorvane -  warning: Unexpected data \"1\n\" found line 3, line ignored\n");
  EXPECT_EQ(registry_.record(1).name, name + "\n");
  EXPECT_EQ(registry_.entryCounts()[1], 1u);
  EXPECT_EQ(table_.liveBranchCount(), 1u);
}

TEST_F(ReaderTest, DescriptionsAreReplacedAndListedFromVerbosity1) {
  read("DT before any test\nNT name\nDT first\nTB 1\n");
  EXPECT_EQ(diagnostics_.printed, "");
  read("NT other\nDT second\nDT third\nTB 1\n", 1);
  EXPECT_EQ(diagnostics_.printed, "\tTest 2 other\n second\n\n\tTest 2 other\n third\n\n");
  EXPECT_EQ(registry_.record(1).description, "first\n");
  EXPECT_EQ(registry_.record(2).description, "third\n");
}

TEST_F(ReaderTest, ANulByteEndsTheTextOfItsLine) {
  read(std::string("NT ab\0TB 1\nTB 2\n", 16));
  EXPECT_EQ(registry_.record(1).name, "ab");
  EXPECT_EQ(registry_.entryCounts()[1], 1u);
  EXPECT_EQ(branchAtIndex(onlyGroup(), 2).count, 1u);
  EXPECT_EQ(branchAtIndex(onlyGroup(), 1).count, 0u);
}

TEST_F(ReaderTest, CrLfLinesKeepTheCarriageReturnInNames) {
  read("FT 1\r\nNT crlf\r\nDT d\r\nTB 2\r\n");
  EXPECT_EQ(registry_.record(1).name, "crlf\r\n");
  EXPECT_EQ(registry_.record(1).description, "d\r\n");
  EXPECT_EQ(onlyGroup().ftKey, 1u);
  EXPECT_EQ(branchAtIndex(onlyGroup(), 2).count, 1u);
}

TEST_F(ReaderTest, BranchLinesBeforeTheFirstTestRecordNothing) {
  read("TB 1\nTC 2\nNT a\nTB 3\n");
  EXPECT_EQ(onlyGroup().branchKind, 'B');
  EXPECT_EQ(testsOf(branchAtIndex(onlyGroup(), 3)), (std::vector<TestNumber>{1}));
  EXPECT_EQ(table_.liveBranchCount(), 1u);
  EXPECT_EQ(registry_.entryCounts()[1], 1u);
  // Their numbers are still checked.
  expectFatal("TB x\n", "Zorvane -  fatal: Bad hexa value format in \"x\n\" at line 1\n");
}

TEST_F(ReaderTest, KeysStartAtZeroInEveryFile) {
  read("FT 5\nDC 6\nNT a\nTB 1\n");
  read("NT b\nTB 1\n");
  std::vector<std::uint32_t> ftKeys;
  for (const BranchGroup &group : table_.groups()) ftKeys.push_back(group.ftKey);
  EXPECT_EQ(ftKeys, (std::vector<std::uint32_t>{0, 5}));
  EXPECT_EQ(registry_.record(2).fileIndex, 1u);
}

TEST_F(ReaderTest, AKindChangeAcrossATestLooksTheGroupUpAgain) {
  read("NT a\nTB 1\nTL 1\nNT b\nTB 2\nDC 1\nTB 3\n");
  std::vector<std::uint32_t> liveBranches;
  for (const BranchGroup &group : table_.groups())
    for (const IndexedBranch &branch : group.branches)
      liveBranches.push_back(branchAtIndex(group, branch.index).count);
  EXPECT_EQ(liveBranches, (std::vector<std::uint32_t>{1, 1, 1, 1}));
}

TEST_F(ReaderTest, FilesThatCannotBeReadTakeTheirIndexAndReportMessage7) {
  readPath((dir_ / "missing.tio").string());
  readPath(dir_.string());
  EXPECT_EQ(diagnostics_.takeMessages(),
            "Zorvane -  warning: Unable to open the file " + (dir_ / "missing.tio").string() +
                "\nZorvane -  warning: Unable to open the file " + dir_.string() + "\n");
  read("NT a\nTB 1\n");
  EXPECT_EQ(registry_.record(1).fileIndex, 2u);
}

TEST_F(ReaderTest, AReadErrorInTheMiddleOfAFileIsMessage14) {
  // The file delivers its first lines, then the next read fails.
  const std::string bytes = "NT a\nTB 1\nNT b\nTB 1\nTB 2\n";
  std::size_t delivered = 0;
  const ReadBlock failingRead = [&](char *buffer, std::size_t size) -> std::ptrdiff_t {
    if (delivered == bytes.size()) return -1;
    const std::size_t n = bytes.copy(buffer, std::min<std::size_t>(size, 10), delivered);
    delivered += n;
    return static_cast<std::ptrdiff_t>(n);
  };
  settings_.filePaths.push_back("broken.tio");
  EXPECT_EQ(fatalMessageOf([&] {
              readCoverageLines(failingRead, settings_, 0, registry_, writer_, diagnostics_);
            }),
            "Zorvane -  fatal: Unable to read the file broken.tio\n");
}

TEST_F(ReaderTest, AFileThatFailsAtItsFirstReadIsMessage14) {
  // Reading this process's own memory at offset 0 fails: nothing is mapped there.
  EXPECT_EQ(fatalMessageOf([&] { readPath("/proc/self/mem"); }),
            "Zorvane -  fatal: Unable to read the file /proc/self/mem\n");
}

TEST_F(ReaderTest, TestsWithoutBranchLinesAreDropped) {
  read("NT a\nNT b\nTB 1\nNT c\n");
  EXPECT_EQ(registry_.lastTest(), 1u);
  EXPECT_EQ(registry_.record(1).name, "b\n");
  read("");
  read("# only remarks\n\n");
  EXPECT_EQ(registry_.lastTest(), 1u);
}

TEST_F(ReaderTest, ALastLineWithoutNewlineIsRead) {
  read("NT a\nTB 1");
  EXPECT_EQ(branchAtIndex(onlyGroup(), 1).count, 1u);
  read("NT b\nTB 1\nT");
  EXPECT_EQ(registry_.entryCounts()[2], 1u);
  // Eight digits and no newline: every digit counts.
  read("NT c\nDC 12345678");
  read("NT d\nDC 12345678\nTB 2");
  std::vector<std::uint32_t> dcKeys;
  for (const BranchGroup &group : table_.groups()) dcKeys.push_back(group.dcKey);
  EXPECT_EQ(dcKeys, (std::vector<std::uint32_t>{0, 0x87654321u}));
}

TEST_F(ReaderTest, NumbersOfEveryLengthAndCaseReadAsDigitByDigit) {
  // Key and branch lines with 0 to 8 digits of either case, at every offset
  // from the blocks in which the reader looks for newlines; each value must
  // be the one parseHexaValue gives for the same text.
  std::string bytes = "NT a\n";
  std::vector<std::pair<std::uint32_t, std::uint32_t>> expected;  // DC key, branch value
  std::uint32_t seed = 11;
  const auto next = [&seed](std::uint32_t range) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % range;
  };
  const auto digits = [&next](std::uint32_t count) {
    std::string text;
    while (text.size() < count) text += "0123456789abcdefABCDEF"[next(22)];
    return text;
  };
  for (int line = 0; line < 3000; ++line) {
    const std::string dc = digits(next(9));
    const std::string index = digits(next(9));
    bytes += "DC " + dc + "\nTB " + index + "\n";
    expected.emplace_back(parseHexaValue(dc, 0), parseHexaValue(index, 0));
  }
  read(bytes);
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> got;
  for (const BranchGroup &group : table_.groups())
    for (const auto &[index, id] : group.branches)
      got[{group.dcKey, index}] = table_.branch(id).count;
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> want;
  for (const auto &[dc, value] : expected) ++want[{dc, value}];
  EXPECT_EQ(got, want);
}

TEST_F(ReaderTest, ALargeFileReadsAsItsLinesSay) {
  // Enough branch lines for the stores to run beside the parsing, in keys
  // that repeat, change order, appear anew and grow reached arrays midway,
  // written in plain and in unusual forms: the table must hold exactly what
  // a line-by-line reading gives.
  std::map<BranchKey, std::vector<TestNumber>> expected;
  std::string bytes;
  std::uint32_t seed = 7;
  const auto next = [&seed](std::uint32_t range) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % range;
  };
  const auto hex = [](std::uint32_t value) {  // least significant digit first
    std::string digits;
    do digits += "0123456789ABCDEF"[value % 16];
    while (value /= 16);
    return digits;
  };
  const std::string forms[] = {"T%c %s\n", "T%c %s\r\n", "  T%c %s\n", "T%c  %s\n", "T%c %s!\n"};
  std::uint32_t ft = 0, dc = 0;  // keys carry over from test to test
  for (TestNumber test = 1; test <= 4000; ++test) {
    bytes += "NT case" + std::to_string(test) + "\n";
    for (int run = 0; run < 12; ++run) {
      // New FT keys every 50 tests: groups are created while stores run.
      if (next(3) == 0) ft = next(4) + test / 50 * 4, bytes += "FT " + hex(ft) + "\n";
      dc = (dc + 1 + next(2)) % 9, bytes += "DC " + hex(dc) + "\n";
      const char kind = "BLFC"[next(4)];
      for (std::uint32_t line = 0, lines = 1 + next(12); line < lines; ++line) {
        const std::uint32_t index = next(test < 200 ? 40 : 300) | (next(8) == 0 ? 0x10000 : 0);
        char text[64];
        std::snprintf(text, sizeof text, forms[next(20) < 16 ? 0 : 1 + next(4)].c_str(), kind,
                      hex(index).c_str());
        bytes += text;
        expected[{ft, dc, kind, index}].push_back(test);
      }
    }
  }
  read(bytes);

  std::size_t entries = 0;
  for (const BranchGroup &group : table_.groups())
    for (const IndexedBranch &branch : group.branches) {
      const Branch reached = branchAtIndex(group, branch.index);
      const auto key = std::make_tuple(group.ftKey, group.dcKey,
                                       static_cast<char>(group.branchKind), branch.index);
      ASSERT_TRUE(expected.contains(key));
      EXPECT_EQ(testsOf(reached), expected[key]);
      entries += reached.count;
    }
  std::size_t expectedEntries = 0;
  for (const auto &[key, tests] : expected) expectedEntries += tests.size();
  EXPECT_EQ(entries, expectedEntries);
  EXPECT_GT(expectedEntries, 200000u);
  EXPECT_EQ(table_.liveBranchCount(), expected.size());
}

TEST_F(ReaderTest, RepeatedRunsOfLinesReadAsTheirLinesSayUnderTheirOwnKeys) {
  // Tests built from a few blocks of lines: under other keys (FT changes,
  // and keys that carry over from the test before), in other orders, cut by
  // the ends of read blocks, with a line now and then in another form or
  // reported. Every entry must land under the keys in force at its own line,
  // and every message name its own line.
  std::uint32_t seed = 11;
  const auto next = [&seed](std::uint32_t range) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 16) % range;
  };
  struct Block {
    std::uint32_t dc;  // 0: branch lines alone, under the keys before
    std::vector<std::pair<char, std::uint32_t>> lines;
  };
  std::vector<Block> blocks(24);
  for (std::uint32_t b = 0; b < blocks.size(); ++b) {
    blocks[b].dc = b % 6 == 0 ? 0 : 1 + next(12);
    for (std::uint32_t line = 0, count = 1 + next(9); line < count; ++line)
      blocks[b].lines.emplace_back("BLC"[next(3)], next(12));
  }
  // Numbers are written in decimal, and read as hexadecimal digits, least
  // significant first.
  const auto asRead = [](std::uint32_t number) {
    const std::string digits = std::to_string(number);
    std::uint32_t value = 0;
    for (std::size_t d = 0; d < digits.size(); ++d)
      value |= static_cast<std::uint32_t>(digits[d] - '0') << (4 * d);
    return value;
  };
  std::map<BranchKey, std::vector<TestNumber>> expected;
  std::map<TestNumber, std::uint32_t> entries;
  std::string expectedMessages;
  TestNumber test = 0;
  for (std::size_t blockSize : {std::size_t{4096}, std::size_t{100}, std::size_t{1} << 20}) {
    std::string bytes;
    std::uint64_t lineNumber = 0;
    const auto add = [&](const std::string &line) {
      bytes += line;
      ++lineNumber;
    };
    std::uint32_t ft = 0, dc = 0;  // keys start at 0 in every file
    for (int t = 0; t < 300; ++t) {
      add("NT t\n");
      ++test;
      for (int pick = 0, picks = 3 + static_cast<int>(next(8)); pick < picks; ++pick) {
        if (next(4) == 0) {
          ft = next(3);
          add("FT " + std::to_string(ft) + "\n");
        }
        const Block &block = blocks[next(test % 50 < 25 ? 6 : 24)];
        if (block.dc != 0) {
          dc = block.dc;
          add(next(30) == 0 ? "DC  " + std::to_string(dc) + "\n"
                            : "DC " + std::to_string(dc) + "\n");
        }
        for (const auto &[kind, index] : block.lines) {
          const std::string value = std::to_string(index);
          switch (next(40)) {
            case 0:  // reported and ignored
              add(std::string("T") + kind + "x" + value + "\n");
              expectedMessages += "Zorvane -  warning: Unexpected data \"x" + value +
                                  "\n\" found line " + std::to_string(lineNumber) +
                                  ", line ignored\n";
              continue;
            case 1: add(std::string("T") + kind + " " + value + "\r\n"); break;
            case 2: add(std::string("  T") + kind + " " + value + "\n"); break;
            default: add(std::string("T") + kind + " " + value + "\n"); break;
          }
          expected[{asRead(ft), asRead(dc), kind, asRead(index)}].push_back(test);
          ++entries[test];
        }
      }
      if (entries[test] == 0) entries.erase(test--);  // dropped, its number free again
    }
    const std::string path = (dir_ / ("f" + std::to_string(settings_.filePaths.size()))).string();
    std::ofstream(path, std::ios::binary) << bytes;
    settings_.filePaths.push_back(path);
    std::ifstream in(path, std::ios::binary);
    const ReadBlock readFile = [&in](char *buffer, std::size_t size) -> std::ptrdiff_t {
      in.read(buffer, static_cast<std::streamsize>(size));
      return in.gcount();
    };
    readCoverageLines(readFile, settings_,
                      static_cast<std::uint32_t>(settings_.filePaths.size() - 1), registry_,
                      writer_, diagnostics_, blockSize);
    writer_.flush();
    EXPECT_EQ(diagnostics_.takeMessages(), expectedMessages);
    expectedMessages.clear();
  }

  EXPECT_EQ(allBranches(), expected);
  ASSERT_EQ(registry_.lastTest(), test);
  for (const auto &[number, count] : entries) EXPECT_EQ(registry_.entryCounts()[number], count);
}

TEST_F(ReaderTest, AByteOrderMarkAndTabsAfterKeywordsReadAsThePlainText) {
  read("\xEF\xBB\xBFNT a\nTB\t1\nDC\t2\nTB \t 3\n");
  EXPECT_EQ(registry_.record(1).name, "a\n");
  std::vector<std::pair<std::uint32_t, std::uint32_t>> branches;
  for (const BranchGroup &group : table_.groups())
    for (const IndexedBranch &branch : group.branches)
      branches.emplace_back(group.dcKey, branch.index);
  EXPECT_EQ(branches, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0, 1}, {2, 3}}));
}

TEST_F(ReaderTest, BranchIndexesAreHeldWholeTo32Bits) {
  read("NT a\nTB 0\nTB 00001\nTB FFFFFFFF\n");
  std::vector<std::uint32_t> indexes;
  for (const IndexedBranch &branch : onlyGroup().branches) indexes.push_back(branch.index);
  EXPECT_EQ(indexes, (std::vector<std::uint32_t>{0, 0x10000, 0xFFFFFFFF}));
}

TEST_F(ReaderTest, ATracefileGivenAsCoverageIsFatal) {
  const std::string path = (dir_ / "f0").string();
  expectFatal("TN:\nSF:/src/a.c\nDA:1,1\n",
              "Zorvane -  fatal: " + path +
                  " is an LCOV tracefile, not a coverage file: convert it with zorvane-lcov "
                  "first\n");
  // After remarks too; but a coverage file's later lines are only data.
  settings_.filePaths.clear();
  expectFatal("# from lcov\n\nSF:/src/a.c\n",
              "Zorvane -  fatal: " + path +
                  " is an LCOV tracefile, not a coverage file: convert it with zorvane-lcov "
                  "first\n");
  settings_.filePaths.clear();
  read("NT a\nTB 1\nSF:x\n");
  EXPECT_EQ(diagnostics_.takeMessages(),
            "Zorvane -  warning: Unexpected data \":x\n\" found line 3, line ignored\n");
}

TEST_F(ReaderTest, DifferentBuildFingerprintsWarnNamingTheFiles) {
  const std::string header = "# Build fingerprint: 0123456789abcdef\n";
  read(header + "NT a\nTB 1\n");
  read(header + "NT b\nTB 1\n");
  read("NT c\nTB 1\n");  // no fingerprint: read as before
  read("# Build fingerprint: 00000000000000ff\r\nNT d\nTB 1\n");
  // Only the header counts.
  read("NT e\nTB 1\n# Build fingerprint: 1111111111111111\n");
  EXPECT_EQ(diagnostics_.takeMessages(),
            "Zorvane -  warning: " + (dir_ / "f0").string() + " and " + (dir_ / "f3").string() +
                " come from different builds (their build fingerprints differ): their branches "
                "may not match\n");
  EXPECT_EQ(registry_.lastTest(), 5u);
}

TEST_F(ReaderTest, FtKeyNamesAreCollectedAndMustAgreeAcrossFiles) {
  read("# FT 1A is src/a.c\r\nNT a\nFT 1A\nTB 1\n# FT 2 is src/b c.c\n");
  read("# FT 1A is src/a.c\nNT b\nTB 1\n");
  EXPECT_EQ(table_.sourceNotes().pathOf(0xA1), "src/a.c");
  EXPECT_EQ(table_.sourceNotes().pathOf(2), "src/b c.c");
  EXPECT_FALSE(table_.sourceNotes().pathOf(3));
  expectFatal("NT c\nTB 1\n# FT 1A is src/other.c\n",
              "Zorvane -  serious: FT key 1A names the source src/a.c in " +
                  (dir_ / "f0").string() + "\nZorvane -  fatal: FT key 1A also names the source " +
                  "src/other.c in " + (dir_ / "f2").string() +
                  ": files that give one key to two sources cannot be merged\n");
}

TEST(RestOfLineMatters, OnlyWhereTheReaderWouldUseTheRest) {
  for (const char *head : {"# remark", "  # FT", "TB 1 tail", "FT 1A ", "DC 0 x", "XY 1 z",
                           "\tNT x", "1234", "TB 1\r"})
    EXPECT_FALSE(restOfLineMatters(head)) << head;
  for (const char *head :
       {"NT name", "DT text", "   ", "T", "TB 123", "TB   ", "FT1A", "TB x", "TB 123456789",
        "# FT 1A is src", "# Bui", "#", "\xEF\xBB", "\xEF\xBB\xBFNT a"})
    EXPECT_TRUE(restOfLineMatters(head)) << head;
  EXPECT_FALSE(restOfLineMatters(std::string_view("NT a\0b", 6)));
}

TEST_F(ReaderTest, RepeatedSectionsReadUnderTheKeysInForceAtEachReading) {
  // The same bytes from an FT line on, read again: entries go to the test
  // reading them, and a section with no DC line after its FT line reads
  // under the DC key in force before it, at every reading, in every file.
  // Sections are long enough to be worth recording.
  const std::string common = "FT 4\nDC 1\nTL 0\n" + lines("TB 1\n", 12);
  const auto under = [](const std::string &dc) {
    return "FT 1\nDC " + dc + "\nTF 0\nFT 2\n" + lines("TB 3\n", 13) + "FT 3\n" +
           lines("TB 4\n", 13) + "  TB 4\n";
  };
  read("NT a\n" + common + under("5") + "NT b\n" + common + under("6"));
  read("NT c\n" + common + under("5") + "TB 4\r\n");
  const std::map<BranchKey, std::vector<TestNumber>> expected{
      {{4, 1, 'B', 1}, times({{1, 12}, {2, 12}, {3, 12}})},
      {{4, 1, 'L', 0}, {1, 2, 3}},
      {{1, 5, 'F', 0}, {1, 3}},
      {{2, 5, 'B', 3}, times({{1, 13}, {3, 13}})},
      {{3, 5, 'B', 4}, times({{1, 14}, {3, 15}})},
      {{1, 6, 'F', 0}, {2}},
      {{2, 6, 'B', 3}, times({{2, 13}})},
      {{3, 6, 'B', 4}, times({{2, 14}})},
  };
  EXPECT_EQ(allBranches(), expected);
  EXPECT_EQ(registry_.entryCounts()[3], 13u + 1 + 13 + 15);
}

TEST_F(ReaderTest, TheSectionThatFollowedLastTimeIsRepeatedOnlyWhenItsBytesAreTheSame) {
  // After section A the reader first tries the section that followed A
  // last time. B2 has B's length but other bytes, B3 starts with B's bytes
  // and goes on: each is read for what it is, and the lines are counted
  // across repeated sections.
  const std::string a = "FT 1\nDC 2\n" + lines("TB 1\n", 12);
  const std::string b = "FT 3\nDC 4\n" + lines("TB 5\n", 12);
  const std::string b2 = "FT 3\nDC 4\n" + lines("TB 5\n", 11) + "TB 6\n";
  const std::string b3 = b + "TB 7\n";
  read("NT a\n" + a + b + "NT b\n" + a + b2 + "NT c\n" + a + b3 + "NT d\n" + a + b + "NT e\n" + a +
       b2 + "TBx\n");
  EXPECT_EQ(diagnostics_.takeMessages(),
            "Zorvane -  warning: Unexpected data \"x\n\" found line 147, line ignored\n");
  const std::map<BranchKey, std::vector<TestNumber>> expected{
      {{1, 2, 'B', 1}, times({{1, 12}, {2, 12}, {3, 12}, {4, 12}, {5, 12}})},
      {{3, 4, 'B', 5}, times({{1, 12}, {2, 11}, {3, 12}, {4, 12}, {5, 11}})},
      {{3, 4, 'B', 6}, {2, 5}},
      {{3, 4, 'B', 7}, {3}},
  };
  EXPECT_EQ(allBranches(), expected);
}

TEST_F(ReaderTest, RepeatedSectionsWithAnUnreadableLineAreReadLineByLine) {
  // A section that holds a line the reader reports is never repeated from
  // an earlier reading: each reading reports its own line.
  const std::string section =
      "FT 1\nDC 2\nTB 1\nTB 1\nTB 1\nTB 1\nTB 1\nTB 1\nTBx\nTB 2\n"
      "TB 2\nTB 2\nTB 2\nTB 2\nTB 2\n";
  read("NT a\n" + section + "NT b\n" + section + "NT c\n");
  EXPECT_EQ(diagnostics_.takeMessages(),
            "Zorvane -  warning: Unexpected data \"x\n\" found line 10, line ignored\n"
            "Zorvane -  warning: Unexpected data \"x\n\" found line 26, line ignored\n");
  const std::map<BranchKey, std::vector<TestNumber>> expected{
      {{1, 2, 'B', 1}, {1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2}},
      {{1, 2, 'B', 2}, {1, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2}}};
  EXPECT_EQ(allBranches(), expected);
}
