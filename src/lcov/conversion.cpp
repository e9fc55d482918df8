#include "lcov/conversion.h"

#include <algorithm>
#include <iterator>

#include "tio/conversion_error.h"

namespace zorvane::lcov {

using tio::ConversionError;
using tio::Fingerprint;
using tio::maxIndexesPerLine;

namespace {

bool isNumber(std::string_view text) {
  return !text.empty() && std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
}

std::string_view withoutLeadingZeros(std::string_view digits) {
  const std::size_t first = digits.find_first_not_of('0');
  return first == std::string_view::npos ? std::string_view{} : digits.substr(first);
}

template <typename Set, typename Key>
std::uint16_t rankIn(const Set &set, const Key &key) {
  return static_cast<std::uint16_t>(std::distance(set.begin(), set.find(key)));
}

}  // namespace

bool NaturalOrder::operator()(std::string_view left, std::string_view right) const {
  const bool leftIsNumber = isNumber(left), rightIsNumber = isNumber(right);
  if (leftIsNumber != rightIsNumber) return leftIsNumber;
  if (leftIsNumber) {
    left = withoutLeadingZeros(left);
    right = withoutLeadingZeros(right);
    if (left.size() != right.size()) return left.size() < right.size();
  }
  return left < right;
}

bool BranchNameOrder::operator()(const BranchName &left, const BranchName &right) const {
  const NaturalOrder less;
  if (less(left.block, right.block)) return true;
  if (less(right.block, left.block)) return false;
  return less(left.branch, right.branch);
}

void SourceFile::declareBranches(std::uint32_t line,
                                 const std::set<BranchName, BranchNameOrder> &branches,
                                 const std::string &tracefile) {
  const auto [known, added] = branchesByLine_.emplace(line, branches);
  if (!added) {
    if (known->second.size() == branches.size() &&
        std::ranges::equal(known->second, branches, [](const auto &left, const auto &right) {
          return left.block == right.block && left.branch == right.branch;
        }))
      return;
    const std::string &origin = branchOrigins_.at(line);
    throw ConversionError("line " + std::to_string(line) + " of " + path_ + " has " +
                          std::to_string(branches.size()) + " branches here but " +
                          std::to_string(known->second.size()) + " other ones in " + origin +
                          ": tracefiles of different builds cannot be merged");
  }
  branchOrigins_.emplace(line, tracefile);
  if (branches.size() > maxIndexesPerLine)
    throw ConversionError("line " + std::to_string(line) + " of " + path_ + " has more than " +
                          std::to_string(maxIndexesPerLine) + " branches");
}

void SourceFile::declareFunction(const std::string &function, std::uint32_t line) {
  const auto [known, added] = functionLines_.emplace(function, line);
  if (!added) {
    if (known->second == line) return;
    throw ConversionError("function " + function + " of " + path_ + " starts on line " +
                          std::to_string(known->second) + " and on line " + std::to_string(line));
  }
  auto &functions = functionsByLine_[line];
  functions.insert(function);
  if (functions.size() > maxIndexesPerLine)
    throw ConversionError("line " + std::to_string(line) + " of " + path_ + " starts more than " +
                          std::to_string(maxIndexesPerLine) + " functions");
}

bool SourceFile::isDeclared(const std::string &function) const {
  return functionLines_.contains(function);
}

std::uint16_t SourceFile::branchIndex(std::uint32_t line, const BranchName &branch) const {
  return rankIn(branchesByLine_.at(line), branch);
}

std::uint32_t SourceFile::functionLine(const std::string &function) const {
  return functionLines_.at(function);
}

std::uint16_t SourceFile::functionIndex(const std::string &function) const {
  return rankIn(functionsByLine_.at(functionLine(function)), function);
}

Conversion::Conversion(std::string baseDirectory) : keys_(std::move(baseDirectory), "--base") {}

std::size_t Conversion::sourceIndex(std::string_view path) {
  const std::string keyedPath = keys_.keyedPath(path);
  if (auto known = sourceByPath_.find(keyedPath); known != sourceByPath_.end())
    return known->second;
  sources_.emplace_back(keyedPath, keys_.keyOf(keyedPath));
  sourceByPath_.emplace(keyedPath, sources_.size() - 1);
  return sources_.size() - 1;
}

void SourceFile::addStructure(Fingerprint &fingerprint) const {
  // Texts go with their length, so that ("ab", "c") and ("a", "bc") differ.
  const auto addText = [&](std::string_view text) {
    fingerprint.add(text.size());
    fingerprint.add(text);
  };
  addText(path_);
  fingerprint.add(branchesByLine_.size());
  for (const auto &[line, branches] : branchesByLine_) {
    fingerprint.add(line);
    fingerprint.add(branches.size());
    for (const BranchName &branch : branches) {
      addText(branch.block);
      addText(branch.branch);
    }
  }
  fingerprint.add(functionLines_.size());
  for (const auto &[function, line] : functionLines_) {
    addText(function);
    fingerprint.add(line);
  }
}

void Conversion::clearTests() {
  tests_.clear();
  testByOrigin_.clear();
}

std::uint64_t Conversion::fingerprint() const {
  // By path, so that the order in which tracefiles name them does not count.
  std::vector<const SourceFile *> sorted;
  for (const SourceFile &source : sources_) sorted.push_back(&source);
  std::ranges::sort(sorted, [](auto *left, auto *right) { return left->path() < right->path(); });
  Fingerprint fingerprint;
  for (const SourceFile *source : sorted) source->addStructure(fingerprint);
  return fingerprint.value();
}

std::size_t Conversion::testIndex(const std::string &tracefile, const std::string &name) {
  const auto [entry, added] = testByOrigin_.emplace(std::pair{tracefile, name}, tests_.size());
  if (added) tests_.push_back({name, tracefile, {}});
  return entry->second;
}

}  // namespace zorvane::lcov
