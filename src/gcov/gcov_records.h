#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zorvane::gcov {

// GCC's coverage files read directly: the .gcno notes that the compiler
// writes (each function's blocks, arcs and source lines) and the .gcda
// counters that a run leaves (how often each instrumented arc was taken).
// Both are sequences of tagged records of 32-bit words in the byte order of
// the machine that wrote them.

// Arc flags of the notes.
inline constexpr std::uint32_t arcOnTree = 1;  // not counted: solved from the others
inline constexpr std::uint32_t arcFake = 2;    // a call that may not return, or a setjmp
inline constexpr std::uint32_t arcFallThrough = 4;

struct NotesArc {
  std::uint32_t destination = 0;
  std::uint32_t flags = 0;
};

// Lines of one source file that a block covers, in the order of the notes.
struct BlockLocation {
  std::uint32_t source = 0;  // index in UnitNotes::sources
  std::vector<std::uint32_t> lines;
};

struct NotesBlock {
  std::vector<NotesArc> arcs;
  // Whether the arcs record of the block was met (a second one is corrupt).
  bool arcsSeen = false;
  std::vector<BlockLocation> locations;
};

struct NotesFunction {
  std::uint32_t ident = 0;
  std::uint32_t linenoChecksum = 0;
  std::uint32_t cfgChecksum = 0;
  std::string name;
  // Made by the compiler (static constructors and the like): not reported.
  bool artificial = false;
  std::uint32_t source = 0;
  std::uint32_t startLine = 0;
  std::uint32_t endLine = 0;
  bool blocksSeen = false;
  // Block 0 is the entry, block 1 the exit.
  std::vector<NotesBlock> blocks;
  // How many arcs are counted (not on the spanning tree): the counters of
  // the function in the .gcda, in the order of the blocks and their arcs.
  std::size_t counterCount = 0;
};

// The notes of one compilation unit.
struct UnitNotes {
  std::uint32_t version = 0;
  std::uint32_t stamp = 0;
  // The directory the unit was compiled in.
  std::string directory;
  // Source file names as the notes give them, after the same clean-up of
  // "." and ".." parts as gcov's (first seen first); functions and blocks
  // refer to them by index.
  std::vector<std::string> sources;
  std::vector<NotesFunction> functions;
  // Index of the function of each ident (the last one given).
  std::unordered_map<std::uint32_t, std::size_t> functionByIdent;
};

// Whether notes of this version are ones that parseNotes() and the reckoning
// of unit_report.h follow exactly as gcov does (those of GCC 12).
bool isKnownNotesVersion(std::uint32_t version);

// The version word as GCC shows it ("B22*" for GCC 12.2).
std::string versionText(std::uint32_t version);

// Reads the version of notes without reading the rest; 0 when the bytes
// are not notes.
std::uint32_t notesVersionOf(std::string_view bytes);

// Reads .gcno notes. Throws ConversionError (without a file: the caller
// names it) when they are not notes, or are truncated or corrupt; sizes
// are checked against the bytes, so bad input never makes it allocate
// more than a small multiple of their size.
UnitNotes parseNotes(std::string_view bytes);

// Counts add up modulo 2^64, as two's complement counters do: corrupt
// counters give odd counts, never undefined arithmetic.
inline std::int64_t wrappingSum(std::int64_t total, std::uint64_t addend) {
  return static_cast<std::int64_t>(static_cast<std::uint64_t>(total) + addend);
}

// The counters of each function of `notes` (indexed like notes.functions,
// each with counterCount values), summed over the .gcda records (modulo
// 2^64). Throws
// ConversionError when the bytes are not counters, are truncated or
// corrupt, or do not match the notes (another compilation: its stamp, a
// function's checksums or number of counters differ).
std::vector<std::vector<std::int64_t>> parseCounters(std::string_view bytes,
                                                     const UnitNotes &notes);

}  // namespace zorvane::gcov
