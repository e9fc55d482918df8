#include "coverage/table_writer.h"

#include <malloc.h>
#include <pthread.h>

#include <csignal>
#include <system_error>
#include <utility>

namespace zorvane::coverage {

TableWriter::TableWriter(CoverageTable &table, bool onThread) : table_(table) {
  if (!onThread) return;
  // The storing thread allocates from the process's one heap: a heap of its
  // own would hold 64 MiB of address space, which a memory limit counts.
  ::mallopt(M_ARENA_MAX, 1);
  try {
    thread_ = std::thread([this] { storeQueued(); });
  } catch (const std::system_error &) {
    // Then the reader stores what it writes itself.
  }
}

TableWriter::~TableWriter() {
  try {
    flush();
  } catch (...) {
    // What storing threw was thrown to the reader already, or the reader is
    // ending on an error of its own.
  }
  if (!thread_.joinable()) return;
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void TableWriter::handOver() {
  if (!thread_.joinable()) {
    // Cleared even when storing fails, so that nothing is stored twice.
    struct Clear {
      Chunk &chunk;
      ~Clear() { chunk.clear(); }
    } clear{chunk_};
    store(chunk_);
    return;
  }
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return queued_.size() < queueLength || failure_; });
  if (failure_) std::rethrow_exception(failure_);
  queued_.push_back(std::move(chunk_));
  flushing_ = false;
  // Chunks emptied by the storing thread keep their room.
  if (emptied_.empty()) {
    chunk_ = Chunk();
  } else {
    chunk_ = std::move(emptied_.back());
    emptied_.pop_back();
  }
  lock.unlock();
  changed_.notify_all();
}

void TableWriter::flush() {
  if (!chunk_.empty()) handOver();
  if (!thread_.joinable()) return;
  std::unique_lock lock(mutex_);
  flushing_ = true;
  changed_.wait(lock, [this] { return (queued_.empty() && !storing_) || failure_; });
  if (failure_) std::rethrow_exception(failure_);
}

void TableWriter::storeQueued() {
  // Signals are for the reader's thread, where the run stops on them.
  sigset_t signals;
  sigfillset(&signals);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return !queued_.empty() || stopping_; });
    if (queued_.empty()) return;
    Chunk chunk = std::move(queued_.front());
    queued_.pop_front();
    storing_ = true;
    lock.unlock();
    try {
      // After a failure the rest is dropped: the run is ending.
      if (!failure_) store(chunk);
      // Waiting for the reader, this thread counts what it stored, which
      // the first question about counts would have to do. Once the reader
      // waits for a flush, the table is the reader's again.
      lock.lock();
      const bool idle = queued_.empty() && !flushing_ && !failure_;
      lock.unlock();
      if (idle) table_.countNewEntries();
    } catch (...) {
      lock.lock();
      failure_ = std::current_exception();
      lock.unlock();
    }
    chunk.clear();
    lock.lock();
    emptied_.push_back(std::move(chunk));
    storing_ = false;
    changed_.notify_all();
  }
}

void TableWriter::store(const Chunk &chunk) {
  // The cursor is a local while the chunk is stored, so that it stays in
  // registers rather than being written back after every step.
  Cursor cursor = cursor_;
  for (const Written &written : chunk) {
    switch (written.step) {
      case Step::StartFile: cursor = {}; break;
      case Step::OpenTest: cursor.test = written.value; break;
      case Step::FtKey:
        cursor.ftKey = written.value;
        cursor.group = noGroup;
        break;
      case Step::DcKey:
        cursor.dcKey = written.value;
        cursor.group = noGroup;
        break;
      case Step::Branch:
        // The group is looked up again only when the keys or the kind change.
        if (cursor.group == noGroup || written.kind != cursor.groupKind) {
          cursor.lastGroup = cursor.group = table_.findGroupAfter(
              cursor.lastGroup, cursor.ftKey, cursor.dcKey, static_cast<signed char>(written.kind));
          cursor.groupKind = written.kind;
        }
        table_.addTestToBranch(cursor.group, cursor.test, written.value);
        break;
      case Step::BeginSection: sectionFirst_ = table_.storedCount(); break;
      case Step::EndSection:
        table_.markRun(sectionFirst_);
        runEnds_.push_back(cursor);
        break;
      case Step::Repeat: {
        table_.repeatRun(cursor.test, written.value);
        const TestNumber test = cursor.test;
        cursor = runEnds_[written.value];
        cursor.test = test;
        break;
      }
    }
  }
  cursor_ = cursor;
}

}  // namespace zorvane::coverage
