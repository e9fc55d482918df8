#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include <absl/container/flat_hash_map.h>

namespace zorvane::optimizer {

// What the exact solver learned of the connected parts it solved, kept by
// their contents. A search asks for the smallest cover of what each
// candidate leaves uncovered; most candidates leave the hardest part of the
// instance as it was, so the same part comes again and again. A part is
// kept as the solver sees it, with its tests numbered from 0: the same
// contents are the same problem, whichever tests they came from.
class SolvedParts {
 public:
  // A part: its number of tests, then per branch the number of its tests
  // and the tests.
  using Contents = std::vector<std::uint32_t>;

  // What is known of a part: no cover of at most `noneUpTo` tests, or its
  // optimum with one cover of that size (by the part's own test numbers).
  struct Answer {
    std::uint32_t noneUpTo = 0;
    std::optional<std::uint32_t> optimum;
    std::vector<std::uint32_t> cover;
  };

  // The answer kept for `contents`, or null.
  const Answer *find(const Contents &contents) const;
  // Keeps what a solve found out: an optimum with its cover, or that no
  // cover of at most `cap` tests exists.
  void keepOptimum(Contents contents, std::uint32_t optimum, std::vector<std::uint32_t> cover);
  void keepNone(Contents contents, std::uint32_t cap);

 private:
  // Past this many ids kept (16 MiB), every answer is forgotten and the
  // memory starts again: a search that meets ever new parts does not grow
  // without end.
  static constexpr std::size_t keptIdsLimit = std::size_t{1} << 22;
  Answer &answerFor(Contents contents);
  absl::flat_hash_map<Contents, Answer> answers_;
  std::size_t keptIds_ = 0;
};

}  // namespace zorvane::optimizer
