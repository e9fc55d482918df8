#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "coverage/coverage_table.h"

// What reading a chunk of a coverage file did the first time. A chunk is an
// FT, DC or branch line and the branch lines right after it, all in their
// plain form.
struct ChunkEffect {
  std::uint32_t lines;
  std::uint32_t branchLines;
  // The piece its branch lines became, noPiece when it had none.
  PieceId piece;
  bool setsFtKey;
  bool setsDcKey;
  // The keys, and the key pair, in force after it (noKeyPair when no branch
  // line looked it up since the last key line).
  std::uint32_t ftKey;
  std::uint32_t dcKey;
  KeyPairId keyPair;
};

struct KeysUsed;

// Chunks read before, by their bytes and the keys they were read under, so
// that a chunk met again is found instead of read: the same bytes read
// under the same keys have the same effect. Of the keys only those the
// chunk uses count: the FT key unless it opens with an FT line, the DC key
// if it has a branch line before any DC line.
class ChunkIndex {
 public:
  struct Entry;

  // Bytes that may be read past the end of any text handed to the index
  // (they need not be set): the index compares texts 64 bytes at a time.
  static constexpr std::size_t paddingBytes = 64;

  ChunkIndex();
  ~ChunkIndex();
  ChunkIndex(const ChunkIndex &) = delete;
  ChunkIndex &operator=(const ChunkIndex &) = delete;

  // The chunk that `bytes` (whole lines) open with, if it is one of the
  // `guesses` or of the two that followed `previous` last: tests of a suite
  // mostly reach code in the same order, or in one of a few. Null if none
  // is. The chunks are compared without hashing, and their order kept as
  // the reader's next guess.
  const Entry *findPredicted(std::string_view bytes, std::uint32_t ftKey, std::uint32_t dcKey,
                             std::span<const Entry *const> guesses, const Entry *previous);
  // The chunk of exactly `text`, or null; `previous` as above.
  const Entry *find(std::string_view text, std::uint32_t ftKey, std::uint32_t dcKey,
                    const Entry *previous);

  // Whether the index still keeps new chunks: it stops once what it holds is
  // large and mostly never met again.
  bool keepsNewChunks() const;

  // Adds a chunk not in the index yet; null when it keeps no more text.
  const Entry *insert(std::string_view text, std::uint32_t ftKey, std::uint32_t dcKey,
                      const ChunkEffect &effect, const Entry *previous);

  static const ChunkEffect &effect(const Entry *entry);
  static std::size_t length(const Entry *entry);
  // Starts fetching `entry` (if any), so that it is at hand when the reader
  // gets there.
  static void prefetch(const Entry *entry);

 private:
  const Entry *found(const Entry *entry, const Entry *previous, std::size_t length);
  Entry *keep(std::uint64_t context, std::uint64_t hash, std::string_view text,
              KeysUsed keysUsed, const ChunkEffect &effect);
  void placeInSlots(Entry *entry);

  std::size_t entryCount_ = 0;
  // Entries by hash, open addressing, kept at most half full. Each slot
  // holds its entry's hash, so that a probe reads no entry but the one
  // that may be it.
  struct Slot {
    std::uint64_t hash;
    Entry *entry;
  };
  std::vector<Slot> slots_;
  // The entries, each with its text right after it, in blocks that never
  // move: one fetch brings in both.
  std::vector<std::unique_ptr<std::byte[]>> blocks_;
  std::byte *cursor_ = nullptr;
  std::size_t room_ = 0;
  // Bytes of entries and their texts kept, and bytes of chunks found.
  std::size_t bytesKept_ = 0;
  std::size_t textBytesFound_ = 0;
};
