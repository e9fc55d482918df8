#pragma once

#include <string>

namespace zorvane::gcov {

// How a test ended.
struct TestOutcome {
  enum class Verdict { Passed, ExitStatus, Signal, TimedOut };
  Verdict verdict = Verdict::Passed;
  // The exit status or the signal number.
  int code = 0;
  // From its start until its shell ended.
  double seconds = 0;

  bool failed() const { return verdict != Verdict::Passed; }
};

// Runs `command` with /bin/sh -c from the current directory, in a process
// group of its own, with standard input, output and error on /dev/null and
// its coverage counters written below `counterDirectory` (GCOV_PREFIX).
// Returns once the shell has ended and no process of its group is left, so
// that every counter is written; after `timeoutSeconds` (0: no limit) the
// whole group is killed. Throws ConversionError when the shell cannot be
// started.
TestOutcome runTestCommand(const std::string &command, const std::string &counterDirectory,
                           double timeoutSeconds);

// Kills the process group of every test running, and of every test started
// from now on, as soon as it starts: what stops a capture that is told to.
// Safe to call from any thread.
void stopRunningTests();

// Whether stopRunningTests() was called.
bool runningTestsStopped();

// "passed", "failed (exit status 1)", "failed (signal 9)", "failed (timed out)".
std::string describeOutcome(const TestOutcome &outcome);

}  // namespace zorvane::gcov
