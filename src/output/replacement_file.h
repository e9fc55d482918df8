#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zorvane::output {

// A file that could not be written: the path asked for and the system's
// reason.
class FileWriteError : public std::runtime_error {
 public:
  FileWriteError(std::string path, std::string reason);
  const std::string &path() const { return path_; }
  const std::string &reason() const { return reason_; }

 private:
  std::string path_;
  std::string reason_;
};

// Writes a new version of a file so that it is never seen half-written: the
// bytes go to a temporary file in the directory of the file, which takes the
// file's place (rename) only when commit() succeeds. Until then, and whenever
// something fails, the file keeps its old contents or stays absent, and the
// temporary file is removed. The new file keeps the old one's permissions
// (and owner, where the process may set it). A symbolic link is followed:
// the file it names is replaced and the link stays. What is not a regular
// file (see isWrittenInPlace) is written into directly instead.
class ReplacementFile {
 public:
  // Creates the temporary file beside the file, or opens what is written in
  // place; throws FileWriteError when it cannot (missing or read-only
  // directory, a file the process may not write, ...).
  explicit ReplacementFile(std::string path);
  // Removes the temporary file unless it was committed.
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile &) = delete;
  ReplacementFile &operator=(const ReplacementFile &) = delete;

  // Where to write the new contents.
  std::FILE *stream() { return stream_; }

  // Finishes writing: every byte is out of the process and the stream is
  // closed, but the old file is still in place. Throws FileWriteError when a
  // write or the close failed. Lets several files be finished before any
  // of them takes its place.
  void finish();

  // Finishes writing if not done yet and puts the new file in place; throws
  // FileWriteError when that fails.
  void commit();

 private:
  void openInPlace();
  void createTemporary(const std::string &target);
  [[noreturn]] void fail(int error);

  std::string path_;
  std::string targetPath_;
  std::string temporaryPath_;
  std::FILE *stream_ = nullptr;
};

// Replaces the file at `path` with `contents` as ReplacementFile does.
void replaceFile(const std::string &path, std::string_view contents);

}  // namespace zorvane::output
