#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zorvane::tio {

// Why a conversion cannot go on. `file` and `line` locate the input that
// caused it when there is one (line 0: the file as a whole, or no place).
class ConversionError : public std::runtime_error {
 public:
  explicit ConversionError(const std::string &what, std::string file = {}, std::uint64_t line = 0)
      : std::runtime_error(what), file_(std::move(file)), line_(line) {}

  const std::string &file() const { return file_; }
  std::uint64_t line() const { return line_; }

 private:
  std::string file_;
  std::uint64_t line_;
};

}  // namespace zorvane::tio
