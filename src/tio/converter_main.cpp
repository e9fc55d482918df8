#include "tio/converter_main.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <new>
#include <string>

#include "output/file_identity.h"
#include "output/replacement_file.h"
#include "tio/conversion_error.h"
#include "tio/option_values.h"

using zorvane::output::FileIdentity;

namespace zorvane::tio {

using zorvane::output::FileWriteError;
using zorvane::output::identifyFile;
using zorvane::output::isWrittenInPlace;

void reportConverterMessage(std::string_view program, std::string_view text) {
  std::fflush(stdout);
  std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(program.size()), program.data(),
               static_cast<int>(text.size()), text.data());
}

void checkStandardOutput() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout))
    throw FileWriteError("the standard output", "write error");
}

void refuseOutputOverInputs(const std::string &output, const std::vector<std::string> &inputs,
                            std::string_view kind) {
  if (output == "-" || isWrittenInPlace(output)) return;
  const FileIdentity outputFile = identifyFile(output);
  for (const std::string &input : inputs)
    if (identifyFile(input) == outputFile)
      throw FileWriteError(output, "it is the " + std::string(kind) + " " + input);
}

int runConverter(std::string_view program, const std::function<void()> &work) {
  std::signal(SIGPIPE, SIG_IGN);
  const auto report = [program](std::string_view text) { reportConverterMessage(program, text); };
  try {
    work();
    return 0;
  } catch (const UsageError &error) {
    report(std::string(error.what()) + " (" + std::string(program) + " --help tells more)");
    return 2;
  } catch (const ConversionError &error) {
    std::string where = error.file();
    if (error.line() != 0) where += ":" + std::to_string(error.line());
    report(where.empty() ? error.what() : where + ": " + error.what());
  } catch (const FileWriteError &error) {
    report("cannot write " + error.path() + ": " + error.reason());
  } catch (const std::filesystem::filesystem_error &error) {
    report(error.what());
  } catch (const std::bad_alloc &) {
    report("out of memory");
  }
  return 1;
}

}  // namespace zorvane::tio
