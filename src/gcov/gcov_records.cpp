#include "gcov/gcov_records.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "tio/conversion_error.h"

namespace zorvane::gcov {

using tio::ConversionError;

namespace {

constexpr std::uint32_t notesMagic = 0x67636e6f;     // "gcno"
constexpr std::uint32_t countersMagic = 0x67636461;  // "gcda"
constexpr std::uint32_t tagFunction = 0x01000000;
constexpr std::uint32_t tagBlocks = 0x01410000;
constexpr std::uint32_t tagArcs = 0x01430000;
constexpr std::uint32_t tagLines = 0x01450000;
constexpr std::uint32_t tagArcCounters = 0x01a10000;
constexpr std::uint32_t functionRecordLength = 12;

// Whether `tag` is a record nested in records of `parent` (the same test
// as gcov's: the parent's trailing zero bits are the nested tag's level).
bool isSubtag(std::uint32_t parent, std::uint32_t tag) {
  const std::uint32_t mask = (parent - 1) ^ parent;
  return (mask >> 8) == ((tag - 1) ^ tag) && !((tag ^ parent) & ~mask);
}

// Reads words, 64-bit counters and strings from bytes, never past their
// end: what would is the error `ConversionError`.
class WordReader {
 public:
  explicit WordReader(std::string_view bytes) : bytes_(bytes) {}

  std::size_t position() const { return position_; }
  std::size_t left() const { return bytes_.size() - position_; }
  bool atEnd() const { return position_ == bytes_.size(); }

  // Reads the magic word; false when it is neither `magic` nor `magic` in
  // the other byte order (which is then used for the words after it).
  bool readMagic(std::uint32_t magic) {
    const std::uint32_t word = readWord();
    if (word == magic) return true;
    swapped_ = true;
    return readWordAt(position_ - 4) == magic;
  }

  std::uint32_t readWord() {
    need(4, "a word");
    const std::uint32_t word = readWordAt(position_);
    position_ += 4;
    return word;
  }

  std::int64_t readCounter() {
    const std::uint64_t low = readWord();
    const std::uint64_t high = readWord();
    return static_cast<std::int64_t>(low | high << 32);
  }

  // A length in bytes, then the bytes, the string ending at its first NUL.
  // An empty length is no string at all.
  bool readString(std::string &text) {
    const std::uint32_t length = readWord();
    if (length == 0) return false;
    need(length, "a string");
    const std::string_view bytes = bytes_.substr(position_, length);
    text.assign(bytes.substr(0, bytes.find('\0')));
    position_ += length;
    return true;
  }

  void moveTo(std::size_t position) {
    if (position > bytes_.size()) fail("a record runs past the end");
    position_ = position;
  }

  [[noreturn]] static void fail(const std::string &why) { throw ConversionError(why); }

 private:
  void need(std::size_t count, const char *what) {
    if (count > left()) fail(std::string("truncated: ") + what + " runs past the end");
  }

  std::uint32_t readWordAt(std::size_t position) const {
    std::uint32_t word;
    std::memcpy(&word, bytes_.data() + position, 4);
    return swapped_ ? __builtin_bswap32(word) : word;
  }

  std::string_view bytes_;
  std::size_t position_ = 0;
  bool swapped_ = false;
};

// A record's tag, its length in bytes and where its contents start.
struct Record {
  std::uint32_t tag = 0;
  std::uint32_t length = 0;
  std::size_t start = 0;
};

// The next record, or false at the end of the records (a zero tag, or the
// end of the bytes).
bool nextRecord(WordReader &reader, Record &record) {
  if (reader.atEnd()) return false;
  record.tag = reader.readWord();
  if (record.tag == 0) return false;
  record.length = reader.readWord();
  record.start = reader.position();
  return true;
}

// A record whose length (in bytes) is at most what is left, as a record
// with contents must be; counters records may give a negative length
// (counters that are all zero and not written).
void checkLength(const WordReader &reader, std::int64_t length) {
  if (length > static_cast<std::int64_t>(reader.left()))
    WordReader::fail("truncated: a record runs past the end");
}

// The same clean-up of a source file name as gcov's: "." parts are dropped,
// a ".." part drops the part before it unless that names nothing (relative
// to the current directory, as gcov looks), and repeated '/' are one.
std::string canonicalName(const std::string &name) {
  std::string result;
  std::size_t floor = 0;  // where ".." can no longer go back to
  bool slash = false;
  for (std::size_t start = 0; start < name.size();) {
    std::size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string_view part(name.data() + start, end - start);
    bool regular = part != ".";
    if (part == "..") {
      struct stat status;
      if (floor == result.size() || ::stat(result.c_str(), &status) != 0) {
        floor = result.size() + 2 + (slash ? 1 : 0);
      } else {
        std::size_t back = result.size();
        while (back != floor && (back == result.size() || result[back] != '/')) --back;
        result.resize(back);
        slash = back != 0;
        regular = false;
      }
    }
    if (regular) {
      if (slash) result += '/';
      result.append(part);
      slash = true;
    }
    start = end;
    while (start < name.size() && name[start] == '/') ++start;
  }
  return result;
}

// Gives each source file of a unit one index, whichever name it is met by.
class SourceIndex {
 public:
  explicit SourceIndex(std::vector<std::string> &sources) : sources_(sources) {}

