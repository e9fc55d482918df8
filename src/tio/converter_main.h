#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvane::tio {

// What the converters' main functions share: one way to report, one way to
// end.

// Writes "<program>: <text>" on the standard error stream, after flushing the
// standard output so that both keep the order of events.
void reportConverterMessage(std::string_view program, std::string_view text);

// Throws a FileWriteError when something asked of the standard output did not
// get there (a full disk, a closed stream, a reader gone from the pipe).
void checkStandardOutput();

// Throws a FileWriteError when the output path names one of the inputs, which
// writing it would destroy; `kind` says what the inputs are ("tracefile").
// "-" and what is written in place (a device, a pipe) are never refused.
void refuseOutputOverInputs(const std::string &output, const std::vector<std::string> &inputs,
                            std::string_view kind);

// Runs `work` with SIGPIPE ignored, so that a reader gone from a pipe is a
// write error, and turns what it throws into one message and the exit
// status: 0 when it returns, 2 for a wrong command line, 1 for any other
// error.
int runConverter(std::string_view program, const std::function<void()> &work);

}  // namespace zorvane::tio
