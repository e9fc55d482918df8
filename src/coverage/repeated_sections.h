#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

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

  // Recorded readings are numbered from 0 in the order recorded.
  using Number = std::uint32_t;
  static constexpr Number none = UINT32_MAX;

  // The number of the reading recorded with this digest, or none.
  Number find(const Digest &digest) const;
  // Records the reading of a section and gives its number; find() keeps
  // giving the first reading recorded with a digest.
  Number record(const Digest &digest, const Reading &reading);
  const Reading &reading(Number number) const { return sections_[number].reading; }
  const Digest &digest(Number number) const { return sections_[number].digest; }

  // The section read after section `number` the last time it was read
  // (none after none): the likely next section, whose length and digest the
  // reader checks before it searches for where the section ends.
  Number follower(Number number) const {
    return number == none ? none : sections_[number].follower;
  }
  void setFollower(Number number, Number next) {
    if (number != none) sections_[number].follower = next;
  }

 private:
  struct Section {
    Digest digest;
    Reading reading;
    Number follower = none;
  };
  absl::flat_hash_map<Digest, Number> numberOf_;
  std::vector<Section> sections_;
};

}  // namespace zorvane::coverage
