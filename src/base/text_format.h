#pragma once

#include <string>

namespace zorvane {

// The text std::printf would write for `format` and its arguments.
std::string formatText(const char *format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace zorvane
