// zorvane-gcov: runs a test suite built with gcc --coverage and writes what
// each test reached as one .tio coverage file.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "gcov/build_graphs.h"
#include "gcov/build_notes.h"
#include "gcov/capture_options.h"
#include "gcov/capture_run.h"
#include "gcov/gcov_tool.h"
#include "gcov/interruption.h"
#include "gcov/test_list.h"
#include "output/replacement_file.h"
#include "tio/conversion_error.h"
#include "tio/converter_main.h"
#include "tio/tio_writing.h"
#include "version.h"

using zorvane::gcov::parseCaptureOptions;

using zorvane::gcov::BuildGraphs;
using zorvane::gcov::BuildNotes;
using zorvane::gcov::BuildSources;
using zorvane::gcov::CaptureOptions;
using zorvane::gcov::CaptureSettings;
using zorvane::gcov::captureTests;
using zorvane::gcov::checkGcov;
using zorvane::gcov::InterruptionWatch;
using zorvane::gcov::printCaptureUsage;
using zorvane::gcov::readTestList;
using zorvane::gcov::ScratchDirectory;
using zorvane::gcov::TestSpec;
using zorvane::output::ReplacementFile;
using zorvane::tio::checkStandardOutput;
using zorvane::tio::ConversionError;
using zorvane::tio::printableText;
using zorvane::tio::refuseOutputOverInputs;
using zorvane::tio::reportConverterMessage;
using zorvane::tio::runConverter;
using zorvane::tio::writeFingerprint;

namespace {

void report(std::string_view text) { reportConverterMessage("zorvane-gcov", text); }

std::vector<TestSpec> readTests(const CaptureOptions &options) {
  if (options.testList.empty()) return readTestList(std::cin, "standard input");
  std::ifstream input(options.testList, std::ios::binary);
  if (!input)
    throw ConversionError("cannot open: " + std::string(std::strerror(errno)), options.testList);
  return readTestList(input, options.testList);
}

std::string signalName(int number) {
  switch (number) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
  }
  return "signal " + std::to_string(number);
}

void captureWatched(const CaptureOptions &options) {
  // Everything that can be wrong before the tests run shows first; until
  // commit() nothing replaces the output file.
  if (!options.testList.empty())
    refuseOutputOverInputs(options.output, {options.testList}, "test list");
  ReplacementFile file(options.output);
  checkGcov();
  const BuildNotes notes(options.buildDirectory);
  const std::vector<TestSpec> tests = readTests(options);
  const ScratchDirectory scratch;
  // Notes of a GCC whose records are known here are read directly; gcov
  // reads any others, and all when ZORVANE_GCOV_READER=gcov asks it to.
  const char *reader = std::getenv("ZORVANE_GCOV_READER");
  const std::unique_ptr<BuildGraphs> graphs =
      reader && std::string_view(reader) == "gcov" ? nullptr : BuildGraphs::read(notes);
  const BuildSources sources = readBuildSources(notes, graphs.get(), options.root, scratch.path());

  std::FILE *out = file.stream();
  std::fputs(
      "# Captured from GCC's coverage counters by zorvane-gcov.\n"
      "# FT: source file, DC: line number; TL 0: the line ran, TB n: branch n of\n"
      "# the line was taken, TF n: function n starting on the line was called.\n",
      out);
  writeFingerprint(out, notes.fingerprint());
  std::fprintf(out, "# Source paths keyed relative to %s\n", printableText(sources.root()).c_str());
  sources.writeKeyComments(out);

  CaptureSettings settings;
  settings.jobs = options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
  settings.timeoutSeconds = options.timeoutSeconds;
  settings.skipFailing = options.skipFailing;
  settings.listName = options.testList.empty() ? "standard input" : options.testList;
  captureTests(tests, settings, notes, graphs.get(), sources, scratch.path(), out, report);
  if (!InterruptionWatch::signal()) file.commit();
}

void capture(const CaptureOptions &options) {
  // A signal to stop kills the running tests; the scratch directory and the
  // output not yet committed go as the capture unwinds, whatever the tests'
  // end made fail.
  const InterruptionWatch interruption;
  try {
    captureWatched(options);
  } catch (const ConversionError &) {
    if (!InterruptionWatch::signal()) throw;
  }
  if (const int signal = InterruptionWatch::signal())
    throw ConversionError("interrupted by " + signalName(signal) +
                          ": the running tests were killed and no output was written");
}

}  // namespace

int main(int argc, char **argv) {
  return runConverter("zorvane-gcov", [&] {
    const CaptureOptions options = parseCaptureOptions(argc, argv);
    switch (options.request) {
      case CaptureOptions::Request::Help: printCaptureUsage(stdout); break;
      case CaptureOptions::Request::Version:
        std::puts("zorvane-gcov " ZORVANE_VERSION_STRING);
        break;
      case CaptureOptions::Request::Capture: capture(options); break;
    }
    checkStandardOutput();
  });
}
