// zorvane-lcov's tracefile reader on arbitrary bytes: a tracefile is either
// refused with a ConversionError or converted; the same bytes always give
// the same .tio text, every line of which ends with a newline.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <sstream>
#include <string>

#include "lcov/conversion.h"
#include "lcov/tio_writer.h"
#include "lcov/tracefile_reader.h"
#include "tio/conversion_error.h"

using namespace zorvane::lcov;
using namespace zorvane::tio;

namespace {

// The converter is plain C++ without Qt: this target needs none of the
// tool's fuzz support, only a way to end the run as a finding.
void require(bool holds, const char *what) {
  if (holds) return;
  std::fprintf(stderr, "lcov_fuzz: %s\n", what);
  std::abort();
}

// The .tio text of the bytes as one tracefile under `base`, or nothing when
// the reader refuses them.
bool convert(const std::string &bytes, const std::string &base, std::string &tio) {
  Conversion conversion(base);
  std::istringstream input(bytes);
  try {
    readTracefile(input, "fuzz.info", conversion);
  } catch (const ConversionError &) {
    return false;
  }
  char *text = nullptr;
  std::size_t size = 0;
  std::FILE *out = ::open_memstream(&text, &size);
  if (!out) throw std::bad_alloc();
  writeTio(conversion, out);
  std::fclose(out);
  tio.assign(text, size);
  std::free(text);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char *>(data), size);
  // The base directory comes from the first line's length, so that keying
  // paths relative to it is fuzzed too.
  const std::string base = bytes.find('\n') % 2 == 0 ? "/s" : "";
  std::string first, second;
  const bool converted = convert(bytes, base, first);
  require(converted == convert(bytes, base, second) && first == second,
          "the same tracefile converts the same way");
  if (converted) require(first.empty() || first.back() == '\n', "the .tio text ends with a line");
  return 0;
}
