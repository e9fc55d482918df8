#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <utility>
#include <vector>

#include "coverage/chunk_index.h"

// The chunks that the test before met, in order, as a guess of those the
// current test meets next: the tests of a family reach the same code in the
// same order. Following the test before is also what lets the reader fetch
// the chunks it will likely meet a few steps ahead, rather than wait for
// each in turn.
class ChunkTrace {
 public:
  // A new test begins.
  void startTest() {
    std::swap(before_, current_);
    current_.clear();
    cursor_ = 0;
  }

  // The chunks that the test before met from this point on, a few of them:
  // the next first, then those that the current test may have skipped.
  std::span<const ChunkIndex::Entry *const> guesses() const {
    const std::size_t from = std::min(cursor_, before_.size());
    return std::span(before_).subspan(from, std::min(guessCount, before_.size() - from));
  }

  // The current test met `entry`. If the test before met it a little
  // ahead, the guesses go on from there; if not, the chunk is taken as one
  // that the test before did not have.
  void met(const ChunkIndex::Entry *entry) {
    current_.push_back(entry);
    for (std::size_t ahead = 0; ahead < resyncReach && cursor_ + ahead < before_.size(); ++ahead)
      if (before_[cursor_ + ahead] == entry) {
        cursor_ += ahead + 1;
        break;
      }
    if (cursor_ + fetchDistance < before_.size())
      ChunkIndex::prefetch(before_[cursor_ + fetchDistance]);
  }

 private:
  static constexpr std::size_t guessCount = 3;
  static constexpr std::size_t resyncReach = 8;
  static constexpr std::size_t fetchDistance = 4;

  std::vector<const ChunkIndex::Entry *> before_;
  std::vector<const ChunkIndex::Entry *> current_;
  std::size_t cursor_ = 0;
};
