#include "optimizer/cover_model.h"

#include <algorithm>

namespace zorvane::optimizer {

bool buildCoverModel(const CoverState &state, std::span<const std::uint32_t> fileOfTest,
                     std::span<const std::uint32_t> freeFiles,
                     std::span<const std::uint64_t> costs, CoverModel &model) {
  const CoverInstance &instance = state.instance();
  std::vector<int> columnOfTest(instance.testCount(), noColumn);
  std::vector<int> columnOfFile(freeFiles.size(), noColumn);
  std::vector<int> row;
  for (std::uint32_t k = 0; k < instance.branchCount(); ++k) {
    if (state.isCovered(k)) continue;
    row.clear();
    for (std::uint32_t test : instance.testsOf(k)) {
      // Test 0 stands for no test; applied tests have no count left.
      if (test == 0 || state.countOf(test) == 0) continue;
      int &column = columnOfTest[test];
      if (column == noColumn) {
        column = static_cast<int>(model.columnTest.size());
        model.columnTest.push_back(test);
        const std::uint32_t file = fileOfTest[test];
        int fileColumn = noColumn;
        if (freeFiles[file] == 0) {
          if (columnOfFile[file] == noColumn) columnOfFile[file] = model.fileColumns++;
          fileColumn = columnOfFile[file];
        }
        model.fileColumnOf.push_back(fileColumn);
        if (!costs.empty()) model.columnCost.push_back(costs[test]);
      }
      row.push_back(column);
    }
    if (row.empty()) return false;
    std::sort(row.begin(), row.end());
    row.erase(std::unique(row.begin(), row.end()), row.end());
    model.coverRows.push_back(row);
  }
  std::sort(model.coverRows.begin(), model.coverRows.end());
  model.coverRows.erase(std::unique(model.coverRows.begin(), model.coverRows.end()),
                        model.coverRows.end());
  return true;
}

namespace {

// Column lists of the rows, or row lists of the columns, of the model.
using Lists = std::vector<std::vector<int>>;

// The rows of each column, ascending.
Lists rowsOfColumns(const CoverModel &model) {
  Lists rows(model.columnTest.size());
  for (std::size_t row = 0; row < model.coverRows.size(); ++row)
    for (int column : model.coverRows[row]) rows[column].push_back(static_cast<int>(row));
  return rows;
}

// The entry of `list` whose list in `other` is shortest.
int rarest(const std::vector<int> &list, const Lists &other) {
  return *std::min_element(list.begin(), list.end(), [&](int a, int b) {
    return other[a].size() < other[b].size();
  });
}

// Drops each row that holds every test of another row: covering the other
// covers it too. Returns whether it dropped any.
bool dropSupersetRows(CoverModel &model) {
  const Lists rowsOf = rowsOfColumns(model);
  std::vector<char> dropped(model.coverRows.size(), 0);
  bool any = false;
  for (const std::vector<int> &row : model.coverRows)
    for (int other : rowsOf[rarest(row, rowsOf)]) {
      const std::vector<int> &larger = model.coverRows[other];
      if (dropped[other] || larger.size() <= row.size()) continue;
      if (std::includes(larger.begin(), larger.end(), row.begin(), row.end()))
        dropped[other] = any = true;
    }
  std::size_t kept = 0;
  for (std::size_t row = 0; row < model.coverRows.size(); ++row)
    if (!dropped[row]) {
      if (kept != row) model.coverRows[kept] = std::move(model.coverRows[row]);
      ++kept;
    }
  model.coverRows.resize(kept);
  return any;
}

// Drops each test whose rows another test also holds, when that other test
// costs no more: in cost, and in files (its file is free or the same, or the
// test is the only one of its file, whose place the other's file then
// takes). Putting the other in the test's place never adds cost, a test or
// a file. Of tests alike in all, the first stays. Returns whether it
// dropped any.
bool dropDominatedTests(CoverModel &model) {
  const Lists rowsOf = rowsOfColumns(model);
  const int columns = static_cast<int>(model.columnTest.size());
  std::vector<int> testsInFile(model.fileColumns, 0);
  for (const int file : model.fileColumnOf)
    if (file != noColumn) ++testsInFile[file];
  auto aloneInFile = [&](int file) { return file != noColumn && testsInFile[file] == 1; };
  auto costOf = [&](int column) { return model.columnCost.empty() ? 0 : model.columnCost[column]; };
  std::vector<char> dropped(columns, 0);
  bool any = false;
  for (int column = 0; column < columns; ++column) {
    const std::vector<int> &rows = rowsOf[column];
    if (rows.empty()) {
      dropped[column] = any = true;
      continue;
    }
    const int file = model.fileColumnOf[column];
    for (int other : model.coverRows[rarest(rows, model.coverRows)]) {
      if (other == column || dropped[other]) continue;
      const int otherFile = model.fileColumnOf[other];
      const bool costsNoMore = costOf(other) <= costOf(column) &&
                               (otherFile == noColumn || otherFile == file || aloneInFile(file));
      if (!costsNoMore) continue;
      const std::vector<int> &otherRows = rowsOf[other];
      if (!std::includes(otherRows.begin(), otherRows.end(), rows.begin(), rows.end())) continue;
      // Alike: the other is dropped in turn unless it comes first.
      const bool otherCostsNoMore =
          costOf(column) <= costOf(other) &&
          (file == noColumn || file == otherFile || aloneInFile(otherFile));
      if (otherRows.size() == rows.size() && otherCostsNoMore && other > column) continue;
      dropped[column] = any = true;
      break;
    }
  }
  if (!any) return false;
  for (std::vector<int> &row : model.coverRows)
    std::erase_if(row, [&](int column) { return dropped[column] != 0; });
  // Renumbers the columns and file columns that are left.
  std::vector<int> newColumn(columns, noColumn);
  std::vector<int> newFileColumn(model.fileColumns, noColumn);
  CoverModel kept;
  for (int column = 0; column < columns; ++column) {
    if (dropped[column]) continue;
    newColumn[column] = static_cast<int>(kept.columnTest.size());
    kept.columnTest.push_back(model.columnTest[column]);
    int file = model.fileColumnOf[column];
    if (file != noColumn) {
      if (newFileColumn[file] == noColumn) newFileColumn[file] = kept.fileColumns++;
      file = newFileColumn[file];
    }
    kept.fileColumnOf.push_back(file);
    if (!model.columnCost.empty()) kept.columnCost.push_back(model.columnCost[column]);
  }
  for (std::vector<int> &row : model.coverRows)
    for (int &column : row) column = newColumn[column];
  kept.coverRows = std::move(model.coverRows);
  std::sort(kept.coverRows.begin(), kept.coverRows.end());
  kept.coverRows.erase(std::unique(kept.coverRows.begin(), kept.coverRows.end()),
                       kept.coverRows.end());
  model = std::move(kept);
  return true;
}

}  // namespace

void reduceCoverModel(CoverModel &model) {
  while (dropSupersetRows(model) | dropDominatedTests(model)) {
  }
}

bool coversTheRest(const CoverState &state, const std::vector<std::uint32_t> &tests) {
  const CoverInstance &instance = state.instance();
  std::vector<char> reached(instance.branchCount(), 0);
  for (std::uint32_t test : tests)
    for (std::uint32_t k : instance.branchesOf(test)) reached[k] = 1;
  for (std::uint32_t k = 0; k < instance.branchCount(); ++k)
    if (!state.isCovered(k) && !reached[k]) return false;
  return true;
}

}  // namespace zorvane::optimizer
