#include "shell/process_memory.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

struct HeapMapping {
  std::uintptr_t begin = 0;
  std::uintptr_t end = 0;
  std::string vmFlags;
};

// The mapping of the heap that holds `address`, as /proc/self/smaps
// describes it; empty if the heap does not hold it.
HeapMapping heapMappingHolding(std::uintptr_t address) {
  std::ifstream smaps("/proc/self/smaps");
  HeapMapping heap;
  bool holds = false;
  for (std::string line; std::getline(smaps, line);) {
    if (line.find("[heap]") != std::string::npos) {
      std::istringstream range(line);
      char dash;
      range >> std::hex >> heap.begin >> dash >> heap.end;
      holds = heap.begin <= address && address < heap.end;
    } else if (holds && line.rfind("VmFlags:", 0) == 0) {
      heap.vmFlags = line;
      return heap;
    }
  }
  return {};
}

}  // namespace

TEST(HugePageHeap, LargeBlocksComeFromAHeapAdvisedForHugePages) {
#if !defined(__linux__) || !defined(__GLIBC__) || defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the heap is left as it is here";
#endif
  if (addressSpaceLimited()) GTEST_SKIP() << "under a memory limit";
  useHugePageHeap();
  // A block a table might grow to is taken from the heap, not mapped apart,
  // and from the part of it advised to be backed by huge pages.
  constexpr std::size_t size = std::size_t{8} << 20;
  void *volatile block = std::malloc(size);
  // (Its middle: the block may begin in the heap that was there before.)
  const HeapMapping heap = heapMappingHolding(reinterpret_cast<std::uintptr_t>(block) + size / 2);
  std::free(block);
  ASSERT_NE(heap.end, 0u) << "the block is not on the heap";
  EXPECT_GE(heap.end - heap.begin, std::uintptr_t{256} << 20);
  EXPECT_NE(heap.vmFlags.find(" hg"), std::string::npos) << heap.vmFlags;
}
