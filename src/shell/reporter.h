#pragma once

#include <string_view>

#include "base/diagnostics.h"
#include "base/message_catalogue.h"

namespace zorvane::shell {

// The one reporter of the process: catalogue messages on the standard error
// stream, listings on the standard output stream, the progress line on the
// standard error stream when it is a terminal. Every message flushes the
// standard output stream first, so that both streams keep the order of
// events.
class Reporter final : public Diagnostics {
 public:
  Reporter();

  // Writes the composed message (composeMessage). On a terminal the
  // arguments are shown with their control bytes escaped
  // (escapeControlBytes). Writes a fatal message like any other: ending the
  // run is the caller's part.
  void report(Message message, MessageArg first = {}, MessageArg second = {},
              MessageArg third = {}) override;
  void print(std::string_view text) override;
  void showProgress(std::string_view line) override;

  // Whether `message` has been reported.
  bool wasReported(Message message) const;

  // Makes sure that everything written so far on the standard streams got
  // out: a failure on the standard output stream is message 25 (fatal,
  // thrown); one on the standard error stream, where no message can go,
  // ends the process with status 1 all the same (throws ProcessExit).
  void checkStandardStreams();

 private:
  bool toTerminal_;
  bool progressShown_ = false;
  bool reported_[messageCount] = {};
};

}  // namespace zorvane::shell
