#include "optimizer/solved_parts.h"

#include <algorithm>
#include <utility>

namespace zorvane::optimizer {

const SolvedParts::Answer *SolvedParts::find(const Contents &contents) const {
  const auto found = answers_.find(contents);
  return found == answers_.end() ? nullptr : &found->second;
}

void SolvedParts::keepOptimum(Contents contents, std::uint32_t optimum,
                              std::vector<std::uint32_t> cover) {
  Answer &answer = answerFor(std::move(contents));
  answer.optimum = optimum;
  answer.cover = std::move(cover);
}

void SolvedParts::keepNone(Contents contents, std::uint32_t cap) {
  Answer &answer = answerFor(std::move(contents));
  answer.noneUpTo = std::max(answer.noneUpTo, cap);
}

SolvedParts::Answer &SolvedParts::answerFor(Contents contents) {
  if (keptIds_ + contents.size() > keptIdsLimit) {
    answers_.clear();
    keptIds_ = 0;
  }
  const std::size_t size = contents.size();
  const auto [at, inserted] = answers_.try_emplace(std::move(contents));
  if (inserted) keptIds_ += size;
  return at->second;
}

}  // namespace zorvane::optimizer
