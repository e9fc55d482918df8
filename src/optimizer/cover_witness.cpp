#include "optimizer/cover_witness.h"

namespace zorvane::optimizer {

CoverWitness::CoverWitness(std::uint32_t testCount, const std::vector<std::uint32_t> &members)
    : member_(testCount, 0) {
  for (std::uint32_t test : members) member_[test] = 1;
}

void CoverWitness::set(std::uint32_t test, std::uint8_t member) {
  trail_.emplace_back(test, member_[test]);
  member_[test] = member;
}

void CoverWitness::replace(const std::vector<std::uint32_t> &members) {
  for (std::uint32_t test = 0; test < member_.size(); ++test)
    if (member_[test]) set(test, 0);
  for (std::uint32_t test : members) set(test, 1);
}

bool CoverWitness::dropRedundantMember(const CoverState &state) {
  const CoverInstance &instance = state.instance();
  members_.clear();
  for (std::uint32_t test = 0; test < member_.size(); ++test)
    if (member_[test]) members_.push_back(test);
  if (coverers_.size() < instance.branchCount()) coverers_.assign(instance.branchCount(), 0);
  for (std::uint32_t test : members_)
    for (std::uint32_t k : instance.branchesOf(test))
      if (!state.isCovered(k)) ++coverers_[k];
  auto isRedundant = [&](std::uint32_t test) {
    for (std::uint32_t k : instance.branchesOf(test))
      if (!state.isCovered(k) && coverers_[k] < 2) return false;
    return true;
  };
  bool dropped = false;
  for (std::uint32_t test : members_)
    if (isRedundant(test)) {
      remove(test);
      dropped = true;
      break;
    }
  for (std::uint32_t test : members_)
    for (std::uint32_t k : instance.branchesOf(test)) coverers_[k] = 0;
  return dropped;
}

void CoverWitness::undoToMark() {
  for (const std::size_t mark = marks_.back(); trail_.size() > mark; trail_.pop_back())
    member_[trail_.back().first] = trail_.back().second;
  marks_.pop_back();
}

}  // namespace zorvane::optimizer
