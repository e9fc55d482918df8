#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "coverage/coverage_table.h"

// Stores a reader's branch entries into the table, in the order they are
// added. Storing is mostly waiting for memory (every entry finds its branch
// through its group, spread over the table), so once a file proves large a
// second thread stores the batches while the reader goes on parsing. Files
// of up to a megabyte or so never start it: on them, starting it and waking
// it from time to time cost more than it saved.
//
// While the thread runs, the reader may add key pairs and groups to the
// table but must not touch any group's branches; finish() ends that.
class BranchWriter {
 public:
  explicit BranchWriter(CoverageTable &table)
      : table_(table), groupsHandedOver_(table.storedGroupCount()) {
    startFilling(Batch());
  }
  // Waits for the thread, if one was started, and drops its failure: for
  // when reading itself failed.
  ~BranchWriter();
  BranchWriter(const BranchWriter &) = delete;
  BranchWriter &operator=(const BranchWriter &) = delete;

  void add(const CoverageTable::BranchEntry &entry) {
    *fillCursor_++ = entry;
    if (fillCursor_ == fillEnd_) handOver();
  }

  // Stores every entry added so far. Rethrows what the storing thread failed
  // on (running out of memory).
  void finish();

  // Entries in a batch, and the full batches a file stores on the reader's
  // own thread before it starts the storing one.
  static constexpr std::size_t batchSize = 4096;
  static constexpr std::size_t batchesBeforeThread = 64;

 private:
  struct Batch {
    std::unique_ptr<CoverageTable::BranchEntry[]> entries =
        std::make_unique_for_overwrite<CoverageTable::BranchEntry[]>(batchSize);
    std::size_t count = 0;
    // The groups created since the batch before, which its entries may name.
    std::vector<BranchGroup *> newGroups;

    std::span<const CoverageTable::BranchEntry> filled() const { return {entries.get(), count}; }
  };
  // Full batches waiting at most: enough to even out the two threads' pace.
  // A reader that fills the queue waits until half of it is stored, so that
  // the threads do not wake each other at every batch; on a virtual machine
  // each wake costs dearly, and a long queue (3 MB) makes them rare.
  static constexpr std::size_t queueLimit = 64;

  void handOver();
  void startFilling(Batch batch);
  // The groups created since the last batch, from now on the storing side's.
  std::span<BranchGroup *const> takeNewGroups();
  void storeFillingHere();
  void storeQueuedBatches();
  void stopThread();

  CoverageTable &table_;
  Batch filling_;
  // Where the next entry of filling_ goes, and the end of its room: adding
  // an entry is a store and a compare.
  CoverageTable::BranchEntry *fillCursor_;
  CoverageTable::BranchEntry *fillEnd_;
  GroupId groupsHandedOver_;
  std::size_t batchesStoredHere_ = 0;
  std::thread storer_;
  bool storingHere_ = false;

  // Shared with the storing thread, under mutex_.
  std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable stored_;
  std::deque<Batch> queue_;
  std::vector<Batch> emptied_;
  bool closing_ = false;
  std::exception_ptr failure_;
};
