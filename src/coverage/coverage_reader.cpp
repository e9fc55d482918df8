#include "coverage/coverage_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <bit>
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
// letters, one blank, at most eight digits, then `newline`. Returns whether
// it is one, and its value; any other line, however valid, is left to the
// general path. The digits are counted before they are read, so the loop
// over them ends where the processor expects it to.
inline bool parsePlainNumberLine(const char *line, const char *newline, std::uint32_t &value) {
  const std::ptrdiff_t digitCount = newline - line - 3;
  if (digitCount < 0 || digitCount > 8 || line[0] < 'A' || line[0] > 'Z' || line[1] < 'A' ||
      line[1] > 'Z' || line[2] != ' ')
    return false;
  std::uint32_t parsed = 0;
  int invalid = 0;
  for (std::ptrdiff_t position = 0; position < digitCount; ++position) {
    const int digit = hexDigitValue(line[3 + position]);
    invalid |= digit;
    parsed |= static_cast<std::uint32_t>(digit) << (4 * position);
  }
  if (invalid < 0) return false;
  value = parsed;
  return true;
}

// Bit i set when block[i] is a newline, for the `length` (at most 64)
// bytes from `block`.
std::uint64_t newlineMask(const char *block, std::ptrdiff_t length) {
  std::uint64_t mask = 0;
#ifdef __SSE2__
  if (length == 64) {
    const __m128i newline = _mm_set1_epi8('\n');
    for (int part = 0; part < 4; ++part) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 16 * part));
      mask |= std::uint64_t{static_cast<std::uint16_t>(
                  _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, newline)))}
              << (16 * part);
    }
    return mask;
  }
#endif
  for (std::ptrdiff_t i = 0; i < length; ++i) mask |= std::uint64_t{block[i] == '\n'} << i;
  return mask;
}

// What the reader knows while it reads one file.
struct ReaderState {
  std::uint32_t ftKey = 0;
  std::uint32_t dcKey = 0;
  // The pair of the keys in force, or noKeyPair until the next branch line
  // looks it up.
  KeyPairId keyPair = noKeyPair;
  // The pair of the last lookup, kept across key changes: it predicts the
  // next.
  KeyPairId lastKeyPair = noKeyPair;
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
  // the number of the last. The newlines of 64 bytes are found at once, so
  // that where a line starts never waits for the reading of the line before.
  std::uint64_t readLines(std::string_view lines, std::uint64_t lineNumber) {
    const char *const end = lines.data() + lines.size();
    const char *lineStart = lines.data();
    for (const char *block = lines.data(); block < end; block += 64) {
      std::uint64_t newlines = newlineMask(block, std::min<std::ptrdiff_t>(64, end - block));
      for (; newlines != 0; newlines &= newlines - 1) {
        const char *newline = block + std::countr_zero(newlines);
        readLine(lineStart, newline + 1, ++lineNumber);
        lineStart = newline + 1;
      }
    }
    // The file's last line, when it has no newline.
    if (lineStart != end) readLine(lineStart, end, ++lineNumber);
    return lineNumber;
  }

  // Reads the line from `line` to `lineEnd` (after its newline, if it has
  // one).
  void readLine(const char *line, const char *lineEnd, std::uint64_t lineNumber) {
    std::uint32_t value;
    if (lineEnd[-1] == '\n' && parsePlainNumberLine(line, lineEnd - 1, value)) {
      if (line[0] == 'T') return branchLine(line[1], value);
      if (line[0] == 'D' && line[1] == 'C') return setDcKey(value);
      if (line[0] == 'F' && line[1] == 'T') return setFtKey(value);
    }
    // A NUL byte ends the text of its line; the rest of the line is skipped.
    std::string_view text(line, lineEnd - line);
    if (const void *nul = std::memchr(line, '\0', text.size()))
      text = text.substr(0, static_cast<const char *>(nul) - line);
    handleLine(text, lineNumber);
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
    state_.keyPair = noKeyPair;
  }
  void setDcKey(std::uint32_t value) {
    state_.dcKey = value;
    state_.keyPair = noKeyPair;
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
    if (state_.keyPair == noKeyPair)
      state_.keyPair = state_.lastKeyPair =
          table_.findKeyPair(state_.ftKey, state_.dcKey, state_.lastKeyPair);
    writer_.add({table_.findOrInsertGroupId(state_.keyPair, static_cast<signed char>(kind)),
                 state_.currentTest, static_cast<std::uint16_t>(value & 0xFFFFu)});
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
