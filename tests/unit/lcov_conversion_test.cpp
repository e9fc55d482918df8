#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "coverage/coverage_reader.h"
#include "lcov/conversion.h"
#include "lcov/tio_writer.h"
#include "lcov/tracefile_reader.h"
#include "tio/conversion_error.h"
#include "tio/tio_encoding.h"

using namespace zorvane::lcov;
using namespace zorvane::tio;

using namespace zorvane;
using namespace zorvane::coverage;

namespace {

void read(Conversion &conversion, const std::string &text, const std::string &name = "t.info",
          TracefilePass pass = TracefilePass::Both) {
  std::istringstream input(text);
  readTracefile(input, name, conversion, pass);
}

// The message of the error that reading `text` as t.info raises, as
// "line: message".
std::string errorOf(const std::string &text) {
  Conversion conversion;
  try {
    read(conversion, text);
  } catch (const ConversionError &error) {
    EXPECT_EQ(error.file(), "t.info");
    return std::to_string(error.line()) + ": " + error.what();
  }
  return "no error";
}

std::string tioOf(const Conversion &conversion) {
  char *buffer = nullptr;
  std::size_t size = 0;
  std::FILE *out = open_memstream(&buffer, &size);
  writeTio(conversion, out);
  std::fclose(out);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

// The lines of a .tio text that are not comments.
std::string bodyOf(const std::string &tio) {
  std::istringstream lines(tio);
  std::string body;
  for (std::string line; std::getline(lines, line);)
    if (!line.starts_with('#')) body += line + "\n";
  return body;
}

}  // namespace

TEST(TioEncoding, NumbersAreWrittenLeastSignificantDigitFirst) {
  EXPECT_EQ(formatTioNumber(0), "0");
  EXPECT_EQ(formatTioNumber(0x1C), "C1");
  EXPECT_EQ(formatTioNumber(0x10), "01");
  EXPECT_EQ(formatTioNumber(0x87654321), "12345678");
  EXPECT_EQ(formatTioNumber(0xFFFFFFFF), "FFFFFFFF");
}

TEST(TioEncoding, TheToolReadsBackEveryNumberWritten) {
  for (std::uint32_t value :
       {0u, 1u, 0xAu, 0x10u, 0xA1u, 0xFFFFu, 0x10000u, 0x80000000u, 0xDEADBEEFu, 0xFFFFFFFFu})
    EXPECT_EQ(parseHexaValue(formatTioNumber(value) + "\n", 1), value) << value;
}

TEST(TioEncoding, SourceKeysAreFixedHashesOfThePath) {
  // Files converted by other versions must keep merging: these never change.
  EXPECT_EQ(sourceFileKey(""), 0x811C9DC5u);
  EXPECT_EQ(sourceFileKey("a"), 0xE40C292Cu);
  EXPECT_EQ(sourceFileKey("src/file998679.c"), 0x152DEF27u);
  EXPECT_NE(sourceFileKey("src/a.c"), sourceFileKey("src/b.c"));
}

TEST(NaturalOrder, NumbersFirstInNumericOrderThenTexts) {
  const NaturalOrder less;
  EXPECT_TRUE(less("2", "10"));
  EXPECT_FALSE(less("10", "2"));
  EXPECT_FALSE(less("01", "1"));
  EXPECT_FALSE(less("1", "01"));
  EXPECT_TRUE(less("99", "e0"));
  EXPECT_TRUE(less("e0", "e1"));
  EXPECT_TRUE(less("jump to line 12", "jump to line 9"));
}

TEST(Conversion, BaseDirectoryIsTakenOffThePathsBelowIt) {
  for (const std::string base : {"/w", "/w/", "/w//"}) {
    Conversion conversion(base);
    EXPECT_EQ(conversion.sources()[conversion.sourceIndex("/w/src/a.c")].path(), "src/a.c");
    EXPECT_EQ(conversion.sources()[conversion.sourceIndex("/wx/a.c")].path(), "/wx/a.c");
    EXPECT_EQ(conversion.sources()[conversion.sourceIndex("/w/")].path(), "/w/");
    EXPECT_EQ(conversion.sources()[conversion.sourceIndex("rel/a.c")].path(), "rel/a.c");
  }
  Conversion root("/");
  EXPECT_EQ(root.sources()[root.sourceIndex("/usr/a.c")].path(), "usr/a.c");
}

TEST(Conversion, SamePathIsOneSourceFileWhereverItIsMet) {
  Conversion conversion("/w");
  const std::size_t first = conversion.sourceIndex("/w/a.c");
  EXPECT_EQ(conversion.sourceIndex("a.c"), first);
  EXPECT_EQ(conversion.sourceIndex("/w/a.c"), first);
  EXPECT_EQ(conversion.sources()[first].key(), sourceFileKey("a.c"));
  EXPECT_EQ(conversion.sources().size(), 1u);
}

TEST(Conversion, TwoPathsWithOneKeyAreAnError) {
  Conversion conversion;
  conversion.sourceIndex("src/file998679.c");
  try {
    conversion.sourceIndex("src/file1303852.c");
    ADD_FAILURE() << "a key collision was merged";
  } catch (const ConversionError &error) {
    EXPECT_EQ(std::string(error.what()),
              "source files src/file998679.c and src/file1303852.c have the same key 72FED251: "
              "their coverage would be mixed (another --base keys them apart)");
  }
}

TEST(TracefileReader, EachTestNameIsOneTestAcrossItsRecords) {
  // lcov repeats the test name before the record of each source file.
  Conversion conversion;
  read(conversion,
       "TN:unit\nSF:/s/a.c\nDA:1,1\nend_of_record\n"
       "TN:cli\nSF:/s/a.c\nDA:2,3\nend_of_record\n"
       "TN:unit\nSF:/s/b.c\nDA:5,1\nend_of_record\n");
  read(conversion, "TN:unit\nSF:/s/a.c\nDA:9,1\nend_of_record\n", "other.info");
  ASSERT_EQ(conversion.tests().size(), 3u);
  EXPECT_EQ(conversion.tests()[0].name, "unit");
  EXPECT_EQ(conversion.tests()[0].hits.size(), 2u);
  EXPECT_EQ(conversion.tests()[1].name, "cli");
  // The same name in another tracefile is another test.
  EXPECT_EQ(conversion.tests()[2].name, "unit");
  EXPECT_EQ(conversion.tests()[2].tracefile, "other.info");
}

TEST(TracefileReader, RecordsWithoutTestNameAreOneTestNamedAfterTheFile) {
  Conversion conversion;
  read(conversion,
       "SF:/s/a.c\nDA:1,1\nend_of_record\nTN:\nSF:/s/b.c\nDA:1,1\nend_of_record\n"
       "TN:named\nSF:/s/b.c\nDA:2,1\nend_of_record\n",
       "dir/run.info");
  ASSERT_EQ(conversion.tests().size(), 2u);
  EXPECT_EQ(conversion.tests()[0].name, "dir/run.info");
  EXPECT_EQ(conversion.tests()[0].hits.size(), 2u);
  EXPECT_EQ(conversion.tests()[1].name, "named");
}

TEST(TracefileReader, WritesOnlyWhatWasReachedKeyedByLineAndRank) {
  Conversion conversion("/s");
  read(conversion,
       "TN:t\nSF:/s/a.c\n"
       "FN:3,main\nFN:3,lambda\nFN:8,unused\nFNDA:1,main\nFNDA:0,unused\nFNDA:2,lambda\n"
       "DA:3,1\nDA:4,0\nDA:5,-1\nDA:8,0\nDA:26,12345678901234567890123\n"
       "BRDA:4,0,1,0\nBRDA:4,0,0,-\nBRDA:26,0,10,1\nBRDA:26,0,2,1\nBRDA:26,0,1,0\n"
       "LF:4\nLH:2\nBRF:5\nBRH:2\nend_of_record\n");
  EXPECT_EQ(tioOf(conversion),
            "# Converted from LCOV tracefiles by zorvane-lcov.\n"
            "# FT: source file, DC: line number; TL 0: the line ran, TB n: branch n of\n"
            "# the line was taken, TF n: function n starting on the line was called.\n"
            "# Build fingerprint: f3299653db232790\n"
            "# Source paths keyed relative to /s/\n"
            "# FT F96FB811 is a.c\n"
            "NT \"t\"\n"
            "DT tracefile t.info\n"
            "FT F96FB811\n"
            "DC 3\nTL 0\nTF 0\nTF 1\n"
            "DC A1\nTL 0\nTB 1\nTB 2\n");
}

TEST(TracefileReader, BranchIndexesDependOnlyOnTheBranchesOfTheLine) {
  // Two captures of one build list the same branches in another order and
  // take different ones; converted separately they still agree on indexes.
  Conversion first, second;
  read(first, "SF:a.c\nBRDA:7,0,0,1\nBRDA:7,0,1,0\nBRDA:7,1,0,0\nBRDA:7,1,1,1\nend_of_record\n");
  read(second, "SF:a.c\nBRDA:7,1,1,0\nBRDA:7,1,0,1\nBRDA:7,0,1,1\nBRDA:7,0,0,0\nend_of_record\n");
  EXPECT_EQ(bodyOf(tioOf(first)),
            "NT \"t.info\"\nDT tracefile t.info\nFT F96FB811\nDC 7\nTB 0\nTB 3\n");
  EXPECT_EQ(bodyOf(tioOf(second)),
            "NT \"t.info\"\nDT tracefile t.info\nFT F96FB811\nDC 7\nTB 1\nTB 2\n");
}

TEST(TracefileReader, ReadsTheFormsOfNewerLcov) {
  // FN with an end line, FNL/FNA, exception blocks, branch expressions with
  // commas, DA checksums, carriage returns, blank lines, unknown records.
  Conversion conversion;
  read(conversion,
       "VER:2\r\nTN:t\r\nSF:a.c\r\nFN:4,9,f(int, char)\r\nFNDA:1,f(int, char)\r\n"
       "FNL:0,12,15\r\nFNA:0,1,g\r\nFNL:1,12\r\nFNA:1,0,h\r\n"
       "\r\n  \r\nMCDC:4,2,t,1,0,a\r\n"
       "DA:4,1,abcdef==\r\nBRDA:4,e0,0,1\r\nBRDA:4,0,x > 1, y,1\r\nBRDA:4,0,0,0\r\n"
       "end_of_record\r\n");
  EXPECT_EQ(bodyOf(tioOf(conversion)),
            "NT \"t\"\nDT tracefile t.info\nFT F96FB811\n"
            "DC 4\nTL 0\nTB 1\nTB 2\nTF 0\nDC C\nTF 0\n");
}

TEST(TracefileReader, CallsMayComeBeforeTheDeclarationInTheirRecord) {
  Conversion conversion;
  read(conversion, "SF:a.c\nFNDA:1,f\nFN:2,f\nend_of_record\n");
  EXPECT_EQ(bodyOf(tioOf(conversion)),
            "NT \"t.info\"\nDT tracefile t.info\nFT F96FB811\nDC 2\nTF 0\n");
}

TEST(TracefileReader, MalformedLinesAreReportedWithTheirLine) {
  EXPECT_EQ(errorOf("SF:a.c\nDA:1,1\n# note\nend_of_record\n"), "3: not an LCOV line: \"# note\"");
  EXPECT_EQ(errorOf("SF:a.c\nDA:1\nend_of_record\n"), "2: DA line without an execution count");
  EXPECT_EQ(errorOf("SF:a.c\nDA:-1,1\nend_of_record\n"), "2: bad line number \"-1\"");
  EXPECT_EQ(errorOf("SF:a.c\nDA:4294967296,1\nend_of_record\n"),
            "2: bad line number \"4294967296\"");
  EXPECT_EQ(errorOf("SF:a.c\nDA:4294967295,1\nDA:2,1.5\nend_of_record\n"),
            "3: bad execution count \"1.5\"");
  EXPECT_EQ(errorOf("SF:a.c\nBRDA:2,0,1\nend_of_record\n"),
            "2: BRDA line needs a line, a block, a branch and a count");
  EXPECT_EQ(errorOf("SF:a.c\nBRDA:2,,1,1\nend_of_record\n"),
            "2: BRDA line needs a line, a block, a branch and a count");
  EXPECT_EQ(errorOf("SF:a.c\nFN:2\nend_of_record\n"), "2: FN line without a function name");
  EXPECT_EQ(errorOf("SF:a.c\nFNA:0,1,g\nend_of_record\n"),
            "2: FNA line for index 0, which no FNL line of this record declares");
  EXPECT_EQ(errorOf("SF:\n"), "1: SF line without a path");
}

TEST(TracefileReader, RecordStructureIsChecked) {
  EXPECT_EQ(errorOf("TN:t\nDA:1,1\n"), "2: DA line outside a record (SF line missing)");
  EXPECT_EQ(errorOf("SF:a.c\nend_of_record\nend_of_record\n"),
            "3: end_of_record line outside a record (SF line missing)");
  EXPECT_EQ(errorOf("SF:a.c\nDA:1,1\nSF:b.c\n"),
            "3: SF line inside the record that starts on line 1 (end_of_record missing)");
  EXPECT_EQ(errorOf("SF:a.c\nTN:x\n"),
            "2: TN line inside the record that starts on line 1 (end_of_record missing)");
  // A truncated capture is no silent partial result.
  EXPECT_EQ(errorOf("SF:a.c\nend_of_record\nTN:t\nSF:b.c\nDA:1,1\n"),
            "4: the file ends inside the record that starts here (end_of_record missing)");
  EXPECT_EQ(errorOf(""), "0: no coverage record (SF line) in this file");
  EXPECT_EQ(errorOf("TN:only\nLF:0\n"), "0: no coverage record (SF line) in this file");
}

TEST(TracefileReader, FunctionsMustBeDeclaredOnOneLine) {
  EXPECT_EQ(errorOf("SF:a.c\nFNDA:1,f\nFN:2,g\nend_of_record\n"),
            "2: FNDA line for function f, which no FN line of this record declares");
  EXPECT_EQ(errorOf("SF:a.c\nFN:2,f\nFN:3,f\nend_of_record\n"),
            "3: function f of a.c starts on line 2 and on line 3");
  // Declared in an earlier record of the same source is enough.
  EXPECT_EQ(errorOf("SF:a.c\nFN:2,f\nend_of_record\nSF:a.c\nFNDA:1,f\nend_of_record\n"),
            "no error");
}

TEST(TracefileReader, TestNamesMustReadBackWhole) {
  // A double quote is written in the bare form, which reads back whole.
  Conversion quoted;
  read(quoted, "TN:say \"hi\"\nSF:a.c\nDA:1,1\nend_of_record\n");
  EXPECT_EQ(bodyOf(tioOf(quoted)).substr(0, 14), "NT say \"hi\"\nDT");
  EXPECT_EQ(errorOf("TN: \"a\"\nSF:a.c\nend_of_record\n"),
            "1: test name \" \"a\"\" cannot be written to a .tio file: it holds a control "
            "character, or a double quote and starts with a blank or a double quote");
  EXPECT_EQ(errorOf(std::string("TN:a\tb\nSF:a.c\nend_of_record\n")).substr(0, 3), "1: ");
  // A name from the file's path is checked where it is first needed.
  Conversion conversion;
  std::istringstream input("SF:a.c\nend_of_record\n");
  try {
    readTracefile(input, "odd\x01name.info", conversion);
    ADD_FAILURE() << "a name with a control character was written";
  } catch (const ConversionError &error) {
    EXPECT_EQ(error.line(), 1u);
  }
}

TEST(TracefileReader, ALineHoldsAtMost65536BranchesAndFunctions) {
  std::string text = "SF:a.c\n";
  for (int branch = 0; branch < 65536; ++branch)
    text += "BRDA:1,0," + std::to_string(branch) + ",1\n";
  Conversion conversion;
  read(conversion, text + "end_of_record\n");
  EXPECT_EQ(conversion.sources()[0].branchIndex(1, {"0", "65535"}), 65535);
  EXPECT_EQ(errorOf(text + "BRDA:1,1,0,0\nend_of_record\n"),
            "65539: line 1 of a.c has more than 65536 branches");
}

TEST(TracefileReader, MissingTracefileIsReportedWithItsPath) {
  Conversion conversion;
  try {
    readTracefileAt("/nonexistent/zorvane.info", conversion);
    ADD_FAILURE() << "no error";
  } catch (const ConversionError &error) {
    EXPECT_EQ(error.file(), "/nonexistent/zorvane.info");
    EXPECT_EQ(std::string(error.what()), "cannot open: No such file or directory");
  }
  EXPECT_THROW(readTracefileAt("/", conversion), ConversionError);
}

namespace {

std::string mixErrorOf(const std::string &first, const std::string &second) {
  Conversion conversion;
  try {
    read(conversion, first, "O0.info");
    read(conversion, second, "O2.info");
  } catch (const ConversionError &error) {
    return error.file() + ":" + std::to_string(error.line()) + ": " + error.what();
  }
  return "no error";
}

std::uint64_t fingerprintOf(const std::string &text) {
  Conversion conversion;
  read(conversion, text, "f.info", TracefilePass::Declarations);
  return conversion.fingerprint();
}

}  // namespace

TEST(TracefileReader, TracefilesOfDifferentBuildsAreNotMerged) {
  const std::string twoBranches = "TN:a\nSF:/s/a.c\nBRDA:4,0,0,1\nBRDA:4,0,1,0\nend_of_record\n";
  const std::string fourBranches =
      "TN:b\nSF:/s/a.c\nDA:4,1\nBRDA:4,0,0,1\nBRDA:4,0,1,0\nBRDA:4,0,2,0\nBRDA:4,0,3,0\n"
      "end_of_record\n";
  EXPECT_EQ(mixErrorOf(twoBranches, fourBranches),
            "O2.info:8: line 4 of /s/a.c has 4 branches here but 2 other ones in O0.info: "
            "tracefiles of different builds cannot be merged");
  // The same branches, taken or not, and records without branch data merge.
  EXPECT_EQ(mixErrorOf(twoBranches,
                       "SF:/s/a.c\nBRDA:4,0,1,1\nBRDA:4,0,0,-\nend_of_record\n"
                       "SF:/s/a.c\nDA:4,1\nend_of_record\n"),
            "no error");
}

TEST(TracefileReader, FingerprintIsTheShapeOfTheBuildNotWhatRan) {
  const std::uint64_t ran = fingerprintOf(
      "TN:x\nSF:/s/a.c\nFN:3,f\nFNDA:1,f\nDA:3,1\nBRDA:4,0,0,1\nBRDA:4,0,1,0\nend_of_record\n");
  EXPECT_EQ(ran, fingerprintOf("TN:y\nSF:/s/a.c\nFN:3,f\nFNDA:0,f\nDA:3,0\nBRDA:4,0,1,0\n"
                               "BRDA:4,0,0,0\nend_of_record\n"));
  EXPECT_NE(ran, fingerprintOf("TN:x\nSF:/s/a.c\nFN:3,f\nBRDA:4,0,0,1\nBRDA:4,0,1,0\n"
                               "BRDA:4,0,2,0\nend_of_record\n"));
  EXPECT_NE(ran, fingerprintOf("TN:x\nSF:/s/a.c\nFN:2,f\nBRDA:4,0,0,1\nBRDA:4,0,1,0\n"
                               "end_of_record\n"));
}

TEST(TracefileReader, TestsAreReadAndWrittenOneTracefileAtATime) {
  Conversion conversion("/s");
  const std::string first = "TN:a\nSF:/s/a.c\nFN:1,f\nFN:1,e\nFNDA:1,f\nend_of_record\n";
  // Declares a function on the same line that the first tracefile lacks:
  // every index is fixed by the declarations of all tracefiles before any
  // test is written.
  const std::string second = "TN:b\nSF:/s/a.c\nFN:1,d\nFN:1,e\nFN:1,f\nFNDA:1,d\nend_of_record\n";
  read(conversion, first, "1.info", TracefilePass::Declarations);
  read(conversion, second, "2.info", TracefilePass::Declarations);
  EXPECT_TRUE(conversion.tests().empty());
  read(conversion, first, "1.info", TracefilePass::Tests);
  EXPECT_EQ(bodyOf(tioOf(conversion)), "NT \"a\"\nDT tracefile 1.info\nFT F96FB811\nDC 1\nTF 2\n");
  conversion.clearTests();
  read(conversion, second, "2.info", TracefilePass::Tests);
  EXPECT_EQ(bodyOf(tioOf(conversion)), "NT \"b\"\nDT tracefile 2.info\nFT F96FB811\nDC 1\nTF 0\n");
}

TEST(TracefileReader, NamesKeepTheirBytesAboveAscii) {
  Conversion conversion;
  read(conversion, "TN:caf\xC3\xA9_\xFF\nSF:a.c\nDA:1,1\nend_of_record\n");
  EXPECT_EQ(bodyOf(tioOf(conversion)).substr(0, 13), "NT \"caf\xC3\xA9_\xFF\"\n");
}
