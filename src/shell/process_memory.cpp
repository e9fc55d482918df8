#include "shell/process_memory.h"

#include <sys/resource.h>

#include <cstdlib>
#include <initializer_list>

bool addressSpaceLimited() {
  for (const int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    rlimit limit;
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur != RLIM_INFINITY) return true;
  }
  return false;
}

#if defined(__linux__) && defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

void useHugePageHeap() {
  if (addressSpaceLimited()) return;
  // The room the heap takes ahead, once: address space, not memory, until
  // it is written.
  constexpr int heapStep = 256 << 20;
  // Blocks up to this size come from the heap: a mapping of their own, made
  // and unmade as a table grows, would fault its pages in afresh each time.
  constexpr int largestHeapBlock = 32 << 20;
  constexpr int usualTopPad = 128 << 10;
  mallopt(M_MMAP_THRESHOLD, largestHeapBlock);
  // Freed room stays with the process for the next table that grows.
  mallopt(M_TRIM_THRESHOLD, 2 * heapStep);
  const auto pageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto before = reinterpret_cast<std::uintptr_t>(sbrk(0));
  // The heap grows by a whole step now, so that it can be advised at once;
  // later growth goes back to the usual small steps. (Through a volatile
  // pointer, which the compiler may not drop with the block.)
  mallopt(M_TOP_PAD, heapStep);
  void *volatile block = std::malloc(largestHeapBlock / 2);
  std::free(block);
  mallopt(M_TOP_PAD, usualTopPad);
  const auto after = reinterpret_cast<std::uintptr_t>(sbrk(0));
  const std::uintptr_t start = (before + pageSize - 1) / pageSize * pageSize;
  if (before == static_cast<std::uintptr_t>(-1) || after <= start) return;
  madvise(reinterpret_cast<void *>(start), after - start, MADV_HUGEPAGE);
}

#else

// Elsewhere, and under the address sanitizer's own allocator, the heap is
// left as it is.
void useHugePageHeap() {}

#endif
