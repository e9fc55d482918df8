#include "coverage/source_notes.h"

namespace zorvane::coverage {

const SourceNotes::Note *SourceNotes::nameKey(std::uint32_t key, std::string_view path,
                                              std::uint32_t fileIndex) {
  const auto [found, added] = pathOfKey_.try_emplace(key, Note{std::string(path), fileIndex});
  return added || found->second.text == path ? nullptr : &found->second;
}

std::optional<std::string_view> SourceNotes::pathOf(std::uint32_t key) const {
  const auto found = pathOfKey_.find(key);
  if (found == pathOfKey_.end()) return std::nullopt;
  return found->second.text;
}

const SourceNotes::Note *SourceNotes::noteFingerprint(std::string_view fingerprint,
                                                      std::uint32_t fileIndex) {
  if (!firstFingerprint_) firstFingerprint_ = Note{std::string(fingerprint), fileIndex};
  return firstFingerprint_->text == fingerprint ? nullptr : &*firstFingerprint_;
}

}  // namespace zorvane::coverage
