#include "coverage/block_reader.h"

#include <signal.h>

#include <system_error>

BlockReader::BlockReader(ReadBlock read, std::size_t blockSize, std::size_t headroom,
                         std::size_t slack, bool ahead)
    : read_(std::move(read)), blockSize_(blockSize), headroom_(headroom) {
  const std::size_t ringSize = ahead ? heldBlocks + blocksAhead : heldBlocks;
  for (std::size_t i = 0; i < ringSize; ++i)
    ring_.push_back(std::make_unique_for_overwrite<char[]>(headroom + blockSize + slack));
  blocks_.resize(ringSize);
  // Without a thread (none may be left) the blocks are read on the
  // caller's, two buffers being enough.
  if (ahead && !startThread()) {
    ring_.resize(heldBlocks);
    blocks_.resize(heldBlocks);
  }
}

BlockReader::~BlockReader() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  roomMade_.notify_one();
  thread_.join();
}

bool BlockReader::startThread() {
  // Signals are for the caller's thread, as they were before this one.
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  bool started = true;
  try {
    thread_ = std::thread([this] { readAhead(); });
  } catch (const std::system_error &) {
    started = false;
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return started;
}

BlockReader::Block BlockReader::readInto(std::size_t ring) {
  char *data = ring_[ring].get() + headroom_;
  const std::ptrdiff_t got = read_(data, blockSize_);
  return blocks_[ring] = {data, got > 0 ? static_cast<std::size_t>(got) : 0, got <= 0, got < 0};
}

void BlockReader::readAhead() {
  for (std::uint64_t block = 0;; ++block) {
    {
      // The buffer of this block is free once the caller holds the blocks
      // after it only.
      std::unique_lock lock(mutex_);
      roomMade_.wait(lock, [&] { return stopping_ || block < taken_ + blocksAhead; });
      if (stopping_) return;
    }
    const Block read = readInto(block % ring_.size());
    {
      const std::lock_guard lock(mutex_);
      blocksRead_ = block + 1;
    }
    blockRead_.notify_one();
    if (read.last) return;
  }
}

BlockReader::Block BlockReader::next() {
  const std::size_t ring = taken_ % ring_.size();
  if (!thread_.joinable()) {
    ++taken_;
    return readInto(ring);
  }
  std::unique_lock lock(mutex_);
  blockRead_.wait(lock, [&] { return blocksRead_ > taken_; });
  ++taken_;
  lock.unlock();
  roomMade_.notify_one();
  return blocks_[ring];
}
