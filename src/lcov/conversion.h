#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "tio/fingerprint.h"
#include "tio/source_keys.h"
#include "tio/tio_encoding.h"

namespace zorvane::lcov {

// Orders the fields of tracefiles as people count: texts made only of digits
// are numbers and come first, in numeric order ("2" before "10", "01" equal
// to "1"); other texts follow in byte order.
struct NaturalOrder {
  bool operator()(std::string_view left, std::string_view right) const;
};

// A branch as a BRDA line names it within its line: its block and branch
// fields, as text ("0" and "1", "e0" for an exception block, or an
// expression such as "jump to line 12").
struct BranchName {
  std::string block;
  std::string branch;
};

struct BranchNameOrder {
  bool operator()(const BranchName &left, const BranchName &right) const;
};

// One source file (SF) of the conversion, with everything that any of the
// tracefiles declares in it, reached or not.
class SourceFile {
 public:
  SourceFile(std::string path, std::uint32_t key) : path_(std::move(path)), key_(key) {}

  const std::string &path() const { return path_; }
  std::uint32_t key() const { return key_; }

  // Records that a record of `tracefile` names exactly these branches on
  // `line`. Every record of one build names the same ones; throws
  // ConversionError, naming both tracefiles, when an earlier record named
  // others (its branch numbers would name other branches), or when the
  // line would hold more than maxIndexesPerLine.
  void declareBranches(std::uint32_t line, const std::set<BranchName, BranchNameOrder> &branches,
                       const std::string &tracefile);
  // Records that `function` starts on `line`. Throws ConversionError when it
  // was declared on another line, or the line would start more than
  // maxIndexesPerLine functions.
  void declareFunction(const std::string &function, std::uint32_t line);
  bool isDeclared(const std::string &function) const;

  // The index of a declared branch: its rank among the branches of its
  // line. It depends only on the set of branches of the line, which every
  // tracefile of one build lists in full, so separate conversions agree.
  std::uint16_t branchIndex(std::uint32_t line, const BranchName &branch) const;
  // The line of a declared function, and its index: its rank by name among
  // the functions that start on that line.
  std::uint32_t functionLine(const std::string &function) const;
  std::uint16_t functionIndex(const std::string &function) const;

  // Adds the branches and functions of every line to `fingerprint`.
  void addStructure(tio::Fingerprint &fingerprint) const;

 private:
  std::string path_;
  std::uint32_t key_;
  std::map<std::uint32_t, std::set<BranchName, BranchNameOrder>> branchesByLine_;
  // The tracefile that first named the branches of each line.
  std::map<std::uint32_t, std::string> branchOrigins_;
  std::map<std::string, std::uint32_t> functionLines_;
  std::map<std::uint32_t, std::set<std::string>> functionsByLine_;
};

// What one test reached in one source file.
struct SourceHits {
  std::set<std::uint32_t> lines;
  std::map<std::uint32_t, std::set<BranchName, BranchNameOrder>> branches;
  std::set<std::string> functions;
};

// One test: a test name (TN) within one tracefile.
struct TraceTest {
  std::string name;
  // The tracefile it comes from, as given on the command line.
  std::string tracefile;
  // By index of the source file in the conversion.
  std::map<std::size_t, SourceHits> hits;
};

// Everything read from the tracefiles of one conversion: source files in
// the order they first appear, tests in the order they first appear.
class Conversion {
 public:
  // Source paths under `baseDirectory` are keyed by their path relative to
  // it, so that checkouts in different places give the same keys.
  explicit Conversion(std::string baseDirectory = {});

  // The base directory with a trailing '/', or empty.
  const std::string &baseDirectory() const { return keys_.root(); }
  // Whether some source path lay below the base directory.
  bool baseDirectoryWasUsed() const { return keys_.rootWasUsed(); }

  // The index of the source file at `path`, added when new. Throws
  // ConversionError when its key is already another source file's: merging
  // the two would mix their coverage.
  std::size_t sourceIndex(std::string_view path);

  // The index of the test `name` of `tracefile`, added when new.
  std::size_t testIndex(const std::string &tracefile, const std::string &name);

  // Forgets the tests, once they are written; the source files stay.
  void clearTests();

  // A hash of the branches and functions that the tracefiles declare on
  // each line of each source file: the shape of the build they come from.
  std::uint64_t fingerprint() const;

  SourceFile &source(std::size_t index) { return sources_[index]; }
  TraceTest &test(std::size_t index) { return tests_[index]; }
  const std::vector<SourceFile> &sources() const { return sources_; }
  const std::vector<TraceTest> &tests() const { return tests_; }

 private:
  tio::SourceKeys keys_;
  std::vector<SourceFile> sources_;
  std::unordered_map<std::string, std::size_t> sourceByPath_;
  std::vector<TraceTest> tests_;
  std::map<std::pair<std::string, std::string>, std::size_t> testByOrigin_;
};

}  // namespace zorvane::lcov
