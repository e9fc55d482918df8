#pragma once

#include <sys/types.h>
#include <string>

namespace zorvane::output {

// The path a result file is finally written to: `path` with every symbolic
// link on the way to its last component followed (relative links read from
// the link's own directory), so that a link keeps pointing at a file that
// gets replaced. A link that points nowhere gives the path it points to; a
// path that is no link comes back unchanged. Stops after 40 links.
std::string followLinks(const std::string &path);

// Whether a result at `path` is written into what is there instead of
// replacing it: anything that exists and is not a regular file (a device
// such as /dev/null, a FIFO, a terminal), and /dev/fd/N and the like, which
// stand for a stream the caller handed over.
bool isWrittenInPlace(const std::string &path);

// What a path names, for telling whether two paths are the same file: the
// device and inode when it exists, else the absolute, normalised path of
// what its links lead to.
struct FileIdentity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  std::string normalisedPath;

  bool operator==(const FileIdentity &other) const;
};

FileIdentity identifyFile(const std::string &path);

}  // namespace zorvane::output
