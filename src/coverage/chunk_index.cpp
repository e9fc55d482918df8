#include "coverage/chunk_index.h"

#include <array>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <new>

// Which keys a chunk uses.
struct KeysUsed {
  bool ftKey;
  bool dcKey;
};

struct ChunkIndex::Entry {
  std::uint64_t context;
  std::uint64_t hash;
  std::size_t length;
  KeysUsed keysUsed;
  // The chunks that followed this one, the latest first.
  std::array<Entry *, 2> followedBy;
  ChunkEffect effect;

  const char *text() const { return reinterpret_cast<const char *>(this + 1); }
};

namespace {

// Bytes kept without question, and the share of the bytes found again that
// the bytes kept may grow to beyond it.
constexpr std::size_t freeBytes = std::size_t{8} << 20;
constexpr std::size_t foundBytesPerKeptByte = 4;
constexpr std::size_t blockSize = std::size_t{1} << 20;

KeysUsed keysUsedBy(std::string_view text) {
  const bool opensWithFt = text[0] == 'F';
  bool usesDcKey = text[0] == 'T';
  if (opensWithFt) {
    const std::size_t second = text.find('\n') + 1;
    usesDcKey = second < text.size() && text[second] == 'T';
  }
  return {!opensWithFt, usesDcKey};
}

// The keys that a chunk uses, the others as 0.
std::uint64_t contextOf(KeysUsed used, std::uint32_t ftKey, std::uint32_t dcKey) {
  return std::uint64_t{used.ftKey ? ftKey : 0} << 32 | (used.dcKey ? dcKey : 0);
}

// Whether the `length` bytes at `a` and `b` are the same. Chunks are short
// and of every length, and a call of memcmp, or a loop whose end the
// processor cannot foresee, costs as much as comparing them: the first 64
// bytes are compared at once, which the 64 readable bytes after every text
// compared here allow (see paddingBytes).
bool sameBytes(const char *a, const char *b, std::size_t length) {
#ifdef __SSE2__
  std::uint64_t differ = 0;
  for (int part = 0; part < 4; ++part) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + 16 * part));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + 16 * part));
    differ |= std::uint64_t{static_cast<std::uint16_t>(~_mm_movemask_epi8(_mm_cmpeq_epi8(x, y)))}
              << (16 * part);
  }
  const std::uint64_t compared = length >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << length) - 1;
  if ((differ & compared) != 0) return false;
  return length <= 64 || std::memcmp(a + 64, b + 64, length - 64) == 0;
#else
  return std::memcmp(a, b, length) == 0;
#endif
}

std::uint64_t mix(std::uint64_t hash, std::uint64_t word) {
  hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
  return hash ^ (hash >> 29);
}

std::uint64_t hashOf(std::uint64_t context, std::string_view text) {
  std::uint64_t hash = mix(text.size(), context);
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    hash = mix(hash, word);
  }
  std::uint64_t last = 0;
  std::memcpy(&last, text.data() + i, text.size() - i);
  return mix(hash, last);
}

}  // namespace

ChunkIndex::ChunkIndex() : slots_(1024, Slot{0, nullptr}) {}
ChunkIndex::~ChunkIndex() = default;

const ChunkEffect &ChunkIndex::effect(const Entry *entry) { return entry->effect; }
std::size_t ChunkIndex::length(const Entry *entry) { return entry->length; }

void ChunkIndex::prefetch(const Entry *entry) {
  if (!entry) return;
  __builtin_prefetch(entry);
  __builtin_prefetch(reinterpret_cast<const char *>(entry) + 64);
}

