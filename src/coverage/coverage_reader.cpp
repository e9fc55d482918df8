#include "coverage/coverage_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "base/fatal_error.h"

namespace zorvane::coverage {

namespace {

bool isBlank(char c) { return c == ' '; }

// A tab between a keyword and its value reads as a blank.
bool separatesValue(char c) { return c == ' ' || c == '\t'; }

// Bytes that end a number: NUL, controls, blank, '!' and every non-ASCII byte.
bool endsNumber(char c) { return static_cast<signed char>(c) <= 0x21; }

// The value of each byte as a hexadecimal digit, -1 for the others.
constexpr std::array<signed char, 256> hexDigitValues = [] {
  std::array<signed char, 256> values{};
  for (int c = 0; c < 256; ++c) {
    if (c >= '0' && c <= '9')
      values[c] = static_cast<signed char>(c - '0');
    else if (c >= 'A' && c <= 'F')
      values[c] = static_cast<signed char>(c - 'A' + 10);
    else if (c >= 'a' && c <= 'f')
      values[c] = static_cast<signed char>(c - 'a' + 10);
    else
      values[c] = -1;
  }
  return values;
}();

int hexDigitValue(char c) { return hexDigitValues[static_cast<unsigned char>(c)]; }

bool isUpper(char c) { return c >= 'A' && c <= 'Z'; }

// How a line splits, before anything is reported.
enum class SplitKind { Ignored, Unexpected, Keyword };
struct Split {
  SplitKind kind;
  // For Unexpected, `value` is the text from the byte after the keyword.
  KeywordLine line;
};

Split split(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && isBlank(text[pos])) ++pos;
  if (pos + 1 >= text.size() || static_cast<signed char>(text[pos]) <= 0x40)
    return {SplitKind::Ignored, {}};
  KeywordLine line{text[pos], text[pos + 1], {}};
  pos += 2;
  if (pos < text.size() && !separatesValue(text[pos]) && static_cast<signed char>(text[pos]) > 0x20)
    return {SplitKind::Unexpected, {line.first, line.second, text.substr(pos)}};
  while (pos < text.size() && separatesValue(text[pos])) ++pos;
  line.value = text.substr(pos);
  return {SplitKind::Keyword, line};
}

bool carriesNumber(const KeywordLine &line) {
  return line.first == 'T' || (line.first == 'F' && line.second == 'T') ||
         (line.first == 'D' && line.second == 'C');
}

// The comments of the converters that the reader takes in.
constexpr std::string_view fingerprintPrefix = "# Build fingerprint: ";
constexpr std::string_view keyNamePrefix = "# FT ";
constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

bool mayStartWith(std::string_view head, std::string_view prefix) {
  return head.substr(0, prefix.size()) == prefix.substr(0, head.size());
}

// A text without the newline (and carriage return) that ends its line.
std::string_view withoutLineEnd(std::string_view text) {
  if (text.ends_with('\n')) text.remove_suffix(1);
  if (text.ends_with('\r')) text.remove_suffix(1);
  return text;
}

bool isHexText(std::string_view text, std::size_t longest) {
  return !text.empty() && text.size() <= longest &&
         std::ranges::all_of(text, [](char c) { return hexDigitValue(c) >= 0; });
}

// Whether the first meaningful line of a file is an LCOV record.
bool isTracefileRecord(std::string_view text) {
  text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
  return text.starts_with("TN:") || text.starts_with("SF:");
}

// The length from which a section is worth recording.
constexpr std::ptrdiff_t minimumRepeatedSection = 64;

class FileReader {
 public:
  FileReader(const RunSettings &settings, std::uint32_t fileIndex, TestRegistry &registry,
             TableWriter &writer, Diagnostics &diagnostics)
      : settings_(settings),
        fileIndex_(fileIndex),
        registry_(registry),
        writer_(writer),
        diagnostics_(diagnostics) {
    writer_.startFile();
  }

  // Reads the line at `line` if it has the form of nearly every line of a
  // file: an FT, DC or branch line written plainly (two upper-case letters,
  // one blank, at most eight digits, a newline after a carriage return or
  // not), and returns where the next line starts; else reads nothing and
  // returns null. The line must end with a newline.
  const char *readPlainLine(const char *line) {
    if (!isUpper(line[0]) || !isUpper(line[1]) || line[2] != ' ') return nullptr;
    std::uint32_t value = 0;
    const char *digit = line + 3;
    for (int digits = 0;; ++digit, ++digits) {
      const int digitValue = hexDigitValue(*digit);
      if (digitValue < 0) break;
      if (digits == 8) return nullptr;
      value |= static_cast<std::uint32_t>(digitValue) << (4 * digits);
    }
    if (*digit == '\r') ++digit;
    if (*digit != '\n') return nullptr;
    if (line[0] == 'T')
      branchLine(line[1], value);
    else if (line[0] == 'F' && line[1] == 'T')
      setFtKey(value);
    else if (line[0] == 'D' && line[1] == 'C')
      setDcKey(value);
    else
      return nullptr;
    sawData_ = true;
    return digit + 1;
  }

