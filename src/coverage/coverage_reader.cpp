#include "coverage/coverage_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <span>
#include <string>

#include "coverage/line_source.h"
#include "shell/messages.h"

namespace {

bool isBlank(char c) { return c == ' '; }

// Bytes that end a number: NUL, controls, blank, '!' and every non-ASCII byte.
bool endsNumber(char c) { return static_cast<signed char>(c) <= 0x21; }

int hexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// What the reader knows while it reads one file.
struct ReaderState {
  std::uint32_t ftKey = 0;
  std::uint32_t dcKey = 0;
  BranchGroup *currentGroup = nullptr;
  // The kind byte of currentGroup, or -1 for none; a branch line of the
  // same kind needs no lookup.
  int rememberedKind = -1;
  TestNumber currentTest = 0;
  std::uint64_t covItemCounter = 0;
  std::uint32_t fileSequence = 0;
};

class FileReader {
 public:
  FileReader(const RunSettings &settings, std::uint32_t fileIndex, TestRegistry &registry,
             CoverageTable &table)
      : settings_(settings), fileIndex_(fileIndex), registry_(registry), table_(table) {}

  void handleLine(std::string_view text, std::uint64_t lineNumber) {
    std::optional<KeywordLine> line = splitKeywordLine(text, lineNumber);
    if (!line) return;
    if (line->first == 'T') return branchLine(line->second, line->value, lineNumber);
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

  void finish() {
    flushBatch();
    registry_.finishTest(state_.currentTest, state_.covItemCounter);
  }

 private:
  void setFtKey(std::uint32_t value) {
    state_.ftKey = value;
    forgetGroup();
  }
  void setDcKey(std::uint32_t value) {
    state_.dcKey = value;
    forgetGroup();
  }
  void forgetGroup() {
    state_.currentGroup = nullptr;
    state_.rememberedKind = -1;
  }

  void openTest(std::string_view nameText) {
    registry_.finishTest(state_.currentTest, state_.covItemCounter);
    ++state_.fileSequence;
    state_.currentTest = registry_.newTest(fileIndex_, nameText, state_.fileSequence);
    state_.covItemCounter = 0;
  }

  void branchLine(char kind, std::string_view valueText, std::uint64_t lineNumber) {
    const std::uint32_t value = parseHexaValue(valueText, lineNumber);
    // Before the first test of a file a branch line belongs to no test.
    if (state_.currentTest == 0) return;
    ++state_.covItemCounter;
    if (state_.rememberedKind != static_cast<unsigned char>(kind)) {
      state_.rememberedKind = static_cast<unsigned char>(kind);
      state_.currentGroup =
          &table_.findOrInsertGroup(state_.ftKey, state_.dcKey, static_cast<signed char>(kind));
    }
    batch_[batchSize_++] = {state_.currentGroup, state_.currentTest,
                            static_cast<std::uint16_t>(value & 0xFFFFu)};
    if (batchSize_ == batch_.size()) flushBatch();
  }

  const RunSettings &settings_;
  std::uint32_t fileIndex_;
  TestRegistry &registry_;
  CoverageTable &table_;
  ReaderState state_;
  // Branch lines wait here in small batches, which the table stores faster
  // than one by one; finish() stores what is left.
  std::array<CoverageTable::BranchEntry, 64> batch_;
  std::size_t batchSize_ = 0;

  void flushBatch() {
    table_.addTestsToBranches(std::span(batch_.data(), batchSize_));
    batchSize_ = 0;
  }
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
  while (std::optional<std::string_view> line = source.next()) {
    // A NUL byte ends the text of its line; the rest of the line is skipped.
    std::string_view text = *line;
    if (const void *nul = std::memchr(text.data(), '\0', text.size()))
      text = text.substr(0, static_cast<const char *>(nul) - text.data());
    reader.handleLine(text, ++lineNumber);
  }
  // A result computed from part of a file could call needed tests useless.
  if (source.failed()) reportMessage(Message::UnableToRead, settings.filePaths[fileIndex]);
  reader.finish();
}
