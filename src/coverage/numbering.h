#pragma once

#include <cstdint>

namespace zorvane::coverage {

// Tests are numbered from 1 across all coverage files of a run; 0 means no
// test. Numbers are 32 bits wide so that any suite that fits in memory works.
using TestNumber = std::uint32_t;

// Branches are numbered from 0 in the order they were first reached.
using BranchId = std::uint32_t;
inline constexpr BranchId noBranch = UINT32_MAX;

// Groups are numbered from 0 in the order they were created.
using GroupId = std::uint32_t;
inline constexpr GroupId noGroup = UINT32_MAX;

}  // namespace zorvane::coverage
