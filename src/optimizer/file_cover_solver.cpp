#include "optimizer/file_cover_solver.h"

#include <glpk.h>

#include <algorithm>
#include <csetjmp>
#include <new>

namespace {

constexpr int noColumn = -1;

// The integer program: one binary column per test that can still be chosen,
// one per coverage file that is not free, and rows for
// - every distinct set of tests of an uncovered branch: at least one of them;
// - the number of tests: at most the limit;
// - every test of a file that is not free: only with its file;
// - the number of such files: at most the limit (also the objective).
struct FileCoverModel {
  std::vector<std::uint32_t> columnTest;
  // Per test column, its file column, or noColumn when the file is free.
  std::vector<int> fileColumnOf;
  int fileColumns = 0;
  // Test columns of each distinct branch row, sorted.
  std::vector<std::vector<int>> coverRows;
};

// Fills `model`; false when some uncovered branch has no test left to cover
// it, so that no cover exists.
bool buildModel(const CoverState &state, std::span<const std::uint32_t> fileOfTest,
                std::span<const std::uint32_t> freeFiles, FileCoverModel &model) {
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

// Column lists of the rows, or row lists of the columns, of the model.
using Lists = std::vector<std::vector<int>>;

// The rows of each column, ascending.
Lists rowsOfColumns(const FileCoverModel &model) {
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
bool dropSupersetRows(FileCoverModel &model) {
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
// costs no more: its file is free or the same, or the test is the only one
// of its file, whose place the other's file then takes. Putting the other
// in the test's place never adds a test or a file. Of tests alike in both,
// the first stays. Returns whether it dropped any.
bool dropDominatedTests(FileCoverModel &model) {
  const Lists rowsOf = rowsOfColumns(model);
  const int columns = static_cast<int>(model.columnTest.size());
  std::vector<int> testsInFile(model.fileColumns, 0);
  for (const int file : model.fileColumnOf)
    if (file != noColumn) ++testsInFile[file];
  auto aloneInFile = [&](int file) { return file != noColumn && testsInFile[file] == 1; };
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
      const bool costsNoMore = otherFile == noColumn || otherFile == file || aloneInFile(file);
      if (!costsNoMore) continue;
      const std::vector<int> &otherRows = rowsOf[other];
      if (!std::includes(otherRows.begin(), otherRows.end(), rows.begin(), rows.end())) continue;
      // Alike: the other is dropped in turn unless it comes first.
      const bool otherCostsNoMore = file == noColumn || file == otherFile || aloneInFile(otherFile);
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
  FileCoverModel kept;
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

// Shrinks the model without changing whether a cover within the limits
// exists or how few files it can span: each step keeps an optimal cover.
void reduceModel(FileCoverModel &model) {
  while (dropSupersetRows(model) | dropDominatedTests(model)) {
  }
}

// Whether `tests` reach every branch that `state` has left uncovered.
bool coversTheRest(const CoverState &state, const std::vector<std::uint32_t> &tests) {
  const CoverInstance &instance = state.instance();
  std::vector<char> reached(instance.branchCount(), 0);
  for (std::uint32_t test : tests)
    for (std::uint32_t k : instance.branchesOf(test)) reached[k] = 1;
  for (std::uint32_t k = 0; k < instance.branchCount(); ++k)
    if (!state.isCovered(k) && !reached[k]) return false;
  return true;
}

// GLPK reports a failure (on a well-formed program only running out of
// memory) by calling this hook, which must not return.
thread_local std::jmp_buf *glpkFailure = nullptr;

void onGlpkFailure(void *) { std::longjmp(*glpkFailure, 1); }

// What the branch and cut may still do: it stops on an interruption, and
// once it has picked `budget` subproblems to solve.
struct Effort {
  const SearchMonitor *monitor;
  std::uint32_t budget;
};

void onGlpkEvent(glp_tree *tree, void *info) {
  auto *effort = static_cast<Effort *>(info);
  if (glp_ios_reason(tree) == GLP_ISELECT && effort->budget-- == 0) glp_ios_terminate(tree);
  if (effort->monitor != nullptr && effort->monitor->interrupted()) glp_ios_terminate(tree);
}

// Solves the program; fills `chosen` (per test column) when a cover is found.
// Only plain data lives in this frame once the failure hook may jump to it.
FileCoverAnswer::Kind solve(const FileCoverModel &model, std::uint32_t maxTests,
                            std::uint32_t maxNewFiles, Effort &effort,
                            std::vector<char> &chosen) {
  const int tests = static_cast<int>(model.columnTest.size());
  const int columns = tests + model.fileColumns;
  std::vector<int> index(static_cast<std::size_t>(columns) + 1);
  std::vector<double> value(static_cast<std::size_t>(columns) + 1, 1.0);
  chosen.assign(model.columnTest.size(), 0);

  std::jmp_buf failure;
  glpkFailure = &failure;
  if (setjmp(failure) != 0) {
    glpkFailure = nullptr;
    glp_free_env();
    throw std::bad_alloc();
  }
  glp_term_out(GLP_OFF);
  glp_error_hook(onGlpkFailure, nullptr);

  glp_prob *program = glp_create_prob();
  glp_set_obj_dir(program, GLP_MIN);
  glp_add_cols(program, columns);
  for (int column = 1; column <= columns; ++column) {
    glp_set_col_kind(program, column, GLP_BV);
    if (column > tests) glp_set_obj_coef(program, column, 1.0);
  }
  auto addRow = [&](int length, int type, double bound) {
    const int row = glp_add_rows(program, 1);
    glp_set_row_bnds(program, row, type, bound, bound);
    glp_set_mat_row(program, row, length, index.data(), value.data());
  };
  for (const std::vector<int> &cover : model.coverRows) {
    for (std::size_t i = 0; i < cover.size(); ++i) index[i + 1] = cover[i] + 1;
    addRow(static_cast<int>(cover.size()), GLP_LO, 1.0);
  }
  for (int column = 1; column <= tests; ++column) index[column] = column;
  addRow(tests, GLP_UP, maxTests);
  for (int column = 0; column < tests; ++column) {
    const int fileColumn = model.fileColumnOf[column];
    if (fileColumn == noColumn) continue;
    index[1] = column + 1;
    index[2] = tests + fileColumn + 1;
    value[2] = -1.0;
    addRow(2, GLP_UP, 0.0);
    value[2] = 1.0;
  }
  if (model.fileColumns > 0) {
    for (int column = 1; column <= model.fileColumns; ++column) index[column] = tests + column;
    addRow(model.fileColumns, GLP_UP, maxNewFiles);
  }

  glp_iocp parameters;
  glp_init_iocp(&parameters);
  parameters.msg_lev = GLP_MSG_OFF;
  parameters.presolve = GLP_ON;
  // Cuts make the bound strong enough to settle most programs at the root.
  parameters.gmi_cuts = GLP_ON;
  parameters.mir_cuts = GLP_ON;
  parameters.cov_cuts = GLP_ON;
  parameters.clq_cuts = GLP_ON;
  parameters.cb_func = onGlpkEvent;
  parameters.cb_info = &effort;
  const int outcome = glp_intopt(program, &parameters);
  FileCoverAnswer::Kind kind = FileCoverAnswer::Kind::unknown;
  if (outcome == GLP_ENOPFS) {
    kind = FileCoverAnswer::Kind::none;
  } else if (outcome == 0) {
    const int status = glp_mip_status(program);
    if (status == GLP_NOFEAS) kind = FileCoverAnswer::Kind::none;
    if (status == GLP_OPT) {
      kind = FileCoverAnswer::Kind::found;
      for (int column = 0; column < tests; ++column)
        chosen[column] = glp_mip_col_val(program, column + 1) > 0.5;
    }
  }
  glp_delete_prob(program);
  glpkFailure = nullptr;
  return kind;
}

}  // namespace

FileCoverAnswer fewestNewFilesCover(const CoverState &state,
                                    std::span<const std::uint32_t> fileOfTest,
                                    std::span<const std::uint32_t> freeFiles,
                                    std::uint32_t maxTests, std::uint32_t maxNewFiles,
                                    std::uint32_t budget, const SearchMonitor *monitor,
                                    std::vector<std::uint32_t> &cover) {
  cover.clear();
  FileCoverModel model;
  if (!buildModel(state, fileOfTest, freeFiles, model)) return {FileCoverAnswer::Kind::none, 0};
  if (model.coverRows.empty()) return {FileCoverAnswer::Kind::found, 0};
  reduceModel(model);
  std::vector<char> chosen;
  Effort effort{monitor, budget};
  const FileCoverAnswer::Kind kind = solve(model, maxTests, maxNewFiles, effort, chosen);
  if (kind != FileCoverAnswer::Kind::found) return {kind, 0};
  // The solver works in floating point: what it found is checked on the
  // tests themselves, and a cover that does not hold is no answer.
  std::vector<char> counted(freeFiles.size(), 0);
  std::uint32_t newFiles = 0;
  for (std::size_t column = 0; column < chosen.size(); ++column) {
    if (!chosen[column]) continue;
    const std::uint32_t test = model.columnTest[column];
    cover.push_back(test);
    const std::uint32_t file = fileOfTest[test];
    if (freeFiles[file] == 0 && !counted[file]) {
      counted[file] = 1;
      ++newFiles;
    }
  }
  if (cover.size() > maxTests || newFiles > maxNewFiles || !coversTheRest(state, cover))
    return {FileCoverAnswer::Kind::unknown, 0};
  return {FileCoverAnswer::Kind::found, newFiles};
}
