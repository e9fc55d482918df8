#pragma once

#include <cstdint>
#include <vector>

#include "coverage/test_number.h"

// The tests chosen so far, mandatory tests at the bottom, and a snapshot of
// the best complete choice. Both readers answer 0 at or past the end, so
// callers walk them from position 0 until 0 comes back.
class SelectionStack {
 public:
  void pushTest(TestNumber test) { entries_.push_back(test); }
  TestNumber popTest() {
    const TestNumber top = entries_.back();
    entries_.pop_back();
    return top;
  }
  std::uint32_t stackSize() const { return static_cast<std::uint32_t>(entries_.size()); }
  TestNumber stackAt(std::uint32_t position) const {
    return position < entries_.size() ? entries_[position] : 0;
  }

  // Copies the whole stack into the best snapshot.
  void snapshotBest() { best_ = entries_; }
  bool hasSnapshot() const { return !best_.empty(); }
  std::uint32_t bestCount() const { return static_cast<std::uint32_t>(best_.size()); }
  TestNumber bestAt(std::uint32_t position) const {
    return position < best_.size() ? best_[position] : 0;
  }

 private:
  std::vector<TestNumber> entries_;
  std::vector<TestNumber> best_;
};
