#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "base/diagnostics.h"
#include "base/fatal_error.h"
#include "base/message_catalogue.h"

namespace zorvane::testing_support {

// Keeps what the layers tell, as the shell would write it (untranslated, no
// terminal escaping): the messages in one text, the listings in another.
class RecordingDiagnostics final : public Diagnostics {
 public:
  void report(Message message, MessageArg first = {}, MessageArg second = {},
              MessageArg third = {}) override {
    messages += composeMessage(message, first, second, third);
  }
  void print(std::string_view text) override { printed += text; }
  void showProgress(std::string_view line) override { progress = line; }

  // Takes the messages kept so far.
  std::string takeMessages() { return std::exchange(messages, {}); }

  std::string messages;
  std::string printed;
  std::string progress;
};

// The line of the fatal error `action` throws, as the shell would write it;
// nullopt when it throws none.
template <class Action>
std::optional<std::string> fatalMessageOf(Action &&action) {
  try {
    action();
  } catch (const FatalError &error) {
    return composeMessage(error.message(), error.argument(0), error.argument(1), error.argument(2));
  }
  return std::nullopt;
}

}  // namespace zorvane::testing_support
