#include "gcov/build_graphs.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "tio/conversion_error.h"

namespace zorvane::gcov {

using tio::ConversionError;

namespace {

std::string contentsOf(const std::string &path, const std::string &what) {
  // Opened at the end, to read the whole file in one go.
  std::ifstream input(path, std::ios::binary | std::ios::ate);
  if (!input) throw ConversionError("cannot read the " + what + ": " + std::strerror(errno), path);
  std::string bytes(std::max<std::streamoff>(input.tellg(), 0), '\0');
  input.seekg(0);
  input.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (input.bad() || input.gcount() != static_cast<std::streamsize>(bytes.size()))
    throw ConversionError("cannot read the " + what, path);
  return bytes;
}

}  // namespace

std::unique_ptr<BuildGraphs> BuildGraphs::read(const BuildNotes &notes) {
  auto graphs = std::make_unique<BuildGraphs>();
  for (const std::string &name : notes.units()) {
    const std::string path = notes.directory() + "/" + name + ".gcno";
    const std::string bytes = contentsOf(path, "notes");
    const std::uint32_t version = notesVersionOf(bytes);
    if (version != 0 && !isKnownNotesVersion(version)) return nullptr;
    Unit &unit = graphs->units_[name];
    unit.notesPath = path;
    try {
      unit.notes = parseNotes(bytes);
    } catch (const ConversionError &error) {
      throw ConversionError(std::string("cannot read the notes: ") + error.what(), path);
    }
    unit.alone = std::make_unique<UnitCoverage>(unit.notes, false);
    unit.counted = std::make_unique<UnitCoverage>(unit.notes, true);
  }
  return graphs;
}

void BuildGraphs::reportNotes(const std::function<void(GcovFile &&)> &onFile) const {
  for (const auto &[name, unit] : units_) unit.alone->report(nullptr, onFile);
}

void BuildGraphs::reportCounters(const std::string &unitName, const std::string &countersPath,
                                 const std::function<void(GcovFile &&)> &onFile) const {
  const Unit &unit = units_.at(unitName);
  std::vector<std::vector<std::int64_t>> counters;
  try {
    counters = parseCounters(contentsOf(countersPath, "counters"), unit.notes);
  } catch (const ConversionError &error) {
    throw ConversionError("counters of " + unit.notesPath + ": " + error.what());
  }
  unit.counted->report(&counters, onFile);
}

}  // namespace zorvane::gcov
