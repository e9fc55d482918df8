#include "coverage/key_pair_index.h"

void KeyPairIndex::insert(std::uint32_t ftKey, std::uint32_t dcKey, KeyPairId id) {
  // Kept at most half full, so that probes stay short.
  if (2 * (used_ + 1) > slots_.size()) {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    used_ = 0;
    for (const Slot &moved : old)
      if (moved.id != noKeyPair)
        insert(static_cast<std::uint32_t>(moved.key >> 32), static_cast<std::uint32_t>(moved.key),
               moved.id);
  }
  const std::uint64_t key = packed(ftKey, dcKey);
  std::size_t i = hash(key) & mask();
  while (slots_[i].id != noKeyPair) i = (i + 1) & mask();
  slots_[i] = {key, id};
  ++used_;
}
