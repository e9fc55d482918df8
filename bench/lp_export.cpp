#include "lp_export.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

namespace {

using Row = std::vector<TestNumber>;

// The distinct tests of every live branch, each set once.
std::set<Row> distinctRows(const CoverageTable &table) {
  std::set<Row> rows;
  Row row;
  for (const BranchGroup &group : table.groups())
    for (std::uint32_t index = 0; index < group.slotCapacity(); ++index) {
      const BranchSlot slot = table.slot(group, index);
      if (!slot.isLive()) continue;
      const auto entries = slot.entries();
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

}  // namespace

LpExportSize exportSetCoverLp(CoverageTable &table, const std::string &path) {
  table.buildTestLists();
  const std::set<Row> rows = distinctRows(table);
  std::vector<TestNumber> columns;
  LpExportSize size;
  for (const Row &row : rows) {
    columns.insert(columns.end(), row.begin(), row.end());
    size.nonzeros += row.size();
  }
  std::sort(columns.begin(), columns.end());
  columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
  size.rows = rows.size();
  size.columns = columns.size();

  std::unique_ptr<std::FILE, int (*)(std::FILE *)> file(std::fopen(path.c_str(), "w"), &std::fclose);
  if (!file) throw std::runtime_error("cannot write " + path);
  std::FILE *out = file.get();
  std::fprintf(out, "\\ set cover: %llu branches (distinct), %llu tests\n",
               static_cast<unsigned long long>(size.rows),
               static_cast<unsigned long long>(size.columns));
  std::fprintf(out, "Minimize\n obj:");
  // An empty objective still needs a term for the reader.
  if (columns.empty())
    std::fprintf(out, " 0 x0\n");
  else
    writeSum(out, columns);
  std::fprintf(out, "\nSubject To\n");
  std::uint64_t number = 0;
  for (const Row &row : rows) {
    std::fprintf(out, " b%llu:", static_cast<unsigned long long>(number++));
    writeSum(out, row);
    std::fprintf(out, " >= 1\n");
  }
  std::fprintf(out, "Binary\n");
  for (std::size_t i = 0; i < columns.size(); ++i)
    std::fprintf(out, " x%u%s", columns[i], i % 16 == 15 ? "\n" : "");
  std::fprintf(out, "\nEnd\n");
  if (std::ferror(out)) throw std::runtime_error("cannot write " + path);
  return size;
}
