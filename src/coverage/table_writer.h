#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "coverage/coverage_table.h"
#include "coverage/numbering.h"
#include "coverage/repeated_sections.h"

namespace zorvane::coverage {

// Stores into a coverage table what the reader parses, on a thread of its
// own: the reader writes down each step (a test opened, a key, a branch
// line, a section begun, ended or repeated) and goes on parsing, while the
// other core finds the groups and branches and stores the entries, in the
// same order. Whatever the reader wrote is in the table once flush()
// returns; until then the reader touches only the table's source notes.
// The writer lasts for all the coverage files of a run, as sections read in
// one file are repeated in the next. Where no thread can be started (a limit
// on processes or memory), or without `onThread`, it stores on the reader's
// thread, a chunk at a time.
class TableWriter {
 public:
  explicit TableWriter(CoverageTable &table, bool onThread = true);
  // Stores what was written, then stops the thread.
  ~TableWriter();
  TableWriter(const TableWriter &) = delete;
  TableWriter &operator=(const TableWriter &) = delete;

  CoverageTable &table() { return table_; }

  // A coverage file starts: no keys, no group, no test.
  void startFile() { put(Step::StartFile, 0, 0); }
  void openTest(TestNumber test) { put(Step::OpenTest, 0, test); }
  void setFtKey(std::uint32_t key) { put(Step::FtKey, 0, key); }
  void setDcKey(std::uint32_t key) { put(Step::DcKey, 0, key); }
  // A branch line of the open test, of kind `kind` and index `index`.
  void addBranch(char kind, std::uint32_t index) { put(Step::Branch, kind, index); }
  // The entries added from here to endSection() make a run that later
  // sections may repeat; endSection() gives its number.
  void beginSection() { put(Step::BeginSection, 0, 0); }
  std::uint32_t endSection() {
    put(Step::EndSection, 0, 0);
    return runCount_++;
  }
  // Adds the entries of the run `run` to the open test, and takes up the
  // keys and groups where that run's section left them.
  void repeatSection(std::uint32_t run) { put(Step::Repeat, 0, run); }

  // What the reader recorded of the sections it parsed.
  RepeatedSections &repeatedSections() { return repeatedSections_; }

  // Waits until the table holds everything written. Throws what storing
  // threw (the table being out of memory).
  void flush();

 private:
  enum class Step : std::uint8_t {
    StartFile,
    OpenTest,
    FtKey,
    DcKey,
    Branch,
    BeginSection,
    EndSection,
    Repeat
  };
  struct Written {
    Step step;
    char kind;
    std::uint32_t value;
  };
  using Chunk = std::vector<Written>;
  // Large enough that handing chunks over costs little, small enough to
  // stay in the second-level cache.
  static constexpr std::size_t chunkSize = 16384;
  // How many chunks may wait: the reader waits for the storing beyond.
  static constexpr std::size_t queueLength = 4;
  // Where storing stands: the keys and test in force, the group of the last
  // branch line and, after a key line, none yet.
  struct Cursor {
    std::uint32_t ftKey = 0;
    std::uint32_t dcKey = 0;
    GroupId group = noGroup;
    GroupId lastGroup = noGroup;
    char groupKind = 0;
    TestNumber test = 0;
  };

  void put(Step step, char kind, std::uint32_t value) {
    if (chunk_.size() == chunkSize) handOver();
    chunk_.push_back({step, kind, value});
  }
  // Queues the chunk written and takes an empty one.
  void handOver();
  // The storing thread's loop.
  void storeQueued();
  // Stores the steps of a chunk, in order.
  void store(const Chunk &chunk);

  CoverageTable &table_;
  RepeatedSections repeatedSections_;
  std::uint32_t runCount_ = 0;
  Chunk chunk_;

  // Shared with the storing thread, under mutex_.
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Chunk> queued_;
  std::vector<Chunk> emptied_;
  bool storing_ = false;
  // Whether the reader waits in flush() for the table to be its own.
  bool flushing_ = false;
  bool stopping_ = false;
  std::exception_ptr failure_;

  // The storing thread's own.
  Cursor cursor_;
  std::uint64_t sectionFirst_ = 0;
  // Where each run's section left the cursor, by run number.
  std::vector<Cursor> runEnds_;

  // Not joinable when stores go on the reader's thread.
  std::thread thread_;
};

}  // namespace zorvane::coverage
