#include "base/diagnostics.h"

#include <cstdarg>
#include <cstdio>

namespace zorvane {

std::string formatText(const char *format, ...) {
  char small[256];
  std::va_list arguments;
  va_start(arguments, format);
  const int length = std::vsnprintf(small, sizeof small, format, arguments);
  va_end(arguments);
  if (length < 0) return {};
  if (static_cast<std::size_t>(length) < sizeof small) return std::string(small, length);
  std::string text(static_cast<std::size_t>(length), '\0');
  va_start(arguments, format);
  std::vsnprintf(text.data(), text.size() + 1, format, arguments);
  va_end(arguments);
  return text;
}

}  // namespace zorvane
