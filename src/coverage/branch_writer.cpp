#include "coverage/branch_writer.h"

#include <malloc.h>

#include <system_error>
#include <utility>

BranchWriter::~BranchWriter() { stopThread(); }

void BranchWriter::handOver() {
  if (batchesStoredHere_ < batchesBeforeThread) {
    ++batchesStoredHere_;
    return storeFillingHere();
  }
  if (!storer_.joinable() && !storingHere_) {
    // The thread allocates from the process's one arena: an arena of its
    // own would reserve 64 MB of address space, which a memory limit that
    // the data itself fits in may not leave.
    ::mallopt(M_ARENA_MAX, 1);
    try {
      storer_ = std::thread([this] { storeQueuedBatches(); });
    } catch (const std::system_error &) {
      // No thread to be had (a process or memory limit): slower, not wrong.
      storingHere_ = true;
    }
  }
  if (storingHere_) return storeFillingHere();
  std::unique_lock lock(mutex_);
  if (queue_.size() == queueLimit)
    stored_.wait(lock, [this] { return queue_.size() <= queueLimit / 2 || failure_; });
  if (failure_) std::rethrow_exception(failure_);
  const std::span<BranchGroup *const> newGroups = takeNewGroups();
  filling_.newGroups.assign(newGroups.begin(), newGroups.end());
  filling_.count = batchSize;
  queue_.push_back(std::move(filling_));
  if (emptied_.empty()) {
    startFilling(Batch());
  } else {
    startFilling(std::move(emptied_.back()));
    emptied_.pop_back();
  }
  // A storing thread that waits is woken only once a few batches are
  // there: waking it costs more than storing one.
  if (queue_.size() == queueLimit / 2) queued_.notify_one();
}

void BranchWriter::startFilling(Batch batch) {
  filling_ = std::move(batch);
  fillCursor_ = filling_.entries.get();
  fillEnd_ = fillCursor_ + batchSize;
}

void BranchWriter::storeQueuedBatches() {
  for (;;) {
    Batch batch;
    {
      std::unique_lock lock(mutex_);
      // Once awake, the thread stores until the queue is empty.
      if (queue_.empty())
        queued_.wait(lock, [this] { return queue_.size() >= queueLimit / 2 || closing_; });
      // Closing lets the queue drain first, so that nothing added is lost.
      if (queue_.empty()) return;
      batch = std::move(queue_.front());
      queue_.pop_front();
    }
    try {
      table_.addTestsToBranches(batch.filled(), batch.newGroups);
    } catch (...) {
      const std::lock_guard lock(mutex_);
      failure_ = std::current_exception();
      queue_.clear();
      stored_.notify_one();
      return;
    }
    const std::lock_guard lock(mutex_);
    emptied_.push_back(std::move(batch));
    if (queue_.size() <= queueLimit / 2) stored_.notify_one();
  }
}

void BranchWriter::stopThread() {
  if (!storer_.joinable()) return;
  {
    const std::lock_guard lock(mutex_);
    closing_ = true;
  }
  queued_.notify_one();
  storer_.join();
  closing_ = false;
}

void BranchWriter::finish() {
  stopThread();
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
  // What is left is stored here, after every queued batch: order is kept.
  storeFillingHere();
}

void BranchWriter::storeFillingHere() {
  filling_.count = static_cast<std::size_t>(fillCursor_ - filling_.entries.get());
  table_.addTestsToBranches(filling_.filled(), takeNewGroups());
  fillCursor_ = filling_.entries.get();
}

std::span<BranchGroup *const> BranchWriter::takeNewGroups() {
  const std::span<BranchGroup *const> groups = table_.groupsFrom(groupsHandedOver_);
  groupsHandedOver_ = table_.groupCount();
  return groups;
}
