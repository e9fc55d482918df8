#include "lcov/tio_writer.h"

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "lcov/tio_encoding.h"

namespace {

// What one test reached on one line, as indexes of kinds L, B and F.
struct LineEntries {
  bool lineRan = false;
  std::vector<std::uint16_t> branches;
  std::vector<std::uint16_t> functions;
};

void put(std::FILE *out, std::string_view text) { std::fwrite(text.data(), 1, text.size(), out); }

void putKeyLine(std::FILE *out, std::string_view keyword, std::uint32_t value) {
  put(out, keyword);
  put(out, " ");
  put(out, formatTioNumber(value));
  put(out, "\n");
}

// Paths may hold any byte; in a comment or DT line a newline would end the
// line early, so control bytes become '?'.
std::string printable(std::string_view text) {
  std::string result(text);
  for (char &c : result)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return result;
}

std::map<std::uint32_t, LineEntries> entriesByLine(const SourceFile &source,
                                                   const SourceHits &hits) {
  // Sets iterate in rank order, so each line's indexes come out ascending.
  std::map<std::uint32_t, LineEntries> entries;
  for (std::uint32_t line : hits.lines) entries[line].lineRan = true;
  for (const auto &[line, branches] : hits.branches)
    for (const BranchName &branch : branches)
      entries[line].branches.push_back(source.branchIndex(line, branch));
  for (const std::string &function : hits.functions)
    entries[source.functionLine(function)].functions.push_back(source.functionIndex(function));
  return entries;
}

void writeSourceHits(std::FILE *out, const SourceFile &source, const SourceHits &hits) {
  const auto entries = entriesByLine(source, hits);
  if (entries.empty()) return;
  putKeyLine(out, "FT", source.key());
  for (const auto &[line, entry] : entries) {
    putKeyLine(out, "DC", line);
    if (entry.lineRan) putKeyLine(out, "TL", 0);
    for (std::uint16_t index : entry.branches) putKeyLine(out, "TB", index);
    for (std::uint16_t index : entry.functions) putKeyLine(out, "TF", index);
  }
}

}  // namespace

void writeTio(const Conversion &conversion, std::FILE *out) {
  put(out,
      "# Converted from LCOV tracefiles by zorvane-lcov.\n"
      "# FT: source file, DC: line number; TL 0: the line ran, TB n: branch n of\n"
      "# the line was taken, TF n: function n starting on the line was called.\n");
  for (const SourceFile &source : conversion.sources()) {
    put(out, "# FT " + formatTioNumber(source.key()) + " is ");
    put(out, printable(source.path()));
    put(out, "\n");
  }
  for (const TraceTest &test : conversion.tests()) {
    put(out, "NT \"" + test.name + "\"\n");
    put(out, "DT tracefile " + printable(test.tracefile) + "\n");
    for (const auto &[sourceIndex, hits] : test.hits)
      writeSourceHits(out, conversion.sources()[sourceIndex], hits);
  }
}
