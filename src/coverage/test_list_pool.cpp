#include "coverage/test_list_pool.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "shell/messages.h"

namespace {

// The pooled capacities: 16, 32, 48, 72, 108, ... 808.
constexpr auto pooledCapacities = [] {
  std::array<std::uint32_t, TestListPool::pooledClasses> capacities{};
  std::uint32_t capacity = 0;
  for (std::uint32_t &pooled : capacities) pooled = capacity = TestListPool::nextCapacity(capacity);
  return capacities;
}();

bool isPooled(std::uint32_t capacity) { return capacity <= pooledCapacities.back(); }

// The place of a pooled capacity in the series, from 0 for 16 entries.
std::size_t sizeClass(std::uint32_t capacity) {
  return static_cast<std::size_t>(
      std::lower_bound(pooledCapacities.begin(), pooledCapacities.end(), capacity) -
      pooledCapacities.begin());
}

}  // namespace

TestListPool::~TestListPool() {
  for (void *chunk : chunks_) std::free(chunk);
}

TestNumber *TestListPool::takeBlock(std::uint32_t capacity) {
  void *&freeBlock = freeBlocks_[sizeClass(capacity)];
  if (freeBlock) {
    void *block = freeBlock;
    std::memcpy(&freeBlock, block, sizeof freeBlock);
    return static_cast<TestNumber *>(block);
  }
  const std::size_t bytes = std::size_t{capacity} * sizeof(TestNumber);
  if (static_cast<std::size_t>(chunkEnd_ - chunkCursor_) < bytes) {
    // The end of the old chunk, too short for this block, stays unused.
    chunks_.reserve(chunks_.size() + 1);
    chunkCursor_ = static_cast<char *>(checkedAlloc(chunkBytes));
    chunkEnd_ = chunkCursor_ + chunkBytes;
    chunks_.push_back(chunkCursor_);
  }
  void *block = chunkCursor_;
  chunkCursor_ += bytes;
  return static_cast<TestNumber *>(block);
}

TestNumber *TestListPool::grow(TestNumber *list, std::uint32_t &capacity) {
  const std::uint32_t grown = nextCapacity(capacity);
  const std::size_t grownBytes = std::size_t{grown} * sizeof(TestNumber);
  TestNumber *moved;
  if (!isPooled(capacity)) {
    moved = static_cast<TestNumber *>(checkedRealloc(list, grownBytes));
  } else {
    moved = isPooled(grown) ? takeBlock(grown) : static_cast<TestNumber *>(checkedAlloc(grownBytes));
    if (capacity != 0) std::memcpy(moved, list, std::size_t{capacity} * sizeof(TestNumber));
    release(list, capacity);
  }
  capacity = grown;
  return moved;
}

void TestListPool::release(TestNumber *list, std::uint32_t capacity) {
  if (capacity == 0) return;
  if (!isPooled(capacity)) return std::free(list);
  void *&freeBlock = freeBlocks_[sizeClass(capacity)];
  std::memcpy(list, &freeBlock, sizeof freeBlock);
  freeBlock = list;
}
