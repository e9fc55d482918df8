#pragma once

#include <cstdint>
#include <vector>

#include "optimizer/cover_state.h"

namespace zorvane::optimizer {

// Walks the search tree of a cover search depth first, with its own stack
// of levels instead of recursion, so that no depth can overflow the call
// stack. Each level tries the candidates CoverState::appendCandidates gives,
// applying and undoing them. The visitor decides and observes:
//   bool enterLevel(std::uint32_t depth)   whether to open a level at depth
//                                          (the root is depth 0)
//   void tryCandidate(std::uint32_t depth, std::uint32_t test, std::uint32_t count)
//                                          before the test is applied
//   void leaveCandidate(std::uint32_t depth) after the test was undone
//   void complete(std::uint32_t depth)     the applied tests cover everything
//   void leaveLevel(std::uint32_t depth)   the level is done
//   bool stopped()                         whether to wind the walk up now
template <class Visitor>
void walkDepthFirst(CoverState &state, Visitor &visitor) {
  struct Level {
    std::size_t begin;
    std::size_t next;
    std::size_t end;
    bool applied;
  };
  std::vector<std::uint32_t> candidates;
  std::vector<Level> levels;
  auto openLevel = [&](std::uint32_t depth) {
    if (!visitor.enterLevel(depth)) return;
    const std::size_t begin = candidates.size();
    if (state.appendCandidates(candidates))
      levels.push_back({begin, begin, candidates.size(), false});
  };
  openLevel(0);
  while (!levels.empty()) {
    const std::uint32_t depth = static_cast<std::uint32_t>(levels.size() - 1);
    Level &level = levels.back();
    if (level.applied) {
      state.undo();
      level.applied = false;
      visitor.leaveCandidate(depth);
    }
    if (level.next == level.end || visitor.stopped()) {
      candidates.resize(level.begin);
      levels.pop_back();
      visitor.leaveLevel(depth);
      continue;
    }
    const std::uint32_t test = candidates[level.next++];
    visitor.tryCandidate(depth, test, state.countOf(test));
    state.apply(test);
    level.applied = true;
    if (state.remaining() == 0)
      visitor.complete(depth);
    else
      openLevel(depth + 1);
  }
}

}  // namespace zorvane::optimizer
