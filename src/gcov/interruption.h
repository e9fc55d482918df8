#pragma once

namespace zorvane::gcov {

// Watches for SIGINT, SIGTERM and SIGHUP from the moment it is made: they
// no longer end the process at once; the first one stops the running tests
// (stopRunningTests()), so that the capture ends and cleans up after
// itself. Make it before any other thread starts: threads inherit the
// signals it holds back.
class InterruptionWatch {
 public:
  InterruptionWatch();

  // The signal that came, or 0.
  static int signal();
};

}  // namespace zorvane::gcov
