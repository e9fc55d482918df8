#include "optimizer/search_monitor.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace zorvane;
using namespace zorvane::optimizer;

namespace {

void (*currentHandler(int signal = SIGINT))(int) {
  struct sigaction action {};
  sigaction(signal, nullptr, &action);
  return action.sa_handler;
}

void ignoreSignal(int) {}

}  // namespace

TEST(SearchMonitor, FirstInterruptStopsTheSearchAndTheSecondGetsTheDefaultAction) {
  std::signal(SIGINT, ignoreSignal);
  {
    SearchMonitor monitor;
    EXPECT_FALSE(monitor.interrupted());
    std::raise(SIGINT);
    EXPECT_TRUE(monitor.interrupted());
    EXPECT_EQ(currentHandler(), SIG_DFL);
  }
  // The handler in force before the search comes back afterwards.
  EXPECT_EQ(currentHandler(), &ignoreSignal);
  SearchMonitor next;
  EXPECT_FALSE(next.interrupted());
}

TEST(SearchMonitor, TermAndHangupStopTheSearchLikeAnInterrupt) {
  for (const int signal : {SIGTERM, SIGHUP}) {
    std::signal(signal, ignoreSignal);
    {
      SearchMonitor monitor;
      std::raise(signal);
      EXPECT_TRUE(monitor.interrupted()) << signal;
      EXPECT_FALSE(monitor.timeLimitReached());
      EXPECT_EQ(currentHandler(signal), SIG_DFL);
    }
    EXPECT_EQ(currentHandler(signal), &ignoreSignal);
    std::signal(signal, SIG_DFL);
  }
}

TEST(SearchMonitor, ASignalIgnoredBeforeStaysIgnored) {
  std::signal(SIGTERM, SIG_IGN);
  {
    SearchMonitor monitor;
    EXPECT_EQ(currentHandler(SIGTERM), SIG_IGN);
    std::raise(SIGTERM);
    EXPECT_FALSE(monitor.interrupted());
  }
  EXPECT_EQ(currentHandler(SIGTERM), SIG_IGN);
  std::signal(SIGTERM, SIG_DFL);
}

TEST(SearchMonitor, TheTimeLimitStopsTheSearch) {
  SearchMonitor unlimited;
  EXPECT_FALSE(unlimited.interrupted());
  SearchMonitor limited(1e-9);
  while (!limited.interrupted()) {}
  EXPECT_TRUE(limited.timeLimitReached());
}
