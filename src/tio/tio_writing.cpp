#include "tio/tio_writing.h"

#include <cinttypes>

#include "tio/tio_encoding.h"

namespace zorvane::tio {

namespace {

void put(std::FILE *out, std::string_view text) { std::fwrite(text.data(), 1, text.size(), out); }

void putKeyLine(std::FILE *out, std::string_view keyword, std::uint32_t value) {
  put(out, keyword);
  put(out, " ");
  put(out, formatTioNumber(value));
  put(out, "\n");
}

}  // namespace

std::string printableText(std::string_view text) {
  std::string result(text);
  for (char &c : result)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return result;
}

void writeKeyComment(std::FILE *out, std::uint32_t key, std::string_view keyedPath) {
  put(out, "# FT " + formatTioNumber(key) + " is " + printableText(keyedPath) + "\n");
}

void writeFingerprint(std::FILE *out, std::uint64_t fingerprint) {
  std::fprintf(out, "# Build fingerprint: %016" PRIx64 "\n", fingerprint);
}

bool isWritableTestName(std::string_view name) {
  if (name.find_first_of(std::string_view("\n\r\0", 3)) != std::string_view::npos) return false;
  if (name.find('"') == std::string_view::npos) return true;
  return !name.empty() && name.front() != ' ' && name.front() != '"';
}

void writeTestName(std::FILE *out, std::string_view name) {
  const bool bare = name.find('"') != std::string_view::npos;
  put(out, bare ? "NT " : "NT \"");
  put(out, name);
  put(out, bare ? "\n" : "\"\n");
}

void writeFileReach(std::FILE *out, std::uint32_t key, const FileReach &reach) {
  if (reach.empty()) return;
  putKeyLine(out, "FT", key);
  for (const auto &[line, entry] : reach) {
    putKeyLine(out, "DC", line);
    if (entry.lineRan) putKeyLine(out, "TL", 0);
    for (std::uint16_t index : entry.branches) putKeyLine(out, "TB", index);
    for (std::uint16_t index : entry.functions) putKeyLine(out, "TF", index);
  }
}

}  // namespace zorvane::tio
