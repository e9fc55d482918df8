#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "base/diagnostics.h"

namespace zorvane::optimizer {

// Watches a long search for the person running it. While it lives:
// - Ctrl-C (SIGINT), SIGTERM and SIGHUP ask the search to stop and report
//   the best cover found so far; the same signal again ends the process at
//   once, as usual. A signal ignored when the monitor starts stays ignored;
// - with a time limit, the search is asked to stop the same way once the
//   time is up;
// - once the search has run for more than a second, a progress line
//   (elapsed time, nodes, best cover so far) is refreshed a few times a
//   second (the shell shows it on a terminal only). It is taken away when the
//   monitor ends.
class SearchMonitor {
 public:
  // `timeLimitSeconds` 0: no time limit. The progress line goes to
  // `progress`, if given.
  explicit SearchMonitor(double timeLimitSeconds = 0, Diagnostics *progress = nullptr);
  ~SearchMonitor();
  SearchMonitor(const SearchMonitor &) = delete;
  SearchMonitor &operator=(const SearchMonitor &) = delete;

  // Whether a signal or the time limit asks the search to stop.
  bool interrupted() const;
  // Whether it was the time limit.
  bool timeLimitReached() const { return timeUp_; }

  // Called for every node; looks at the clock only now and then. `bestTests`
  // is 0 while no cover has been accepted.
  void tick(std::uint32_t bestTests, std::uint32_t bestFiles) {
    ++nodes_;
    if (progress_ && (nodes_ & 1023) == 0) refresh(bestTests, bestFiles);
  }

 private:
  void refresh(std::uint32_t bestTests, std::uint32_t bestFiles);

  const std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastShown_;
  std::uint64_t nodes_ = 0;
  Diagnostics *progress_;
  bool lineShown_ = false;
  std::optional<std::chrono::steady_clock::time_point> deadline_;
  mutable bool timeUp_ = false;
};

}  // namespace zorvane::optimizer
