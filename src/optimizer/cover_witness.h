#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "optimizer/cover_state.h"

namespace zorvane::optimizer {

// A smallest cover of the branches a search has left uncovered, kept along
// the search path: when a candidate belongs to it, the rest of it proves at
// no cost that the candidate's subtree still holds a cover of the optimum
// size. Changes are recorded, so that leaving a candidate restores the
// witness its siblings need.
class CoverWitness {
 public:
  CoverWitness(std::uint32_t testCount, const std::vector<std::uint32_t> &members);

  bool contains(std::uint32_t test) const { return member_[test] != 0; }
  template <class Visit>
  void forEachMember(const Visit &visit) const {
    for (std::uint32_t test = 0; test < member_.size(); ++test)
      if (member_[test]) visit(test);
  }
  void remove(std::uint32_t test) { set(test, 0); }
  // Takes `members` as the witness instead.
  void replace(const std::vector<std::uint32_t> &members);
  // Removes the first member whose uncovered branches all have another
  // member, if there is one; returns whether it did.
  bool dropRedundantMember(const CoverState &state);

  // Every change after mark() is undone by the matching undoToMark().
  void mark() { marks_.push_back(trail_.size()); }
  void undoToMark();

 private:
  void set(std::uint32_t test, std::uint8_t member);

  std::vector<std::uint8_t> member_;
  std::vector<std::pair<std::uint32_t, std::uint8_t>> trail_;
  std::vector<std::size_t> marks_;
  std::vector<std::uint32_t> members_;
  std::vector<std::uint32_t> coverers_;
};

}  // namespace zorvane::optimizer
