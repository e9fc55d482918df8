#include "coverage/coverage_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "coverage/branch_writer.h"
#include "coverage/line_source.h"
#include "shell/messages.h"

namespace {

bool isBlank(char c) { return c == ' '; }

// Bytes that end a number: NUL, controls, blank, '!' and every non-ASCII byte.
bool endsNumber(char c) { return static_cast<signed char>(c) <= 0x21; }

// The value of each byte as a hexadecimal digit, -1 for the others.
constexpr std::array<signed char, 256> hexDigitValues = [] {
  std::array<signed char, 256> values{};
  for (int c = 0; c < 256; ++c) {
    if (c >= '0' && c <= '9') values[c] = static_cast<signed char>(c - '0');
    else if (c >= 'A' && c <= 'F') values[c] = static_cast<signed char>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f') values[c] = static_cast<signed char>(c - 'a' + 10);
    else values[c] = -1;
  }
  return values;
}();

int hexDigitValue(char c) { return hexDigitValues[static_cast<unsigned char>(c)]; }

// Reads a line in the plain form of the commonest lines, those whose
// keyword carries a number (branch lines, DC and FT): two upper-case
// letters, one blank, at most eight digits and the newline. Returns the end
// of the line and its value, or nullptr for any other line, however valid,
// which is left to the general path.
const char *parsePlainNumberLine(const char *line, const char *end, std::uint32_t &value) {
  if (end - line < 4 || line[0] < 'A' || line[0] > 'Z' || line[1] < 'A' || line[1] > 'Z' ||
      line[2] != ' ')
    return nullptr;
  std::uint32_t parsed = 0;
  const char *digits = line + 3;
  const char *limit = digits + std::min<std::ptrdiff_t>(8, end - digits);
  const char *p = digits;
  for (; p < limit; ++p) {
    const int digit = hexDigitValue(*p);
    if (digit < 0) break;
    parsed |= static_cast<std::uint32_t>(digit) << (4 * (p - digits));
  }
  if (p == end || *p != '\n') return nullptr;
  value = parsed;
  return p + 1;
}

// What the reader knows while it reads one file.
struct ReaderState {
  std::uint32_t ftKey = 0;
  std::uint32_t dcKey = 0;
  GroupId currentGroup = noGroup;
  // The kind byte of currentGroup, or -1 for none; a branch line of the
  // same kind needs no lookup.
  int rememberedKind = -1;
  // The group of the last lookup, kept across key changes: it predicts the
  // next.
  GroupId lastGroup = noGroup;
  TestNumber currentTest = 0;
  std::uint64_t covItemCounter = 0;
  std::uint32_t fileSequence = 0;
};

class FileReader {
 public:
  FileReader(const RunSettings &settings, std::uint32_t fileIndex, TestRegistry &registry,
             CoverageTable &table)
      : settings_(settings), fileIndex_(fileIndex), registry_(registry), table_(table) {}

  // Reads a run of whole lines, numbering them from lineNumber + 1; returns
  // the number of the last.
  std::uint64_t readLines(std::string_view lines, std::uint64_t lineNumber) {
    const char *cursor = lines.data();
    const char *const end = cursor + lines.size();
    while (cursor != end) {
      ++lineNumber;
      if (readPlainNumberLine(cursor, end)) continue;
      const char *newline = static_cast<const char *>(std::memchr(cursor, '\n', end - cursor));
      const char *lineEnd = newline ? newline + 1 : end;
      // A NUL byte ends the text of its line; the rest of the line is skipped.
      std::string_view text(cursor, lineEnd - cursor);
      if (const void *nul = std::memchr(cursor, '\0', text.size()))
        text = text.substr(0, static_cast<const char *>(nul) - cursor);
      handleLine(text, lineNumber);
      cursor = lineEnd;
    }
    return lineNumber;
  }

  // Reads the line at `cursor` if it is a plain branch, DC or FT line,
  // moving `cursor` past it.
  bool readPlainNumberLine(const char *&cursor, const char *end) {
    std::uint32_t value;
    const char *next = parsePlainNumberLine(cursor, end, value);
    if (!next) return false;
    if (cursor[0] == 'T') branchLine(cursor[1], value);
    else if (cursor[0] == 'D' && cursor[1] == 'C') setDcKey(value);
    else if (cursor[0] == 'F' && cursor[1] == 'T') setFtKey(value);
    else return false;
    cursor = next;
    return true;
  }

  void finish() {
    writer_.finish();
    registry_.finishTest(state_.currentTest, state_.covItemCounter);
  }

