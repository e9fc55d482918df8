#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "coverage/numbering.h"

namespace zorvane::optimizer {

// The tests chosen so far, mandatory tests at the bottom, and a snapshot of
// the best complete choice.
class SelectionStack {
 public:
  void pushTest(coverage::TestNumber test) { tests_.push_back(test); }
  coverage::TestNumber popTest() {
    const coverage::TestNumber top = tests_.back();
    tests_.pop_back();
    return top;
  }
  std::uint32_t stackSize() const { return static_cast<std::uint32_t>(tests_.size()); }
  // The tests on the stack, bottom first.
  std::span<const coverage::TestNumber> tests() const { return tests_; }
  coverage::TestNumber top() const { return tests_.back(); }

  // Copies the whole stack into the best snapshot.
  void snapshotBest() { best_ = tests_; }
  bool hasSnapshot() const { return !best_.empty(); }
  std::span<const coverage::TestNumber> best() const { return best_; }
  // The tests a run reports: the best snapshot, or the stack when the search
  // took none because the mandatory tests already cover everything.
  std::span<const coverage::TestNumber> answer() const { return hasSnapshot() ? best() : tests(); }

 private:
  std::vector<coverage::TestNumber> tests_;
  std::vector<coverage::TestNumber> best_;
};

}  // namespace zorvane::optimizer
