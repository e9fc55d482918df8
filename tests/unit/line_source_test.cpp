#include "coverage/line_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

// Delivers `bytes` in reads of at most `chunk` bytes, then fails with -1
// if `failAtEnd`, else reports the end of the file.
ReadBlock scriptedRead(std::string bytes, std::size_t chunk, bool failAtEnd) {
  auto offset = std::make_shared<std::size_t>(0);
  return [=](char *buffer, std::size_t size) -> std::ptrdiff_t {
    if (*offset == bytes.size()) return failAtEnd ? -1 : 0;
    const std::size_t n = std::min({size, chunk, bytes.size() - *offset});
    std::copy_n(bytes.data() + *offset, n, buffer);
    *offset += n;
    return static_cast<std::ptrdiff_t>(n);
  };
}

// The lines of every run, checking that each run ends on a line's end.
std::vector<std::string> allLines(LineSource &source) {
  std::vector<std::string> lines;
  bool lastWasWhole = true;
  while (auto run = source.nextLines()) {
    EXPECT_TRUE(lastWasWhole) << "only the file's last line may lack its newline";
    EXPECT_FALSE(run->empty());
    for (std::size_t start = 0; start < run->size();) {
      const std::size_t newline = run->find('\n', start);
      const std::size_t end = newline == std::string_view::npos ? run->size() : newline + 1;
      lines.emplace_back(run->substr(start, end - start));
      start = end;
    }
    lastWasWhole = run->back() == '\n';
  }
  return lines;
}

// Each test runs with the blocks read on the caller's thread and ahead of
// it, on a thread of their own.
class LineSourceTest : public testing::TestWithParam<bool> {
 protected:
  bool readAhead() const { return GetParam(); }
};

}  // namespace

TEST_P(LineSourceTest, LinesStraddlingReadsAndBlocksComeWhole) {
  const std::string longLine(100, 'x');
  LineSource source(scriptedRead("ab\n" + longLine + "\n\ncd", 7, false), 16, readAhead());
  EXPECT_EQ(allLines(source), (std::vector<std::string>{"ab\n", longLine + "\n", "\n", "cd"}));
  EXPECT_FALSE(source.failed());
  EXPECT_FALSE(source.nextLines());
}

TEST_P(LineSourceTest, AReadErrorIsNeverTakenAsTheEndOfTheFile) {
  // The bytes before the error, even those of a line without its newline,
  // are not handed out as a last line.
  LineSource source(scriptedRead("NT a\nTB 1\nTB", 4, true), 8, readAhead());
  EXPECT_EQ(allLines(source), (std::vector<std::string>{"NT a\n", "TB 1\n"}));
  EXPECT_TRUE(source.failed());

  LineSource empty(scriptedRead("", 1, true), 8, readAhead());
  EXPECT_FALSE(empty.nextLines());
  EXPECT_TRUE(empty.failed());
}

TEST_P(LineSourceTest, LinesLongerThanTheRoomBeforeABlockComeWhole) {
  // Far longer than the room kept before each block for a line's start,
  // and in the middle of short lines on either side.
  std::string longLine(300'000, 'x');
  for (std::size_t i = 0; i < longLine.size(); i += 997) longLine[i] = 'y';
  const std::string bytes = "a\n" + longLine + "\nb\n" + longLine + "\n" + longLine;
  LineSource source(scriptedRead(bytes, 5000, false), 4096, readAhead());
  EXPECT_EQ(allLines(source), (std::vector<std::string>{"a\n", longLine + "\n", "b\n",
                                                        longLine + "\n", longLine}));
  EXPECT_FALSE(source.failed());
}

TEST_P(LineSourceTest, ACallerMayStopBeforeTheEnd) {
  // The lines not taken are dropped with the source, whose reading stops.
  auto reads = std::make_shared<std::size_t>(0);
  ReadBlock endless = [reads](char *buffer, std::size_t size) -> std::ptrdiff_t {
    ++*reads;
    std::fill_n(buffer, size, '\n');
    return static_cast<std::ptrdiff_t>(size);
  };
  {
    LineSource source(endless, 64, readAhead());
    ASSERT_TRUE(source.nextLines());
  }
  const std::size_t readsWhenDropped = *reads;
  EXPECT_LE(readsWhenDropped, 4u);
}

INSTANTIATE_TEST_SUITE_P(ReadOnTheCallersThread, LineSourceTest, testing::Values(false));
INSTANTIATE_TEST_SUITE_P(ReadAhead, LineSourceTest, testing::Values(true));
