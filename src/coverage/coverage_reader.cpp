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

#include "coverage/chunk_index.h"
#include "coverage/chunk_trace.h"
#include "coverage/line_source.h"
#include "shell/messages.h"
#include "shell/process_memory.h"

namespace {

bool isBlank(char c) { return c == ' '; }

// A tab between a keyword and its value reads as a blank.
bool separatesValue(char c) { return c == ' ' || c == '\t'; }

// The comments of the converters that the reader takes in.
constexpr std::string_view fingerprintPrefix = "# Build fingerprint: ";
constexpr std::string_view keyNamePrefix = "# FT ";
constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

// A text without the newline (and carriage return) that ends its line.
std::string_view withoutLineEnd(std::string_view text) {
  if (text.ends_with('\n')) text.remove_suffix(1);
  if (text.ends_with('\r')) text.remove_suffix(1);
  return text;
}

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

bool isHexText(std::string_view text, std::size_t longest) {
  return !text.empty() && text.size() <= longest &&
         std::ranges::all_of(text, [](char c) { return hexDigitValue(c) >= 0; });
}

// Reads a line in the plain form of the commonest lines, those whose
// keyword carries a number (branch lines, DC and FT): two upper-case
// letters, one blank, at most eight digits, then `numberEnd` (where the
// number ends: the newline, or a carriage return before it). Returns whether
// it is one, and its value; any other line, however valid, is left to the
// general path. The digits are counted before they are read, so the loop
// over them ends where the processor expects it to.
inline bool parsePlainNumberLine(const char *line, const char *numberEnd, std::uint32_t &value) {
  const std::ptrdiff_t digitCount = numberEnd - line - 3;
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

// Bit i set when block[i] is `byte`, for the `length` (at most 64) bytes
// from `block`.
std::uint64_t byteMask(const char *block, std::ptrdiff_t length, char byte) {
  std::uint64_t mask = 0;
#ifdef __SSE2__
  if (length == 64) {
    const __m128i wanted = _mm_set1_epi8(byte);
    for (int part = 0; part < 4; ++part) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + 16 * part));
      mask |= std::uint64_t{static_cast<std::uint16_t>(
                  _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, wanted)))}
              << (16 * part);
    }
    return mask;
  }
#endif
  for (std::ptrdiff_t i = 0; i < length; ++i) mask |= std::uint64_t{block[i] == byte} << i;
  return mask;
}