  std::uint32_t find(const std::string &name) {
    if (const auto known = byName_.find(name); known != byName_.end()) return known->second;
    const std::string canonical = canonicalName(name);
    auto [entry, added] = byName_.emplace(canonical, sources_.size());
    if (added) sources_.push_back(canonical);
    byName_.emplace(name, entry->second);
    return entry->second;
  }

 private:
  std::vector<std::string> &sources_;
  std::map<std::string, std::uint32_t> byName_;
};

// `budget`: how many more blocks the notes can hold. Each block but a
// function's entry and exit has an arcs record of its own: more blocks than
// that are not notes, and must not be allocated.
void readBlocks(WordReader &reader, NotesFunction &function, std::size_t &budget) {
  const std::uint32_t count = reader.readWord();
  if (function.blocksSeen) return;  // gcov passes over a second count
  if (count > budget + 2) WordReader::fail("corrupt: too many blocks");
  budget -= count > 2 ? count - 2 : 0;
  function.blocks.resize(count);
  function.blocksSeen = true;
}

void readArcs(WordReader &reader, const Record &record, NotesFunction &function) {
  const std::uint32_t source = reader.readWord();
  if (source >= function.blocks.size() || function.blocks[source].arcsSeen)
    WordReader::fail("corrupt: arcs of an unknown block");
  NotesBlock &block = function.blocks[source];
  block.arcsSeen = true;
  for (std::uint32_t count = (record.length / 4 - 1) / 2; count > 0; --count) {
    NotesArc arc;
    arc.destination = reader.readWord();
    arc.flags = reader.readWord();
    if (arc.destination >= function.blocks.size())
      WordReader::fail("corrupt: an arc to an unknown block");
    if (!(arc.flags & arcOnTree)) ++function.counterCount;
    block.arcs.push_back(arc);
  }
}

void readLines(WordReader &reader, const Record &record, NotesFunction &function,
               SourceIndex &sources) {
  const std::uint32_t number = reader.readWord();
  if (number >= function.blocks.size()) WordReader::fail("corrupt: lines of an unknown block");
  NotesBlock &block = function.blocks[number];
  const std::size_t end = record.start + record.length;
  for (;;) {
    if (reader.position() >= end) WordReader::fail("corrupt: lines without their end");
    const std::uint32_t line = reader.readWord();
    if (line != 0) {
      if (block.locations.empty()) WordReader::fail("corrupt: a line before its file");
      block.locations.back().lines.push_back(line);
      continue;
    }
    std::string file;
    if (!reader.readString(file)) break;
    block.locations.push_back({sources.find(file), {}});
  }
}

}  // namespace

bool isKnownNotesVersion(std::uint32_t version) {
  // GCC 12.x writes "B2x*": major version in the first two characters.
  return (version >> 24) == 'B' && ((version >> 16) & 0xFF) == '2' && (version & 0xFF) == '*';
}

std::string versionText(std::uint32_t version) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const char c = static_cast<char>(version >> shift);
    text += c >= 0x20 && c < 0x7F ? c : '?';
  }
  return text;
}

std::uint32_t notesVersionOf(std::string_view bytes) {
  try {
    WordReader reader(bytes);
    if (!reader.readMagic(notesMagic)) return 0;
    return reader.readWord();
  } catch (const ConversionError &) {
    return 0;
  }
}

