#include "optimizer/cover_instance.h"

#include <algorithm>
#include <utility>

namespace zorvane::optimizer {

namespace {

// The fewest tests placed in one band: each is written at its own place in
// the test lists, a cache line each, 16 KiB for the band.
constexpr std::uint64_t narrowestBand = 256;

std::vector<std::uint32_t> laidEndToEnd(const std::vector<std::span<const std::uint32_t>> &lists) {
  std::size_t entries = 0;
  for (const auto &tests : lists) entries += tests.size();
  std::vector<std::uint32_t> flat;
  flat.reserve(entries);
  for (const auto &tests : lists) flat.insert(flat.end(), tests.begin(), tests.end());
  return flat;
}

std::vector<std::uint64_t> startsOf(const std::vector<std::span<const std::uint32_t>> &lists) {
  std::vector<std::uint64_t> starts;
  starts.reserve(lists.size());
  std::uint64_t start = 0;
  for (const auto &tests : lists) {
    starts.push_back(start);
    start += tests.size();
  }
  return starts;
}

std::vector<std::uint32_t> sizesOf(const std::vector<std::span<const std::uint32_t>> &lists) {
  std::vector<std::uint32_t> sizes;
  sizes.reserve(lists.size());
  for (const auto &tests : lists) sizes.push_back(static_cast<std::uint32_t>(tests.size()));
  return sizes;
}

}  // namespace

CoverInstance::CoverInstance(std::uint32_t testCount,
                             const std::vector<std::span<const std::uint32_t>> &branchTests,
                             std::vector<std::uint32_t> fileOfTest)
    : CoverInstance(testCount, laidEndToEnd(branchTests), startsOf(branchTests),
                    sizesOf(branchTests), std::move(fileOfTest)) {}

CoverInstance::CoverInstance(std::uint32_t testCount, std::vector<std::uint32_t> branchTests,
                             std::vector<std::uint64_t> branchStart,
                             std::vector<std::uint32_t> branchSize,
                             std::vector<std::uint32_t> fileOfTest)
    : branchStart_(std::move(branchStart)),
      branchSize_(std::move(branchSize)),
      branchTests_(std::move(branchTests)),
      fileOfTest_(std::move(fileOfTest)) {
  // Counting pass, then placement; a test repeated in one branch counts once.
  testStart_.assign(std::size_t{testCount} + 1, 0);
  std::vector<std::uint32_t> lastBranch(testCount, UINT32_MAX);
  bool listsAscend = true;
  for (std::uint32_t k = 0; k < branchCount(); ++k) {
    const std::span<const std::uint32_t> tests = testsOf(k);
    listsAscend = listsAscend && std::ranges::is_sorted(tests);
    for (std::uint32_t test : tests)
      if (lastBranch[test] != k) {
        lastBranch[test] = k;
        ++testStart_[test + 1];
      }
  }
  for (std::uint32_t t = 0; t < testCount; ++t) testStart_[t + 1] += testStart_[t];
  testBranches_.resize(testStart_[testCount]);
  std::vector<std::uint64_t> fill(testStart_.begin(), testStart_.end() - 1);
  lastBranch.assign(testCount, UINT32_MAX);
  // When the lists ascend, the tests are placed a band at a time, each list
  // read on from where the band before stopped: the places written to then
  // stay in the first-level cache. A band is wide enough that the branches
  // walked once a band cost little beside the entries.
  std::uint64_t band = std::max(testCount, 1u);
  const std::uint64_t bands = testBranches_.size() / (16 * std::uint64_t{branchCount()} + 1);
  if (listsAscend && bands > 1) band = std::max(narrowestBand, band / bands + 1);
  std::vector<std::uint32_t> read(branchCount(), 0);
  for (std::uint64_t bandEnd = band; bandEnd - band < testCount; bandEnd += band)
    for (std::uint32_t k = 0; k < branchCount(); ++k) {
      const std::span<const std::uint32_t> tests = testsOf(k);
      std::uint32_t at = read[k];
      for (; at < tests.size() && tests[at] < bandEnd; ++at)
        if (const std::uint32_t test = tests[at]; lastBranch[test] != k) {
          lastBranch[test] = k;
          testBranches_[fill[test]++] = k;
        }
      read[k] = at;
    }
}

}  // namespace zorvane::optimizer
