#pragma once

#include <cstdint>
#include <string_view>

#include <absl/container/flat_hash_map.h>

namespace zorvane::coverage {

// Tests of a suite reach much of the code the same way, so coverage files
// repeat sections byte for byte: an FT line and the DC and branch lines that
// follow it. The reader parses a section once and records what it did; when
// the same bytes come again, it repeats the entries of the first reading
// rather than parsing them. Sections are told apart by their length and a
// 128-bit hash of their bytes.
class RepeatedSections {
 public:
  // What reading a section did, and the reader's state after it.
  struct Reading {
    // The table's run of its entries, and how many they are.
    std::uint32_t run;
    std::uint32_t entryCount;
    std::uint32_t lineCount;
    // Unless a DC line follows the FT line, the section reads under the DC
    // key in force before it: then the reading stands only for that key.
    std::uint32_t enteringDcKey;
    bool readsEnteringDcKey;
    std::uint32_t ftKey;
    std::uint32_t dcKey;
  };

  // What tells sections apart.
  struct Digest {
    std::uint64_t low;
    std::uint64_t high;
    std::uint64_t size;
    bool operator==(const Digest &) const = default;
    template <class H>
    friend H AbslHashValue(H hash, const Digest &digest) {
      return H::combine(std::move(hash), digest.low);
    }
  };
  static Digest digestOf(std::string_view bytes);

  // The reading of an earlier section with this digest, or null.
  const Reading *find(const Digest &digest) const;
  void record(const Digest &digest, const Reading &reading);

 private:
  absl::flat_hash_map<Digest, Reading> readings_;
};

}  // namespace zorvane::coverage
