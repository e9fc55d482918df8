#include "optimizer/search_monitor.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t interruptRequested = 0;
struct sigaction previousAction;

void onInterrupt(int) {
  interruptRequested = 1;
  // The next Ctrl-C gets the default action: the process ends.
  std::signal(SIGINT, SIG_DFL);
}

}  // namespace

SearchMonitor::SearchMonitor()
    : start_(std::chrono::steady_clock::now()), lastShown_(start_), showProgress_(::isatty(2) == 1) {
  interruptRequested = 0;
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, &previousAction);
}

SearchMonitor::~SearchMonitor() {
  sigaction(SIGINT, &previousAction, nullptr);
  if (lineShown_) std::fputs("\r\033[K", stderr);
}

bool SearchMonitor::interrupted() const { return interruptRequested != 0; }

void SearchMonitor::refresh(std::uint32_t bestTests, std::uint32_t bestFiles) {
  using namespace std::chrono;
  const auto now = steady_clock::now();
  if (now - start_ < seconds(1) || now - lastShown_ < milliseconds(250)) return;
  lastShown_ = now;
  lineShown_ = true;
  const double elapsed = duration<double>(now - start_).count();
  std::fflush(stdout);
  std::fprintf(stderr, "\r\033[KSearching: %.1f s, %llu nodes, ", elapsed,
               static_cast<unsigned long long>(nodes_));
  if (bestTests == 0)
    std::fputs("no cover yet", stderr);
  else if (bestFiles == 0)
    std::fprintf(stderr, "best %u tests", bestTests);
  else
    std::fprintf(stderr, "best %u tests on %u files", bestTests, bestFiles);
  std::fflush(stderr);
}
