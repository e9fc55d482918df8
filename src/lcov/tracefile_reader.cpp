#include "lcov/tracefile_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string_view>
#include <vector>

#include "tio/conversion_error.h"
#include "tio/tio_writing.h"

namespace zorvane::lcov {

using tio::ConversionError;
using tio::isWritableTestName;

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The text before the first comma of `fields`, which is left with what
// follows that comma; nullopt when there is no comma.
std::optional<std::string_view> takeField(std::string_view &fields) {
  const std::size_t comma = fields.find(',');
  if (comma == std::string_view::npos) return std::nullopt;
  const std::string_view field = fields.substr(0, comma);
  fields.remove_prefix(comma + 1);
  return field;
}

// A line number becomes a 32-bit DC key.
std::uint32_t parseLineNumber(std::string_view text) {
  std::uint64_t value = 0;
  bool valid = !text.empty();
  for (std::size_t i = 0; valid && i < text.size(); ++i)
    valid = isDigit(text[i]) &&
            (value = value * 10 + static_cast<unsigned>(text[i] - '0')) <= UINT32_MAX;
  if (!valid) throw ConversionError("bad line number \"" + std::string(text) + "\"");
  return static_cast<std::uint32_t>(value);
}

// Whether an execution count says "reached": above 0. Counts may be negative
// (gcov's faulty counters) and of any length.
bool isReached(std::string_view count) {
  std::string_view digits = count;
  const bool negative = digits.starts_with('-');
  if (negative) digits.remove_prefix(1);
  if (digits.empty() || !std::ranges::all_of(digits, isDigit))
    throw ConversionError("bad execution count \"" + std::string(count) + "\"");
  return !negative && digits.find_first_not_of('0') != std::string_view::npos;
}

// A test name must read back whole from its NT line: no control character,
// and a double quote only where the bare form keeps the name whole.
void checkTestName(const std::string &name) {
  const bool control =
      std::ranges::any_of(name, [](unsigned char c) { return c < 0x20 || c == 0x7F; });
  if (control || !isWritableTestName(name))
    throw ConversionError("test name \"" + name +
                          "\" cannot be written to a .tio file: it holds a control character, "
                          "or a double quote and starts with a blank or a double quote");
}

struct PendingCall {
  std::string function;
  std::uint64_t lineNumber;
  bool reached;
};

// The SF record being read.
struct Record {
  std::size_t source;
  std::size_t test;
  std::uint64_t startLine;
  // FNDA lines may come before the FN line of their function.
  std::vector<PendingCall> calls;
  // The branches it names on each line.
  std::map<std::uint32_t, std::set<BranchName, BranchNameOrder>> branches;
  // FNL indexes and the lines they stand for.
  std::map<std::string, std::uint32_t, NaturalOrder> functionLines;
};

class TracefileReader {
 public:
  TracefileReader(const std::string &tracefile, Conversion &conversion, TracefilePass pass)
      : tracefile_(tracefile),
        conversion_(conversion),
        declares_(pass != TracefilePass::Tests),
        readsTests_(pass != TracefilePass::Declarations) {}

  void readLine(std::string_view line, std::uint64_t lineNumber);
  void finish();

 private:
  Record &record(std::string_view what);
  void startRecord(std::string_view path, std::uint64_t lineNumber);
  void endRecord();
  void readLineCoverage(std::string_view fields);
  void readBranch(std::string_view fields);
  void readFunction(std::string_view fields);
  void readFunctionCall(std::string_view fields, std::uint64_t lineNumber);
  void readFunctionLine(std::string_view fields);
  void readFunctionAlias(std::string_view fields, std::uint64_t lineNumber);
  SourceHits &hits();