// The number of bits set: std::popcount without the instruction, which
// the processors this is built for may lack, calls a slow library routine.
int countBits(std::uint64_t bits) {
#ifdef __POPCNT__
  return std::popcount(bits);
#else
  bits -= (bits >> 1) & 0x5555555555555555ull;
  bits = (bits & 0x3333333333333333ull) + ((bits >> 2) & 0x3333333333333333ull);
  bits = (bits + (bits >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return static_cast<int>((bits * 0x0101010101010101ull) >> 56);
#endif
}

// The end of the line that starts at `line`: after its newline, or `end`.
const char *endOfLine(const char *line, const char *end) {
  const void *newline = std::memchr(line, '\n', static_cast<std::size_t>(end - line));
  return newline ? static_cast<const char *>(newline) + 1 : end;
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

// Whether to look a chunk up by hash. Lookups pay where chunks repeat, and
// cost a miss in a large table each where they do not: when few of a
// thousand find anything, they pause, for longer each time in a row.
class HashLookups {
 public:
  bool take() {
    if (pauseLeft_ == 0) return true;
    --pauseLeft_;
    return false;
  }
  void counted(bool found) {
    hits_ += found;
    if (++lookups_ < window) return;
    if (hits_ * 8 < lookups_) {
      pauseLeft_ = pause_;
      pause_ = std::min(2 * pause_, longestPause);
    } else {
      pause_ = firstPause;
    }
    lookups_ = hits_ = 0;
  }

 private:
  static constexpr std::uint32_t window = 1024;
  static constexpr std::uint32_t firstPause = 4096;
  static constexpr std::uint32_t longestPause = 1 << 20;
  std::uint32_t lookups_ = 0;
  std::uint32_t hits_ = 0;
  std::uint32_t pauseLeft_ = 0;
  std::uint32_t pause_ = firstPause;
};

// Chunks are compared where they were read.
static_assert(LineSource::slackBytes >= ChunkIndex::paddingBytes);

class FileReader {
 public:
  FileReader(const RunSettings &settings, std::uint32_t fileIndex, TestRegistry &registry,
             CoverageTable &table)
      : settings_(settings), fileIndex_(fileIndex), registry_(registry), table_(table) {}

  // Reads a run of whole lines, numbering them from lineNumber + 1; returns
  // the number of the last. Branch lines are taken in chunks (see
  // ChunkIndex): a chunk met before is found rather than read, and the two
  // that followed the chunk before are tried first, by a plain comparison of
  // bytes, before the end of the chunk is even looked for.
  std::uint64_t readLines(std::string_view lines, std::uint64_t lineNumber) {
    const char *line = lines.data();
    const char *const end = line + lines.size();
    ChunkIndex &chunks = table_.chunkIndex();
    while (line != end) {
      // Before the first test of a file branch lines are not entered: not
      // worth remembering.
      if (state_.currentTest == 0 || !opensChunk(line, end)) {
        const char *lineEnd = endOfLine(line, end);
        readLine(line, lineEnd, ++lineNumber);
        line = lineEnd;
        continue;
      }
      if (const ChunkIndex::Entry *found =
              chunks.findPredicted({line, static_cast<std::size_t>(end - line)}, state_.ftKey,
                                   state_.dcKey, trace_.guesses(), lastChunk_)) {
        applyChunk(found);
        line += ChunkIndex::length(found);
        lineNumber += ChunkIndex::effect(found).lines;
        continue;
      }
      std::uint32_t lineCount;
      const char *chunkEnd = endOfChunk(line, end, lineCount);
      readChunk({line, static_cast<std::size_t>(chunkEnd - line)}, lineNumber + 1, lineCount);
      line = chunkEnd;
      lineNumber += lineCount;
    }
    return lineNumber;
  }

  void finish() {
    flushPending();
    table_.settleCounts();
    registry_.finishTest(state_.currentTest, state_.covItemCounter);
    if (!fingerprint_) return;
    if (const SourceNotes::Note *first =
            table_.sourceNotes().noteFingerprint(*fingerprint_, fileIndex_))
      reportMessage(Message::DifferentBuilds, settings_.filePaths[first->fileIndex], path());
  }

 private:
  // Whether the line at `line` may open a chunk: a branch, DC or FT line.
  static bool opensChunk(const char *line, const char *end) {
    if (line[0] == 'T') return true;
    return end - line > 1 && ((line[0] == 'D' && line[1] == 'C') || (line[0] == 'F' && line[1] == 'T'));
  }

  // The end of the chunk that opens at `line`: the lines after it that
  // start with T go with it. Sets `lineCount` to its lines. Where lines
  // start, and whether with T, is found for 64 bytes at once.
  static const char *endOfChunk(const char *line, const char *end, std::uint32_t &lineCount) {
    lineCount = 1;
    std::uint64_t startsAtBlock = 1;
    for (const char *block = endOfLine(line, end); block < end; block += 64) {
      const std::ptrdiff_t length = std::min<std::ptrdiff_t>(64, end - block);
      const std::uint64_t newlines = byteMask(block, length, '\n');
      std::uint64_t starts = newlines << 1 | startsAtBlock;
      startsAtBlock = newlines >> 63;
      if (length < 64) starts &= (std::uint64_t{1} << length) - 1;
      if (const std::uint64_t ends = starts & ~byteMask(block, length, 'T'); ends != 0) {
        const int offset = std::countr_zero(ends);
        lineCount +=
            static_cast<std::uint32_t>(countBits(starts & ((std::uint64_t{1} << offset) - 1)));
        return block + offset;
      }
      lineCount += static_cast<std::uint32_t>(countBits(starts));
    }
    return end;
  }

  // Does what the chunk of `entry` did when it was read.
  void applyChunk(const ChunkIndex::Entry *entry) {
    flushPending();
    const ChunkEffect &effect = ChunkIndex::effect(entry);
    if (effect.setsFtKey) state_.ftKey = effect.ftKey;
    if (effect.setsDcKey) state_.dcKey = effect.dcKey;
    state_.keyPair = effect.keyPair;
    if (effect.keyPair != noKeyPair) state_.lastKeyPair = effect.keyPair;
    state_.covItemCounter += effect.branchLines;
    if (effect.piece != noPiece) table_.addPieceToTest(effect.piece, state_.currentTest);
    lastChunk_ = entry;
    trace_.met(entry);
  }

  // Reads the chunk of `lineCount` whole lines `text`, the first numbered
  // `firstLine`. A chunk read line by line is remembered if every line was
  // in its plain form: such lines have no effect but their entries and
  // keys, and report nothing. The entries of chunks not remembered are
  // stored together, as one piece, with those of the lines after them.
  void readChunk(std::string_view text, std::uint64_t firstLine, std::uint32_t lineCount) {
    ChunkIndex &chunks = table_.chunkIndex();
    const bool lookUp = hashLookups_.take();
    if (lookUp) {
      const ChunkIndex::Entry *found = chunks.find(text, state_.ftKey, state_.dcKey, lastChunk_);
      hashLookups_.counted(found);
      if (found) return applyChunk(found);
    }
    const bool remember = lookUp && chunks.keepsNewChunks();
    if (remember) flushPending();
    const std::uint32_t ftKey = state_.ftKey;
    const std::uint32_t dcKey = state_.dcKey;
    const bool plain = readEachLine(text.data(), text.data() + text.size(), firstLine);
    lastChunk_ = nullptr;
    if (!remember || !plain) return;
    const auto branchLines = static_cast<std::uint32_t>(pending_.size());
    PieceId piece = noPiece;
    if (!pending_.empty()) {
      piece = table_.addPiece(pending_);
      table_.addPieceToTest(piece, state_.currentTest);
      pending_.clear();
    }
    const ChunkEffect effect{lineCount,    branchLines,  piece,         text[0] == 'F', text[0] == 'D',
                             state_.ftKey, state_.dcKey, state_.keyPair};
    lastChunk_ = chunks.insert(text, ftKey, dcKey, effect, lastChunk_);
    if (lastChunk_) trace_.met(lastChunk_);
  }

  // Reads the lines from `begin` to `end` one by one; returns whether all of
  // them were in their plain form.
  bool readEachLine(const char *begin, const char *end, std::uint64_t firstLine) {
    bool plain = true;
    const char *line = begin;
    // The newlines of 64 bytes are found at once, so that where a line
    // starts never waits for the reading of the line before.
    for (const char *block = begin; block < end; block += 64) {
      for (std::uint64_t newlines = byteMask(block, std::min<std::ptrdiff_t>(64, end - block), '\n');
           newlines != 0; newlines &= newlines - 1) {
        const char *lineEnd = block + std::countr_zero(newlines) + 1;
        plain &= readLine(line, lineEnd, firstLine++);
        line = lineEnd;
      }
    }
    // The file's last line, when it has no newline.
    if (line != end) plain &= readLine(line, end, firstLine);
    return plain;
  }

  // Reads the line from `line` to `lineEnd` (after its newline, if it has
  // one); returns whether it was a number line in its plain form.
  bool readLine(const char *line, const char *lineEnd, std::uint64_t lineNumber) {
    std::uint32_t value;
    if (lineEnd[-1] == '\n') {
      // A carriage return before the newline ends the number as well.
      const char *numberEnd = lineEnd - 1;
      if (numberEnd != line && numberEnd[-1] == '\r') --numberEnd;
      if (parsePlainNumberLine(line, numberEnd, value)) {
        sawData_ = true;
        if (line[0] == 'T') {
          branchLine(line[1], value);
          return true;
        }
        if (line[0] == 'D' && line[1] == 'C') {
          setDcKey(value);
          return true;
        }
        if (line[0] == 'F' && line[1] == 'T') {
          setFtKey(value);
          return true;
        }
      }
    }
    // A NUL byte ends the text of its line; the rest of the line is skipped.
    std::string_view text(line, lineEnd - line);
    if (lineNumber == 1 && text.starts_with(byteOrderMark)) text.remove_prefix(byteOrderMark.size());
    if (const void *nul = std::memchr(text.data(), '\0', text.size()))
      text = text.substr(0, static_cast<const char *>(nul) - text.data());
    if (text.starts_with('#')) {
      readComment(text);
      return false;
    }
    if (!sawData_) noteFirstData(text);
    handleLine(text, lineNumber);
    return false;
  }

  const std::string &path() const { return settings_.filePaths[fileIndex_]; }

  // The first line that is not a comment tells a coverage file from an LCOV
  // tracefile, whose records would each draw a warning and give no test.
  void noteFirstData(std::string_view text) {
    text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
    if (text.empty() || static_cast<signed char>(text.front()) <= 0x40) return;
    sawData_ = true;
    if (text.starts_with("TN:") || text.starts_with("SF:"))
      reportMessage(Message::TracefileGiven, path());
  }

  void readComment(std::string_view text) {
    if (text.starts_with(fingerprintPrefix)) {
      // Only the file's header says what build it comes from.
      const std::string_view token = withoutLineEnd(text.substr(fingerprintPrefix.size()));
      if (state_.fileSequence == 0 && !fingerprint_ && isHexText(token, 16) && token.size() == 16)
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
    if (const SourceNotes::Note *earlier =
            table_.sourceNotes().nameKey(parseHexaValue(keyText, 0), sourcePath, fileIndex_)) {
      reportMessage(Message::SourceKeyNamed, keyText, earlier->text,
                    settings_.filePaths[earlier->fileIndex]);
      reportMessage(Message::SourceKeyClash, keyText, sourcePath, path());
    }
  }

  // Stores the entries of the lines read one by one, as a piece of their
  // own.
  void flushPending() {
    if (pending_.empty()) return;
    table_.addEntriesOnce(pending_, state_.currentTest);
    pending_.clear();
  }

  void lookUpKeyPair() {
    if (state_.keyPair == noKeyPair)
      state_.keyPair = state_.lastKeyPair =
          table_.findKeyPair(state_.ftKey, state_.dcKey, state_.lastKeyPair);
  }

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
    flushPending();
    trace_.startTest();
    registry_.finishTest(state_.currentTest, state_.covItemCounter);
    ++state_.fileSequence;
    state_.currentTest = registry_.newTest(fileIndex_, nameText, state_.fileSequence);
    state_.covItemCounter = 0;
  }

  void branchLine(char kind, std::uint32_t value) {
    // Before the first test of a file a branch line belongs to no test.
    if (state_.currentTest == 0) return;
    ++state_.covItemCounter;
    lookUpKeyPair();
    pending_.push_back({table_.findOrInsertGroupId(state_.keyPair, static_cast<signed char>(kind)),
                        static_cast<std::uint16_t>(value & 0xFFFFu)});
  }

  const RunSettings &settings_;
  std::uint32_t fileIndex_;
  TestRegistry &registry_;
  CoverageTable &table_;
  ReaderState state_;
  // Entries read since the last piece was stored.
  std::vector<CoverageTable::BranchEntry> pending_;
  // The chunk found or remembered last, which predicts the next.
  const ChunkIndex::Entry *lastChunk_ = nullptr;
  ChunkTrace trace_;
  HashLookups hashLookups_;
  // Whether a line other than a comment has been read.
  bool sawData_ = false;
  // The build fingerprint the file's header gives, if any.
  std::optional<std::string> fingerprint_;
};

// Opens a coverage file for reading, and tells what it is in `info`; -1 if
// it cannot be read as a file.
int openCoverageFile(const std::string &path, struct stat &info) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
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
    if (separatesValue(after)) {
      while (pos < text.size() && separatesValue(text[pos])) ++pos;
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
  struct stat info;
  const int fd = openCoverageFile(path, info);
  if (fd < 0) {
    reportMessage(Message::UnableToOpen, path);
    return;
  }
  const DescriptorCloser closer{fd};
  // A thread reading ahead pays for itself on a file of a few blocks; only
  // a regular file is sure to let it finish each read at once; and under a
  // memory limit its stack and buffers could take the room the tables need.
  const bool readAhead = S_ISREG(info.st_mode) &&
                         static_cast<std::uint64_t>(info.st_size) >= 4 * defaultReadBlockSize &&
                         !addressSpaceLimited();
  readCoverageLines(readFromDescriptor(fd), settings, fileIndex, registry, table,
                    defaultReadBlockSize, readAhead);
}

void readCoverageLines(const ReadBlock &read, const RunSettings &settings,
                       std::uint32_t fileIndex, TestRegistry &registry, CoverageTable &table,
                       std::size_t blockSize, bool readAhead) {
  FileReader reader(settings, fileIndex, registry, table);
  LineSource source(read, blockSize, readAhead);
  std::uint64_t lineNumber = 0;
  while (std::optional<std::string_view> lines = source.nextLines())
    lineNumber = reader.readLines(*lines, lineNumber);
  // A result computed from part of a file could call needed tests useless.
  if (source.failed()) reportMessage(Message::UnableToRead, settings.filePaths[fileIndex]);
  reader.finish();
}
