#pragma once

#include <cstdint>
#include <vector>

#include "coverage/coverage_table.h"

// Finds a key pair's id by its FT and DC keys in constant time, whatever the
// order in which a file names them: an open-addressing hash table of the
// table's pairs.
class KeyPairIndex {
 public:
  KeyPairIndex() : slots_(64) {}

  // The id of the pair with those keys, or noKeyPair.
  KeyPairId find(std::uint32_t ftKey, std::uint32_t dcKey) const {
    const std::uint64_t key = packed(ftKey, dcKey);
    for (std::size_t i = hash(key) & mask();; i = (i + 1) & mask()) {
      const Slot &slot = slots_[i];
      if (slot.id == noKeyPair || slot.key == key) return slot.id;
    }
  }

  // Adds a pair that is not in the index yet.
  void insert(std::uint32_t ftKey, std::uint32_t dcKey, KeyPairId id);

 private:
  static std::uint64_t packed(std::uint32_t ftKey, std::uint32_t dcKey) {
    return std::uint64_t{ftKey} << 32 | dcKey;
  }
  static std::size_t hash(std::uint64_t key) {
    const std::uint64_t h = key * 0x9E3779B97F4A7C15ull;
    return static_cast<std::size_t>(h ^ (h >> 29));
  }
  std::size_t mask() const { return slots_.size() - 1; }

  struct Slot {
    std::uint64_t key = 0;
    KeyPairId id = noKeyPair;
  };
  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};
