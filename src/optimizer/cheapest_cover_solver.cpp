#include "optimizer/cheapest_cover_solver.h"

#include <glpk.h>

#include <algorithm>
#include <limits>

#include "optimizer/cover_model.h"
#include "optimizer/glpk_failure.h"

namespace zorvane::optimizer {

namespace {

// A cover as model columns, with what it costs in whole units.
struct ColumnCover {
  std::vector<char> chosen;
  std::uint64_t cost = 0;
  std::uint32_t files = 0;
  std::uint32_t tests = 0;
};

void measure(const CoverModel &model, ColumnCover &cover) {
  std::vector<char> fileUsed(model.fileColumns, 0);
  cover.cost = 0;
  cover.files = cover.tests = 0;
  for (std::size_t column = 0; column < cover.chosen.size(); ++column) {
    if (!cover.chosen[column]) continue;
    ++cover.tests;
    cover.cost += model.columnCost[column];
    const int file = model.fileColumnOf[column];
    if (file != noColumn && !fileUsed[file]) {
      fileUsed[file] = 1;
      ++cover.files;
    }
  }
}

bool coversAllRows(const CoverModel &model, const std::vector<char> &chosen) {
  return std::all_of(model.coverRows.begin(), model.coverRows.end(), [&](const auto &row) {
    return std::any_of(row.begin(), row.end(), [&](int column) { return chosen[column] != 0; });
  });
}

// A first cover: the test covering the most rows per unit of cost at each
// step, then, latest first, every test the others make redundant left out.
ColumnCover greedyCover(const CoverModel &model) {
  const std::size_t columns = model.columnTest.size();
  std::vector<std::vector<int>> rowsOf(columns);
  for (std::size_t row = 0; row < model.coverRows.size(); ++row)
    for (int column : model.coverRows[row]) rowsOf[column].push_back(static_cast<int>(row));
  std::vector<std::uint32_t> coveredBy(model.coverRows.size(), 0);
  std::vector<int> picked;
  ColumnCover cover;
  cover.chosen.assign(columns, 0);
  for (std::size_t left = model.coverRows.size(); left > 0;) {
    int best = noColumn;
    std::uint64_t bestGain = 0, bestCost = 1;
    for (std::size_t column = 0; column < columns; ++column) {
      if (cover.chosen[column]) continue;
      std::uint64_t gain = 0;
      for (int row : rowsOf[column]) gain += coveredBy[row] == 0;
      const std::uint64_t cost = model.columnCost[column] + 1;
      // gain / cost > bestGain / bestCost, without division.
      if (gain != 0 && (best == noColumn || static_cast<unsigned __int128>(gain) * bestCost >
                                                static_cast<unsigned __int128>(bestGain) * cost)) {
        best = static_cast<int>(column);
        bestGain = gain;
        bestCost = cost;
      }
    }
    cover.chosen[best] = 1;
    picked.push_back(best);
    for (int row : rowsOf[best]) left -= coveredBy[row]++ == 0;
  }
  for (auto it = picked.rbegin(); it != picked.rend(); ++it) {
    const bool redundant = std::all_of(rowsOf[*it].begin(), rowsOf[*it].end(),
                                       [&](int row) { return coveredBy[row] > 1; });
    if (!redundant) continue;
    cover.chosen[*it] = 0;
    for (int row : rowsOf[*it]) --coveredBy[row];
  }
  measure(model, cover);
  return cover;
}

// What the branch and cut is handed: the monitor that may stop it, and a
// cover it may start from (column values, from index 1).
struct StageHelp {
  const SearchMonitor *monitor;
  const std::vector<double> *start;
  bool started = false;
};

void onGlpkEvent(glp_tree *tree, void *info) {
  auto *help = static_cast<StageHelp *>(info);
  if (glp_ios_reason(tree) == GLP_IHEUR && !help->started) {
    help->started = true;
    glp_ios_heur_sol(tree, help->start->data());
  }
  if (help->monitor != nullptr && help->monitor->interrupted()) glp_ios_terminate(tree);
}

enum class StageOutcome { optimal, stopped, none };

// The program, built once; each step of the preference sets its objective
// and tightens the bound rows, starting from the best cover so far. What
// the steps fill lives here, outside the frames a failure of GLPK skips.
struct Program {
  const CoverModel &model;
  int tests;
  int columns;
  std::vector<int> index;
  std::vector<double> value;
  std::vector<double> start;
  ColumnCover found;
};

void setObjective(glp_prob *program, const Program &p, bool costs, bool files, bool tests) {
  for (int column = 1; column <= p.columns; ++column) {
    double coefficient = 0;
    if (column <= p.tests)
      coefficient = costs ? static_cast<double>(p.model.columnCost[column - 1]) : tests ? 1 : 0;
    else if (files)
      coefficient = 1;
    glp_set_obj_coef(program, column, coefficient);
  }
}

// A row over the test columns weighted by cost, or over the file columns.
int addBoundRow(glp_prob *program, Program &p, bool costs, double bound) {
  int length = 0;
  for (int column = 1; column <= p.columns; ++column) {
    if ((column <= p.tests) != costs) continue;
    p.index[++length] = column;
    p.value[length] = costs ? static_cast<double>(p.model.columnCost[column - 1]) : 1.0;
  }
  const int row = glp_add_rows(program, 1);
  glp_set_mat_row(program, row, length, p.index.data(), p.value.data());
  glp_set_row_bnds(program, row, GLP_UP, 0, bound);
  return row;
}

// Whole-unit bounds get half a unit of room against rounding.
double roomy(std::uint64_t bound) { return static_cast<double>(bound) + 0.5; }

// Pins a row to a proven optimum: no cover the later steps look at does
// better, and saying so tightens their relaxations.
void pinRow(glp_prob *program, int row, std::uint64_t optimum) {
  glp_set_row_bnds(program, row, GLP_DB, static_cast<double>(optimum) - 0.5, roomy(optimum));
}

// No cover's objective exceeds the sum of the (non-negative) coefficients.
double objectiveCeiling(glp_prob *program, int columns) {
  double sum = 0;
  for (int column = 1; column <= columns; ++column) sum += glp_get_obj_coef(program, column);
  return sum;
}

StageOutcome solveStage(glp_prob *program, Program &p, const ColumnCover &from,
                        const SearchMonitor *monitor, ColumnCover &found) {
  found.chosen.clear();
  std::fill(p.start.begin(), p.start.end(), 0.0);
  for (int column = 0; column < p.tests; ++column) {
    if (!from.chosen[column]) continue;
    p.start[column + 1] = 1;
    if (const int file = p.model.fileColumnOf[column]; file != noColumn)
      p.start[p.tests + file + 1] = 1;
  }
  // The relaxation first, warm from the previous step's basis: the branch
  // and cut then works on the program itself, whose columns the starting
  // cover names (a presolved one would have others).
  glp_smcp relaxation;
  glp_init_smcp(&relaxation);
  relaxation.msg_lev = GLP_MSG_OFF;
  if (glp_simplex(program, &relaxation) != 0) return StageOutcome::stopped;
  if (glp_get_status(program) == GLP_NOFEAS) return StageOutcome::none;
  if (glp_get_status(program) != GLP_OPT) return StageOutcome::stopped;
  StageHelp help{monitor, &p.start};
  glp_iocp parameters;
  glp_init_iocp(&parameters);
  parameters.msg_lev = GLP_MSG_OFF;
  // Set covers gain little from Gomory and MIR cuts, whose rounds cost
  // more than the nodes they save; branching on the most fractional test
  // settles them in far fewer nodes than the default heuristic.
  parameters.cov_cuts = GLP_ON;
  parameters.clq_cuts = GLP_ON;
  parameters.br_tech = GLP_BR_MFV;
  // The solver prunes a node whose bound comes within tol_obj, relative to
  // the best objective, of the best cover: kept under half a unit, so that
  // a cover one unit better is never pruned away.
  parameters.tol_obj = 0.25 / (1.0 + objectiveCeiling(program, p.columns));
  parameters.cb_func = onGlpkEvent;
  parameters.cb_info = &help;
  const int outcome = glp_intopt(program, &parameters);
  if (outcome == GLP_ENOPFS) return StageOutcome::none;
  const int status = glp_mip_status(program);
  if (status != GLP_OPT && status != GLP_FEAS) return StageOutcome::stopped;
  found.chosen.assign(p.tests, 0);
  for (int column = 0; column < p.tests; ++column)
    found.chosen[column] = glp_mip_col_val(program, column + 1) > 0.5;
  // The solver works in floating point: what it found is checked in whole
  // units, and a cover that does not hold is no answer.
  if (!coversAllRows(p.model, found.chosen)) return StageOutcome::stopped;
  measure(p.model, found);
  return outcome == 0 && status == GLP_OPT ? StageOutcome::optimal : StageOutcome::stopped;
}

// Runs the steps of the preference from `best`, which each step replaces by
// a cover no worse; false when one was stopped (then `best` is the best
// found so far).
bool runStages(Program &p, bool countFiles, std::uint64_t allowance, const SearchMonitor *monitor,
               ColumnCover &best) {
  return runGlpk([&] {
    glp_prob *program = glp_create_prob();
    glp_set_obj_dir(program, GLP_MIN);
    glp_add_cols(program, p.columns);
    for (int column = 1; column <= p.columns; ++column) glp_set_col_kind(program, column, GLP_BV);
    for (const std::vector<int> &row : p.model.coverRows) {
      for (std::size_t i = 0; i < row.size(); ++i) {
        p.index[i + 1] = row[i] + 1;
        p.value[i + 1] = 1.0;
      }
      const int added = glp_add_rows(program, 1);
      glp_set_mat_row(program, added, static_cast<int>(row.size()), p.index.data(), p.value.data());
      glp_set_row_bnds(program, added, GLP_LO, 1.0, 0);
    }
    // A test of a file that is not free only with its file.
    for (int column = 0; column < p.tests; ++column) {
      const int file = p.model.fileColumnOf[column];
      if (file == noColumn) continue;
      p.index[1] = column + 1;
      p.value[1] = 1.0;
      p.index[2] = p.tests + file + 1;
      p.value[2] = -1.0;
      const int added = glp_add_rows(program, 1);
      glp_set_mat_row(program, added, 2, p.index.data(), p.value.data());
      glp_set_row_bnds(program, added, GLP_UP, 0, 0.0);
    }

    bool proven = true;
    // One step: keeps what it finds when that is no worse by `better`.
    auto step = [&](auto better) {
      if (!proven) return;
      const StageOutcome outcome = solveStage(program, p, best, monitor, p.found);
      if (outcome != StageOutcome::none && !p.found.chosen.empty() && better(p.found, best))
        best = p.found;
      proven = outcome == StageOutcome::optimal;
    };
    setObjective(program, p, true, false, false);
    step([](const ColumnCover &a, const ColumnCover &b) { return a.cost <= b.cost; });
    const int costRow = addBoundRow(program, p, true, roomy(best.cost));
    const bool filesCount = countFiles && p.model.fileColumns > 0;
    if (filesCount) {
      const std::uint64_t costLimit = best.cost + allowance;
      glp_set_row_bnds(program, costRow, GLP_UP, 0, roomy(costLimit));
      setObjective(program, p, false, true, false);
      step([&](const ColumnCover &a, const ColumnCover &b) {
        return a.cost <= costLimit &&
               (a.files < b.files || (a.files == b.files && a.cost <= b.cost));
      });
      const int filesRow = addBoundRow(program, p, false, roomy(best.files));
      if (proven) pinRow(program, filesRow, best.files);
      if (allowance != 0) {
        setObjective(program, p, true, false, false);
        step([&](const ColumnCover &a, const ColumnCover &b) {
          return a.files <= b.files && a.cost <= b.cost;
        });
      }
      glp_set_row_bnds(program, costRow, GLP_UP, 0, roomy(best.cost));
    }
    if (proven) pinRow(program, costRow, best.cost);
    setObjective(program, p, false, false, true);
    step([](const ColumnCover &a, const ColumnCover &b) {
      return a.cost <= b.cost && a.files <= b.files && a.tests <= b.tests;
    });
    glp_delete_prob(program);
    return proven;
  });
}

}  // namespace

CheapestCover cheapestCover(const CostedCoverQuery &query, const SearchMonitor *monitor) {
  CheapestCover answer;
  // Without the file preference every file is as good as free.
  const std::vector<std::uint32_t> allFree(query.freeFiles.size(), 1);
  CoverModel model;
  if (!buildCoverModel(query.state, query.fileOfTest, query.countFiles ? query.freeFiles : allFree,
                       query.costs, model))
    return answer;
  answer.kind = CheapestCover::Kind::found;
  if (model.coverRows.empty()) return answer;
  ColumnCover best = greedyCover(model);
  const int tests = static_cast<int>(model.columnTest.size());
  Program program{model, tests, tests + model.fileColumns, {}, {}, {}, {}};
  const std::size_t longest = std::max<std::size_t>(
      static_cast<std::size_t>(program.columns),
      std::max_element(model.coverRows.begin(), model.coverRows.end(),
                       [](const auto &a, const auto &b) { return a.size() < b.size(); })
          ->size());
  program.index.resize(longest + 1);
  program.value.resize(longest + 1);
  program.start.resize(static_cast<std::size_t>(program.columns) + 1);
  answer.proven = runStages(program, query.countFiles, query.allowance, monitor, best);
  for (int column = 0; column < tests; ++column)
    if (best.chosen[column]) answer.tests.push_back(model.columnTest[column]);
  std::sort(answer.tests.begin(), answer.tests.end());
  answer.cost = best.cost;
  answer.newFiles = best.files;
  return answer;
}

}  // namespace zorvane::optimizer
