#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "coverage/test_number.h"

// The memory of the branches' test lists. A table holds a list per branch,
// often a hundred thousand of them, each grown an entry at a time, and on
// the storing thread while a large file is read: taking the process
// allocator's lock for every step made the reading thread wait at its own
// allocations. The pool carves short and middling lists out of large chunks
// of its own and keeps the blocks that lists grow out of for the next list
// of that size; long lists use the process allocator, which moves them
// cheaply, and seldom.
//
// Every list grows through one series of capacities (16, 32, 48, then by
// about a half), so a block given back fits any list that reaches its size.
// One side stores at a time: the pool has no lock.
class TestListPool {
 public:
  TestListPool() = default;
  ~TestListPool();
  TestListPool(const TestListPool &) = delete;
  TestListPool &operator=(const TestListPool &) = delete;

  // The capacity that a full list of `capacity` entries grows to: short
  // lists by 16 entries, long ones by a half, so that neither the moves nor
  // the unused room get large.
  static constexpr std::uint32_t nextCapacity(std::uint32_t capacity) {
    const std::uint32_t half = (capacity / 2) & ~3u;
    return capacity + (half > 16 ? half : 16);
  }

  // The first capacities of the series, up to blocks of about 3 KB, are
  // pooled; larger lists come from the process allocator. A block given back
  // serves only a list of its own size, and lists that popular code reaches
  // grow in step, leaving blocks behind that few lists come to need: past
  // this size they cost more memory than the lock they save.
  static constexpr std::size_t pooledClasses = 10;

  // Moves the full list `list` (nullptr when `capacity` is 0) to a block of
  // the next capacity, which is stored in `capacity`. Throws std::bad_alloc
  // if memory runs out.
  TestNumber *grow(TestNumber *list, std::uint32_t &capacity);
  // Takes back the memory of a list of that capacity.
  void release(TestNumber *list, std::uint32_t capacity);

 private:
  static constexpr std::size_t chunkBytes = std::size_t{1} << 20;

  TestNumber *takeBlock(std::uint32_t capacity);

  // Blocks given back, by size class, each holding the next one's address.
  std::array<void *, pooledClasses> freeBlocks_{};
  std::vector<void *> chunks_;
  char *chunkCursor_ = nullptr;
  char *chunkEnd_ = nullptr;
};
