#include "gcov/gcov_tool.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "tio/conversion_error.h"

extern char **environ;

namespace zorvane::gcov {

using tio::ConversionError;

namespace {

struct ProcessResult {
  std::string out;
  std::string err;
  int status = 0;
};

void closeAll(std::initializer_list<int> fds) {
  for (int fd : fds)
    if (fd >= 0) ::close(fd);
}

// Runs `arguments` (the program found on the PATH) with standard input on
// /dev/null and collects both its output streams.
ProcessResult runProcess(const std::vector<std::string> &arguments) {
  int outPipe[2], errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0) throw ConversionError(std::strerror(errno));
  if (::pipe2(errPipe, O_CLOEXEC) != 0) {
    const int error = errno;
    closeAll({outPipe[0], outPipe[1]});
    throw ConversionError(std::strerror(error));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  std::vector<char *> argv;
  for (const std::string &argument : arguments)
    argv.push_back(const_cast<char *>(argument.c_str()));
  argv.push_back(nullptr);
  // gcov ends on the signals that this process holds back for its watcher.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  pid_t pid = 0;
  const int spawnError = ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  closeAll({outPipe[1], errPipe[1]});
  if (spawnError != 0) {
    closeAll({outPipe[0], errPipe[0]});
    throw ConversionError("cannot run " + arguments[0] + ": " + std::strerror(spawnError));
  }
  ProcessResult result;
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  std::string *sinks[2] = {&result.out, &result.err};
  char buffer[65536];
  for (int open = 2; open > 0;) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t count = ::read(fds[i].fd, buffer, sizeof buffer);
      if (count > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(count));
      } else if (count == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  closeAll({fds[0].fd, fds[1].fd});
  while (::waitpid(pid, &result.status, 0) < 0 && errno == EINTR) {}
  return result;
}

std::string firstLine(std::string_view text) {
  return std::string(text.substr(0, text.find('\n')));
}

}  // namespace

void checkGcov() {
  const ProcessResult result = runProcess({"gcov", "--version"});
  if (!WIFEXITED(result.status) || WEXITSTATUS(result.status) != 0)
    throw ConversionError("gcov --version failed: " + firstLine(result.err));
  // "gcov (Debian 12.2.0-14) 12.2.0": the version is the last word.
  const std::string line = firstLine(result.out);
  const std::string version = line.substr(line.rfind(' ') + 1);
  int major = 0;
  for (char c : version) {
    if (c < '0' || c > '9') break;
    major = major * 10 + (c - '0');
  }
  if (major < 10)
    throw ConversionError("gcov is too old (\"" + line +
                          "\"): zorvane-gcov needs the gcov of GCC 10 or later");
}

namespace {

// Runs gcov on `files`, reading branches and calls too.
ProcessResult runGcov(const std::vector<std::string> &files) {
  std::vector<std::string> arguments = {"gcov", "--branch-probabilities", "--branch-counts",
                                        "--json-format", "--stdout"};
  arguments.insert(arguments.end(), files.begin(), files.end());
  return runProcess(arguments);
}

bool succeeded(const ProcessResult &result) {
  return WIFEXITED(result.status) && WEXITSTATUS(result.status) == 0;
}

[[noreturn]] void failWith(const ProcessResult &result, std::string complaint) {
  if (complaint.empty()) complaint = "gcov ended with status " + std::to_string(result.status);
  throw ConversionError("gcov failed: " + complaint);
}

}  // namespace

std::string readCounters(const std::vector<std::string> &dataFiles,
                         const std::vector<std::string> &units) {
  ProcessResult result = runGcov(dataFiles);
  if (succeeded(result) && result.err.empty()) return std::move(result.out);
  std::string complaint = firstLine(result.err);
  for (std::size_t i = 0; i < dataFiles.size() && i < units.size(); ++i)
    if (complaint.starts_with(dataFiles[i] + ":")) {
      complaint = "counters of " + units[i] + ": " + complaint.substr(dataFiles[i].size() + 1);
      break;
    }
  failWith(result, complaint);
}

std::string readNotes(const std::vector<std::string> &notesFiles) {
  ProcessResult result = runGcov(notesFiles);
  std::string_view errors = result.err;
  std::string complaint;
  while (!errors.empty() && complaint.empty()) {
    const std::string line = firstLine(errors);
    errors.remove_prefix(std::min(errors.size(), line.size() + 1));
    if (!line.ends_with(":cannot open data file, assuming not executed")) complaint = line;
  }
  if (!succeeded(result) || !complaint.empty()) failWith(result, complaint);
  return std::move(result.out);
}

}  // namespace zorvane::gcov
