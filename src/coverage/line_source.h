#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

// Reads at most `size` bytes of a file into `buffer`, as read(2) does: the
// number of bytes read, 0 at the end of the file, or -1 on an error.
using ReadBlock = std::function<std::ptrdiff_t(char *buffer, std::size_t size)>;

// A ReadBlock over an open file descriptor; retries reads that a signal
// interrupted.
ReadBlock readFromDescriptor(int fd);

// Large enough that reading costs few system calls.
inline constexpr std::size_t defaultReadBlockSize = std::size_t{1} << 20;

// Hands out the lines of a file in runs of whole lines, whatever their
// length, each line with its newline when it has one. Reads in large
// blocks; a line is only moved when it straddles two blocks, and a caller
// walks a whole block's lines without a call per line.
class LineSource {
 public:
  // `blockSize` (above 0) is the size of the first buffer, which grows to
  // hold longer lines.
  explicit LineSource(ReadBlock read, std::size_t blockSize = defaultReadBlockSize);

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
  void refill();

  ReadBlock read_;
  // Left uninitialised: only what read_ fills is ever looked at, and
  // zeroing a large buffer for every small file costs more than reading it.
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool atEnd_ = false;
  bool failed_ = false;
};
