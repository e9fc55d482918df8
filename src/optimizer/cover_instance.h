#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace zorvane::optimizer {

// A set-cover instance in compact form: branches 0..branchCount()-1, each
// listing the tests that reach it, and tests 0..testCount()-1, each listing
// the distinct branches it reaches. Both directions are flat arrays with
// offsets, so that walking them allocates nothing.
class CoverInstance {
 public:
  CoverInstance() = default;
  // `branchTests[k]` lists the tests of branch k, in their order, repeats
  // kept; every test id is below `testCount`.
  CoverInstance(std::uint32_t testCount, const std::vector<std::span<const std::uint32_t>> &branchTests);

  std::uint32_t branchCount() const { return static_cast<std::uint32_t>(branchStart_.size() - 1); }
  std::uint32_t testCount() const { return static_cast<std::uint32_t>(testStart_.size() - 1); }
  std::span<const std::uint32_t> testsOf(std::uint32_t branch) const {
    return {branchTests_.data() + branchStart_[branch], branchStart_[branch + 1] - branchStart_[branch]};
  }
  std::span<const std::uint32_t> branchesOf(std::uint32_t test) const {
    return {testBranches_.data() + testStart_[test], testStart_[test + 1] - testStart_[test]};
  }

 private:
  std::vector<std::uint32_t> branchStart_{0};
  std::vector<std::uint32_t> branchTests_;
  std::vector<std::uint32_t> testStart_{0};
  std::vector<std::uint32_t> testBranches_;
};

}  // namespace zorvane::optimizer
