#include "gcov/capture_run.h"

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

namespace fs = std::filesystem;

ScratchDirectory::ScratchDirectory() {
  const char *temporary = std::getenv("TMPDIR");
  std::string pattern =
      std::string(temporary && *temporary ? temporary : "/tmp") + "/zorvane-gcov.XXXXXX";
  if (!::mkdtemp(pattern.data()))
    throw ConversionError("cannot create a scratch directory: " + std::string(std::strerror(errno)),
                          pattern);
  path_ = pattern;
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

// Hands the tests to the workers and puts their results in list order.
class CaptureQueue {
 public:
  CaptureQueue(const std::vector<TestSpec> &tests, const CaptureSettings &settings,
               std::FILE *out, const std::function<void(std::string_view)> &note)
      : tests_(tests), settings_(settings), out_(out), note_(note),
        window_(std::max<std::size_t>(4 * settings.jobs, 16)) {}

  // The next test to run; nullopt when there is none or capture stopped.
  // Waits while too many finished tests wait for one before them.
  std::optional<std::size_t> take() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [&] { return failure_ || next_ < written_ + window_; });
    if (failure_ || next_ >= tests_.size() || runningTestsStopped()) return std::nullopt;
    return next_++;
  }

  void finish(std::size_t index, CapturedTest &&captured) {
    std::lock_guard lock(mutex_);
    done_.emplace(index, std::move(captured));
    for (auto first = done_.begin(); first != done_.end() && first->first == written_;
         first = done_.erase(first), ++written_)
      write(tests_[written_], first->second);
    ready_.notify_all();
  }

  void fail(std::exception_ptr failure) {
    std::lock_guard lock(mutex_);
    if (!failure_) failure_ = failure;
    ready_.notify_all();
  }

  std::exception_ptr failure() const { return failure_; }

 private:
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
  const std::size_t window_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::size_t next_ = 0;
  std::size_t written_ = 0;
  std::map<std::size_t, CapturedTest> done_;
  std::exception_ptr failure_;
};

}  // namespace

void captureTests(const std::vector<TestSpec> &tests, const CaptureSettings &settings,
                  const BuildNotes &notes, const BuildGraphs *graphs,
                  const BuildSources &sources, const std::string &scratch, std::FILE *out,
                  const std::function<void(std::string_view)> &note) {
  CaptureQueue queue(tests, settings, out, note);
  const auto work = [&] {
    try {
      while (const auto index = queue.take()) {
        const TestSpec &test = tests[*index];
        try {
          CapturedTest captured = captureTest(test, scratch + "/t" + std::to_string(*index),
                                              settings.timeoutSeconds, notes, graphs, sources);
          // A test stopped from outside has no verdict of its own.
          if (runningTestsStopped()) break;
          queue.finish(*index, std::move(captured));
        } catch (const ConversionError &error) {
          throw ConversionError("test " + test.name + ": " + error.what(), settings.listName,
                                test.line);
        }
      }
    } catch (...) {
      queue.fail(std::current_exception());
    }
  };
  std::vector<std::thread> workers;
  const unsigned count = std::min<std::size_t>(std::max(settings.jobs, 1u), tests.size());
  for (unsigned i = 1; i < count; ++i) workers.emplace_back(work);
  work();
  for (std::thread &worker : workers) worker.join();
  if (queue.failure() && !runningTestsStopped()) std::rethrow_exception(queue.failure());
}
