#include "tio/tio_encoding.h"

namespace zorvane::tio {

std::string formatTioNumber(std::uint32_t value) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string text;
  do {
    text += digits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  return text;
}

std::uint32_t sourceFileKey(std::string_view path) {
  std::uint32_t hash = 2166136261u;
  for (unsigned char byte : path) {
    hash ^= byte;
    hash *= 16777619u;
  }
  return hash;
}

}  // namespace zorvane::tio
