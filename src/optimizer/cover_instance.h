#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace zorvane::optimizer {

// The set-cover problem every search and solver of the optimizer works on:
// branches 0..branchCount()-1, each listing the tests that reach it, and
// tests 0..testCount()-1, each listing the distinct branches it reaches and,
// when files play a part, the coverage file it comes from. Both directions
// are flat arrays with offsets, so that walking them allocates nothing.
class CoverInstance {
 public:
  CoverInstance() = default;
  // `branchTests[k]` lists the tests of branch k, in their order, repeats
  // kept; every test id is below `testCount`. `fileOfTest` is empty or has
  // one file index per test.
  CoverInstance(std::uint32_t testCount,
                const std::vector<std::span<const std::uint32_t>> &branchTests,
                std::vector<std::uint32_t> fileOfTest = {});
  // The same from lists that lie in one array, in any order: branch k's
  // tests are the branchSize[k] values of branchTests from branchStart[k].
  CoverInstance(std::uint32_t testCount, std::vector<std::uint32_t> branchTests,
                std::vector<std::uint64_t> branchStart, std::vector<std::uint32_t> branchSize,
                std::vector<std::uint32_t> fileOfTest = {});

  std::uint32_t branchCount() const { return static_cast<std::uint32_t>(branchSize_.size()); }
  std::uint32_t testCount() const { return static_cast<std::uint32_t>(testStart_.size() - 1); }
  std::span<const std::uint32_t> testsOf(std::uint32_t branch) const {
    return {branchTests_.data() + branchStart_[branch], branchSize_[branch]};
  }
  std::span<const std::uint32_t> branchesOf(std::uint32_t test) const {
    return {testBranches_.data() + testStart_[test], testStart_[test + 1] - testStart_[test]};
  }
  // By test; empty when the instance was built without files.
  std::span<const std::uint32_t> fileOfTest() const { return fileOfTest_; }

 private:
  std::vector<std::uint64_t> branchStart_;
  std::vector<std::uint32_t> branchSize_;
  std::vector<std::uint32_t> branchTests_;
  std::vector<std::uint64_t> testStart_{0};
  std::vector<std::uint32_t> testBranches_;
  std::vector<std::uint32_t> fileOfTest_;
};

}  // namespace zorvane::optimizer
