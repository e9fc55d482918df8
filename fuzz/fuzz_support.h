#pragma once

#include <cstdio>
#include <string>

#include "coverage/coverage_table.h"
#include "coverage/test_registry.h"

// Ends the fuzz run as a finding: prints `what` and aborts, so that libFuzzer
// keeps the input.
[[noreturn]] void fuzzFailure(const std::string &what);

inline void require(bool holds, const char *what) {
  if (!holds) fuzzFailure(what);
}

// Sends what the tool writes on the standard output and error streams into
// memory while it lives, so that runs stay quiet and their output can be
// checked. The sanitizers and libFuzzer still write to the real streams.
class CapturedStreams {
 public:
  CapturedStreams();
  ~CapturedStreams();
  CapturedStreams(const CapturedStreams &) = delete;
  CapturedStreams &operator=(const CapturedStreams &) = delete;

  // What was written so far.
  std::string out();
  std::string err();

 private:
  std::FILE *savedOut_;
  std::FILE *savedErr_;
  std::FILE *out_;
  std::FILE *err_;
  char *outText_ = nullptr;
  char *errText_ = nullptr;
  std::size_t outSize_ = 0;
  std::size_t errSize_ = 0;
};

// Checks what the reader must leave behind, while the registry is still open:
// groups in strictly ascending key order, every slot's count within its list,
// the live branch count, test lists in non-decreasing order of real test
// numbers, and each test's covItem count equal to its entries in the table.
void checkReadInvariants(zorvane::coverage::CoverageTable &table, const zorvane::coverage::TestRegistry &registry,
                         std::size_t fileCount);
