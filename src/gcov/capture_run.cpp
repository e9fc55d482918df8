#include "gcov/capture_run.h"

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "gcov/gcov_tool.h"
#include "gcov/test_capture.h"
#include "tio/conversion_error.h"

namespace zorvane::gcov {

using tio::ConversionError;
using tio::writeFileReach;
using tio::writeTestName;

namespace fs = std::filesystem;

namespace {

// Where the scratch directory may go, first choice first: $TMPDIR when it is
// set; else the memory-backed /dev/shm, then /tmp. Each test writes its
// counters in a tree of directories that is removed once they are read: on
// a disk (and above all one mounted with online discard, where removing
// files waits for the device) that costs more than many a test takes.
std::vector<std::string> scratchParents() {
  const char *temporary = std::getenv("TMPDIR");
  if (temporary && *temporary) return {temporary};
  return {"/dev/shm", "/tmp"};
}

}  // namespace

ScratchDirectory::ScratchDirectory() {
  std::string pattern;
  for (const std::string &parent : scratchParents()) {
    pattern = parent + "/zorvane-gcov.XXXXXX";
    if (::mkdtemp(pattern.data())) {
      path_ = pattern;
      return;
    }
  }
  throw ConversionError("cannot create a scratch directory: " + std::string(std::strerror(errno)),
                        pattern);
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

BuildSources readBuildSources(const BuildNotes &notes, const BuildGraphs *graphs,
                              const std::string &root, const std::string &scratch) {
  BuildSources sources;
  if (graphs) {
    graphs->reportNotes([&](GcovFile &&file) { sources.declare(file); });
    sources.keyRelativeTo(root);
    return sources;
  }
  // The notes are linked into a directory of their own, so that counters
  // left in the build directory by earlier runs are not read with them.
  const fs::path directory = fs::path(scratch) / "notes";
  fs::create_directory(directory);
  constexpr std::size_t unitsPerRun = 256;
  const auto &units = notes.units();
  for (std::size_t first = 0; first < units.size(); first += unitsPerRun) {
    std::vector<std::string> files;
    for (std::size_t i = first; i < units.size() && i < first + unitsPerRun; ++i) {
      files.push_back((directory / ("u" + std::to_string(i) + ".gcno")).string());
      fs::create_symlink(notes.directory() + "/" + units[i] + ".gcno", files.back());
    }
    readGcovReport(readNotes(files), [&](GcovFile &&file) { sources.declare(file); });
  }
  fs::remove_all(directory);
  sources.keyRelativeTo(root);
  return sources;
}

namespace {

std::string secondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", seconds);
  return text;
}

void writeTest(std::FILE *out, const TestSpec &test, const CapturedTest &captured) {
  writeTestName(out, test.name);
  std::fprintf(out, "DT %s in %.3f s\n", describeOutcome(captured.outcome).c_str(),
               captured.outcome.seconds);
  for (const auto &[key, reach] : captured.reach) writeFileReach(out, key, reach);
}

// Hands the tests to the runners, the tests that ran to the readers, and
// puts what they reached in list order. A failure ends the capture; of
// several, the one of the test first in the list is told, as one test at a
// time would meet it: tests before it are still read, the others dropped.
class CaptureQueue {
 public:
  CaptureQueue(const std::vector<TestSpec> &tests, const CaptureSettings &settings,
               unsigned runners, std::FILE *out, const std::function<void(std::string_view)> &note)
      : tests_(tests),
        settings_(settings),
        out_(out),
        note_(note),
        runners_(runners),
        window_(std::max<std::size_t>(4 * runners, 16)) {}

  // The next test to run; nullopt when there is none or capture stopped.
  // Waits while too many finished tests wait for one before them.
  std::optional<std::size_t> take() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return ended() || next_ < written_ + window_; });
    if (ended() || next_ >= tests_.size() || runningTestsStopped()) return std::nullopt;
    return next_++;
  }

  // Test `index` ran and waits for a reader; waits while as many wait as
  // there are runners, so that only a few tests' counters are kept.
  void ran(std::size_t index, const TestOutcome &outcome) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return ended() || toRead_.size() < runners_; });
    if (!failure_ || index < failedIndex_) toRead_.emplace(index, outcome);
    changed_.notify_all();
  }

  // A runner has no more tests to run.
  void runnerDone() {
    std::lock_guard lock(mutex_);
    ++runnersDone_;
    changed_.notify_all();
  }

  // The test that ran to read next (first in the list first); nullopt once
  // every runner is done and nothing is left, or capture stopped.
  std::optional<std::pair<std::size_t, TestOutcome>> read() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return stopped_ || !toRead_.empty() || runnersDone_ == runners_; });
    if (stopped_ || toRead_.empty()) return std::nullopt;
    auto first = toRead_.extract(toRead_.begin());
    changed_.notify_all();
    return std::pair(first.key(), first.mapped());
  }

  void finish(std::size_t index, CapturedTest &&captured) {
    std::lock_guard lock(mutex_);
    done_.emplace(index, std::move(captured));
    for (auto first = done_.begin(); first != done_.end() && first->first == written_;
         first = done_.erase(first), ++written_)
      write(tests_[written_], first->second);
    changed_.notify_all();
  }

  void fail(std::size_t index, std::exception_ptr failure) {
    std::lock_guard lock(mutex_);
    if (!failure_ || index < failedIndex_) {
      failure_ = failure;
      failedIndex_ = index;
      toRead_.erase(toRead_.upper_bound(index), toRead_.end());
    }
    changed_.notify_all();
  }

  // Told to stop from outside (the tests were killed): everyone leaves.
  void stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    changed_.notify_all();
  }

  std::exception_ptr failure() const { return failure_; }

 private:
  bool ended() const { return failure_ || stopped_; }

  void write(const TestSpec &test, const CapturedTest &captured) {
    const TestOutcome &outcome = captured.outcome;
    const std::string where = settings_.listName + ":" + std::to_string(test.line) + ": test ";
    if (outcome.verdict == TestOutcome::Verdict::TimedOut)
      note_(where + test.name + " timed out after " + secondsText(settings_.timeoutSeconds) +
            " s: its processes were killed");
    else if (outcome.failed())
      note_(where + test.name + " " + describeOutcome(outcome));
    if (outcome.failed() && settings_.skipFailing) return;
    writeTest(out_, test, captured);
  }

  const std::vector<TestSpec> &tests_;
  const CaptureSettings &settings_;
  std::FILE *out_;
  const std::function<void(std::string_view)> &note_;
  const unsigned runners_;
  const std::size_t window_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::size_t next_ = 0;
  std::size_t written_ = 0;
  std::map<std::size_t, TestOutcome> toRead_;
  unsigned runnersDone_ = 0;
  std::map<std::size_t, CapturedTest> done_;
  std::exception_ptr failure_;
  std::size_t failedIndex_ = 0;
  bool stopped_ = false;
};

}  // namespace

