#pragma once

#include <cstdint>

namespace zorvane::coverage {

// Tests are numbered from 1 across all coverage files of a run; 0 means no
// test. Numbers are 32 bits wide so that any suite that fits in memory works.
using TestNumber = std::uint32_t;

}  // namespace zorvane::coverage
