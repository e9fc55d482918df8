#pragma once

#include <cstdint>
#include <string_view>

namespace zorvane::tio {

// A 64-bit FNV-1a hash, fed piece by piece: the build fingerprint that the
// converters write, which the tool compares between files.
class Fingerprint {
 public:
  void add(std::string_view bytes) {
    for (unsigned char byte : bytes) {
      value_ ^= byte;
      value_ *= 0x100000001b3u;
    }
  }
  // Numbers and separators, so that ("ab", "c") and ("a", "bc") differ.
  void add(std::uint64_t number) {
    char bytes[8];
    for (int i = 0; i < 8; ++i) bytes[i] = static_cast<char>(number >> (8 * i));
    add(std::string_view(bytes, 8));
  }
  std::uint64_t value() const { return value_; }

 private:
  std::uint64_t value_ = 0xcbf29ce484222325u;
};

}  // namespace zorvane::tio
