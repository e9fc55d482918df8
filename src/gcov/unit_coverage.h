#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gcov/gcov_json.h"
#include "gcov/gcov_records.h"

namespace zorvane::gcov {

// What gcov -b reports on one unit, reckoned from its notes and counters
// as gcov reckons it: the counts of the arcs that are not counted are
// solved from the others, each line gathers the blocks that cover it, and
// the arcs leaving a block are the branches of the last line it covers in
// each file (unless the arc is the block's only way out, or a call that
// may not return). The layout of lines, blocks and branches depends on the
// notes alone and is made once; report() then costs one pass over the
// counters.
class UnitCoverage {
 public:
  // `withCounters`: laid out as gcov does for a unit that has counters
  // (functions without any counted arc are left out), or for notes alone.
  // `notes` must outlive this.
  UnitCoverage(const UnitNotes &notes, bool withCounters);

  // Hands each source file of the unit to `onFile`, with the counts of
  // `counters` (from parseCounters() on these notes), or with nothing run
  // when it is null.
  void report(const std::vector<std::vector<std::int64_t>> *counters,
              const std::function<void(GcovFile &&)> &onFile) const;

 private:
  struct Arc {
    std::uint32_t source = 0;
    std::uint32_t destination = 0;
    // Index of its counter, or -1 for an arc on the spanning tree.
    std::int64_t counter = -1;
    bool fake = false;
  };
  struct Function {
    std::vector<Arc> arcs;
    // Arc indexes leaving and entering each block; leaving ones in
    // ascending order of their destination.
    std::vector<std::vector<std::uint32_t>> successors;
    std::vector<std::vector<std::uint32_t>> predecessors;
    bool reported = false;
  };
  struct ArcRef {
    std::uint32_t function;
    std::uint32_t arc;
  };
  struct BlockRef {
    std::uint32_t function;
    std::uint32_t block;
  };
  // One line as gcov reports it: a line of a source file, or of a function
  // that shares its first line with another (those are reported apart).
  struct Line {
    std::uint32_t number = 0;
    // It ran when these arcs into its blocks from elsewhere were taken, or
    // (a line that no block ends on) when these blocks ran.
    bool byArcs = false;
    std::vector<ArcRef> entering;
    // Arcs between its blocks: taken round a loop on the line, they add
    // to its count.
    std::vector<ArcRef> inner;
    std::vector<BlockRef> blocks;
    std::vector<ArcRef> branches;
  };
  struct FunctionEntry {
    std::uint32_t function;
    std::uint32_t startLine;
  };
  struct Source {
    std::string path;
    std::vector<FunctionEntry> functions;
    std::vector<Line> lines;
  };

  // Block and arc counts of every function, solved from the counters.
  struct Counts {
    std::vector<std::vector<std::int64_t>> blocks;
    std::vector<std::vector<std::int64_t>> arcs;
  };
  Counts solve(const std::vector<std::vector<std::int64_t>> *counters) const;
  bool ran(const Line &line, const Counts &counts) const;
  void solveFunction(const Function &function, const std::vector<std::int64_t> *counters,
                     std::vector<std::int64_t> &blockCounts,
                     std::vector<std::int64_t> &arcCounts) const;

  const UnitNotes &notes_;
  std::vector<Function> functions_;
  std::vector<Source> sources_;
};

}  // namespace zorvane::gcov
