#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

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
// bytes go to a temporary file in the same directory, which takes the file's
// place (rename) only when commit() succeeds. Until then, and whenever
// something fails, the file keeps its old contents or stays absent, and the
// temporary file is removed.
class ReplacementFile {
 public:
  // Creates the temporary file beside `path`; throws FileWriteError when it
  // cannot (missing or read-only directory, ...).
  explicit ReplacementFile(std::string path);
  // Removes the temporary file unless it was committed.
  ~ReplacementFile();
  ReplacementFile(const ReplacementFile &) = delete;
  ReplacementFile &operator=(const ReplacementFile &) = delete;

  // Where to write the new contents.
  std::FILE *stream() { return stream_; }

  // Finishes writing and puts the new file in place; throws FileWriteError
  // when a write, the close or the rename failed.
  void commit();

 private:
  [[noreturn]] void fail(int error);

  std::string path_;
  std::string temporaryPath_;
  std::FILE *stream_ = nullptr;
};

// Replaces the file at `path` with `contents` as ReplacementFile does.
void replaceFile(const std::string &path, std::string_view contents);
