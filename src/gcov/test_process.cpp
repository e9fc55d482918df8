#include "gcov/test_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <thread>
#include <vector>

#include "tio/conversion_error.h"

extern char **environ;

namespace zorvane::gcov {

using tio::ConversionError;

namespace {

using Clock = std::chrono::steady_clock;

// The process groups of the tests running now, so that they can be stopped
// from another thread.
class RunningGroups {
 public:
  static RunningGroups &instance() {
    static RunningGroups groups;
    return groups;
  }
  void add(pid_t group) {
    std::lock_guard lock(mutex_);
    groups_.insert(group);
    if (stopped_) ::kill(-group, SIGKILL);
  }
  // Once no process of the group is left: its number may be given again.
  void remove(pid_t group) {
    std::lock_guard lock(mutex_);
    groups_.erase(group);
  }
  void stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    for (pid_t group : groups_) ::kill(-group, SIGKILL);
  }
  bool stopped() {
    std::lock_guard lock(mutex_);
    return stopped_;
  }

 private:
  std::mutex mutex_;
  std::set<pid_t> groups_;
  bool stopped_ = false;
};

// The environment of the test: ours, with the counters sent to their own
// directory, whatever GCOV_PREFIX the caller had.
std::vector<std::string> testEnvironment(const std::string &counterDirectory) {
  std::vector<std::string> environment;
  for (char **entry = environ; *entry; ++entry) {
    const std::string_view text = *entry;
    if (!text.starts_with("GCOV_PREFIX=") && !text.starts_with("GCOV_PREFIX_STRIP="))
      environment.emplace_back(text);
  }
  environment.push_back("GCOV_PREFIX=" + counterDirectory);
  environment.push_back("GCOV_PREFIX_STRIP=0");
  return environment;
}

pid_t startShell(const std::string &command, const std::string &counterDirectory) {
  std::vector<std::string> environment = testEnvironment(counterDirectory);
  std::vector<char *> envp;
  for (std::string &entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string shell = "/bin/sh", option = "-c", text = command;
  char *argv[] = {shell.data(), option.data(), text.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  sigfillset(&signals);
  posix_spawnattr_setsigdefault(&attributes, &signals);
  pid_t pid = 0;
  const int error = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv, envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0)
    throw ConversionError("cannot start /bin/sh: " + std::string(std::strerror(error)));
  return pid;
}

// Waits until the process `pid` has ended or `deadline` has come; true when
// it has ended (and is reaped, its status in `status`).
bool waitUntil(pid_t pid, int &status, std::optional<Clock::time_point> deadline) {
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  for (;;) {
    const pid_t reaped = ::waitpid(pid, &status, WNOHANG);
    if (reaped == pid || (reaped < 0 && errno != EINTR)) break;
    if (reaped < 0) continue;
    int timeout = -1;
    if (deadline) {
      const auto left = *deadline - Clock::now();
      if (left <= Clock::duration::zero()) {
        if (pidfd >= 0) ::close(pidfd);
        return false;
      }
      timeout = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
    }
    if (pidfd >= 0) {
      pollfd ready = {pidfd, POLLIN, 0};
      ::poll(&ready, 1, timeout);
    } else {
      // Kernels without pidfd: look again soon.
      std::this_thread::sleep_for(
          std::chrono::milliseconds(timeout < 0 ? 2 : std::min(timeout, 2)));
    }
  }
  if (pidfd >= 0) ::close(pidfd);
  return true;
}

// Waits until no process is left in the group `group` or `deadline` has come.
bool waitForGroup(pid_t group, std::optional<Clock::time_point> deadline) {
  auto pause = std::chrono::microseconds(100);
  while (::kill(-group, 0) == 0) {
    if (deadline && Clock::now() >= *deadline) return false;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(20000));
  }
  return true;
}

}  // namespace

TestOutcome runTestCommand(const std::string &command, const std::string &counterDirectory,
                           double timeoutSeconds) {
  const Clock::time_point start = Clock::now();
  std::optional<Clock::time_point> deadline;
  if (timeoutSeconds > 0)
    deadline = start + std::chrono::duration_cast<Clock::duration>(
                           std::chrono::duration<double>(timeoutSeconds));
  const pid_t shell = startShell(command, counterDirectory);
  RunningGroups::instance().add(shell);
  int status = 0;
  const bool ended = waitUntil(shell, status, deadline);
  TestOutcome outcome;
  outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const bool groupEnded = ended && waitForGroup(shell, deadline);
  if (!groupEnded) ::kill(-shell, SIGKILL);
  if (!ended) waitUntil(shell, status, std::nullopt);
  RunningGroups::instance().remove(shell);
  if (!groupEnded) {
    outcome.verdict = TestOutcome::Verdict::TimedOut;
    outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  } else if (WIFSIGNALED(status)) {
    outcome.verdict = TestOutcome::Verdict::Signal;
    outcome.code = WTERMSIG(status);
  } else if (WEXITSTATUS(status) != 0) {
    outcome.verdict = TestOutcome::Verdict::ExitStatus;
    outcome.code = WEXITSTATUS(status);
  }
  return outcome;
}

void stopRunningTests() { RunningGroups::instance().stop(); }

bool runningTestsStopped() { return RunningGroups::instance().stopped(); }

std::string describeOutcome(const TestOutcome &outcome) {
  switch (outcome.verdict) {
    case TestOutcome::Verdict::Passed: return "passed";
    case TestOutcome::Verdict::ExitStatus:
      return "failed (exit status " + std::to_string(outcome.code) + ")";
    case TestOutcome::Verdict::Signal:
      return "failed (signal " + std::to_string(outcome.code) + ")";
    case TestOutcome::Verdict::TimedOut: return "failed (timed out)";
  }
  return {};
}

}  // namespace zorvane::gcov
