#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "coverage/block_reader.h"

// A ReadBlock over an open file descriptor; retries reads that a signal
// interrupted.
ReadBlock readFromDescriptor(int fd);

// Large enough that reading costs few system calls.
inline constexpr std::size_t defaultReadBlockSize = std::size_t{1} << 20;

// Hands out the lines of a file in runs of whole lines, whatever their
// length, each line with its newline when it has one. Reads in large
// blocks (see BlockReader, and `readAhead` there); a line is only moved
// when it straddles two blocks, and a caller walks a whole block's lines
// without a call per line.
class LineSource {
 public:
  // `blockSize` (above 0) is the most read at once.
  explicit LineSource(ReadBlock read, std::size_t blockSize = defaultReadBlockSize,
                      bool readAhead = false);

  // The next lines: one or more whole lines, all ending in a newline except
  // perhaps the file's last. Nullopt when there are none left: at the end of
  // the file, or after a read error (then failed() is true). The view lasts
  // until the next call, and is followed by at least `slackBytes` bytes
  // that may be read (but mean nothing), so that a caller may look at lines
  // a whole block at a time.
  static constexpr std::size_t slackBytes = 64;
  std::optional<std::string_view> nextLines();

  // Whether reading stopped on an error rather than at the end of the file.
  bool failed() const { return failed_; }

 private:
  // The start of a line that straddles two blocks is moved to the room
  // before the second, if it fits there.
  static constexpr std::size_t lineRoom = std::size_t{64} << 10;

  void takeNextBlock();
  void gatherLongLine(const BlockReader::Block &block);

  BlockReader blocks_;
  // The bytes not handed out yet: in the current block, or in longLine_.
  const char *begin_ = nullptr;
  const char *end_ = nullptr;
  // Where a line longer than lineRoom is gathered, with slackBytes after
  // it; whether the bytes not handed out are there.
  std::vector<char> longLine_;
  bool inLongLine_ = false;
  bool atEnd_ = false;
  bool failed_ = false;
};