 private:
  void handleLine(std::string_view text, std::uint64_t lineNumber) {
    std::optional<KeywordLine> line = splitKeywordLine(text, lineNumber);
    if (!line) return;
    if (line->first == 'T')
      return branchLine(line->second, parseHexaValue(line->value, lineNumber));
    if (line->second == 'T') {
      switch (line->first) {
        case 'F': return setFtKey(parseHexaValue(line->value, lineNumber));
        case 'N': return openTest(line->value);
        case 'D': return registry_.setDescription(line->value, state_.currentTest,
                                                  settings_.verbosity);
        default: return;
      }
    }
    if (line->first == 'D' && line->second == 'C') setDcKey(parseHexaValue(line->value, lineNumber));
  }

  void setFtKey(std::uint32_t value) {
    state_.ftKey = value;
    forgetGroup();
  }
  void setDcKey(std::uint32_t value) {
    state_.dcKey = value;
    forgetGroup();
  }
  void forgetGroup() {
    state_.currentGroup = noGroup;
    state_.rememberedKind = -1;
  }

  void openTest(std::string_view nameText) {
    registry_.finishTest(state_.currentTest, state_.covItemCounter);
    ++state_.fileSequence;
    state_.currentTest = registry_.newTest(fileIndex_, nameText, state_.fileSequence);
    state_.covItemCounter = 0;
  }

  void branchLine(char kind, std::uint32_t value) {
    // Before the first test of a file a branch line belongs to no test.
    if (state_.currentTest == 0) return;
    ++state_.covItemCounter;
    if (state_.rememberedKind != static_cast<unsigned char>(kind)) {
      state_.rememberedKind = static_cast<unsigned char>(kind);
      state_.currentGroup = table_.findOrInsertGroupId(
          state_.ftKey, state_.dcKey, static_cast<signed char>(kind), state_.lastGroup);
      state_.lastGroup = state_.currentGroup;
    }
    writer_.add({state_.currentGroup, state_.currentTest,
                 static_cast<std::uint16_t>(value & 0xFFFFu)});
  }

  const RunSettings &settings_;
  std::uint32_t fileIndex_;
  TestRegistry &registry_;
  CoverageTable &table_;
  ReaderState state_;
  BranchWriter writer_{table_};
};

// Opens a coverage file for reading; -1 if it cannot be read as a file.
int openCoverageFile(const std::string &path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// Closes a descriptor however its reading ends, a fatal message included.
struct DescriptorCloser {
  int fd;
  ~DescriptorCloser() { ::close(fd); }
};

}  // namespace

std::optional<KeywordLine> splitKeywordLine(std::string_view text, std::uint64_t lineNumber) {
  std::size_t pos = 0;
  while (pos < text.size() && isBlank(text[pos])) ++pos;
  if (pos == text.size() || static_cast<signed char>(text[pos]) <= 0x40) return std::nullopt;
  if (pos + 1 == text.size()) return std::nullopt;
  KeywordLine line{text[pos], text[pos + 1], {}};
  pos += 2;
  if (pos < text.size()) {
    const char after = text[pos];
    if (isBlank(after)) {
      while (pos < text.size() && isBlank(text[pos])) ++pos;
    } else if (static_cast<signed char>(after) > 0x20) {
      reportMessage(Message::UnexpectedData, text.substr(pos), std::to_string(lineNumber));
      return std::nullopt;
    }
  }
  line.value = text.substr(pos);
  return line;
}

std::uint32_t parseHexaValue(std::string_view valueText, std::uint64_t lineNumber) {
  std::uint32_t value = 0;
  unsigned position = 0;
  for (char c : valueText) {
    if (endsNumber(c)) break;
    const int digit = hexDigitValue(c);
    if (digit < 0)
      reportMessage(Message::BadHexaValue, valueText, std::to_string(lineNumber));
    if (position == 8)
      reportMessage(Message::NumberOverflow, valueText, std::to_string(lineNumber));
    value |= static_cast<std::uint32_t>(digit) << (4 * position++);
  }
  return value;
}

void readCoverageFile(const RunSettings &settings, std::uint32_t fileIndex,
                      TestRegistry &registry, CoverageTable &table) {
  const std::string &path = settings.filePaths[fileIndex];
  const int fd = openCoverageFile(path);
  if (fd < 0) {
    reportMessage(Message::UnableToOpen, path);
    return;
  }
  const DescriptorCloser closer{fd};
  readCoverageLines(readFromDescriptor(fd), settings, fileIndex, registry, table);
}

void readCoverageLines(const ReadBlock &read, const RunSettings &settings,
                       std::uint32_t fileIndex, TestRegistry &registry, CoverageTable &table,
                       std::size_t blockSize) {
  FileReader reader(settings, fileIndex, registry, table);
  LineSource source(read, blockSize);
  std::uint64_t lineNumber = 0;
  while (std::optional<std::string_view> lines = source.nextLines())
    lineNumber = reader.readLines(*lines, lineNumber);
  // A result computed from part of a file could call needed tests useless.
  if (source.failed()) reportMessage(Message::UnableToRead, settings.filePaths[fileIndex]);
  reader.finish();
}
