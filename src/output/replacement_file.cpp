#include "output/replacement_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "output/file_identity.h"

namespace zorvane::output {

namespace {

// The temporary file starts with a dot so that directory listings and globs
// such as *.tio pass over it while it is being written.
std::string temporaryPathFor(const std::string &path, unsigned attempt) {
  const std::size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return directory + "." + name + ".tmp" + std::to_string(::getpid()) + "-" +
         std::to_string(attempt);
}

}  // namespace

FileWriteError::FileWriteError(std::string path, std::string reason)
    : std::runtime_error(path + ": " + reason),
      path_(std::move(path)),
      reason_(std::move(reason)) {}

ReplacementFile::ReplacementFile(std::string path) : path_(std::move(path)) {
  if (path_.empty()) throw FileWriteError(path_, std::strerror(ENOENT));
  if (isWrittenInPlace(path_))
    openInPlace();
  else
    createTemporary(followLinks(path_));
}

void ReplacementFile::openInPlace() {
  const int fd = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) throw FileWriteError(path_, std::strerror(errno));
  // A /dev/fd/N that leads to a regular file gets the new contents only.
  struct stat status;
  if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) (void)::ftruncate(fd, 0);
  stream_ = ::fdopen(fd, "wb");
  if (!stream_) {
    const int error = errno;
    ::close(fd);
    throw FileWriteError(path_, std::strerror(error));
  }
}

void ReplacementFile::createTemporary(const std::string &target) {
  struct stat old;
  const bool replacing = ::stat(target.c_str(), &old) == 0;
  // What the process could not write in place it does not replace either.
  if (replacing && ::access(target.c_str(), W_OK) != 0)
    throw FileWriteError(path_, std::strerror(errno));
  // A name left behind by another writer is skipped, never reused.
  int fd = -1;
  for (unsigned attempt = 0; fd < 0; ++attempt) {
    temporaryPath_ = temporaryPathFor(target, attempt);
    fd = ::open(temporaryPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt == 100)) {
      const int error = errno;
      temporaryPath_.clear();
      throw FileWriteError(path_, std::strerror(error));
    }
  }
  targetPath_ = target;
  if (replacing) {
    // Only root may give the file away; others keep their own ownership.
    (void)::fchown(fd, old.st_uid, old.st_gid);
    ::fchmod(fd, old.st_mode & 07777);
  }
  stream_ = ::fdopen(fd, "wb");
  if (!stream_) {
    const int error = errno;
    ::close(fd);
    fail(error);
  }
}

ReplacementFile::~ReplacementFile() {
  if (stream_) std::fclose(stream_);
  if (!temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
}

void ReplacementFile::fail(int error) {
  if (stream_) std::fclose(stream_);
  stream_ = nullptr;
  if (!temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
  temporaryPath_.clear();
  throw FileWriteError(path_, std::strerror(error));
}

void ReplacementFile::finish() {
  if (!stream_) return;
  // A write that failed earlier marked the stream and left its reason in
  // errno; a flush now could only fail again, without telling why.
  if (std::ferror(stream_)) fail(errno ? errno : EIO);
  errno = 0;
  if (std::fflush(stream_) != 0) fail(errno ? errno : EIO);
  std::FILE *stream = stream_;
  stream_ = nullptr;
  if (std::fclose(stream) != 0) fail(errno);
}

void ReplacementFile::commit() {
  finish();
  if (temporaryPath_.empty()) return;
  if (::rename(temporaryPath_.c_str(), targetPath_.c_str()) != 0) fail(errno);
  temporaryPath_.clear();
}

void replaceFile(const std::string &path, std::string_view contents) {
  ReplacementFile file(path);
  std::fwrite(contents.data(), 1, contents.size(), file.stream());
  file.commit();
}

}  // namespace zorvane::output
