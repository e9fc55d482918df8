#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "coverage/coverage_table.h"
#include "coverage/numbering.h"

namespace zorvane::optimizer {

// A branch as the coverage files name it.
struct ReachedBranch {
  std::uint32_t ftKey;
  std::uint32_t dcKey;
  signed char branchKind;
  std::uint32_t index;
};

// Gives the source path that an FT key was made from, when the coverage
// files tell it.
using SourcePathLookup = std::function<std::optional<std::string>(std::uint32_t ftKey)>;

// Which tests reach each branch, kept from the table as read: the mandatory
// reduction takes branches out of the table, and the explanation of a
// needed test wants all of them.
class BranchReach {
 public:
  // Takes every live branch of the table with its distinct tests.
  explicit BranchReach(coverage::CoverageTable &table);

  // For each of the `needed` tests, in their order, the branches that it
  // reaches and no other of them does, in table order.
  std::vector<std::vector<ReachedBranch>> ownBranches(
      std::span<const coverage::TestNumber> needed) const;

 private:
  std::vector<ReachedBranch> branches_;
  // The distinct tests of branch i are tests_[starts_[i]] to
  // tests_[starts_[i + 1]] - 1, ascending.
  std::vector<std::size_t> starts_;
  std::vector<coverage::TestNumber> tests_;
};

// One line of the explanation for a branch: "<path>:<line> T<kind> <index>"
// when `lookup` knows the FT key's path (the DC key is then the line), else
// "FT <ftKey> DC <dcKey> T<kind> <index>", keys in hexadecimal as the table
// dump writes them.
std::string describeBranch(const ReachedBranch &branch, const SourcePathLookup &lookup);

}  // namespace zorvane::optimizer
