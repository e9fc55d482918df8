#include "lcov/tio_writer.h"

#include <string>

#include "tio/tio_writing.h"

namespace zorvane::lcov {

using tio::FileReach;

using tio::printableText;
using tio::writeFileReach;
using tio::writeFingerprint;
using tio::writeKeyComment;
using tio::writeTestName;

namespace {

FileReach reachOf(const SourceFile &source, const SourceHits &hits) {
  // Sets iterate in rank order, so each line's indexes come out ascending.
  FileReach entries;
  for (std::uint32_t line : hits.lines) entries[line].lineRan = true;
  for (const auto &[line, branches] : hits.branches)
    for (const BranchName &branch : branches)
      entries[line].branches.push_back(source.branchIndex(line, branch));
  for (const std::string &function : hits.functions)
    entries[source.functionLine(function)].functions.push_back(source.functionIndex(function));
  return entries;
}

}  // namespace

void writeTioHeader(const Conversion &conversion, std::FILE *out) {
  std::fputs(
      "# Converted from LCOV tracefiles by zorvane-lcov.\n"
      "# FT: source file, DC: line number; TL 0: the line ran, TB n: branch n of\n"
      "# the line was taken, TF n: function n starting on the line was called.\n",
      out);
  writeFingerprint(out, conversion.fingerprint());
  if (conversion.baseDirectory().empty())
    std::fputs("# Source paths keyed as the tracefiles write them\n", out);
  else
    std::fprintf(out, "# Source paths keyed relative to %s\n",
                 printableText(conversion.baseDirectory()).c_str());
  for (const SourceFile &source : conversion.sources())
    writeKeyComment(out, source.key(), source.path());
}

void writeTests(const Conversion &conversion, std::FILE *out) {
  for (const TraceTest &test : conversion.tests()) {
    writeTestName(out, test.name);
    std::fputs(("DT tracefile " + printableText(test.tracefile) + "\n").c_str(), out);
    for (const auto &[sourceIndex, hits] : test.hits) {
      const SourceFile &source = conversion.sources()[sourceIndex];
      writeFileReach(out, source.key(), reachOf(source, hits));
    }
  }
}

void writeTio(const Conversion &conversion, std::FILE *out) {
  writeTioHeader(conversion, out);
  writeTests(conversion, out);
}

}  // namespace zorvane::lcov
