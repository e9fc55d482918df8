#include "coverage/test_registry.h"

#include <limits>

namespace zorvane::coverage {

namespace {

// A name is taken from the NT line only when it starts with a byte other
// than a blank or a control character: bytes above 0x7F (as in UTF-8 names)
// start names too.
bool startsAName(std::string_view text) {
  return !text.empty() && static_cast<unsigned char>(text.front()) > 0x20;
}

std::string formName(std::string_view nameText, std::uint32_t fileSequence) {
  if (!startsAName(nameText)) return "#" + std::to_string(fileSequence);
  if (nameText.front() != '"') return std::string(nameText);
  // A quoted name ends after its closing quote.
  const std::size_t closing = nameText.find('"', 1);
  return std::string(nameText.substr(0, closing == std::string_view::npos ? closing : closing + 1));
}

}  // namespace

TestNumber TestRegistry::newTest(std::uint32_t fileIndex, std::string_view nameText,
                                 std::uint32_t fileSequence) {
  if (records_.empty()) {
    // Entry 0 stands for no test.
    records_.emplace_back();
    entryCounts_.push_back(0);
  }
  const TestNumber test = ++lastTest_;
  records_.resize(test + 1);
  entryCounts_.resize(test + 1);
  records_[test] = TestRecord{formName(nameText, fileSequence), std::nullopt, fileIndex};
  entryCounts_[test] = 0;
  return test;
}

void TestRegistry::finishTest(TestNumber test, std::uint64_t entries) {
  if (test == 0) return;
  if (entries != 0) {
    entryCounts_[test] = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(entries, std::numeric_limits<std::uint32_t>::max()));
    return;
  }
  records_.pop_back();
  entryCounts_.pop_back();
  --lastTest_;
}

void TestRegistry::setDescription(TestNumber test, std::string_view text) {
  records_[test].description = std::string(text);
}

}  // namespace zorvane::coverage
