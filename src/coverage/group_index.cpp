#include "coverage/group_index.h"

void GroupIndex::insert(const GroupKey &key, GroupId id) {
  // Kept at most half full, so that probes stay short.
  if (2 * (used_ + 1) > slots_.size()) {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    used_ = 0;
    for (const Slot &moved : old)
      if (moved.id != noGroup) insert(moved.key, moved.id);
  }
  std::size_t i = hash(key) & mask();
  while (slots_[i].id != noGroup) i = (i + 1) & mask();
  slots_[i] = {key, id};
  ++used_;
}
