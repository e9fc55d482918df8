#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>

#include "gcov/build_notes.h"
#include "gcov/build_sources.h"
#include "gcov/capture_run.h"
#include "gcov/test_capture.h"
#include "tio/conversion_error.h"

using namespace zorvane::gcov;
using namespace zorvane::tio;

namespace fs = std::filesystem;

namespace {

// A build directory with the notes of one unit (never read here: the tests
// below leave no counters of it) and a scratch directory beside it.
class CaptureSteps : public testing::Test {
 protected:
  void SetUp() override {
    base_ =
        fs::temp_directory_path() / ("zorvane-steps-" + std::to_string(::getpid()) + "-" +
                                     testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(base_ / "build");
    std::ofstream(base_ / "build" / "unit.gcno") << "notes";
    fs::create_directories(base_ / "scratch");
  }
  void TearDown() override { fs::remove_all(base_); }

  std::string counters() const { return (base_ / "scratch" / "t0").string(); }

  fs::path base_;
};

std::string errorOf(const auto &action) {
  try {
    action();
  } catch (const ConversionError &error) {
    return error.what();
  }
  return "no error";
}

// Sets TMPDIR for the life of the object, as it was afterwards.
class TemporaryDirectoryVariable {
 public:
  explicit TemporaryDirectoryVariable(const char *value) {
    if (const char *old = std::getenv("TMPDIR")) old_ = old;
    value ? ::setenv("TMPDIR", value, 1) : ::unsetenv("TMPDIR");
  }
  ~TemporaryDirectoryVariable() {
    old_.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", old_.c_str(), 1);
  }

 private:
  std::string old_;
};

}  // namespace

TEST_F(CaptureSteps, CountersGoBelowTheirDirectoryWhichReadingRemoves) {
  const BuildNotes notes((base_ / "build").string());
  const BuildSources sources;
  const TestSpec test{"writes",
                      "printf %s \"$GCOV_PREFIX\" > ../prefix && "
                      "mkdir -p \"$GCOV_PREFIX/elsewhere\" && "
                      "echo junk > \"$GCOV_PREFIX/elsewhere/other.gcda\"",
                      1};
  const fs::path cwd = fs::current_path();
  fs::current_path(base_ / "build");
  const TestOutcome outcome = runCapturedTest(test, counters(), 0);
  fs::current_path(cwd);
  EXPECT_FALSE(outcome.failed());
  std::ifstream prefix(base_ / "prefix");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(prefix), {}), counters());
  EXPECT_TRUE(fs::exists(counters() + "/elsewhere/other.gcda"));
  // Counters of a program that is not part of the build are passed over.
  const CapturedTest captured = readCapturedTest(outcome, counters(), notes, nullptr, sources);
  EXPECT_TRUE(captured.reach.empty());
  EXPECT_FALSE(captured.outcome.failed());
  EXPECT_FALSE(fs::exists(counters()));
}

TEST_F(CaptureSteps, CommandsThatCannotStartAreErrorsAndTheirDirectoryGoes) {
  const BuildNotes notes((base_ / "build").string());
  const BuildSources sources;
  for (const auto &[status, reason] : {std::pair(127, "not found"), {126, "not executable"}}) {
    const TestOutcome outcome =
        runCapturedTest({"ghost", "exit " + std::to_string(status), 1}, counters(), 0);
    EXPECT_EQ(outcome.code, status);
    EXPECT_EQ(errorOf([&] { readCapturedTest(outcome, counters(), notes, nullptr, sources); }),
              std::string("its command could not start (") + reason + ", the shell's exit status " +
                  std::to_string(status) + ")");
    EXPECT_FALSE(fs::exists(counters()));
  }
  // A failing test is no error: it is recorded.
  const TestOutcome failed = runCapturedTest({"fails", "exit 3", 1}, counters(), 0);
  EXPECT_EQ(readCapturedTest(failed, counters(), notes, nullptr, sources).outcome.code, 3);
}

TEST_F(CaptureSteps, ACounterDirectoryThatExistsAlreadyIsAnError) {
  fs::create_directory(counters());
  EXPECT_EQ(errorOf([&] {
              runCapturedTest({"twice", "true", 1}, counters(), 0);
            }).rfind("cannot create a directory for the counters", 0),
            0u);
}

TEST_F(CaptureSteps, ScratchGoesInTmpdirOrElseInMemoryAndIsRemovedWithItsContents) {
  std::string made;
  {
    const TemporaryDirectoryVariable variable((base_ / "scratch").c_str());
    const ScratchDirectory scratch;
    made = scratch.path();
    EXPECT_EQ(fs::path(made).parent_path(), base_ / "scratch");
    fs::create_directories(made + "/t1/deep/er");
    std::ofstream(made + "/t1/deep/er/x.gcda") << "counters";
  }
  EXPECT_FALSE(fs::exists(made));
  const TemporaryDirectoryVariable unset(nullptr);
  const ScratchDirectory scratch;
  const bool inMemory = ::access("/dev/shm", W_OK | X_OK) == 0;
  EXPECT_EQ(fs::path(scratch.path()).parent_path(), inMemory ? "/dev/shm" : "/tmp");
}
