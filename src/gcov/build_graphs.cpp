#include "gcov/build_graphs.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "tio/conversion_error.h"

namespace {

std::string contentsOf(const std::string &path, const std::string &what) {
  std::ifstream input(path, std::ios::binary);
  if (!input) throw ConversionError("cannot read the " + what + ": " + std::strerror(errno), path);
  std::string bytes{std::istreambuf_iterator<char>(input), {}};
  if (input.bad()) throw ConversionError("cannot read the " + what, path);
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
