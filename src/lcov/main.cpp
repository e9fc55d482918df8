// zorvane-lcov: converts LCOV tracefiles into one .tio coverage file.

#include <csignal>
#include <cstdio>
#include <memory>
#include <new>
#include <set>
#include <string>
#include <string_view>

#include "lcov/conversion.h"
#include "tio/conversion_error.h"
#include "lcov/converter_options.h"
#include "lcov/tio_writer.h"
#include "lcov/tracefile_reader.h"
#include "output/file_identity.h"
#include "output/replacement_file.h"
#include "version.h"

namespace {

// Every message of the converter goes through here.
void reportError(std::string_view text) {
  std::fflush(stdout);
  std::fprintf(stderr, "zorvane-lcov: %.*s\n", static_cast<int>(text.size()), text.data());
}

// Reads every tracefile twice: first for the source files, branches and
// functions, which fix every index and show a bad tracefile before anything
// is written; then for the tests, written tracefile by tracefile so that
// memory does not grow with the number of tests.
void writeConversion(const ConverterOptions &options, std::FILE *out) {
  Conversion conversion(options.baseDirectory);
  for (const std::string &tracefile : options.tracefiles)
    readTracefileAt(tracefile, conversion, TracefilePass::Declarations);
  if (!options.baseDirectory.empty() && !conversion.baseDirectoryWasUsed())
    throw ConversionError("no source path of the tracefiles lies under the base directory " +
                          options.baseDirectory);
  writeTioHeader(conversion, out);
  std::set<std::string> written;
  for (const std::string &tracefile : options.tracefiles) {
    // A tracefile given twice adds nothing new to its tests.
    if (!written.insert(tracefile).second) continue;
    readTracefileAt(tracefile, conversion, TracefilePass::Tests);
    writeTests(conversion, out);
    conversion.clearTests();
  }
}

// Whatever was asked of the standard output must have got there.
void checkStandardOutput() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    throw FileWriteError("the standard output", "write error");
}

void convert(const ConverterOptions &options) {
  if (options.output != "-" && !isWrittenInPlace(options.output)) {
    const FileIdentity output = identifyFile(options.output);
    for (const std::string &tracefile : options.tracefiles)
      if (identifyFile(tracefile) == output)
        throw FileWriteError(options.output, "it is the tracefile " + tracefile);
  }
  // The output file is created first, so that a wrong directory shows before
  // the reading; until commit() nothing replaces the file.
  std::unique_ptr<ReplacementFile> file;
  if (options.output != "-") file = std::make_unique<ReplacementFile>(options.output);
  if (!file) {
    writeConversion(options, stdout);
    checkStandardOutput();
    return;
  }
  writeConversion(options, file->stream());
  file->commit();
}

}  // namespace

int main(int argc, char **argv) {
  // A reader gone from the pipe is a write error, reported as one.
  std::signal(SIGPIPE, SIG_IGN);
  try {
    const ConverterOptions options = parseConverterOptions(argc, argv);
    switch (options.request) {
      case ConverterOptions::Request::Help:
        printConverterUsage(stdout);
        checkStandardOutput();
        return 0;
      case ConverterOptions::Request::Version:
        std::puts("zorvane-lcov " ZORVANE_VERSION_STRING);
        checkStandardOutput();
        return 0;
      case ConverterOptions::Request::Convert: convert(options); return 0;
    }
  } catch (const UsageError &error) {
    reportError(std::string(error.what()) + " (zorvane-lcov --help tells more)");
    return 2;
  } catch (const ConversionError &error) {
    std::string where = error.file();
    if (error.line() != 0) where += ":" + std::to_string(error.line());
    reportError(where.empty() ? error.what() : where + ": " + error.what());
  } catch (const FileWriteError &error) {
    reportError("cannot write " + error.path() + ": " + error.reason());
  } catch (const std::bad_alloc &) {
    reportError("out of memory");
  }
  return 1;
}