  // Reads the section that starts at `line`, an FT line, when it ends before
  // `end` (a line end): repeats the entries of an earlier reading of the
  // same bytes, or parses its lines and records the reading. Returns where
  // reading stopped (the section's end, or a line that is not plain), or
  // null when it read nothing. Counts the lines read into `lineNumber`.
  const char *readSection(const char *line, const char *end, std::uint64_t &lineNumber) {
    // Before the first test of a file, lines belong to no test.
    if (currentTest_ == 0 || line[1] != 'T') return nullptr;
    RepeatedSections &sections = writer_.repeatedSections();
    // The section that followed the last one last time is tried first, by
    // its length and digest, before searching for where this one ends.
    if (const RepeatedSections::Number guess = sections.follower(lastSection_);
        guess != RepeatedSections::none) {
      const std::size_t size = sections.digest(guess).size;
      if (size < static_cast<std::size_t>(end - line) && startsNoSectionLine(line + size) &&
          RepeatedSections::digestOf({line, size}) == sections.digest(guess) &&
          repeatIfItFits(guess, lineNumber))
        return line + size;
    }
    const char *sectionEnd = endOfSection(line, end);
    // A short section costs about as much to parse as to look up, and its
    // record would outweigh its bytes.
    if (!sectionEnd || sectionEnd - line < minimumRepeatedSection) return nullptr;
    const RepeatedSections::Digest digest =
        RepeatedSections::digestOf({line, static_cast<std::size_t>(sectionEnd - line)});
    if (const RepeatedSections::Number earlier = sections.find(digest);
        earlier != RepeatedSections::none && repeatIfItFits(earlier, lineNumber))
      return sectionEnd;
    RepeatedSections::Reading reading{};
    const std::uint64_t entriesBefore = testEntryCount_;
    writer_.beginSection();
    reading.enteringDcKey = dcKey_;
    const char *afterFirst = std::find(line, sectionEnd, '\n') + 1;
    reading.readsEnteringDcKey = afterFirst == sectionEnd || afterFirst[0] != 'D';
    const char *next = line;
    while (next != sectionEnd) {
      const char *after = readPlainLine(next);
      if (!after) return next == line ? nullptr : next;
      ++lineNumber;
      ++reading.lineCount;
      next = after;
    }
    reading.run = writer_.endSection();
    reading.entryCount = static_cast<std::uint32_t>(testEntryCount_ - entriesBefore);
    reading.ftKey = ftKey_;
    reading.dcKey = dcKey_;
    follow(sections.record(digest, reading));
    return sectionEnd;
  }

  void readLine(std::string_view text, std::uint64_t lineNumber) {
    if (lineNumber == 1 && text.starts_with(byteOrderMark))
      text.remove_prefix(byteOrderMark.size());
    // A NUL byte ends the text of its line.
    if (const void *nul = std::memchr(text.data(), '\0', text.size()))
      text = text.substr(0, static_cast<const char *>(nul) - text.data());
    if (text.starts_with('#')) return readComment(text);
    if (!sawData_ && text.find_first_not_of(' ') < text.size() &&
        static_cast<signed char>(text[text.find_first_not_of(' ')]) > 0x40) {
      sawData_ = true;
      if (isTracefileRecord(text)) throw FatalError(Message::TracefileGiven, path());
    }
    const std::optional<KeywordLine> line = splitKeywordLine(text, lineNumber, diagnostics_);
    if (!line) return;
    if (line->first == 'T')
      return branchLine(line->second, parseHexaValue(line->value, lineNumber));
    if (line->second == 'T') {
      switch (line->first) {
        case 'F': return setFtKey(parseHexaValue(line->value, lineNumber));
        case 'N': return openTest(line->value);
        case 'D': return describeTest(line->value);
        default: return;
      }
    }
    if (line->first == 'D' && line->second == 'C')
      setDcKey(parseHexaValue(line->value, lineNumber));
  }

  void finish() {
    registry_.finishTest(currentTest_, testEntryCount_);
    if (!fingerprint_) return;
    if (const SourceNotes::Note *first =
            writer_.table().sourceNotes().noteFingerprint(*fingerprint_, fileIndex_))
      diagnostics_.report(Message::DifferentBuilds, settings_.filePaths[first->fileIndex], path());
  }

 private:
  const std::string &path() const { return settings_.filePaths[fileIndex_]; }

