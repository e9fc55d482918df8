#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace zorvane::tio {

// The lines of .tio files that both converters write, in one encoding so
// that their files merge. Write errors are left on the stream for the
// caller to check.

// What one test reached on one source line: TL 0 when the line ran, the
// indexes of the branches taken (TB) and of the functions called that start
// on the line (TF), each ascending.
struct LineReach {
  bool lineRan = false;
  std::vector<std::uint16_t> branches;
  std::vector<std::uint16_t> functions;
};

// By line number (the DC key).
using FileReach = std::map<std::uint32_t, LineReach>;

// Paths and names may hold any byte; in a comment or DT line a newline would
// end the line early, so control bytes become '?'.
std::string printableText(std::string_view text);

// "# FT <key> is <path>".
void writeKeyComment(std::FILE *out, std::uint32_t key, std::string_view keyedPath);

// "# Build fingerprint: <16 hexadecimal digits>".
void writeFingerprint(std::FILE *out, std::uint64_t fingerprint);

// Whether writeTestName() can write `name` so that it reads back whole: in
// double quotes, or bare when it holds a double quote itself (then it must
// not start with a blank, which the reader passes over, or with a double
// quote, which would make it a quoted name). No newline, carriage return or
// NUL in either form.
bool isWritableTestName(std::string_view name);

// The NT line of a test whose name is writable.
void writeTestName(std::FILE *out, std::string_view name);

// The FT line of a source file, then a DC line for each line reached with
// its TL, TB and TF lines. Nothing when `reach` is empty.
void writeFileReach(std::FILE *out, std::uint32_t key, const FileReach &reach);

}  // namespace zorvane::tio
