#include "shell/reporter.h"

#include <unistd.h>

#include <cstdio>
#include <new>
#include <optional>
#include <string>

#include "base/fatal_error.h"
#include "shell/process_exit.h"

namespace zorvane::shell {
namespace {

void writeBytes(std::string_view bytes, std::FILE *stream) {
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

// Erases the progress line where the cursor stands.
constexpr std::string_view eraseLine = "\r\033[K";

}  // namespace

Reporter::Reporter() : toTerminal_(::isatty(2) == 1) {}

void Reporter::report(Message message, MessageArg first, MessageArg second, MessageArg third) {
  reported_[static_cast<std::size_t>(message)] = true;
  std::fflush(stdout);
  if (progressShown_) showProgress({});
  try {
    // Names and paths come from files anyone may have written: on a terminal
    // their control bytes could move the cursor, rewrite earlier lines or
    // retitle the window.
    if (toTerminal_) {
      std::optional<std::string> shown[3];
      const MessageArg arguments[3] = {first, second, third};
      for (int i = 0; i < 3; ++i)
        if (arguments[i]) shown[i] = escapeControlBytes(*arguments[i]);
      writeBytes(composeMessage(message, shown[0], shown[1], shown[2]), stderr);
    } else {
      writeBytes(composeMessage(message, first, second, third), stderr);
    }
  } catch (const std::bad_alloc &) {
    const UntranslatedMessage line = untranslatedMessage(message);
    if (!line.prefix.empty()) {
      writeBytes(line.prefix, stderr);
      writeBytes(" ", stderr);
      writeBytes(line.severityWord, stderr);
      writeBytes(" ", stderr);
    }
    writeBytes(line.text, stderr);
  }
  if (messageSeverity(message) == Severity::Fatal) std::fflush(stderr);
}

void Reporter::print(std::string_view text) { writeBytes(text, stdout); }

void Reporter::showProgress(std::string_view line) {
  if (!toTerminal_ || (line.empty() && !progressShown_)) return;
  std::fflush(stdout);
  writeBytes(eraseLine, stderr);
  writeBytes(line, stderr);
  std::fflush(stderr);
  progressShown_ = !line.empty();
}

bool Reporter::wasReported(Message message) const {
  return reported_[static_cast<std::size_t>(message)];
}

void Reporter::checkStandardStreams() {
  const bool outputFailed = std::fflush(stdout) != 0 || std::ferror(stdout);
  if (std::fflush(stderr) != 0 || std::ferror(stderr)) throw ProcessExit(1);
  if (outputFailed) throw FatalError(Message::UnableToWriteOutput);
}

}  // namespace zorvane::shell
