#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

namespace zorvane::coverage {

// Reads at most `size` bytes of a file into `buffer`, as read(2) does: the
// number of bytes read, 0 at the end of the file, or -1 on an error.
using ReadBlock = std::function<std::ptrdiff_t(char *buffer, std::size_t size)>;

// A ReadBlock over an open file descriptor; retries reads that a signal
// interrupted.
ReadBlock readFromDescriptor(int fd);

// Large enough that reading costs few system calls.
inline constexpr std::size_t defaultReadBlockSize = std::size_t{1} << 20;

// Whether what a line does may depend on the bytes that follow `head`, its
// first bytes (no newline among them).
using RestMatters = bool (*)(std::string_view head);

// Hands out the lines of a file one by one, each with its newline when it
// has one, reading the file in blocks. Every byte is looked at once, however
// long the lines: a line longer than a block is gathered whole, unless
// `restMatters` says, from its first block's worth of bytes, that nothing
// after them matters; then only those bytes are handed out as the line, and
// the rest of it is read past without being held.
class LineSource {
 public:
  // `blockSize` (above 0) is the most read at once.
  explicit LineSource(ReadBlock read, std::size_t blockSize = defaultReadBlockSize,
                      RestMatters restMatters = nullptr);

  // The next line; nullopt at the end of the file or after a read error
  // (then failed() is true). The view lasts until the next call.
  std::optional<std::string_view> nextLine();

  // The whole lines held and not handed out yet, each with its newline
  // (none when no newline is held); they stay until consumed.
  std::string_view wholeLinesHeld() const;
  // Hands out the first `size` bytes of wholeLinesHeld().
  void consume(std::size_t size) {
    begin_ += size;
    searched_ = std::max(searched_, begin_);
  }

  // Whether reading stopped on an error rather than at the end of the file.
  bool failed() const { return failed_; }

 private:
  void readBlock();
  void skipRestOfLine();

  ReadBlock read_;
  std::size_t blockSize_;
  RestMatters restMatters_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  // The bytes not handed out yet, and how far they were searched for a
  // newline.
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::size_t searched_ = 0;
  bool skipping_ = false;
  bool atEnd_ = false;
  bool failed_ = false;
};

}  // namespace zorvane::coverage
