#pragma once

#include <cstdint>
#include <vector>

#include "coverage/coverage_table.h"

// Finds a group by its key in constant time, whatever the order in which
// branch lines name their keys: an open-addressing hash table of pointers
// to the groups, which the table keeps.
class GroupIndex {
 public:
  GroupIndex() : slots_(64) {}

  // The group with that key, or nullptr.
  BranchGroup *find(const GroupKey &key) const {
    for (std::size_t i = hash(key) & mask();; i = (i + 1) & mask()) {
      const Slot &slot = slots_[i];
      if (!slot.group || (slot.key.ftKey == key.ftKey && slot.key.dcKey == key.dcKey &&
                          slot.key.branchKind == key.branchKind))
        return slot.group;
    }
  }

  // Adds a group whose key is not in the index yet.
  void insert(BranchGroup *group);

 private:
  static std::size_t hash(const GroupKey &key) {
    std::uint64_t h = (std::uint64_t{key.ftKey} << 32 | key.dcKey) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<std::uint8_t>(key.branchKind) * 0xC2B2AE3D27D4EB4Full;
    return static_cast<std::size_t>(h ^ (h >> 29));
  }
  std::size_t mask() const { return slots_.size() - 1; }

  // Keys are kept beside the pointers, so that a probe reads no group.
  struct Slot {
    GroupKey key{};
    BranchGroup *group = nullptr;
  };
  std::vector<Slot> slots_;
  std::size_t used_ = 0;
};
