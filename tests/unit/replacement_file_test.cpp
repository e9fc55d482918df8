#include "output/replacement_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

class ReplacementFileTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zorvane_replace_" + std::to_string(::getpid()) + "_" +
            testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string path(const std::string &name) const { return (dir_ / name).string(); }
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(dir_))
      names.push_back(entry.path().filename().string());
    std::ranges::sort(names);
    return names;
  }
  static std::string contents(const std::string &path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
  }

  std::filesystem::path dir_;
};

using Names = std::vector<std::string>;

}  // namespace

TEST_F(ReplacementFileTest, ReplacesTheFileOnlyOnCommit) {
  std::ofstream(path("out")) << "old\n";
  {
    ReplacementFile file(path("out"));
    std::fputs("new\n", file.stream());
    EXPECT_EQ(contents(path("out")), "old\n");
    EXPECT_EQ(entries().size(), 2u);
    file.commit();
  }
  EXPECT_EQ(contents(path("out")), "new\n");
  EXPECT_EQ(entries(), Names{"out"});
}

TEST_F(ReplacementFileTest, WithoutCommitNothingChangesAndNothingIsLeft) {
  std::ofstream(path("out")) << "old\n";
  {
    ReplacementFile file(path("out"));
    std::fputs("half", file.stream());
  }
  EXPECT_EQ(contents(path("out")), "old\n");
  EXPECT_EQ(entries(), Names{"out"});
}

TEST_F(ReplacementFileTest, FailuresNameThePathAndTheReason) {
  try {
    replaceFile(path("missing/out"), "x");
    ADD_FAILURE() << "no error";
  } catch (const FileWriteError &error) {
    EXPECT_EQ(error.path(), path("missing/out"));
    EXPECT_EQ(error.reason(), "No such file or directory");
  }
  std::filesystem::create_directory(path("directory"));
  try {
    replaceFile(path("directory"), "x");
    ADD_FAILURE() << "no error";
  } catch (const FileWriteError &error) {
    EXPECT_EQ(error.reason(), "Is a directory");
  }
  EXPECT_EQ(entries(), Names{"directory"});
  EXPECT_THROW(replaceFile("", "x"), FileWriteError);
}

TEST_F(ReplacementFileTest, AWriteErrorKeepsTheOldFile) {
  // A file size limit makes writes fail as a full disk would.
  std::ofstream(path("out")) << "old\n";
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit previous{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
  for (std::size_t size : {std::size_t{100}, std::size_t{1} << 20}) {
    rlimit limited = previous;
    limited.rlim_cur = 10;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    try {
      replaceFile(path("out"), std::string(size, 'x'));
      ADD_FAILURE() << "no error for " << size << " bytes";
    } catch (const FileWriteError &error) {
      EXPECT_EQ(error.reason(), "File too large") << size;
    }
    ::setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_EQ(contents(path("out")), "old\n");
    EXPECT_EQ(entries(), Names{"out"});
  }
  std::signal(SIGXFSZ, previousHandler);
}