UnitNotes parseNotes(std::string_view bytes) {
  WordReader reader(bytes);
  if (!reader.readMagic(notesMagic)) WordReader::fail("not a .gcno notes file");
  UnitNotes notes;
  notes.version = reader.readWord();
  notes.stamp = reader.readWord();
  reader.readWord();  // checksum
  reader.readString(notes.directory);
  reader.readWord();  // whether blocks can be unexecuted
  SourceIndex sources(notes.sources);
  std::size_t blockBudget = bytes.size() / 12;
  NotesFunction *function = nullptr;
  std::uint32_t currentTag = 0;
  Record record;
  while (nextRecord(reader, record)) {
    checkLength(reader, record.length);
    if (record.tag == tagFunction) {
      NotesFunction &added = notes.functions.emplace_back();
      added.ident = reader.readWord();
      added.linenoChecksum = reader.readWord();
      added.cfgChecksum = reader.readWord();
      reader.readString(added.name);
      added.artificial = reader.readWord() != 0;
      std::string file;
      added.source = sources.find(reader.readString(file) ? file : "<unknown>");
      added.startLine = reader.readWord();
      reader.readWord();  // start column
      added.endLine = reader.readWord();
      notes.functionByIdent[added.ident] = notes.functions.size() - 1;
      function = &added;
      currentTag = record.tag;
    } else if (function && record.tag == tagBlocks) {
      readBlocks(reader, *function, blockBudget);
    } else if (function && record.tag == tagArcs) {
      readArcs(reader, record, *function);
    } else if (function && record.tag == tagLines) {
      readLines(reader, record, *function, sources);
    } else if (currentTag && !isSubtag(currentTag, record.tag)) {
      function = nullptr;
      currentTag = 0;
    }
    if (reader.position() > record.start + record.length)
      WordReader::fail("corrupt: a record holds more than its length");
    reader.moveTo(record.start + record.length);
  }
  // gcov reckons with the lines of each location in ascending order.
  for (NotesFunction &each : notes.functions)
    for (NotesBlock &block : each.blocks)
      for (BlockLocation &location : block.locations) std::ranges::sort(location.lines);
  return notes;
}

std::vector<std::vector<std::int64_t>> parseCounters(std::string_view bytes,
                                                     const UnitNotes &notes) {
  WordReader reader(bytes);
  if (!reader.readMagic(countersMagic)) WordReader::fail("not a .gcda counters file");
  const std::uint32_t version = reader.readWord();
  if (version != notes.version)
    WordReader::fail("version '" + versionText(version) + "' differs from the notes' '" +
                     versionText(notes.version) + "'");
  if (reader.readWord() != notes.stamp) WordReader::fail("stamp mismatch with notes file");
  reader.readWord();  // checksum
  std::vector<std::vector<std::int64_t>> counters(notes.functions.size());
  for (std::size_t i = 0; i < counters.size(); ++i)
    counters[i].assign(notes.functions[i].counterCount, 0);
  const NotesFunction *function = nullptr;
  std::vector<std::int64_t> *counts = nullptr;
  Record record;
  while (nextRecord(reader, record)) {
    const std::int32_t signedLength = static_cast<std::int32_t>(record.length);
    checkLength(reader, signedLength);
    if (record.tag == tagFunction && record.length == functionRecordLength) {
      const auto found = notes.functionByIdent.find(reader.readWord());
      function = nullptr;
      counts = nullptr;
      if (found != notes.functionByIdent.end()) {
        function = &notes.functions[found->second];
        counts = &counters[found->second];
        if (reader.readWord() != function->linenoChecksum ||
            reader.readWord() != function->cfgChecksum)
          WordReader::fail("profile mismatch for '" + function->name + "'");
      }
    } else if (record.tag == tagArcCounters && function) {
      const std::uint64_t length = signedLength < 0 ? -std::int64_t{signedLength} : signedLength;
      if (length != counts->size() * 8)
        WordReader::fail("profile mismatch for '" + function->name + "'");
      // A negative length: counters that are all zero, not written.
      if (signedLength > 0)
        for (std::int64_t &count : *counts) count = wrappingSum(count, reader.readCounter());
    }
    const std::size_t end = record.start + (signedLength < 0 ? 0 : record.length);
    if (reader.position() > end) WordReader::fail("corrupt: a record holds more than its length");
    reader.moveTo(end);
  }
  return counters;
}

}  // namespace zorvane::gcov