  const std::string &tracefile_;
  Conversion &conversion_;
  const bool declares_;
  const bool readsTests_;
  std::string testName_;
  std::optional<Record> record_;
  bool sawRecord_ = false;
};

void TracefileReader::readLine(std::string_view line, std::uint64_t lineNumber) {
  if (line.ends_with('\r')) line.remove_suffix(1);
  if (line.find_first_not_of(" \t") == std::string_view::npos) return;
  if (line == "end_of_record") {
    endRecord();
    return;
  }
  const std::size_t colon = line.find(':');
  const std::string_view kind = line.substr(0, colon);
  if (colon == std::string_view::npos || kind.empty() ||
      !std::ranges::all_of(kind, [](char c) { return c >= 'A' && c <= 'Z'; }))
    throw ConversionError("not an LCOV line: \"" + std::string(line) + "\"");
  const std::string_view value = line.substr(colon + 1);
  if (kind == "TN") {
    if (record_)
      throw ConversionError("TN line inside the record that starts on line " +
                            std::to_string(record_->startLine) + " (end_of_record missing)");
    testName_ = value;
    if (!testName_.empty()) checkTestName(testName_);
  } else if (kind == "SF") {
    startRecord(value, lineNumber);
  } else if (kind == "DA") {
    readLineCoverage(value);
  } else if (kind == "BRDA") {
    readBranch(value);
  } else if (kind == "FN") {
    readFunction(value);
  } else if (kind == "FNDA") {
    readFunctionCall(value, lineNumber);
  } else if (kind == "FNL") {
    readFunctionLine(value);
  } else if (kind == "FNA") {
    readFunctionAlias(value, lineNumber);
  }
  // Other kinds are summaries (LF, LH, BRF, BRH, FNF, FNH), the format
  // version (VER) or records this conversion has no use for.
}

void TracefileReader::finish() {
  if (record_) {
    const std::uint64_t start = record_->startLine;
    throw ConversionError(
        "the file ends inside the record that starts here (end_of_record "
        "missing)",
        tracefile_, start);
  }
  if (!sawRecord_) throw ConversionError("no coverage record (SF line) in this file", tracefile_);
}

Record &TracefileReader::record(std::string_view what) {
  if (!record_)
    throw ConversionError(std::string(what) + " line outside a record (SF line missing)");
  return *record_;
}

SourceHits &TracefileReader::hits() {
  return conversion_.test(record_->test).hits[record_->source];
}

void TracefileReader::startRecord(std::string_view path, std::uint64_t lineNumber) {
  if (record_)
    throw ConversionError("SF line inside the record that starts on line " +
                          std::to_string(record_->startLine) + " (end_of_record missing)");
  if (path.empty()) throw ConversionError("SF line without a path");
  const std::string testName = testName_.empty() ? tracefile_ : testName_;
  checkTestName(testName);
  record_ = Record{conversion_.sourceIndex(path),
                   readsTests_ ? conversion_.testIndex(tracefile_, testName) : 0,
                   lineNumber,
                   {},
                   {},
                   {}};
  sawRecord_ = true;
}

void TracefileReader::endRecord() {
  Record &current = record("end_of_record");
  SourceFile &source = conversion_.source(current.source);
  for (const PendingCall &call : current.calls) {
    if (!source.isDeclared(call.function))
      throw ConversionError(
          "FNDA line for function " + call.function + ", which no FN line of this record declares",
          tracefile_, call.lineNumber);
    if (call.reached && readsTests_) hits().functions.insert(call.function);
  }
  if (declares_)
    for (const auto &[line, branches] : current.branches)
      source.declareBranches(line, branches, tracefile_);
  record_.reset();
}

// DA:<line>,<count>[,<checksum>]
void TracefileReader::readLineCoverage(std::string_view fields) {
  record("DA");
  const auto line = takeField(fields);
  if (!line) throw ConversionError("DA line without an execution count");
  const std::uint32_t number = parseLineNumber(*line);
  const std::string_view count = takeField(fields).value_or(fields);
  if (isReached(count) && readsTests_) hits().lines.insert(number);
}

// BRDA:<line>,<block>,<branch>,<taken>; the branch may hold commas, the
// count ("-": never run) follows the last one.
void TracefileReader::readBranch(std::string_view fields) {
  record("BRDA");
  const std::size_t afterLine = fields.find(',');
  const std::size_t afterBlock = fields.find(',', afterLine + 1);
  const std::size_t beforeCount = fields.rfind(',');
  if (afterLine == std::string_view::npos || afterBlock == std::string_view::npos ||
      afterBlock == afterLine + 1 || beforeCount <= afterBlock + 1)
    throw ConversionError("BRDA line needs a line, a block, a branch and a count");
  const std::uint32_t line = parseLineNumber(fields.substr(0, afterLine));
  const BranchName branch{std::string(fields.substr(afterLine + 1, afterBlock - afterLine - 1)),
                          std::string(fields.substr(afterBlock + 1, beforeCount - afterBlock - 1))};
  const std::string_view taken = fields.substr(beforeCount + 1);
  record_->branches[line].insert(branch);
  if (taken != "-" && isReached(taken) && readsTests_) hits().branches[line].insert(branch);
}

// FN:<line>,<name> or FN:<line>,<end line>,<name>
void TracefileReader::readFunction(std::string_view fields) {
  record("FN");
  const auto line = takeField(fields);
  if (!line) throw ConversionError("FN line without a function name");
  const std::uint32_t number = parseLineNumber(*line);
  std::string_view rest = fields;
  if (const auto end = takeField(rest); end && !end->empty() && std::ranges::all_of(*end, isDigit))
    fields = rest;
  if (fields.empty()) throw ConversionError("FN line without a function name");
  conversion_.source(record_->source).declareFunction(std::string(fields), number);
}

// FNDA:<count>,<name>
void TracefileReader::readFunctionCall(std::string_view fields, std::uint64_t lineNumber) {
  record("FNDA");
  const auto count = takeField(fields);
  if (!count || fields.empty()) throw ConversionError("FNDA line needs a count and a name");
  record_->calls.push_back({std::string(fields), lineNumber, isReached(*count)});
}

// FNL:<index>,<line>[,<end line>]
void TracefileReader::readFunctionLine(std::string_view fields) {
  record("FNL");
  const auto index = takeField(fields);
  if (!index || index->empty()) throw ConversionError("FNL line needs an index and a line");
  const std::string_view line = takeField(fields).value_or(fields);
  record_->functionLines[std::string(*index)] = parseLineNumber(line);
}

// FNA:<index>,<count>,<name>
void TracefileReader::readFunctionAlias(std::string_view fields, std::uint64_t lineNumber) {
  record("FNA");
  const auto index = takeField(fields);
  const auto count = index ? takeField(fields) : std::nullopt;
  if (!count || fields.empty())
    throw ConversionError("FNA line needs an index, a count and a name");
  const auto line = record_->functionLines.find(std::string(*index));
  if (line == record_->functionLines.end())
    throw ConversionError("FNA line for index " + std::string(*index) +
                          ", which no FNL line of this record declares");
  const std::string function(fields);
  conversion_.source(record_->source).declareFunction(function, line->second);
  record_->calls.push_back({function, lineNumber, isReached(*count)});
}

}  // namespace

void readTracefile(std::istream &input, const std::string &tracefile, Conversion &conversion,
                   TracefilePass pass) {
  TracefileReader reader(tracefile, conversion, pass);
  std::string line;
  std::uint64_t lineNumber = 0;
  while (std::getline(input, line)) {
    ++lineNumber;
    try {
      reader.readLine(line, lineNumber);
    } catch (const ConversionError &error) {
      if (!error.file().empty()) throw;
      throw ConversionError(error.what(), tracefile, lineNumber);
    }
  }
  if (input.bad()) throw ConversionError("read error", tracefile);
  reader.finish();
}

void readTracefileAt(const std::string &path, Conversion &conversion, TracefilePass pass) {
  // A directory opens as a stream that reads nothing.
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored))
    throw ConversionError("cannot open: " + std::string(std::strerror(EISDIR)), path);
  std::ifstream input(path, std::ios::binary);
  if (!input) throw ConversionError("cannot open: " + std::string(std::strerror(errno)), path);
  readTracefile(input, path, conversion, pass);
}

}  // namespace zorvane::lcov
