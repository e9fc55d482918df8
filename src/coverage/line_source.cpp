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

LineSource::LineSource(ReadBlock read, std::size_t blockSize, bool readAhead)
    : blocks_(std::move(read), blockSize, lineRoom, slackBytes, readAhead) {}

std::optional<std::string_view> LineSource::nextLines() {
  for (;;) {
    const auto held = static_cast<std::size_t>(end_ - begin_);
    if (const void *newline = held == 0 ? nullptr : ::memrchr(begin_, '\n', held)) {
      const std::string_view lines(begin_, static_cast<const char *>(newline) + 1 - begin_);
      begin_ += lines.size();
      return lines;
    }
    if (atEnd_) {
      // After an error the bytes held are not a whole last line.
      if (failed_ || held == 0) return std::nullopt;
      const std::string_view last(begin_, held);
      begin_ = end_;
      return last;
    }
    takeNextBlock();
  }
}

void LineSource::takeNextBlock() {
  const BlockReader::Block block = blocks_.next();
  atEnd_ = block.last;
  failed_ = block.failed;
  // What is left holds no newline: the start of a line, which goes before
  // the new block.
  const auto carried = static_cast<std::size_t>(end_ - begin_);
  if (carried > lineRoom) return gatherLongLine(block);
  char *start = block.data - carried;
  if (carried != 0) std::memcpy(start, begin_, carried);
  begin_ = start;
  end_ = block.data + block.size;
  inLongLine_ = false;
}

void LineSource::gatherLongLine(const BlockReader::Block &block) {
  const auto carried = static_cast<std::size_t>(end_ - begin_);
  if (!inLongLine_)
    longLine_.assign(begin_, end_);
  else if (begin_ != longLine_.data())
    std::memmove(longLine_.data(), begin_, carried);
  longLine_.resize(carried + block.size + slackBytes);
  std::memcpy(longLine_.data() + carried, block.data, block.size);
  begin_ = longLine_.data();
  end_ = begin_ + carried + block.size;
  inLongLine_ = true;
}
