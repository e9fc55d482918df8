#include "lp_export.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

using namespace zorvane;
using namespace zorvane::coverage;
using namespace zorvane::optimizer;

namespace {

using Row = std::vector<TestNumber>;

// The distinct tests of every live branch, each set once.
std::set<Row> distinctRows(const CoverageTable &table) {
  std::set<Row> rows;
  Row row;
  for (const BranchGroup &group : table.groups())
    for (const IndexedBranch &branch : group.branches) {
      const BranchSlot logged = table.slot(branch.id);
      if (!logged.isLive()) continue;
      const auto entries = logged.entries();
      row.assign(entries.begin(), entries.end());
      std::sort(row.begin(), row.end());
      row.erase(std::unique(row.begin(), row.end()), row.end());
      // Entries of test 0 belong to no test and cannot be chosen.
      if (!row.empty() && row.front() == 0) row.erase(row.begin());
      if (!row.empty()) rows.insert(row);
    }
  return rows;
}

// Writes "x1 + x2 + ..." with a line break every few terms: some LP readers
// limit the length of a line.
void writeSum(std::FILE *out, const std::vector<TestNumber> &tests) {
  for (std::size_t i = 0; i < tests.size(); ++i)
    std::fprintf(out, "%s x%u%s", i ? " +" : "", tests[i], i % 16 == 15 ? "\n   " : "");
}

using File = std::unique_ptr<std::FILE, int (*)(std::FILE *)>;

File openForWriting(const std::string &path) {
  File file(std::fopen(path.c_str(), "w"), &std::fclose);
  if (!file) throw std::runtime_error("cannot write " + path);
  return file;
}

// The distinct tests of all rows, ascending.
std::vector<TestNumber> columnsOf(const std::set<Row> &rows) {
  std::vector<TestNumber> columns;
  for (const Row &row : rows) columns.insert(columns.end(), row.begin(), row.end());
  std::sort(columns.begin(), columns.end());
  columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
  return columns;
}

// " b0: x1 + x2 >= 1" and so on, one constraint a row.
void writeCoverRows(std::FILE *out, const std::set<Row> &rows) {
  std::uint64_t number = 0;
  for (const Row &row : rows) {
    std::fprintf(out, " b%llu:", static_cast<unsigned long long>(number++));
    writeSum(out, row);
    std::fprintf(out, " >= 1\n");
  }
}

void finishWriting(std::FILE *out, const std::string &path) {
  std::fprintf(out, "\nEnd\n");
  if (std::ferror(out)) throw std::runtime_error("cannot write " + path);
}

}  // namespace

namespace {

// Without costs every test weighs 1.
LpExportSize exportCoverLp(CoverageTable &table, std::span<const std::uint64_t> costs,
                           const std::string &path) {
  table.buildTestLists();
  const std::set<Row> rows = distinctRows(table);
  const std::vector<TestNumber> columns = columnsOf(rows);
  LpExportSize size;
  for (const Row &row : rows) size.nonzeros += row.size();
  size.rows = rows.size();
  size.columns = columns.size();

  const File file = openForWriting(path);
  std::FILE *out = file.get();
  std::fprintf(out, "\\ set cover: %llu branches (distinct), %llu tests\n",
               static_cast<unsigned long long>(size.rows),
               static_cast<unsigned long long>(size.columns));
  std::fprintf(out, "Minimize\n obj:");
  // An empty objective still needs a term for the reader.
  if (columns.empty())
    std::fprintf(out, " 0 x0\n");
  else if (costs.empty())
    writeSum(out, columns);
  else
    for (std::size_t i = 0; i < columns.size(); ++i)
      std::fprintf(out, "%s %llu x%u%s", i ? " +" : "",
                   static_cast<unsigned long long>(costs[columns[i]]), columns[i],
                   i % 8 == 7 ? "\n   " : "");
  std::fprintf(out, "\nSubject To\n");
  writeCoverRows(out, rows);
  std::fprintf(out, "Binary\n");
  for (std::size_t i = 0; i < columns.size(); ++i)
    std::fprintf(out, " x%u%s", columns[i], i % 16 == 15 ? "\n" : "");
  finishWriting(out, path);
  return size;
}

}  // namespace

LpExportSize exportSetCoverLp(CoverageTable &table, const std::string &path) {
  return exportCoverLp(table, {}, path);
}

LpExportSize exportWeightedSetCoverLp(CoverageTable &table, std::span<const std::uint64_t> costs,
                                      const std::string &path) {
  return exportCoverLp(table, costs, path);
}

std::uint32_t exportFileCoverLp(CoverageTable &table, const TestRegistry &registry,
                                const SelectionStack &mandatory, std::uint32_t maxTests,
                                const std::string &path) {
  table.buildTestLists();
  const std::set<Row> rows = distinctRows(table);
  const std::vector<TestNumber> columns = columnsOf(rows);
  std::set<std::uint32_t> freeFiles;
  for (const TestNumber test : mandatory.tests()) freeFiles.insert(registry.record(test).fileIndex);
  std::set<std::uint32_t> files;
  for (TestNumber test : columns)
    if (!freeFiles.contains(registry.record(test).fileIndex))
      files.insert(registry.record(test).fileIndex);

  const File file = openForWriting(path);
  std::FILE *out = file.get();
  std::fprintf(out, "\\ fewest files: %zu branches (distinct), %zu tests, %zu files\n", rows.size(),
               columns.size(), files.size());
  std::fprintf(out, "Minimize\n obj:");
  if (files.empty()) std::fprintf(out, " 0 x0");
  std::size_t term = 0;
  for (std::uint32_t f : files)
    std::fprintf(out, "%s y%u%s", term ? " +" : "", f, term % 16 == 15 ? "\n   " : ""), ++term;
  std::fprintf(out, "\nSubject To\n");
  writeCoverRows(out, rows);
  if (!columns.empty()) {
    std::fprintf(out, " size:");
    writeSum(out, columns);
    std::fprintf(out, " <= %u\n", maxTests);
  }
  for (TestNumber test : columns) {
    const std::uint32_t f = registry.record(test).fileIndex;
    if (files.contains(f)) std::fprintf(out, " l%u: x%u - y%u <= 0\n", test, test, f);
  }
  std::fprintf(out, "Binary\n");
  for (TestNumber test : columns) std::fprintf(out, " x%u\n", test);
  for (std::uint32_t f : files) std::fprintf(out, " y%u\n", f);
  finishWriting(out, path);
  return static_cast<std::uint32_t>(freeFiles.size());
}