void captureTests(const std::vector<TestSpec> &tests, const CaptureSettings &settings,
                  const BuildNotes &notes, const BuildGraphs *graphs, const BuildSources &sources,
                  const std::string &scratch, std::FILE *out,
                  const std::function<void(std::string_view)> &note) {
  const auto runners =
      static_cast<unsigned>(std::min<std::size_t>(std::max(settings.jobs, 1u), tests.size()));
  CaptureQueue queue(tests, settings, runners, out, note);
  const auto counterDirectory = [&](std::size_t index) {
    return scratch + "/t" + std::to_string(index);
  };
  // Each step of a test tells its failure with the test's name and line.
  const auto step = [&](std::size_t index, const auto &action) {
    try {
      try {
        action();
      } catch (const ConversionError &error) {
        throw ConversionError("test " + tests[index].name + ": " + error.what(), settings.listName,
                              tests[index].line);
      }
    } catch (...) {
      queue.fail(index, std::current_exception());
    }
  };
  // Runners only run tests, so that a test's time is its own and the next
  // one starts at once; readers read the counters meanwhile.
  const auto run = [&] {
    while (const auto index = queue.take()) {
      step(*index, [&] {
        const TestOutcome outcome =
            runCapturedTest(tests[*index], counterDirectory(*index), settings.timeoutSeconds);
        // A test stopped from outside has no verdict of its own.
        if (runningTestsStopped())
          queue.stop();
        else
          queue.ran(*index, outcome);
      });
    }
    queue.runnerDone();
  };
  const auto read = [&] {
    while (const auto ran = queue.read())
      step(ran->first, [&] {
        queue.finish(ran->first, readCapturedTest(ran->second, counterDirectory(ran->first), notes,
                                                  graphs, sources));
      });
  };
  std::vector<std::thread> threads;
  for (unsigned i = 0; i < runners; ++i) threads.emplace_back(run);
  for (unsigned i = 0; i < runners; ++i) threads.emplace_back(read);
  for (std::thread &thread : threads) thread.join();
  if (queue.failure() && !runningTestsStopped()) std::rethrow_exception(queue.failure());
}

}  // namespace zorvane::gcov
