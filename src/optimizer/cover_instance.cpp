#include "optimizer/cover_instance.h"

#include <utility>

namespace zorvane::optimizer {

CoverInstance::CoverInstance(std::uint32_t testCount,
                             const std::vector<std::span<const std::uint32_t>> &branchTests,
                             std::vector<std::uint32_t> fileOfTest)
    : fileOfTest_(std::move(fileOfTest)) {
  branchStart_.reserve(branchTests.size() + 1);
  std::size_t entries = 0;
  for (const auto &tests : branchTests) entries += tests.size();
  branchTests_.reserve(entries);
  for (const auto &tests : branchTests) {
    branchTests_.insert(branchTests_.end(), tests.begin(), tests.end());
    branchStart_.push_back(static_cast<std::uint32_t>(branchTests_.size()));
  }
  // Counting pass, then placement; a test repeated in one branch counts once.
  testStart_.assign(std::size_t{testCount} + 1, 0);
  std::vector<std::uint32_t> lastBranch(testCount, UINT32_MAX);
  for (std::uint32_t k = 0; k < branchCount(); ++k)
    for (std::uint32_t test : testsOf(k))
      if (lastBranch[test] != k) {
        lastBranch[test] = k;
        ++testStart_[test + 1];
      }
  for (std::uint32_t t = 0; t < testCount; ++t) testStart_[t + 1] += testStart_[t];
  testBranches_.resize(testStart_[testCount]);
  std::vector<std::uint32_t> fill(testStart_.begin(), testStart_.end() - 1);
  lastBranch.assign(testCount, UINT32_MAX);
  for (std::uint32_t k = 0; k < branchCount(); ++k)
    for (std::uint32_t test : testsOf(k))
      if (lastBranch[test] != k) {
        lastBranch[test] = k;
        testBranches_[fill[test]++] = k;
      }
}

}  // namespace zorvane::optimizer
