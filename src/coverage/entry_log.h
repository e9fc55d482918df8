#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "coverage/test_number.h"

// Branches are numbered from 0 in the order they were first reached.
using BranchId = std::uint32_t;
inline constexpr BranchId noBranch = UINT32_MAX;

// Every entry of the table in the order it was added, as the branch it
// names, with runs of one test stored once. Reading appends to it
// sequentially, which is all a large file's reading can afford: the lists
// of tests per branch are built from it afterwards, and only for the
// branches that still need them.
class EntryLog {
 public:
  EntryLog() = default;
  EntryLog(const EntryLog &) = delete;
  EntryLog &operator=(const EntryLog &) = delete;

  void append(TestNumber test, BranchId branch) {
    if (test != runTest_ || runs_.empty()) startRun(test);
    if (cursor_ == chunkEnd_) addChunk();
    *cursor_++ = branch;
  }

  std::size_t size() const { return filled_ + static_cast<std::size_t>(cursor_ - chunkBegin_); }

  // Calls visit(test, branches) for the entries in the order they were
  // added: `branches` are consecutive entries of `test`. A run of one test
  // may come in several pieces.
  template <class Visit>
  void forEachRun(Visit visit) const {
    std::size_t chunk = 0;
    std::size_t offset = 0;
    for (std::size_t r = 0; r < runs_.size(); ++r) {
      std::size_t left = (r + 1 < runs_.size() ? runs_[r + 1].begin : size()) - runs_[r].begin;
      while (left != 0) {
        const std::size_t length = std::min(left, chunkSizeOf(chunk) - offset);
        visit(runs_[r].test, std::span<const BranchId>(chunks_[chunk].get() + offset, length));
        left -= length;
        offset += length;
        if (offset == chunkSizeOf(chunk)) ++chunk, offset = 0;
      }
    }
  }

 private:
  struct Run {
    TestNumber test;
    std::size_t begin;
  };

  // Chunks double from 64 K entries up to 1 M, so that a small run holds
  // little unused room and a large one few chunks.
  static std::size_t chunkSizeOf(std::size_t chunk) {
    return std::size_t{1} << std::min<std::size_t>(16 + chunk, 20);
  }
  void startRun(TestNumber test) {
    runs_.push_back({test, size()});
    runTest_ = test;
  }
  void addChunk();

  // Chunks are mapped from the system directly (see entry_log.cpp).
  struct ChunkUnmapper {
    std::size_t bytes;
    void operator()(BranchId *chunk) const;
  };
  std::vector<std::unique_ptr<BranchId[], ChunkUnmapper>> chunks_;
  // Entries in the chunks before the current one.
  std::size_t filled_ = 0;
  BranchId *chunkBegin_ = nullptr;
  BranchId *cursor_ = nullptr;
  BranchId *chunkEnd_ = nullptr;
  std::vector<Run> runs_;
  // The test of the last run.
  TestNumber runTest_ = 0;
};
