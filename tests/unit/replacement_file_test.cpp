#include "output/replacement_file.h"

#include "output/file_identity.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace zorvane::output;

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

TEST_F(ReplacementFileTest, KeepsPermissionsAndFollowsLinks) {
  std::ofstream(path("target")) << "old\n";
  std::filesystem::permissions(
      path("target"), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  std::filesystem::create_symlink("target", path("link"));
  replaceFile(path("link"), "new\n");
  EXPECT_TRUE(std::filesystem::is_symlink(path("link")));
  EXPECT_EQ(contents(path("target")), "new\n");
  EXPECT_EQ(std::filesystem::status(path("target")).permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  // A link to nothing yet makes the file it names.
  std::filesystem::create_symlink("made", path("dangling"));
  replaceFile(path("dangling"), "made\n");
  EXPECT_EQ(contents(path("made")), "made\n");
  EXPECT_EQ(entries(), (Names{"dangling", "link", "made", "target"}));
}

TEST_F(ReplacementFileTest, WritesThroughWhatIsNoRegularFile) {
  replaceFile("/dev/null", "gone\n");
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
  EXPECT_THROW(replaceFile("/dev/full", "x"), FileWriteError);
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}

TEST_F(ReplacementFileTest, FinishedFilesTakeTheirPlaceOnlyOnCommit) {
  std::ofstream(path("a")) << "old a\n";
  ReplacementFile a(path("a"));
  std::fputs("new a\n", a.stream());
  a.finish();
  EXPECT_EQ(contents(path("a")), "old a\n");
  a.commit();
  EXPECT_EQ(contents(path("a")), "new a\n");
}

TEST(FileIdentity, SameFileByInodeOrNormalisedPath) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("zorvane_identity_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir / "sub");
  std::ofstream(dir / "file") << "x";
  std::filesystem::create_symlink("file", dir / "link");
  std::filesystem::create_hard_link(dir / "file", dir / "hard");
  const auto id = [&](const std::string &name) { return identifyFile((dir / name).string()); };
  EXPECT_EQ(id("file"), id("link"));
  EXPECT_EQ(id("file"), id("hard"));
  EXPECT_EQ(id("file"), id("sub/../file"));
  EXPECT_EQ(id("absent"), id("sub/.//../absent"));
  EXPECT_FALSE(id("absent") == id("sub/absent"));
  EXPECT_FALSE(id("file") == id("absent"));
  std::filesystem::remove_all(dir);
}

TEST(FileIdentity, StreamsAndDevicesAreWrittenInPlace) {
  EXPECT_TRUE(isWrittenInPlace("/dev/null"));
  EXPECT_TRUE(isWrittenInPlace("/dev/fd/1"));
  EXPECT_TRUE(isWrittenInPlace("/dev/stdout"));
  EXPECT_FALSE(isWrittenInPlace("/nonexistent/file"));
}
