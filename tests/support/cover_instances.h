#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "optimizer/cover_instance.h"

namespace zorvane::testing_support {

// The instance whose branch k lists the tests branches[k].
inline optimizer::CoverInstance makeInstance(
    const std::vector<std::vector<std::uint32_t>> &branches, std::uint32_t testCount) {
  std::vector<std::span<const std::uint32_t>> lists(branches.begin(), branches.end());
  return optimizer::CoverInstance(testCount, lists);
}

}  // namespace zorvane::testing_support
