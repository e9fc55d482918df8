#pragma once

#include <algorithm>
#include <cstddef>
#include <limits>
#include <string_view>

#include "coverage/line_source.h"

namespace zorvane::testing_support {

// Hands out `bytes` as the contents of a file, in reads of at most `chunk`
// bytes. The bytes must outlive the reads.
inline coverage::ReadBlock readFromMemory(
    std::string_view bytes, std::size_t chunk = std::numeric_limits<std::size_t>::max()) {
  return [bytes, chunk](char *buffer, std::size_t size) mutable {
    const std::size_t n = bytes.copy(buffer, std::min(size, chunk));
    bytes.remove_prefix(n);
    return static_cast<std::ptrdiff_t>(n);
  };
}

}  // namespace zorvane::testing_support
