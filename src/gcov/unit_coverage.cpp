#include "gcov/unit_coverage.h"

#include <algorithm>
#include <filesystem>
#include <map>

namespace zorvane::gcov {

namespace {

// A line while the blocks of the unit are laid on it.
struct LineDraft {
  bool exists = false;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> counted;  // blocks covering it
  std::vector<std::pair<std::uint32_t, std::uint32_t>> ending;   // blocks ending on it
  std::vector<std::pair<std::uint32_t, std::uint32_t>> arcs;     // their arcs, as branches
};

}  // namespace

UnitCoverage::UnitCoverage(const UnitNotes &notes, bool withCounters) : notes_(notes) {
  const std::size_t functionCount = notes.functions.size();
  functions_.resize(functionCount);
  // Whether each arc is reported as a branch.
  std::vector<std::vector<bool>> isBranch(functionCount);
  std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint32_t> firstAtStart;
  std::vector<bool> grouped(functionCount, false);
  for (std::uint32_t f = 0; f < functionCount; ++f) {
    const NotesFunction &source = notes.functions[f];
    Function &function = functions_[f];
    function.reported = !source.artificial && (!withCounters || source.counterCount > 0);
    function.successors.resize(source.blocks.size());
    function.predecessors.resize(source.blocks.size());
    std::int64_t counter = 0;
    for (std::uint32_t b = 0; b < source.blocks.size(); ++b) {
      for (const NotesArc &notesArc : source.blocks[b].arcs) {
        Arc arc;
        arc.source = b;
        arc.destination = notesArc.destination;
        arc.fake = notesArc.flags & arcFake;
        if (!(notesArc.flags & arcOnTree)) arc.counter = counter++;
        const auto index = static_cast<std::uint32_t>(function.arcs.size());
        function.arcs.push_back(arc);
        function.successors[b].push_back(index);
        function.predecessors[arc.destination].push_back(index);
      }
    }
    // A call that may not return is never a branch; gcov also takes the
    // only way out of a block for no branch, and puts the ways out in the
    // order of their destinations, but only in functions it solves: the
    // others keep their arcs last to first, as it read them.
    isBranch[f].resize(function.arcs.size());
    for (std::uint32_t b = 0; b < source.blocks.size(); ++b) {
      std::vector<std::uint32_t> &leaving = function.successors[b];
      const auto ways = std::ranges::count_if(
          leaving, [&](std::uint32_t arc) { return !function.arcs[arc].fake; });
      for (std::uint32_t arc : leaving) {
        const bool callThatMayNotReturn = function.arcs[arc].fake && b != 0;
        const bool onlyWayOut = function.reported && ways == 1 && !function.arcs[arc].fake;
        isBranch[f][arc] = !callThatMayNotReturn && !onlyWayOut;
      }
      if (function.reported)
        std::ranges::stable_sort(leaving, {},
                                 [&](std::uint32_t arc) { return function.arcs[arc].destination; });
      else
        std::ranges::reverse(leaving);
    }
    // Functions that start on the same line of a file are reported apart.
    if (!source.artificial) {
      const auto [first, added] =
          firstAtStart.emplace(std::pair(source.source, source.startLine), f);
      if (!added) grouped[first->second] = grouped[f] = true;
    }
  }

  // How many lines gcov allots each file: up to the last line of a
  // function it reports.
  std::vector<std::uint64_t> lineCount(notes.sources.size(), 0);
  for (std::uint32_t f = 0; f < functionCount; ++f) {
    if (!functions_[f].reported) continue;
    for (const NotesBlock &block : notes.functions[f].blocks)
      for (const BlockLocation &location : block.locations)
        if (!location.lines.empty())
          lineCount[location.source] =
              std::max<std::uint64_t>(lineCount[location.source], location.lines.back() + 1ull);
  }

  // Lay each block on its lines, function by function as gcov does.
  std::vector<std::map<std::uint32_t, LineDraft>> fileLines(notes.sources.size());
  std::vector<std::map<std::uint32_t, LineDraft>> groupLines(functionCount);
  for (std::uint32_t f = 0; f < functionCount; ++f) {
    const NotesFunction &source = notes.functions[f];
    if (source.artificial) continue;
    const bool ownLines =
        grouped[f] && functions_[f].reported && source.endLine >= source.startLine;
    for (std::uint32_t b = 0; b < source.blocks.size(); ++b) {
      LineDraft *line = nullptr;
      for (const BlockLocation &location : source.blocks[b].locations) {
        for (std::uint32_t number : location.lines) {
          const bool inGroup = grouped[f] && location.source == source.source &&
                               source.startLine <= number && number <= source.endLine;
          if (inGroup && ownLines)
            line = &groupLines[f][number - source.startLine];
          else if (!inGroup && number < lineCount[location.source])
            line = &fileLines[location.source][number];
          else
            continue;  // a line gcov has no room for
          line->exists = true;
          line->counted.emplace_back(f, b);
        }
        // The entry and the last block are no block of a line.
        if (b == 0 || b + 1 == source.blocks.size() || !line) continue;
        line->ending.emplace_back(f, b);
        for (std::uint32_t arc : functions_[f].successors[b]) line->arcs.emplace_back(f, arc);
      }
    }
  }

  const auto makeLine = [&](std::uint32_t number, const LineDraft &draft) {
    Line line;
    line.number = number;
    line.byArcs = !draft.ending.empty();
    if (line.byArcs) {
      for (const auto &[f, b] : draft.ending)
        for (std::uint32_t arc : functions_[f].predecessors[b]) {
          const std::pair from(f, functions_[f].arcs[arc].source);
          if (std::ranges::find(draft.ending, from) == draft.ending.end())
            line.entering.push_back({f, arc});
          else if (std::ranges::none_of(line.inner, [&](const ArcRef &known) {
                     return known.function == f && known.arc == arc;
                   }))
            line.inner.push_back({f, arc});
        }
    } else {
      for (const auto &[f, b] : draft.counted) line.blocks.push_back({f, b});
    }
    for (const auto &[f, arc] : draft.arcs)
      if (isBranch[f][arc]) line.branches.push_back({f, arc});
    return line;
  };

  sources_.resize(notes.sources.size());
  for (std::uint32_t s = 0; s < notes.sources.size(); ++s) {
    Source &source = sources_[s];
    const std::filesystem::path name(notes.sources[s]);
    source.path = (name.is_absolute() ? name : std::filesystem::path(notes.directory) / name)
                      .lexically_normal()
                      .string();
    for (std::uint32_t f = 0; f < functionCount; ++f) {
      const NotesFunction &function = notes.functions[f];
      if (!functions_[f].reported || function.source != s) continue;
      source.functions.push_back({f, function.startLine});
      if (grouped[f] && function.startLine >= 1 && function.startLine <= lineCount[s])
        for (const auto &[offset, draft] : groupLines[f])
          if (draft.exists) source.lines.push_back(makeLine(function.startLine + offset, draft));
    }
    for (const auto &[number, draft] : fileLines[s])
      if (draft.exists && number >= 1) source.lines.push_back(makeLine(number, draft));
  }
}

void UnitCoverage::solveFunction(const Function &function,
                                 const std::vector<std::int64_t> *counters,
                                 std::vector<std::int64_t> &blockCounts,
                                 std::vector<std::int64_t> &arcCounts) const {
  // gcov's propagation, step for step: blocks whose arcs out (or in) are
  // all known get their count, and a block with one unknown arc out (or
  // in) gives that arc its count, until nothing changes.
  const std::size_t blockCount = function.successors.size();
  arcCounts.assign(function.arcs.size(), 0);
  blockCounts.assign(blockCount, 0);
  std::vector<bool> arcKnown(function.arcs.size(), false);
  std::vector<bool> blockKnown(blockCount, false);
  std::vector<std::int64_t> unknownOut(blockCount), unknownIn(blockCount);
  for (std::size_t b = 0; b < blockCount; ++b) {
    unknownOut[b] = static_cast<std::int64_t>(function.successors[b].size());
    unknownIn[b] = static_cast<std::int64_t>(function.predecessors[b].size());
  }
  // Nothing tells the count of the entry from arcs into it, nor of the
  // exit from arcs out of it.
  constexpr std::int64_t never = 0xFFFFFFFF;
  if (blockCount >= 2) {
    if (unknownIn[0] == 0) unknownIn[0] = never;
    if (unknownOut[1] == 0) unknownOut[1] = never;
  }
  for (std::uint32_t a = 0; a < function.arcs.size(); ++a) {
    const Arc &arc = function.arcs[a];
    if (arc.counter < 0) continue;
    if (counters && static_cast<std::size_t>(arc.counter) < counters->size())
      arcCounts[a] = (*counters)[arc.counter];
    arcKnown[a] = true;
    --unknownOut[arc.source];
    --unknownIn[arc.destination];
  }
  std::vector<std::uint32_t> pending, known;  // both taken last in, first out
  std::vector<bool> inPending(blockCount, true), inKnown(blockCount, false);
  for (std::uint32_t b = 0; b < blockCount; ++b) pending.push_back(b);
  const auto sumOf = [&](const std::vector<std::uint32_t> &arcs) {
    std::int64_t total = 0;
    for (std::uint32_t arc : arcs) total = wrappingSum(total, arcCounts[arc]);
    return total;
  };
  // Gives the one unknown arc of `arcs` what is left of the block's count;
  // `far` is the block at its other end.
  const auto settleLastArc = [&](std::uint32_t block, const std::vector<std::uint32_t> &arcs,
                                 bool leaving) {
    std::int64_t total = blockCounts[block];
    std::int64_t unknown = -1;
    for (std::uint32_t arc : arcs) {
      total = wrappingSum(total, -static_cast<std::uint64_t>(arcCounts[arc]));
      if (!arcKnown[arc]) unknown = arc;
    }
    if (unknown < 0) return;  // counts that do not add up: left as they are
    arcKnown[unknown] = true;
    arcCounts[unknown] = total;
    const Arc &arc = function.arcs[unknown];
    const std::uint32_t far = leaving ? arc.destination : arc.source;
    --(leaving ? unknownOut[block] : unknownIn[block]);
    std::int64_t &farUnknown = leaving ? unknownIn[far] : unknownOut[far];
    --farUnknown;
    if (blockKnown[far]) {
      if (farUnknown == 1 && !inKnown[far]) {
        known.push_back(far);
        inKnown[far] = true;
      }
    } else if (farUnknown == 0 && !inPending[far]) {
      pending.push_back(far);
      inPending[far] = true;
    }
  };
  while (!pending.empty() || !known.empty()) {
    while (!pending.empty()) {
      const std::uint32_t b = pending.back();
      pending.pop_back();
      inPending[b] = false;
      if (unknownOut[b] == 0)
        blockCounts[b] = sumOf(function.successors[b]);
      else if (unknownIn[b] == 0)
        blockCounts[b] = sumOf(function.predecessors[b]);
      else
        continue;
      blockKnown[b] = true;
      known.push_back(b);
      inKnown[b] = true;
    }
    while (!known.empty()) {
      const std::uint32_t b = known.back();
      known.pop_back();
      inKnown[b] = false;
      if (unknownOut[b] == 1) settleLastArc(b, function.successors[b], true);
      if (unknownIn[b] == 1) settleLastArc(b, function.predecessors[b], false);
    }
  }
}

UnitCoverage::Counts UnitCoverage::solve(
    const std::vector<std::vector<std::int64_t>> *counters) const {
  Counts counts;
  counts.blocks.resize(functions_.size());
  counts.arcs.resize(functions_.size());
  for (std::size_t f = 0; f < functions_.size(); ++f) {
    const Function &function = functions_[f];
    const std::vector<std::int64_t> *functionCounters =
        counters && f < counters->size() ? &(*counters)[f] : nullptr;
    // Counts solved from nothing but zeros are all zero: most functions
    // never run in a given test, and need no solving.
    if (!function.reported || !functionCounters ||
        std::ranges::all_of(*functionCounters, [](std::int64_t count) { return count == 0; })) {
      counts.blocks[f].assign(function.successors.size(), 0);
      counts.arcs[f].assign(function.arcs.size(), 0);
      continue;
    }
    solveFunction(function, functionCounters, counts.blocks[f], counts.arcs[f]);
  }
  return counts;
}

bool UnitCoverage::ran(const Line &line, const Counts &counts) const {
  std::int64_t count = 0;
  for (const ArcRef &arc : line.entering)
    count = wrappingSum(count, counts.arcs[arc.function][arc.arc]);
  for (const BlockRef &block : line.blocks)
    count = wrappingSum(count, counts.blocks[block.function][block.block]);
  if (count != 0 || line.inner.empty()) return count > 0;
  // Nothing came in, yet gcov adds the loops taken within the line: with
  // counts that do not add up (counters of threads that raced) a loop on
  // it may have run. There is one when taken arcs between its blocks are
  // left once those that no other taken arc leads to, or goes on from, are
  // dropped.
  std::vector<const Arc *> taken;
  std::vector<std::uint32_t> functionOf;
  for (const ArcRef &arc : line.inner)
    if (counts.arcs[arc.function][arc.arc] > 0) {
      taken.push_back(&functions_[arc.function].arcs[arc.arc]);
      functionOf.push_back(arc.function);
    }
  for (bool dropped = true; dropped && !taken.empty();) {
    dropped = false;
    for (std::size_t i = 0; i < taken.size();) {
      const auto joins = [&](bool before) {
        for (std::size_t j = 0; j < taken.size(); ++j)
          if (functionOf[j] == functionOf[i] &&
              (before ? taken[j]->destination == taken[i]->source
                      : taken[j]->source == taken[i]->destination))
            return true;
        return false;
      };
      if (joins(true) && joins(false)) {
        ++i;
        continue;
      }
      taken.erase(taken.begin() + static_cast<std::ptrdiff_t>(i));
      functionOf.erase(functionOf.begin() + static_cast<std::ptrdiff_t>(i));
      dropped = true;
    }
  }
  return !taken.empty();
}

void UnitCoverage::report(const std::vector<std::vector<std::int64_t>> *counters,
                          const std::function<void(GcovFile &&)> &onFile) const {
  const Counts counts = solve(counters);
  for (const Source &source : sources_) {
    GcovFile file;
    file.path = source.path;
    for (const FunctionEntry &entry : source.functions) {
      const std::vector<std::int64_t> &blocks = counts.blocks[entry.function];
      file.functions.push_back({notes_.functions[entry.function].name, entry.startLine,
                                !blocks.empty() && blocks[0] > 0});
    }
    for (const Line &line : source.lines) {
      GcovLine &reported = file.lines.emplace_back();
      reported.number = line.number;
      reported.ran = ran(line, counts);
      for (const ArcRef &arc : line.branches)
        reported.branchesTaken.push_back(counts.arcs[arc.function][arc.arc] > 0);
    }
    onFile(std::move(file));
  }
}

}  // namespace zorvane::gcov
