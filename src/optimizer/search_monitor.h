#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

// Watches a long search for the person running it. While it lives:
// - Ctrl-C (SIGINT), SIGTERM and SIGHUP ask the search to stop and report
//   the best cover found so far; the same signal again ends the process at
//   once, as usual. A signal ignored when the monitor starts stays ignored;
// - with a time limit, the search is asked to stop the same way once the
//   time is up;
// - when the standard error stream is a terminal and the search has run for
//   more than a second, a progress line (elapsed time, nodes, best cover so
//   far) is refreshed a few times a second. It is erased when the monitor
//   ends, before anything else is printed.
// Without a terminal and without a signal it prints nothing.
class SearchMonitor {
 public:
  // `timeLimitSeconds` 0: no time limit.
  explicit SearchMonitor(double timeLimitSeconds = 0);
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
    if (showProgress_ && (nodes_ & 1023) == 0) refresh(bestTests, bestFiles);
  }

 private:
  void refresh(std::uint32_t bestTests, std::uint32_t bestFiles);

  const std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastShown_;
  std::uint64_t nodes_ = 0;
  bool showProgress_;
  bool lineShown_ = false;
  std::optional<std::chrono::steady_clock::time_point> deadline_;
  mutable bool timeUp_ = false;
};
