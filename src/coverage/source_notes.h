#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zorvane::coverage {

// What the comments of the coverage files say of where their coverage comes
// from: the source path each FT key was made from, and the build the files
// were made from.
class SourceNotes {
 public:
  // A text one file gave.
  struct Note {
    std::string text;
    std::uint32_t fileIndex;
  };

  // Records that the file `fileIndex` names `key` as the source `path`.
  // Returns the earlier naming of `key` when it named another path (the
  // two files cannot be merged), else null.
  const Note *nameKey(std::uint32_t key, std::string_view path, std::uint32_t fileIndex);

  // The source path of an FT key, when a comment named it.
  std::optional<std::string_view> pathOf(std::uint32_t key) const;

  // Records the build fingerprint of the file `fileIndex`. Returns the first
  // fingerprint recorded when it differs from this one, else null.
  const Note *noteFingerprint(std::string_view fingerprint, std::uint32_t fileIndex);

 private:
  std::unordered_map<std::uint32_t, Note> pathOfKey_;
  std::optional<Note> firstFingerprint_;
};

}  // namespace zorvane::coverage
