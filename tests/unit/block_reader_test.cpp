#include "coverage/block_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace {

// Block `n` of the test file: 100 bytes of the letter 'a' + n % 26, the
// last one short, then the end of the file, or an error if `failAtEnd`.
constexpr std::size_t blockCount = 50;
ReadBlock lettersRead(bool failAtEnd) {
  auto next = std::make_shared<std::size_t>(0);
  return [next, failAtEnd](char *buffer, std::size_t size) -> std::ptrdiff_t {
    if (*next == blockCount) return failAtEnd ? -1 : 0;
    const std::size_t n = std::min<std::size_t>(size, *next + 1 == blockCount ? 10 : 100);
    std::memset(buffer, 'a' + static_cast<int>(*next % 26), n);
    ++*next;
    return static_cast<std::ptrdiff_t>(n);
  };
}

std::string bytesOf(const BlockReader::Block &block) { return {block.data, block.size}; }

}  // namespace

TEST(BlockReader, BlocksComeInOrderAndTheOneBeforeStaysIntact) {
  for (const bool ahead : {false, true}) {
    SCOPED_TRACE(ahead ? "read ahead" : "read on the caller's thread");
    BlockReader reader(lettersRead(false), 100, 16, 8, ahead);
    BlockReader::Block before{};
    std::string beforeBytes;
    for (std::size_t n = 0; n < blockCount; ++n) {
      const BlockReader::Block block = reader.next();
      ASSERT_FALSE(block.last);
      EXPECT_EQ(bytesOf(block), std::string(n + 1 == blockCount ? 10 : 100, 'a' + n % 26));
      // The room around a block is the caller's.
      std::memset(block.data - 16, '<', 16);
      std::memset(block.data + block.size, '>', 8);
      if (n > 0) {
        // The caller takes its time, so that the thread gets as far ahead
        // as it may.
        if (ahead) std::this_thread::sleep_for(std::chrono::microseconds(300));
        EXPECT_EQ(bytesOf(before), beforeBytes) << "block " << n - 1 << " overwritten";
      }
      before = block;
      beforeBytes = bytesOf(block);
    }
    const BlockReader::Block end = reader.next();
    EXPECT_TRUE(end.last);
    EXPECT_FALSE(end.failed);
    EXPECT_EQ(end.size, 0u);
  }
}

TEST(BlockReader, AFailedReadEndsTheBlocks) {
  for (const bool ahead : {false, true}) {
    BlockReader reader(lettersRead(true), 100, 0, 0, ahead);
    for (std::size_t n = 0; n < blockCount; ++n) ASSERT_FALSE(reader.next().last);
    const BlockReader::Block end = reader.next();
    EXPECT_TRUE(end.last);
    EXPECT_TRUE(end.failed);
  }
}
