#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace zorvane::tio {

// Gives each source file its FT key, made from its path relative to one
// root directory, so that checkouts and builds in different places merge.
// Paths outside the root keep their whole path.
class SourceKeys {
 public:
  // `root` may be empty (every path keyed as written); `rootOption` names
  // the option that sets it, for the advice of the collision error.
  explicit SourceKeys(std::string root = {}, std::string rootOption = "--root");

  // The root with a trailing '/', or empty.
  const std::string &root() const { return root_; }

  // The path the key of `path` is made from: relative to the root when it
  // lies below it.
  std::string keyedPath(std::string_view path);

  // The key of a keyed path. Throws ConversionError when another keyed path
  // has the same key: merging the two would mix their coverage.
  std::uint32_t keyOf(const std::string &keyedPath);

  // Whether some path given to keyedPath() lay below the root.
  bool rootWasUsed() const { return rootWasUsed_; }

 private:
  std::string root_;
  std::string rootOption_;
  bool rootWasUsed_ = false;
  std::unordered_map<std::uint32_t, std::string> pathByKey_;
};

}  // namespace zorvane::tio
