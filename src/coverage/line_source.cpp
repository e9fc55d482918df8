#include "coverage/line_source.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zorvane::coverage {

ReadBlock readFromDescriptor(int fd) {
  return [fd](char *buffer, std::size_t size) -> std::ptrdiff_t {
    ssize_t got;
    do got = ::read(fd, buffer, size);
    while (got < 0 && errno == EINTR);
    return got;
  };
}

LineSource::LineSource(ReadBlock read, std::size_t blockSize, RestMatters restMatters)
    : read_(std::move(read)), blockSize_(blockSize), restMatters_(restMatters) {}

std::optional<std::string_view> LineSource::nextLine() {
  if (skipping_) skipRestOfLine();
  for (;;) {
    const char *data = buffer_.get();
    if (const void *newline =
            searched_ == end_ ? nullptr : std::memchr(data + searched_, '\n', end_ - searched_)) {
      const std::size_t lineEnd = static_cast<const char *>(newline) + 1 - data;
      const std::string_view line(data + begin_, lineEnd - begin_);
      begin_ = searched_ = lineEnd;
      return line;
    }
    searched_ = end_;
    const std::string_view held(data + begin_, end_ - begin_);
    if (atEnd_) {
      // After an error the bytes held are not a whole last line.
      if (failed_ || held.empty()) return std::nullopt;
      begin_ = end_;
      return held;
    }
    if (held.size() >= blockSize_ && restMatters_ && !restMatters_(held)) {
      skipping_ = true;
      begin_ = end_;
      return held;
    }
    readBlock();
  }
}

std::string_view LineSource::wholeLinesHeld() const {
  if (skipping_ || begin_ == end_) return {};
  const void *last = ::memrchr(buffer_.get() + begin_, '\n', end_ - begin_);
  if (!last) return {};
  return {buffer_.get() + begin_,
          static_cast<std::size_t>(static_cast<const char *>(last) + 1 - (buffer_.get() + begin_))};
}

void LineSource::skipRestOfLine() {
  skipping_ = false;
  for (;;) {
    if (const void *newline =
            begin_ == end_ ? nullptr : std::memchr(buffer_.get() + begin_, '\n', end_ - begin_)) {
      begin_ = searched_ = static_cast<const char *>(newline) + 1 - buffer_.get();
      return;
    }
    begin_ = end_ = searched_ = 0;
    if (atEnd_) return;
    readBlock();
  }
}

void LineSource::readBlock() {
  // The start of a line carried over moves to the front: once per line, as
  // a line that stays goes on from the front.
  if (begin_ != 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    searched_ -= begin_;
    begin_ = 0;
  }
  if (capacity_ - end_ < blockSize_) {
    const std::size_t grown = std::max(2 * capacity_, end_ + blockSize_);
    auto larger = std::make_unique_for_overwrite<char[]>(grown);
    if (end_ != 0) std::memcpy(larger.get(), buffer_.get(), end_);
    buffer_ = std::move(larger);
    capacity_ = grown;
  }
  const std::ptrdiff_t got = read_(buffer_.get() + end_, blockSize_);
  if (got > 0) end_ += static_cast<std::size_t>(got);
  atEnd_ = got <= 0;
  failed_ = got < 0;
}

}  // namespace zorvane::coverage
