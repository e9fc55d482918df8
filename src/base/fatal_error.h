#pragma once

#include <optional>
#include <string>

#include "base/message_catalogue.h"

namespace zorvane {

// A fatal catalogue message, thrown where the run cannot go on. The entry
// catches it, reports it and ends the process with status 1; nothing else
// catches it, so that every `throw FatalError` reads as the end of the run.
class FatalError {
 public:
  explicit FatalError(Message message, MessageArg first = {}, MessageArg second = {},
                      MessageArg third = {})
      : message_(message), arguments_{owned(first), owned(second), owned(third)} {}

  Message message() const { return message_; }
  // Argument `i` (0 to 2), or absent.
  MessageArg argument(int i) const {
    return arguments_[i] ? MessageArg(*arguments_[i]) : std::nullopt;
  }

 private:
  static std::optional<std::string> owned(MessageArg arg) {
    return arg ? std::optional<std::string>(*arg) : std::nullopt;
  }

  Message message_;
  std::optional<std::string> arguments_[3];
};

}  // namespace zorvane
