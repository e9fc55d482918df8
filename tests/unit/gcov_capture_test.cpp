#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "converter_command_line.h"
#include "gcov/build_sources.h"
#include "gcov/capture_options.h"
#include "gcov/gcov_json.h"
#include "gcov/test_capture.h"
#include "gcov/test_list.h"
#include "tio/conversion_error.h"
#include "tio/source_keys.h"
#include "tio/tio_encoding.h"
#include "tio/tio_writing.h"

using namespace zorvane::gcov;
using namespace zorvane::tio;

namespace {

CaptureOptions parse(std::vector<std::string> arguments) {
  return parseConverterCommandLine(parseCaptureOptions, std::move(arguments));
}

std::string usageErrorOf(std::vector<std::string> arguments) {
  return converterUsageErrorOf(parseCaptureOptions, std::move(arguments));
}

std::vector<TestSpec> readList(const std::string &text) {
  std::istringstream input(text);
  return readTestList(input, "suite.list");
}

std::string listErrorOf(const std::string &text) {
  try {
    readList(text);
  } catch (const ConversionError &error) {
    return error.file() + ":" + std::to_string(error.line()) + ": " + error.what();
  }
  return "no error";
}

GcovFile readOneFile(const std::string &json) {
  std::vector<GcovFile> files;
  readGcovReport(json, [&](GcovFile &&file) { files.push_back(std::move(file)); });
  EXPECT_EQ(files.size(), 1u);
  return files.empty() ? GcovFile{} : files.front();
}

template <typename Write>
std::string written(Write write) {
  char *buffer = nullptr;
  std::size_t size = 0;
  std::FILE *out = open_memstream(&buffer, &size);
  write(out);
  std::fclose(out);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

}  // namespace

TEST(CaptureOptions, OptionsInEitherFormThenBuildDirectoryAndList) {
  const CaptureOptions options = parse({"-j", "3", "--root=/src", "--timeout", "2.5",
                                        "--skip-failing", "-o", "out.tio", "build", "tests.list"});
  EXPECT_EQ(options.jobs, 3u);
  EXPECT_EQ(options.root, "/src");
  EXPECT_DOUBLE_EQ(options.timeoutSeconds, 2.5);
  EXPECT_TRUE(options.skipFailing);
  EXPECT_EQ(options.output, "out.tio");
  EXPECT_EQ(options.buildDirectory, "build");
  EXPECT_EQ(options.testList, "tests.list");
  EXPECT_EQ(parse({"--output=o.tio", "--jobs=2", "build", "-"}).testList, "");
  EXPECT_EQ(parse({"-o", "o.tio", "build"}).jobs, 0u);
  EXPECT_EQ(parse({"-o", "o.tio", "--", "-build"}).buildDirectory, "-build");
}

TEST(CaptureOptions, BadCommandLinesAreUsageErrors) {
  EXPECT_EQ(usageErrorOf({"build"}), "no output file (-o FILE)");
  EXPECT_EQ(usageErrorOf({"-o", "o.tio"}), "no build directory");
  EXPECT_EQ(usageErrorOf({"-o", "o.tio", "b", "l", "x"}), "more than one test list: x");
  EXPECT_EQ(usageErrorOf({"-o", "o.tio", "-j", "many", "b"}),
            "option -j needs a number of tests from 1 to 1024, not \"many\"");
  EXPECT_EQ(usageErrorOf({"-o", "o.tio", "--timeout", "-1", "b"}),
            "option --timeout needs a positive number of seconds, not \"-1\"");
  EXPECT_EQ(usageErrorOf({"-o", "o.tio", "--timeout"}), "option --timeout needs a value");
  EXPECT_EQ(usageErrorOf({"-o", "o.tio", "--roots", "b"}), "unknown option --roots");
  EXPECT_EQ(parse({"--help", "--nonsense"}).request, CaptureOptions::Request::Help);
}

TEST(TestList, NameTabCommandSkippingCommentsAndEmptyLines) {
  const auto tests =
      readList("# suite\n\nadd\t./calc add 1 2\r\nweird name \xE9\"x\"\tsh -c 'a\tb'\n");
  ASSERT_EQ(tests.size(), 2u);
  EXPECT_EQ(tests[0].name, "add");
  EXPECT_EQ(tests[0].command, "./calc add 1 2");
  EXPECT_EQ(tests[0].line, 3u);
  EXPECT_EQ(tests[1].name, "weird name \xE9\"x\"");
  EXPECT_EQ(tests[1].command, "sh -c 'a\tb'");
  EXPECT_EQ(tests[1].line, 4u);
}

TEST(TestList, BadLinesAreNamedByLineNumber) {
  EXPECT_EQ(listErrorOf("ok\ttrue\nno tab\n"),
            "suite.list:2: no tab between the test name and its command");
  EXPECT_EQ(listErrorOf("\ttrue\n"), "suite.list:1: empty test name");
  EXPECT_EQ(listErrorOf("a\t  \n"), "suite.list:1: no command for test a");
  EXPECT_EQ(listErrorOf("a\ttrue\nb\ttrue\na\tfalse\n"),
            "suite.list:3: test a is already given on line 1");
  EXPECT_NE(listErrorOf(" \"quoted\"\ttrue\n").find("suite.list:1: test name"), std::string::npos);
  EXPECT_EQ(listErrorOf("# nothing\n\n"), "suite.list:0: no test in this list");
}

TEST(TioWriting, TestNamesReadBackWhole) {
  EXPECT_EQ(written([](std::FILE *out) { writeTestName(out, "a b"); }), "NT \"a b\"\n");
  // The bare form for a name that holds a double quote: the tool reads the
  // whole rest of the line as the name.
  EXPECT_EQ(written([](std::FILE *out) { writeTestName(out, "say \"hi\""); }), "NT say \"hi\"\n");
  EXPECT_TRUE(isWritableTestName("\xC3\xA9t\xC3\xA9"));
  EXPECT_TRUE(isWritableTestName(" leading blank"));
  EXPECT_FALSE(isWritableTestName(" \"leading blank\""));
  EXPECT_FALSE(isWritableTestName("\"quoted\" then more"));
  EXPECT_FALSE(isWritableTestName("two\nlines"));
  EXPECT_FALSE(isWritableTestName(std::string("nul\0byte", 8)));
}

TEST(SourceKeys, PathsBelowTheRootAreKeyedRelativeToIt) {
  SourceKeys keys("/work/src/");
  EXPECT_EQ(keys.root(), "/work/src/");
  EXPECT_EQ(keys.keyedPath("/usr/include/stdio.h"), "/usr/include/stdio.h");
  EXPECT_FALSE(keys.rootWasUsed());
  EXPECT_EQ(keys.keyedPath("/work/src-old/a.c"), "/work/src-old/a.c");
  EXPECT_EQ(keys.keyedPath("/work/src/lib/a.c"), "lib/a.c");
  EXPECT_TRUE(keys.rootWasUsed());
  EXPECT_EQ(keys.keyOf("lib/a.c"), sourceFileKey("lib/a.c"));
  EXPECT_EQ(SourceKeys("/").keyedPath("/a.c"), "a.c");
}

TEST(GcovJson, ReadsFilesFunctionsLinesAndBranches) {
  const GcovFile file = readOneFile(
      R"({"format_version":"1","current_working_directory":"/b/build","files":[{"file":)"
      R"("../src/./x.c","functions":[{"name":"f","start_line":3,"execution_count":2},)"
      R"({"name":"g","start_line":9,"execution_count":0}],"lines":[{"line_number":4,"count":2,)"
      R"("branches":[{"count":0,"throw":false},{"count":5,"throw":false}]},)"
      R"({"line_number":10,"count":0,"branches":[]}]}]})");
  EXPECT_EQ(file.path, "/b/src/x.c");
  ASSERT_EQ(file.functions.size(), 2u);
  EXPECT_EQ(file.functions[0].name, "f");
  EXPECT_EQ(file.functions[0].startLine, 3u);
  EXPECT_TRUE(file.functions[0].called);
  EXPECT_FALSE(file.functions[1].called);
  ASSERT_EQ(file.lines.size(), 2u);
  EXPECT_TRUE(file.lines[0].ran);
  EXPECT_EQ(file.lines[0].branchesTaken, (std::vector<bool>{false, true}));
  EXPECT_FALSE(file.lines[1].ran);
}

TEST(GcovJson, OutputThatIsNotGcovJsonIsAnError) {
  EXPECT_THROW(readOneFile("{\"files\": [}"), ConversionError);
  EXPECT_THROW(readOneFile("[1, 2]"), ConversionError);
  EXPECT_THROW(readOneFile(R"({"files":[{"file":"a.c","lines":[{"line_number":-4}]}]})"),
               ConversionError);
}

TEST(BuildSources, DefaultRootIsTheCommonDirectoryOutsideTheSystem) {
  BuildSources sources;
  sources.declare({"/p/src/a.c", {}, {}});
  sources.declare({"/p/src-lib/b.c", {}, {}});
  sources.declare({"/usr/include/stdio.h", {}, {}});
  sources.keyRelativeTo("");
  EXPECT_EQ(sources.root(), "/p/");
  EXPECT_EQ(sources.find("/p/src/a.c")->keyedPath, "src/a.c");
  EXPECT_EQ(sources.find("/usr/include/stdio.h")->keyedPath, "/usr/include/stdio.h");
  EXPECT_EQ(sources.find("/p/src/c.c"), nullptr);

  BuildSources one;
  one.declare({"/p/src/a.c", {}, {}});
  one.keyRelativeTo("");
  EXPECT_EQ(one.find("/p/src/a.c")->keyedPath, "a.c");
}

TEST(BuildSources, RootWithoutAnySourceBelowIsAnError) {
  BuildSources sources;
  sources.declare({"/p/src/a.c", {}, {}});
  EXPECT_THROW(sources.keyRelativeTo("/p/sr"), ConversionError);
  sources.keyRelativeTo("/p");
  EXPECT_EQ(sources.find("/p/src/a.c")->keyedPath, "src/a.c");
}

TEST(TestCapture, ReachIsKeyedByLineWithBranchPositionsAndFunctionRanks) {
  BuildSources sources;
  // Two functions start on line 2 (a macro, say): their indexes are their
  // ranks by name, whichever of them a test calls.
  sources.declare({"/p/h.h", {{"zeta", 2, false}, {"alpha", 2, false}, {"main", 7, false}}, {}});
  sources.keyRelativeTo("/p");
  std::map<std::uint32_t, FileReach> reach;
  addReach({"/p/h.h",
            {{"zeta", 2, true}, {"alpha", 2, false}, {"main", 7, true}},
            {{2, true, {}}, {8, true, {false, true, true}}, {9, false, {false}}}},
           sources, reach);
  // The same header through another unit: what it adds is merged in.
  addReach({"/p/h.h", {{"alpha", 2, true}}, {{8, true, {true}}, {9, true, {}}}}, sources, reach);
  const std::uint32_t key = sourceFileKey("h.h");
  ASSERT_EQ(reach.size(), 1u);
  EXPECT_EQ(written([&](std::FILE *out) { writeFileReach(out, key, reach.at(key)); }),
            "FT " + formatTioNumber(key) +
                "\nDC 2\nTL 0\nTF 0\nTF 1\nDC 7\nTF 0\nDC 8\nTL 0\nTB 0\nTB 1\nTB 2\nDC 9\nTL 0\n");
}

TEST(TestCapture, SourcesAndFunctionsTheNotesDoNotNameAreErrors) {
  BuildSources sources;
  sources.declare({"/p/a.c", {{"f", 1, false}}, {}});
  sources.keyRelativeTo("");
  std::map<std::uint32_t, FileReach> reach;
  EXPECT_THROW(addReach({"/p/b.c", {}, {{1, true, {}}}}, sources, reach), ConversionError);
  EXPECT_THROW(addReach({"/p/a.c", {{"g", 1, true}}, {}}, sources, reach), ConversionError);
  EXPECT_TRUE(reach.empty());
}