const ChunkIndex::Entry *ChunkIndex::findPredicted(std::string_view bytes, std::uint32_t ftKey,
                                                   std::uint32_t dcKey,
                                                   std::span<const Entry *const> guesses,
                                                   const Entry *previous) {
  // A chunk takes every branch line after it: one that ends before a
  // branch line is not the chunk there.
  const auto opens = [&](const Entry *entry) {
    return entry && entry->length <= bytes.size() &&
           (entry->length == bytes.size() || bytes[entry->length] != 'T') &&
           entry->context == contextOf(entry->keysUsed, ftKey, dcKey) &&
           sameBytes(entry->text(), bytes.data(), entry->length);
  };
  for (const Entry *guess : guesses)
    if (opens(guess)) return found(guess, previous, guess->length);
  if (previous)
    for (const Entry *predicted : previous->followedBy)
      if (opens(predicted)) return found(predicted, previous, predicted->length);
  return nullptr;
}

const ChunkIndex::Entry *ChunkIndex::find(std::string_view text, std::uint32_t ftKey,
                                          std::uint32_t dcKey, const Entry *previous) {
  const std::uint64_t context = contextOf(keysUsedBy(text), ftKey, dcKey);
  const auto holds = [&](const Entry *entry) {
    return entry->length == text.size() && entry->context == context &&
           sameBytes(entry->text(), text.data(), text.size());
  };
  const std::uint64_t hash = hashOf(context, text);
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot &slot = slots_[i];
    if (!slot.entry) return nullptr;
    if (slot.hash == hash && holds(slot.entry)) return found(slot.entry, previous, text.size());
  }
}

const ChunkIndex::Entry *ChunkIndex::found(const Entry *entry, const Entry *previous,
                                           std::size_t length) {
  textBytesFound_ += length;
  if (previous) {
    // The index owns every entry; readers only hold them as const.
    std::array<Entry *, 2> &followers = const_cast<Entry *>(previous)->followedBy;
    if (followers[0] != entry) followers = {const_cast<Entry *>(entry), followers[0]};
  }
  return entry;
}

bool ChunkIndex::keepsNewChunks() const {
  return bytesKept_ <= freeBytes || bytesKept_ <= textBytesFound_ / foundBytesPerKeptByte;
}

const ChunkIndex::Entry *ChunkIndex::insert(std::string_view text, std::uint32_t ftKey,
                                            std::uint32_t dcKey, const ChunkEffect &effect,
                                            const Entry *previous) {
  if (!keepsNewChunks()) return nullptr;
  const KeysUsed keysUsed = keysUsedBy(text);
  const std::uint64_t context = contextOf(keysUsed, ftKey, dcKey);
  Entry *entry = keep(context, hashOf(context, text), text, keysUsed, effect);
  if (2 * ++entryCount_ > slots_.size()) {
    std::vector<Slot> old(2 * slots_.size(), Slot{0, nullptr});
    old.swap(slots_);
    for (const Slot &moved : old)
      if (moved.entry) placeInSlots(moved.entry);
  }
  placeInSlots(entry);
  // Only the chunks found again count as found.
  textBytesFound_ -= text.size();
  return found(entry, previous, text.size());
}

void ChunkIndex::placeInSlots(Entry *entry) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t i = entry->hash & mask;
  while (slots_[i].entry) i = (i + 1) & mask;
  slots_[i] = {entry->hash, entry};
}

ChunkIndex::Entry *ChunkIndex::keep(std::uint64_t context, std::uint64_t hash,
                                    std::string_view text, KeysUsed keysUsed,
                                    const ChunkEffect &effect) {
  // Entries stay aligned as an Entry must be.
  const std::size_t size =
      (sizeof(Entry) + text.size() + alignof(Entry) - 1) / alignof(Entry) * alignof(Entry);
  if (room_ < size + paddingBytes) {
    const std::size_t bytes = std::max(blockSize, size + paddingBytes);
    blocks_.push_back(std::make_unique_for_overwrite<std::byte[]>(bytes));
    cursor_ = blocks_.back().get();
    room_ = bytes;
  }
  Entry *entry =
      new (cursor_) Entry{context, hash, text.size(), keysUsed, {nullptr, nullptr}, effect};
  std::memcpy(const_cast<char *>(entry->text()), text.data(), text.size());
  cursor_ += size;
  room_ -= size;
  bytesKept_ += size;
  return entry;
}
