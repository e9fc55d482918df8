#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "base/diagnostics.h"
#include "base/run_settings.h"
#include "coverage/line_source.h"
#include "coverage/table_writer.h"
#include "coverage/test_registry.h"

namespace zorvane::coverage {

// A meaningful line of a coverage file: its two keyword bytes and its value
// text (what follows the keyword and its blanks, to the end of the line as
// read, newline included).
struct KeywordLine {
  char first;
  char second;
  std::string_view value;
};

// Splits one line (its text up to and including its newline). Lines that do
// not start, after blanks, with a byte from 'A' to 0x7F, or that hold only
// that byte, are ignored silently; a keyword followed directly by a printable
// byte is reported with message 6 and ignored. Blanks and tabs between the
// keyword and its value are skipped.
std::optional<KeywordLine> splitKeywordLine(std::string_view text, std::uint64_t lineNumber,
                                            Diagnostics &diagnostics);

// Reads a hexadecimal number written least significant digit first ("1A" is
// 0xA1). A blank, '!', a control or non-ASCII byte ends it; any other
// non-digit is message 1, a ninth digit message 2 (both fatal: thrown as
// FatalError).
std::uint32_t parseHexaValue(std::string_view valueText, std::uint64_t lineNumber);

// Whether what a line that starts with `head` does may depend on the bytes
// after it: false only when the reader would do the same with `head` alone.
bool restOfLineMatters(std::string_view head);

// Reads the coverage file settings.filePaths[fileIndex] into the registry
// and, through the writer, the table; from -V on, lists each test
// description read. A file that cannot be opened, or is a directory, is
// reported with message 7, contributes nothing and makes the answer false.
bool readCoverageFile(const RunSettings &settings, std::uint32_t fileIndex, TestRegistry &registry,
                      TableWriter &writer, Diagnostics &diagnostics);

// Reads the bytes that `read` delivers as the contents of the coverage file
// settings.filePaths[fileIndex], in blocks of at most `blockSize` bytes. A
// read error ends the run with message 14 (fatal), naming that path.
void readCoverageLines(const ReadBlock &read, const RunSettings &settings, std::uint32_t fileIndex,
                       TestRegistry &registry, TableWriter &writer, Diagnostics &diagnostics,
                       std::size_t blockSize = defaultReadBlockSize);

}  // namespace zorvane::coverage
