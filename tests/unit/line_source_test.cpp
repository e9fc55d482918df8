#include "coverage/line_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace zorvane;
using namespace zorvane::coverage;

namespace {

// Delivers `bytes` in reads of at most `largestRead` bytes, then fails with -1
// if `failAtEnd`, else reports the end of the file. Counts the bytes read
// in `delivered` when given.
ReadBlock scriptedRead(std::string bytes, std::size_t largestRead, bool failAtEnd,
                       std::shared_ptr<std::size_t> delivered = nullptr) {
  auto offset = delivered ? delivered : std::make_shared<std::size_t>(0);
  return [=](char *buffer, std::size_t size) -> std::ptrdiff_t {
    if (*offset == bytes.size()) return failAtEnd ? -1 : 0;
    const std::size_t n = std::min({size, largestRead, bytes.size() - *offset});
    std::copy_n(bytes.data() + *offset, n, buffer);
    *offset += n;
    return static_cast<std::ptrdiff_t>(n);
  };
}

std::vector<std::string> allLines(LineSource &source) {
  std::vector<std::string> lines;
  while (auto line = source.nextLine()) lines.emplace_back(*line);
  return lines;
}

bool restMattersUnlessX(std::string_view head) { return head[0] != 'x'; }

}  // namespace

TEST(LineSource, LinesStraddlingReadsAndBlocksComeWhole) {
  const std::string longLine(100, 'x');
  LineSource source(scriptedRead("ab\n" + longLine + "\n\ncd", 7, false), 16);
  EXPECT_EQ(allLines(source), (std::vector<std::string>{"ab\n", longLine + "\n", "\n", "cd"}));
  EXPECT_FALSE(source.failed());
  EXPECT_FALSE(source.nextLine());
}

TEST(LineSource, AReadErrorIsNeverTakenAsTheEndOfTheFile) {
  // The bytes before the error, even those of a line without its newline,
  // are not handed out as a last line.
  LineSource source(scriptedRead("NT a\nTB 1\nTB", 4, true), 8);
  EXPECT_EQ(allLines(source), (std::vector<std::string>{"NT a\n", "TB 1\n"}));
  EXPECT_TRUE(source.failed());

  LineSource empty(scriptedRead("", 1, true), 8);
  EXPECT_FALSE(empty.nextLine());
  EXPECT_TRUE(empty.failed());
}

TEST(LineSource, LinesFarLongerThanABlockComeWhole) {
  std::string longLine(300'000, 'y');
  for (std::size_t i = 0; i < longLine.size(); i += 997) longLine[i] = 'z';
  const std::string bytes = "a\n" + longLine + "\nb\n" + longLine + "\n" + longLine;
  LineSource source(scriptedRead(bytes, 5000, false), 4096, restMattersUnlessX);
  EXPECT_EQ(allLines(source),
            (std::vector<std::string>{"a\n", longLine + "\n", "b\n", longLine + "\n", longLine}));
}

TEST(LineSource, TheRestOfALongLineThatDoesNotMatterIsReadPastNotHeld) {
  // A line of a million bytes in blocks of 4096: only its first block is
  // handed out, and the lines after it still come whole.
  const std::string skipped = "x" + std::string(1'000'000, '\0');
  const std::string bytes = "a\n" + skipped + "\nb\n" + skipped;
  auto delivered = std::make_shared<std::size_t>(0);
  LineSource source(scriptedRead(bytes, 5000, false, delivered), 4096, restMattersUnlessX);
  ASSERT_EQ(*source.nextLine(), "a\n");
  const std::string_view head = *source.nextLine();
  EXPECT_GE(head.size(), 4096u);
  EXPECT_LT(head.size(), 3 * 4096u);
  EXPECT_EQ(head, std::string_view(skipped).substr(0, head.size()));
  EXPECT_EQ(*source.nextLine(), "b\n");
  EXPECT_EQ(source.nextLine()->substr(0, 1), "x");
  EXPECT_FALSE(source.nextLine());
  EXPECT_EQ(*delivered, bytes.size());
  EXPECT_FALSE(source.failed());
}

TEST(LineSource, AReadErrorWhileReadingPastALineIsReported) {
  LineSource source(scriptedRead("x" + std::string(100, 'x'), 10, true), 16, restMattersUnlessX);
  EXPECT_TRUE(source.nextLine());
  EXPECT_FALSE(source.nextLine());
  EXPECT_TRUE(source.failed());
}
