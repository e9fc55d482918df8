#include "coverage/entry_log.h"

void EntryLog::addChunk() {
  const std::size_t chunk = chunks_.size();
  chunks_.push_back(std::make_unique_for_overwrite<BranchId[]>(chunkSizeOf(chunk)));
  if (chunk != 0) filled_ += chunkSizeOf(chunk - 1);
  chunkBegin_ = cursor_ = chunks_.back().get();
  chunkEnd_ = chunkBegin_ + chunkSizeOf(chunk);
}
