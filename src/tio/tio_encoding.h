#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zorvane::tio {

// A line may hold at most this many branches, and start at most this many
// functions: their indexes are the 16-bit branch numbers of the .tio file.
inline constexpr std::size_t maxIndexesPerLine = 65536;

// A number as a .tio file writes it: hexadecimal, least significant digit
// first, upper case, 1 to 8 digits (0x1C is "C1", 0 is "0").
std::string formatTioNumber(std::uint32_t value);

// The FT key of a source file: the 32-bit FNV-1a hash of its path bytes. It
// depends on nothing but the path, so separate conversions agree on it.
std::uint32_t sourceFileKey(std::string_view path);

}  // namespace zorvane::tio
