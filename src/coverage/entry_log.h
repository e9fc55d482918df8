#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "coverage/test_number.h"

// Branches are numbered from 0 in the order they were first reached.
using BranchId = std::uint32_t;
inline constexpr BranchId noBranch = UINT32_MAX;

// A run of branch lines of one test, as the branches they name, stored
// once however often it is read: identical runs under the same keys are
// one piece (see ChunkIndex).
using PieceId = std::uint32_t;
inline constexpr PieceId noPiece = UINT32_MAX;

// Every entry of the table in the order it was added, as the pieces it was
// added in, with runs of one test stored once. Reading appends to it
// sequentially, which is all a large file's reading can afford: the lists
// of tests per branch are built from it afterwards, and only for the
// branches that still need them.
//
// Tests of a suite reach the same code in the same ways again and again, so
// that most of what is read is pieces met before: a test's entries are
// mostly a short list of piece ids. Within a run each piece id is stored as
// its difference from the one before, in one to five bytes (zigzag, seven
// bits a byte); pieces made one after another are mostly met one after
// another, so that most differences take one byte.
class EntryLog {
 public:
  EntryLog() = default;
  EntryLog(const EntryLog &) = delete;
  EntryLog &operator=(const EntryLog &) = delete;

  // Stores a piece of those branches, in that order: each as its
  // difference from the one before, encoded as piece ids are in a run.
  PieceId addPiece(std::span<const BranchId> branches);
  // Calls visit(branch) for the branches of `piece`, in their order.
  template <class Visit>
  void forEachBranchOf(PieceId piece, Visit visit) const {
    const std::uint8_t *byte = pieces_[piece].bytes;
    BranchId branch = 0;
    for (std::uint32_t k = 0; k < pieces_[piece].size; ++k) visit(branch += decode(byte));
  }

  // Adds the entries of `piece` for `test`.
  void append(TestNumber test, PieceId piece) {
    if (test != runTest_ || runs_.empty()) startRun(test);
    if (chunkEnd_ - cursor_ < maxEncodedSize) addChunk();
    encode(cursor_, piece - previous_);
    previous_ = piece;
  }

  // Calls visit(test, branch) for the entries in the order they were added.
  template <class Visit>
  void forEachEntry(Visit visit) const {
    forEachEntryOf([](TestNumber) { return true; }, visit);
  }
  // The same, for the entries of the tests that `wanted(test)` accepts; the
  // others are skipped without being read.
  template <class Wanted, class Visit>
  void forEachEntryOf(Wanted wanted, Visit visit) const {
    for (std::size_t r = 0; r < runs_.size(); ++r) {
      const TestNumber test = runs_[r].test;
      if (!wanted(test)) continue;
      const Position end = r + 1 < runs_.size() ? runs_[r + 1].start : endPosition();
      PieceId pieceId = 0;
      for (std::size_t chunk = runs_[r].start.chunk;; ++chunk) {
        const std::uint8_t *byte = chunks_[chunk].bytes.get();
        const std::uint8_t *stop = byte + (chunk == end.chunk ? end.offset : chunks_[chunk].used);
        if (chunk == runs_[r].start.chunk) byte += runs_[r].start.offset;
        while (byte < stop) {
          pieceId += decode(byte);
          forEachBranchOf(pieceId, [&](BranchId branch) { visit(test, branch); });
        }
        if (chunk == end.chunk) break;
      }
    }
  }

 private:
  static constexpr std::ptrdiff_t maxEncodedSize = 5;

  // Writes a difference at `cursor` and moves past it. The difference
  // wraps; zigzag then maps small differences of either sign to small
  // numbers, and decode undoes both exactly.
  static void encode(std::uint8_t *&cursor, std::uint32_t difference) {
    std::uint32_t code =
        (difference << 1) ^ static_cast<std::uint32_t>(static_cast<std::int32_t>(difference) >> 31);
    for (; code >= 0x80; code >>= 7) *cursor++ = static_cast<std::uint8_t>(code | 0x80);
    *cursor++ = static_cast<std::uint8_t>(code);
  }
  // Reads the difference at `byte` and moves past it.
  static std::uint32_t decode(const std::uint8_t *&byte) {
    std::uint32_t code = *byte++;
    if (code >= 0x80) {
      code &= 0x7F;
      for (unsigned shift = 7;; shift += 7) {
        const std::uint32_t next = *byte++;
        code |= (next & 0x7F) << shift;
        if (next < 0x80) break;
      }
    }
    return (code >> 1) ^ (0u - (code & 1));
  }

  // Where in the chunks a run starts.
  struct Position {
    std::size_t chunk;
    std::size_t offset;
  };
  struct Run {
    TestNumber test;
    Position start;
  };
  struct Piece {
    const std::uint8_t *bytes;
    std::uint32_t size;
  };
  // Chunks are mapped from the system directly (see entry_log.cpp).
  struct ChunkUnmapper {
    std::size_t size;
    void operator()(void *bytes) const;
  };
  struct Chunk {
    std::unique_ptr<std::uint8_t[], ChunkUnmapper> bytes;
    // Bytes in use: the last few may stay empty, as an entry never
    // straddles two chunks.
    std::size_t used;
  };

  Position endPosition() const {
    if (chunks_.empty()) return {0, 0};
    return {chunks_.size() - 1, static_cast<std::size_t>(cursor_ - chunks_.back().bytes.get())};
  }
  void startRun(TestNumber test) {
    runs_.push_back({test, endPosition()});
    runTest_ = test;
    previous_ = 0;
  }
  void addChunk();
  void addPieceChunk(std::size_t minimumSize);

  std::vector<Chunk> chunks_;
  std::uint8_t *cursor_ = nullptr;
  std::uint8_t *chunkEnd_ = nullptr;
  std::vector<Run> runs_;
  // The test of the last run, and the last piece appended to it.
  TestNumber runTest_ = 0;
  PieceId previous_ = 0;

  // The pieces' branches, in chunks of their own that never move.
  std::vector<Piece> pieces_;
  std::vector<std::unique_ptr<std::uint8_t[], ChunkUnmapper>> pieceChunks_;
  std::uint8_t *pieceCursor_ = nullptr;
  std::uint8_t *pieceChunkEnd_ = nullptr;
};
