#pragma once

#include <string>
#include <string_view>

#include "base/message_catalogue.h"

namespace zorvane {

// Where the layers below the shell send what they have to say; they never
// write to the standard streams themselves. The shell implements it on the
// process's streams; tests and fuzz targets keep or drop what they get.
class Diagnostics {
 public:
  // A catalogue message that does not end the run (fatal ones are thrown as
  // FatalError).
  virtual void report(Message message, MessageArg first = {}, MessageArg second = {},
                      MessageArg third = {}) = 0;
  // Text of the listings (-V and -D), for the standard output, as it is.
  virtual void print(std::string_view text) = 0;
  // A status line of a long search, shown in place of the previous one;
  // empty to take it away.
  virtual void showProgress(std::string_view line) = 0;

 protected:
  ~Diagnostics() = default;
};

// The text std::printf would write for `format` and its arguments: a line
// of a listing or of the progress.
std::string formatText(const char *format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zorvane
