#include "optimizer/file_cover_solver.h"

#include <glpk.h>

#include <algorithm>

#include "optimizer/cover_model.h"
#include "optimizer/glpk_failure.h"

namespace zorvane::optimizer {

namespace {

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

// The integer program: a binary column per test column and per file column
// of the model, and rows for
// - every branch row: at least one of its tests;
// - the number of tests: at most the limit;
// - every test of a file that is not free: only with its file;
// - the number of such files: at most the limit (also the objective).
// Solves the program; fills `chosen` (per test column) when a cover is found.
FileCoverAnswer::Kind solve(const CoverModel &model, std::uint32_t maxTests,
                            std::uint32_t maxNewFiles, Effort &effort, std::vector<char> &chosen) {
  const int tests = static_cast<int>(model.columnTest.size());
  const int columns = tests + model.fileColumns;
  std::vector<int> index(static_cast<std::size_t>(columns) + 1);
  std::vector<double> value(static_cast<std::size_t>(columns) + 1, 1.0);
  chosen.assign(model.columnTest.size(), 0);
  return runGlpk([&] {
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
    for (const std::vector<int> &row : model.coverRows) {
      for (std::size_t i = 0; i < row.size(); ++i) index[i + 1] = row[i] + 1;
      addRow(static_cast<int>(row.size()), GLP_LO, 1.0);
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
    return kind;
  });
}

}  // namespace

FileCoverAnswer fewestNewFilesCover(const CoverState &state,
                                    std::span<const std::uint32_t> fileOfTest,
                                    std::span<const std::uint32_t> freeFiles,
                                    std::uint32_t maxTests, std::uint32_t maxNewFiles,
                                    std::uint32_t budget, const SearchMonitor *monitor,
                                    std::vector<std::uint32_t> &cover) {
  cover.clear();
  CoverModel model;
  if (!buildCoverModel(state, fileOfTest, freeFiles, {}, model))
    return {FileCoverAnswer::Kind::none, 0};
  if (model.coverRows.empty()) return {FileCoverAnswer::Kind::found, 0};
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

}  // namespace zorvane::optimizer
