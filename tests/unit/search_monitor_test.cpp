#include "optimizer/search_monitor.h"

#include <gtest/gtest.h>

#include <csignal>

namespace {

void (*currentHandler())(int) {
  struct sigaction action {};
  sigaction(SIGINT, nullptr, &action);
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
