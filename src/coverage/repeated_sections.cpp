#include "coverage/repeated_sections.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace zorvane::coverage {

RepeatedSections::Digest RepeatedSections::digestOf(std::string_view bytes) {
  const XXH128_hash_t hash = XXH3_128bits(bytes.data(), bytes.size());
  return {hash.low64, hash.high64, bytes.size()};
}

RepeatedSections::Number RepeatedSections::find(const Digest &digest) const {
  const auto found = numberOf_.find(digest);
  return found == numberOf_.end() ? none : found->second;
}

RepeatedSections::Number RepeatedSections::record(const Digest &digest, const Reading &reading) {
  const auto number = static_cast<Number>(sections_.size());
  numberOf_.emplace(digest, number);
  sections_.push_back({digest, reading});
  return number;
}

}  // namespace zorvane::coverage