  // Where the section that starts at `line` ends: the first line after it
  // that is neither a DC nor a branch line, if one starts before `end`.
  static const char *endOfSection(const char *line, const char *end) {
    // Lines are short: sixteen bytes tested at once find the end faster
    // than a search for each newline.
    using SixteenBytes = signed char __attribute__((vector_size(16)));
    for (++line; end - line >= 16; line += 16) {
      SixteenBytes here, before;
      std::memcpy(&here, line, sizeof here);
      std::memcpy(&before, line - 1, sizeof before);
      const SixteenBytes starts = (before == '\n') & (here != 'T') & (here != 'D');
      std::uint64_t halves[2];
      std::memcpy(halves, &starts, sizeof halves);
      if ((halves[0] | halves[1]) != 0) break;
    }
    for (; line != end; ++line)
      if (startsNoSectionLine(line)) return line;
    return nullptr;
  }

  // Whether `line`, after a line end, starts a line that ends a section.
  static bool startsNoSectionLine(const char *line) {
    return line[-1] == '\n' && *line != 'T' && *line != 'D';
  }

  // Repeats the recorded section `number` unless it was read under another
  // DC key than the one in force; says whether it did.
  bool repeatIfItFits(RepeatedSections::Number number, std::uint64_t &lineNumber) {
    const RepeatedSections::Reading &reading = writer_.repeatedSections().reading(number);
    if (reading.readsEnteringDcKey && reading.enteringDcKey != dcKey_) return false;
    testEntryCount_ += reading.entryCount;
    lineNumber += reading.lineCount;
    ftKey_ = reading.ftKey;
    dcKey_ = reading.dcKey;
    writer_.repeatSection(reading.run);
    follow(number);
    return true;
  }

  // The section `number` was read after the last one.
  void follow(RepeatedSections::Number number) {
    writer_.repeatedSections().setFollower(lastSection_, number);
    lastSection_ = number;
  }

  void setFtKey(std::uint32_t key) {
    ftKey_ = key;
    writer_.setFtKey(key);
  }
  void setDcKey(std::uint32_t key) {
    dcKey_ = key;
    writer_.setDcKey(key);
  }

  // A test's description is listed as it is read, from -V on.
  void describeTest(std::string_view text) {
    if (currentTest_ == 0) return;
    registry_.setDescription(currentTest_, text);
    if (settings_.verbosity == 0) return;
    const TestRecord &record = registry_.record(currentTest_);
    diagnostics_.print("\tTest " + std::to_string(currentTest_) + ' ' + record.name + ' ' +
                       *record.description + '\n');
  }

  void openTest(std::string_view nameText) {
    registry_.finishTest(currentTest_, testEntryCount_);
    currentTest_ = registry_.newTest(fileIndex_, nameText, ++fileSequence_);
    testEntryCount_ = 0;
    writer_.openTest(currentTest_);
  }

  void branchLine(char kind, std::uint32_t index) {
    // Before the first test of a file a branch line belongs to no test.
    if (currentTest_ == 0) return;
    ++testEntryCount_;
    writer_.addBranch(kind, index);
  }

  void readComment(std::string_view text) {
    if (text.starts_with(fingerprintPrefix)) {
      // Only the file's header says what build it comes from.
      const std::string_view token = withoutLineEnd(text.substr(fingerprintPrefix.size()));
      if (fileSequence_ == 0 && !fingerprint_ && token.size() == 16 && isHexText(token, 16))
        fingerprint_ = std::string(token);
    } else if (text.starts_with(keyNamePrefix)) {
      readKeyName(withoutLineEnd(text.substr(keyNamePrefix.size())));
    }
  }

  // "<key> is <path>": the source path an FT key was made from.
  void readKeyName(std::string_view text) {
    const std::size_t is = text.find(" is ");
    if (is == std::string_view::npos || !isHexText(text.substr(0, is), 8)) return;
    const std::string_view keyText = text.substr(0, is);
    const std::string_view sourcePath = text.substr(is + 4);
    if (sourcePath.empty()) return;
    if (const SourceNotes::Note *earlier = writer_.table().sourceNotes().nameKey(
            parseHexaValue(keyText, 0), sourcePath, fileIndex_)) {
      diagnostics_.report(Message::SourceKeyNamed, keyText, earlier->text,
                          settings_.filePaths[earlier->fileIndex]);
      throw FatalError(Message::SourceKeyClash, keyText, sourcePath, path());
    }
  }

