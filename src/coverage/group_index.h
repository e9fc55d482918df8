#pragma once

#include <cstdint>
#include <vector>

#include "coverage/coverage_table.h"

// Finds a group's id by its key in constant time, whatever the order in
// which branch lines name their keys: an open-addressing hash table of the
// keys and ids of the table's groups.
class GroupIndex {
 public:
  GroupIndex() : slots_(64) {}

  // The id of the group with that key, or noGroup.
  GroupId find(const GroupKey &key) const {
    for (std::size_t i = hash(key) & mask();; i = (i + 1) & mask()) {
      const Slot &slot = slots_[i];
      if (slot.id == noGroup || slot.key == key) return slot.id;
    }
  }

  // Adds a group whose key is not in the index yet.
  void insert(const GroupKey &key, GroupId id);

 private:
  static std::size_t hash(const GroupKey &key) {
    std::uint64_t h = (std::uint64_t{key.ftKey} << 32 | key.dcKey) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<std::uint8_t>(key.branchKind) * 0xC2B2AE3D27D4EB4Full;
    return static_cast<std::size_t>(h ^ (h >> 29));
  }
  std::size_t mask() const { return slots_.size() - 1; }

  struct Slot {
    GroupKey key{};
    GroupId id = noGroup;
  };
  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};
