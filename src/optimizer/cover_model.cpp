#include "optimizer/cover_model.h"

#include <algorithm>

#include "optimizer/presolve.h"

namespace zorvane::optimizer {

namespace {

inline constexpr std::uint32_t noRank = UINT32_MAX;

}  // namespace

bool buildCoverModel(const CoverState &state, std::span<const std::uint32_t> fileOfTest,
                     std::span<const std::uint32_t> freeFiles, std::span<const std::uint64_t> costs,
                     CoverModel &model) {
  // The uncovered branches with the tests that can still be chosen (test 0
  // stands for no test; applied tests have no count left), and the tests'
  // columns in the order they first appear there.
  const CoverInstance &instance = state.instance();
  std::vector<std::uint32_t> rank(instance.testCount(), noRank);
  std::vector<std::uint32_t> testOfRank;
  std::vector<std::uint32_t> tests;
  std::vector<std::size_t> starts{0};
  for (std::uint32_t k = 0; k < instance.branchCount(); ++k) {
    if (state.isCovered(k)) continue;
    for (std::uint32_t test : instance.testsOf(k)) {
      if (test == 0 || state.countOf(test) == 0) continue;
      tests.push_back(test);
      if (rank[test] == noRank) {
        rank[test] = static_cast<std::uint32_t>(testOfRank.size());
        testOfRank.push_back(test);
      }
    }
    starts.push_back(tests.size());
  }
  std::vector<std::span<const std::uint32_t>> lists;
  lists.reserve(starts.size() - 1);
  for (std::size_t i = 0; i + 1 < starts.size(); ++i)
    lists.emplace_back(tests.data() + starts[i], starts[i + 1] - starts[i]);
  const CoverInstance rest(instance.testCount(), lists);
  std::vector<std::uint32_t> addedFile(instance.testCount(), noFile);
  for (std::uint32_t test : testOfRank)
    if (freeFiles[fileOfTest[test]] == 0) addedFile[test] = fileOfTest[test];
  Presolve presolve(rest, {.costs = costs, .fileOfTest = addedFile, .rank = rank});
  if (!presolve.run()) return false;

  std::vector<int> columnOfTest(instance.testCount(), noColumn);
  std::vector<int> columnOfFile(freeFiles.size(), noColumn);
  for (std::uint32_t test : testOfRank) {
    if (!presolve.isTestLeft(test)) continue;
    columnOfTest[test] = static_cast<int>(model.columnTest.size());
    model.columnTest.push_back(test);
    int fileColumn = noColumn;
    if (const std::uint32_t file = addedFile[test]; file != noFile) {
      if (columnOfFile[file] == noColumn) columnOfFile[file] = model.fileColumns++;
      fileColumn = columnOfFile[file];
    }
    model.fileColumnOf.push_back(fileColumn);
    if (!costs.empty()) model.columnCost.push_back(costs[test]);
  }
  for (std::uint32_t k = 0; k < rest.branchCount(); ++k) {
    if (!presolve.isBranchLeft(k)) continue;
    std::vector<int> row;
    for (std::uint32_t test : rest.testsOf(k))
      if (presolve.isTestLeft(test)) row.push_back(columnOfTest[test]);
    std::sort(row.begin(), row.end());
    row.erase(std::unique(row.begin(), row.end()), row.end());
    model.coverRows.push_back(std::move(row));
  }
  std::sort(model.coverRows.begin(), model.coverRows.end());
  model.coverRows.erase(std::unique(model.coverRows.begin(), model.coverRows.end()),
                        model.coverRows.end());
  return true;
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
