#include "coverage/line_source.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

ReadBlock readFromDescriptor(int fd) {
  return [fd](char *buffer, std::size_t size) -> std::ptrdiff_t {
    ssize_t got;
    do got = ::read(fd, buffer, size);
    while (got < 0 && errno == EINTR);
    return got;
  };
}

LineSource::LineSource(ReadBlock read, std::size_t blockSize)
    : read_(std::move(read)),
      buffer_(std::make_unique_for_overwrite<char[]>(blockSize + slackBytes)),
      capacity_(blockSize) {}

std::optional<std::string_view> LineSource::nextLines() {
  for (;;) {
    const char *start = buffer_.get() + begin_;
    if (const void *newline = ::memrchr(start, '\n', end_ - begin_)) {
      const std::size_t length = static_cast<const char *>(newline) - start + 1;
      begin_ += length;
      return std::string_view(start, length);
    }
    if (atEnd_) {
      // After an error the bytes held are not a whole last line.
      if (failed_ || begin_ == end_) return std::nullopt;
      const std::string_view last(start, end_ - begin_);
      begin_ = end_;
      return last;
    }
    refill();
  }
}

void LineSource::refill() {
  std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  if (end_ == capacity_) {
    auto larger = std::make_unique_for_overwrite<char[]>(2 * capacity_ + slackBytes);
    std::memcpy(larger.get(), buffer_.get(), end_);
    buffer_ = std::move(larger);
    capacity_ *= 2;
  }
  const std::ptrdiff_t got = read_(buffer_.get() + end_, capacity_ - end_);
  if (got > 0) {
    end_ += static_cast<std::size_t>(got);
    return;
  }
  atEnd_ = true;
  failed_ = got < 0;
}
