#include "coverage/entry_log.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <new>

namespace {

constexpr std::size_t hugePageSize = std::size_t{2} << 20;

// Maps `bytes` of zeroed memory with every page already in place. A large
// log is written once, front to back, so a page fault for each of its 4 KB
// pages is pure overhead, and a dear one on a virtual machine: chunks of
// whole huge pages are aligned to them and asked to be backed by them, and
// every chunk is populated in one call. Both requests are hints; a kernel
// that ignores them leaves ordinary pages that fault in as they are written.
std::uint8_t *mapChunk(std::size_t bytes) {
  const bool huge = bytes % hugePageSize == 0;
  const std::size_t reserved = huge ? bytes + hugePageSize : bytes;
  void *area =
      ::mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (area == MAP_FAILED) throw std::bad_alloc();
  auto *begin = static_cast<char *>(area);
  char *chunk = begin;
  if (huge) {
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(begin);
    chunk = begin + ((hugePageSize - address % hugePageSize) % hugePageSize);
    if (chunk != begin) ::munmap(begin, static_cast<std::size_t>(chunk - begin));
    if (char *end = chunk + bytes; end != begin + reserved)
      ::munmap(end, static_cast<std::size_t>(begin + reserved - end));
    ::madvise(chunk, bytes, MADV_HUGEPAGE);
  }
#ifdef MADV_POPULATE_WRITE
  ::madvise(chunk, bytes, MADV_POPULATE_WRITE);
#endif
  return reinterpret_cast<std::uint8_t *>(chunk);
}

// Chunks double from 256 KB up to 4 MB, so that a small log holds little
// unused room and a large one few chunks.
std::size_t chunkSize(std::size_t chunksBefore) {
  return (std::size_t{256} << 10) << std::min<std::size_t>(chunksBefore, 4);
}

}  // namespace

void EntryLog::ChunkUnmapper::operator()(void *bytes) const { ::munmap(bytes, size); }

PieceId EntryLog::addPiece(std::span<const BranchId> branches) {
  const std::size_t room = branches.size() * maxEncodedSize;
  if (static_cast<std::size_t>(pieceChunkEnd_ - pieceCursor_) < room) addPieceChunk(room);
  pieces_.push_back({pieceCursor_, static_cast<std::uint32_t>(branches.size())});
  BranchId previous = 0;
  for (const BranchId branch : branches) {
    encode(pieceCursor_, branch - previous);
    previous = branch;
  }
  return static_cast<PieceId>(pieces_.size() - 1);
}

void EntryLog::addPieceChunk(std::size_t minimumSize) {
  // A piece longer than a chunk gets one of its own, of whole huge pages.
  std::size_t size = chunkSize(pieceChunks_.size());
  if (minimumSize > size) size = (minimumSize + hugePageSize - 1) / hugePageSize * hugePageSize;
  pieceChunks_.emplace_back(mapChunk(size), ChunkUnmapper{size});
  pieceCursor_ = pieceChunks_.back().get();
  pieceChunkEnd_ = pieceCursor_ + size;
}

void EntryLog::addChunk() {
  if (!chunks_.empty())
    chunks_.back().used = static_cast<std::size_t>(cursor_ - chunks_.back().bytes.get());
  const std::size_t size = chunkSize(chunks_.size());
  chunks_.push_back({{mapChunk(size), ChunkUnmapper{size}}, 0});
  cursor_ = chunks_.back().bytes.get();
  chunkEnd_ = cursor_ + size;
}
