#include "tio/source_keys.h"

#include "tio/conversion_error.h"
#include "tio/tio_encoding.h"

namespace zorvane::tio {

SourceKeys::SourceKeys(std::string root, std::string rootOption)
    : root_(std::move(root)), rootOption_(std::move(rootOption)) {
  while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
  if (!root_.empty() && root_.back() != '/') root_ += '/';
}

std::string SourceKeys::keyedPath(std::string_view path) {
  if (!root_.empty() && path.size() > root_.size() && path.starts_with(root_)) {
    rootWasUsed_ = true;
    path.remove_prefix(root_.size());
  }
  return std::string(path);
}

std::uint32_t SourceKeys::keyOf(const std::string &keyedPath) {
  const std::uint32_t key = sourceFileKey(keyedPath);
  const auto [known, added] = pathByKey_.emplace(key, keyedPath);
  if (!added && known->second != keyedPath)
    throw ConversionError("source files " + known->second + " and " + keyedPath +
                          " have the same key " + formatTioNumber(key) +
                          ": their coverage would be mixed (another " + rootOption_ +
                          " keys them apart)");
  return key;
}

}  // namespace zorvane::tio
