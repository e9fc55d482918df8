#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <unordered_map>

#include "gcov/gcov_json.h"
#include "tio/source_keys.h"

namespace zorvane::gcov {

// Every source file that the notes of a build name, with its FT key and
// the functions that start on each of its lines: what makes the indexes of
// the .tio lines the same whichever tests ran.
class BuildSources {
 public:
  struct Source {
    std::string keyedPath;
    std::uint32_t key = 0;
    // Function names by start line, in byte order: a function's TF index
    // is its rank on its line.
    std::map<std::uint32_t, std::set<std::string>> functionsByLine;
  };

  // Records the source file and its functions, as gcov reports them from
  // the notes alone.
  void declare(const GcovFile &file);

  // Keys every source file relative to `root` (absolute, or empty: the
  // common directory of the sources outside /usr, where the system's
  // headers are, or of all of them when every one is there). Throws
  // ConversionError when no source file lies under a given root, or two
  // keys collide.
  void keyRelativeTo(const std::string &root);

  // The root keys are made relative to, with a trailing '/'.
  const std::string &root() const { return root_; }

  // The source file at the absolute `path`; nullptr when the build's notes
  // do not name it.
  const Source *find(const std::string &path) const;

  // The TF index of `function` starting on `line` of `source`; -1 when the
  // notes do not declare it there.
  static int functionIndex(const Source &source, std::uint32_t line, const std::string &function);

  // One "# FT <key> is <path>" comment for each source file.
  void writeKeyComments(std::FILE *out) const;

 private:
  std::map<std::string, Source> sourcesByPath_;
  std::string root_;
};

}  // namespace zorvane::gcov