  const RunSettings &settings_;
  std::uint32_t fileIndex_;
  TestRegistry &registry_;
  TableWriter &writer_;
  Diagnostics &diagnostics_;
  std::uint32_t ftKey_ = 0;
  std::uint32_t dcKey_ = 0;
  TestNumber currentTest_ = 0;
  std::uint64_t testEntryCount_ = 0;
  std::uint32_t fileSequence_ = 0;
  // The section read last in this file.
  RepeatedSections::Number lastSection_ = RepeatedSections::none;
  bool sawData_ = false;
  std::optional<std::string> fingerprint_;
};

// Opens a coverage file for reading; -1 if it cannot be read as a file.
int openCoverageFile(const std::string &path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info;
  if (fd >= 0 && (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode))) {
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

std::optional<KeywordLine> splitKeywordLine(std::string_view text, std::uint64_t lineNumber,
                                            Diagnostics &diagnostics) {
  const Split result = split(text);
  if (result.kind == SplitKind::Unexpected)
    diagnostics.report(Message::UnexpectedData, result.line.value, std::to_string(lineNumber));
  if (result.kind != SplitKind::Keyword) return std::nullopt;
  return result.line;
}

std::uint32_t parseHexaValue(std::string_view valueText, std::uint64_t lineNumber) {
  std::uint32_t value = 0;
  unsigned position = 0;
  for (char c : valueText) {
    if (endsNumber(c)) break;
    const int digit = hexDigitValue(c);
    if (digit < 0) throw FatalError(Message::BadHexaValue, valueText, std::to_string(lineNumber));
    if (position == 8)
      throw FatalError(Message::NumberOverflow, valueText, std::to_string(lineNumber));
    value |= static_cast<std::uint32_t>(digit) << (4 * position++);
  }
  return value;
}

bool restOfLineMatters(std::string_view head) {
  // Too short to tell (blanks, a keyword's first byte, part of a
  // byte-order mark)?
  if (head.size() < byteOrderMark.size() && mayStartWith(head, byteOrderMark)) return true;
  if (head.starts_with(byteOrderMark)) head.remove_prefix(byteOrderMark.size());
  if (head.find('\0') != std::string_view::npos) return false;
  const std::size_t start = head.find_first_not_of(' ');
  if (start == std::string_view::npos || start + 1 >= head.size()) return true;
  if (head.starts_with('#'))
    return mayStartWith(head, fingerprintPrefix) || mayStartWith(head, keyNamePrefix);
  const Split result = split(head);
  // The message of an unexpected byte quotes the whole line.
  if (result.kind != SplitKind::Keyword) return result.kind == SplitKind::Unexpected;
  const std::string_view value = result.line.value;
  if (value.empty()) return true;
  if (carriesNumber(result.line)) {
    // Only the number counts, unless it is malformed: the message quotes
    // the whole value.
    std::size_t digits = 0;
    while (digits < value.size() && digits <= 8 && hexDigitValue(value[digits]) >= 0) ++digits;
    return digits == value.size() || digits > 8 || !endsNumber(value[digits]);
  }
  return result.line.second == 'T' && (result.line.first == 'N' || result.line.first == 'D');
}

bool readCoverageFile(const RunSettings &settings, std::uint32_t fileIndex, TestRegistry &registry,
                      TableWriter &writer, Diagnostics &diagnostics) {
  const std::string &path = settings.filePaths[fileIndex];
  const int fd = openCoverageFile(path);
  if (fd < 0) {
    diagnostics.report(Message::UnableToOpen, path);
    return false;
  }
  const DescriptorCloser closer{fd};
  readCoverageLines(readFromDescriptor(fd), settings, fileIndex, registry, writer, diagnostics);
  return true;
}

void readCoverageLines(const ReadBlock &read, const RunSettings &settings, std::uint32_t fileIndex,
                       TestRegistry &registry, TableWriter &writer, Diagnostics &diagnostics,
                       std::size_t blockSize) {
  FileReader reader(settings, fileIndex, registry, writer, diagnostics);
  LineSource source(read, blockSize, restOfLineMatters);
  std::uint64_t lineNumber = 0;
  for (;;) {
    // The lines held are read in place, most by the plain path; a line
    // not held whole yet comes through nextLine().
    if (const std::string_view held = source.wholeLinesHeld(); !held.empty()) {
      const char *line = held.data();
      const char *const end = line + held.size();
      while (line != end) {
        if (line[0] == 'F') {
          if (const char *next = reader.readSection(line, end, lineNumber)) {
            line = next;
            continue;
          }
        }
        ++lineNumber;
        if (const char *next = reader.readPlainLine(line)) {
          line = next;
          continue;
        }
        const char *next = static_cast<const char *>(std::memchr(line, '\n', end - line)) + 1;
        reader.readLine({line, static_cast<std::size_t>(next - line)}, lineNumber);
        line = next;
      }
      source.consume(held.size());
      continue;
    }
    const std::optional<std::string_view> line = source.nextLine();
    if (!line) break;
    reader.readLine(*line, ++lineNumber);
  }
  // A result computed from part of a file could call needed tests useless.
  if (source.failed()) throw FatalError(Message::UnableToRead, settings.filePaths[fileIndex]);
  reader.finish();
}

}  // namespace zorvane::coverage
