#include "optimizer/search_monitor.h"

#include <csignal>
#include <iterator>
#include <string>

#include "base/diagnostics.h"

namespace zorvane::optimizer {

namespace {

// The signals that ask a search to stop: Ctrl-C, `kill` and `timeout`, a
// closed terminal.
constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int stopSignalCount = std::size(stopSignals);

volatile std::sig_atomic_t interruptRequested = 0;
struct sigaction previousActions[stopSignalCount];
bool installed[stopSignalCount] = {};

void onInterrupt(int signal) {
  interruptRequested = 1;
  // The same signal again gets the default action: the process ends.
  std::signal(signal, SIG_DFL);
}

}  // namespace

SearchMonitor::SearchMonitor(double timeLimitSeconds, Diagnostics *progress)
    : start_(std::chrono::steady_clock::now()), lastShown_(start_), progress_(progress) {
  if (timeLimitSeconds > 0)
    deadline_ = start_ + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                             std::chrono::duration<double>(timeLimitSeconds));
  interruptRequested = 0;
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < stopSignalCount; ++i) {
    // A signal that whoever started the process chose to ignore stays ignored
    // (a job started in the background with nohup, for instance).
    sigaction(stopSignals[i], nullptr, &previousActions[i]);
    installed[i] = previousActions[i].sa_handler != SIG_IGN;
    if (installed[i]) sigaction(stopSignals[i], &action, nullptr);
  }
}

SearchMonitor::~SearchMonitor() {
  for (int i = 0; i < stopSignalCount; ++i)
    if (installed[i]) sigaction(stopSignals[i], &previousActions[i], nullptr);
  if (lineShown_) progress_->showProgress({});
}

bool SearchMonitor::interrupted() const {
  if (interruptRequested != 0) return true;
  if (!timeUp_ && deadline_ && std::chrono::steady_clock::now() >= *deadline_) timeUp_ = true;
  return timeUp_;
}

void SearchMonitor::refresh(std::uint32_t bestTests, std::uint32_t bestFiles) {
  using namespace std::chrono;
  const auto now = steady_clock::now();
  if (now - start_ < seconds(1) || now - lastShown_ < milliseconds(250)) return;
  lastShown_ = now;
  lineShown_ = true;
  const double elapsed = duration<double>(now - start_).count();
  std::string line = formatText("Searching: %.1f s, %llu nodes, ", elapsed,
                                static_cast<unsigned long long>(nodes_));
  if (bestTests == 0)
    line += "no cover yet";
  else if (bestFiles == 0)
    line += formatText("best %u tests", bestTests);
  else
    line += formatText("best %u tests on %u files", bestTests, bestFiles);
  progress_->showProgress(line);
}

}  // namespace zorvane::optimizer
