#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>
#include <string_view>

#include "coverage/line_source.h"

namespace zorvane::testing_support {

// Hands out `bytes` as the contents of a file, in reads of at most
// `largestRead` bytes. The bytes must outlive the reads.
inline coverage::ReadBlock readFromMemory(
    std::string_view bytes, std::size_t largestRead = std::numeric_limits<std::size_t>::max()) {
  return [bytes, largestRead](char *buffer, std::size_t size) mutable {
    const std::size_t n = bytes.copy(buffer, std::min(size, largestRead));
    bytes.remove_prefix(n);
    return static_cast<std::ptrdiff_t>(n);
  };
}

}  // namespace zorvane::testing_support
