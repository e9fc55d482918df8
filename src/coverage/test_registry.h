#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "coverage/numbering.h"

namespace zorvane::coverage {

struct TestRecord {
  // Bytes as formed from the NT line, possibly ending in the line's newline.
  std::string name;
  std::optional<std::string> description;
  // Position of the test's coverage file among the file arguments.
  std::uint32_t fileIndex = 0;
};

// Numbers, names and counts the tests of all coverage files: tests are 1 to
// lastTest(), and entry 0 of what is kept by test number stands for no test.
class TestRegistry {
 public:
  // Opens the next test. Its name is `nameText` (the NT line's value text),
  // cut after a closing quote when it starts with a quote, or "#<sequence>"
  // when it starts with a blank or a control character (or is empty).
  TestNumber newTest(std::uint32_t fileIndex, std::string_view nameText,
                     std::uint32_t fileSequence);

  // Closes the newest test with the number of branch lines read for it; a
  // test with none is dropped and its number is handed out again. Test 0
  // (no current test) is ignored.
  void finishTest(TestNumber test, std::uint64_t entries);

  // Sets the description of `test`.
  void setDescription(TestNumber test, std::string_view text);

  // Whether any test was ever created, even if all were dropped again.
  bool wasEverUsed() const { return !records_.empty(); }

  // The highest test number, which is the number of tests.
  TestNumber lastTest() const { return lastTest_; }
  // One past the highest test number: the size of what is kept by test
  // number, entry 0 included.
  TestNumber endTest() const { return lastTest_ + 1; }
  const TestRecord &record(TestNumber test) const { return records_[test]; }
  std::span<const std::uint32_t> entryCounts() const { return entryCounts_; }
  std::span<std::uint32_t> entryCounts() { return entryCounts_; }

 private:
  std::vector<TestRecord> records_;
  std::vector<std::uint32_t> entryCounts_;
  TestNumber lastTest_ = 0;
};

}  // namespace zorvane::coverage
