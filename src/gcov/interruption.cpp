#include "gcov/interruption.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "gcov/test_process.h"

namespace zorvane::gcov {

namespace {

std::atomic<int> received{0};

sigset_t watchedSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  return signals;
}

}  // namespace

InterruptionWatch::InterruptionWatch() {
  const sigset_t signals = watchedSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  // The watcher waits as long as the process lives; it holds nothing that
  // needs an orderly end.
  std::thread([signals] {
    for (;;) {
      int number = 0;
      if (sigwait(&signals, &number) != 0) continue;
      int none = 0;
      received.compare_exchange_strong(none, number);
      stopRunningTests();
    }
  }).detach();
}

int InterruptionWatch::signal() { return received.load(); }

}  // namespace zorvane::gcov
