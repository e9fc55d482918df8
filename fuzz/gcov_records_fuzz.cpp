// zorvane-gcov's reader of GCC's notes and counters on arbitrary bytes: the
// bytes before the first "gcda" magic are read as notes, the rest as
// counters of those notes. Each is refused with a ConversionError or read;
// what is read is then reckoned line by line, which must not fail.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "gcov/gcov_records.h"
#include "gcov/unit_coverage.h"
#include "tio/conversion_error.h"

using namespace zorvane::gcov;
using namespace zorvane::tio;

namespace {

void require(bool holds, const char *what) {
  if (holds) return;
  std::fprintf(stderr, "gcov_records_fuzz: %s\n", what);
  std::abort();
}

std::size_t reachedLines(const UnitCoverage &coverage,
                         const std::vector<std::vector<std::int64_t>> *counters) {
  std::size_t lines = 0;
  coverage.report(counters, [&](GcovFile &&file) {
    for (const GcovLine &line : file.lines) lines += line.ran;
  });
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char *>(data), size);
  const std::size_t split = std::min(bytes.find("adcg", 4), bytes.size());
  UnitNotes notes;
  try {
    notes = parseNotes(bytes.substr(0, split));
  } catch (const ConversionError &) {
    return 0;
  }
  const UnitCoverage alone(notes, false);
  require(reachedLines(alone, nullptr) == 0, "notes alone reach nothing");
  std::vector<std::vector<std::int64_t>> counters;
  try {
    counters = parseCounters(bytes.substr(split), notes);
  } catch (const ConversionError &) {
    return 0;
  }
  for (std::size_t i = 0; i < counters.size(); ++i)
    require(counters[i].size() == notes.functions[i].counterCount, "one counter a counted arc");
  const UnitCoverage counted(notes, true);
  require(reachedLines(counted, &counters) == reachedLines(counted, &counters),
          "the same counters reckon the same way");
  return 0;
}
