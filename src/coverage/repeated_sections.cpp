#include "coverage/repeated_sections.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace zorvane::coverage {

RepeatedSections::Digest RepeatedSections::digestOf(std::string_view bytes) {
  const XXH128_hash_t hash = XXH3_128bits(bytes.data(), bytes.size());
  return {hash.low64, hash.high64, bytes.size()};
}

const RepeatedSections::Reading *RepeatedSections::find(const Digest &digest) const {
  const auto found = readings_.find(digest);
  return found == readings_.end() ? nullptr : &found->second;
}

void RepeatedSections::record(const Digest &digest, const Reading &reading) {
  readings_.try_emplace(digest, reading);
}

}  // namespace zorvane::coverage
