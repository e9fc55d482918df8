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

}  // namespace

TEST(LineSource, LinesStraddlingReadsAndBlocksComeWhole) {
  const std::string longLine(100, 'x');
  LineSource source(scriptedRead("ab\n" + longLine + "\n\ncd", 7, false), 16);
  EXPECT_EQ(allLines(source), (std::vector<std::string>{"ab\n", longLine + "\n", "\n", "cd"}));
  EXPECT_FALSE(source.failed());
  EXPECT_FALSE(source.nextLines());
}

TEST(LineSource, AReadErrorIsNeverTakenAsTheEndOfTheFile) {
  // The bytes before the error, even those of a line without its newline,
  // are not handed out as a last line.
  LineSource source(scriptedRead("NT a\nTB 1\nTB", 4, true), 8);
  EXPECT_EQ(allLines(source), (std::vector<std::string>{"NT a\n", "TB 1\n"}));
  EXPECT_TRUE(source.failed());

  LineSource empty(scriptedRead("", 1, true));
  EXPECT_FALSE(empty.nextLines());
  EXPECT_TRUE(empty.failed());
}
