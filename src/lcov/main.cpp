// zorvane-lcov: converts LCOV tracefiles into one .tio coverage file.

#include <cstdio>
#include <memory>
#include <set>
#include <string>

#include "lcov/conversion.h"
#include "lcov/converter_options.h"
#include "lcov/tio_writer.h"
#include "lcov/tracefile_reader.h"
#include "output/replacement_file.h"
#include "tio/conversion_error.h"
#include "tio/converter_main.h"
#include "version.h"

using zorvane::lcov::ConverterOptions;
using zorvane::lcov::parseConverterOptions;
using zorvane::lcov::TracefilePass;

using zorvane::lcov::Conversion;
using zorvane::lcov::printConverterUsage;
using zorvane::lcov::readTracefileAt;
using zorvane::lcov::writeTests;
using zorvane::lcov::writeTioHeader;
using zorvane::output::ReplacementFile;
using zorvane::tio::checkStandardOutput;
using zorvane::tio::ConversionError;
using zorvane::tio::refuseOutputOverInputs;
using zorvane::tio::runConverter;

namespace {

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

void convert(const ConverterOptions &options) {
  refuseOutputOverInputs(options.output, options.tracefiles, "tracefile");
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
  return runConverter("zorvane-lcov", [&] {
    const ConverterOptions options = parseConverterOptions(argc, argv);
    switch (options.request) {
      case ConverterOptions::Request::Help: printConverterUsage(stdout); break;
      case ConverterOptions::Request::Version:
        std::puts("zorvane-lcov " ZORVANE_VERSION_STRING);
        break;
      case ConverterOptions::Request::Convert: convert(options); break;
    }
    checkStandardOutput();
  });
}
