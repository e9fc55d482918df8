#include "output/file_identity.h"

#include <sys/stat.h>
#include <unistd.h>

#include <string_view>
#include <vector>

namespace zorvane::output {

namespace {

std::string directoryOf(const std::string &path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// "/a/./b//../c" as "/a/c", from the current directory when relative. ".."
// is taken lexically: the links have been followed before.
std::string normalise(const std::string &path) {
  std::string absolute = path;
  if (!path.starts_with('/')) {
    std::vector<char> buffer(4096);
    if (::getcwd(buffer.data(), buffer.size())) absolute = std::string(buffer.data()) + "/" + path;
  }
  std::vector<std::string_view> parts;
  std::string_view rest = absolute;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string result;
  for (const std::string_view part : parts) (result += '/') += part;
  return result.empty() ? "/" : result;
}

}  // namespace

std::string followLinks(const std::string &path) {
  std::string current = path;
  for (int hop = 0; hop < 40; ++hop) {
    struct stat status;
    if (::lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return current;
    std::vector<char> target(static_cast<std::size_t>(status.st_size > 0 ? status.st_size : 255) +
                             1);
    const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= target.size()) return current;
    const std::string next(target.data(), static_cast<std::size_t>(length));
    current = next.starts_with('/') ? next : directoryOf(current) + next;
  }
  return current;
}

bool isWrittenInPlace(const std::string &path) {
  for (const std::string_view stream : {"/dev/fd/", "/proc/self/fd/", "/dev/std"})
    if (path.starts_with(stream)) return true;
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode);
}

bool FileIdentity::operator==(const FileIdentity &other) const {
  if (exists != other.exists) return false;
  return exists ? device == other.device && inode == other.inode
                : normalisedPath == other.normalisedPath;
}

FileIdentity identifyFile(const std::string &path) {
  FileIdentity identity;
  struct stat status;
  if (::stat(path.c_str(), &status) == 0) {
    identity.exists = true;
    identity.device = status.st_dev;
    identity.inode = status.st_ino;
  } else {
    identity.normalisedPath = normalise(followLinks(path));
  }
  return identity;
}

}  // namespace zorvane::output
