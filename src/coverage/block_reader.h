#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// Reads at most `size` bytes of a file into `buffer`, as read(2) does: the
// number of bytes read, 0 at the end of the file, or -1 on an error.
using ReadBlock = std::function<std::ptrdiff_t(char *buffer, std::size_t size)>;

// The blocks of a file, one read each, every one in a buffer with room
// before it (`headroom` bytes) and after it (`slack` bytes) that the caller
// may use as it likes. Read on the caller's thread as they are asked for,
// or, `ahead`, on a thread of its own a couple of blocks ahead of the
// caller, so that copying the file from the system's cache overlaps the
// caller's work on the blocks before; `read` is then called on that thread,
// and must not throw.
class BlockReader {
 public:
  struct Block {
    char *data;
    std::size_t size;
    // Nothing follows: the file ended, or a read failed.
    bool last;
    bool failed;
  };

  BlockReader(ReadBlock read, std::size_t blockSize, std::size_t headroom, std::size_t slack,
              bool ahead);
  ~BlockReader();
  BlockReader(const BlockReader &) = delete;
  BlockReader &operator=(const BlockReader &) = delete;

  // The next block; not to be called after the last. The block returned
  // before stays as it was until the call after this one.
  Block next();

 private:
  // Blocks the caller holds (the current one and the one before) and blocks
  // read ahead of them.
  static constexpr std::size_t heldBlocks = 2;
  static constexpr std::size_t blocksAhead = 2;

  Block readInto(std::size_t ring);
  void readAhead();
  bool startThread();

  ReadBlock read_;
  std::size_t blockSize_;
  std::size_t headroom_;
  // Buffers of headroom + blockSize + slack bytes, taken in turn. Left
  // uninitialised: only what read_ fills is ever looked at.
  std::vector<std::unique_ptr<char[]>> ring_;
  std::vector<Block> blocks_;
  // Blocks handed to the caller so far.
  std::uint64_t taken_ = 0;

  // With a thread: blocks it has read so far, and whether the caller is
  // gone; guarded by mutex_.
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable blockRead_;
  std::condition_variable roomMade_;
  std::uint64_t blocksRead_ = 0;
  bool stopping_ = false;
};
