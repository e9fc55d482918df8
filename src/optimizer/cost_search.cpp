#include "optimizer/cost_search.h"

#include <vector>

#include "optimizer/cheapest_cover_solver.h"
#include "optimizer/cover_instance.h"
#include "optimizer/cover_state.h"
#include "optimizer/search_monitor.h"
#include "optimizer/table_instance.h"

namespace zorvane::optimizer {

using coverage::CoverageTable;
using coverage::TestNumber;
using coverage::TestRegistry;

SearchOutcome searchCheapestCover(CoverageTable &table, const TestRegistry &registry,
                                  const RunSettings &settings, SelectionStack &stack,
                                  std::span<const std::uint64_t> costs, Diagnostics &diagnostics) {
  const CoverInstance instance = coverInstanceOfTable(table, registry);
  const CoverState root(instance);
  const std::span<const std::uint32_t> fileOfTest = instance.fileOfTest();
  // The files of the mandatory tests come with them.
  std::vector<std::uint32_t> freeFiles(settings.filePaths.size(), 0);
  std::uint32_t mandatoryFiles = 0;
  for (const TestNumber test : stack.tests())
    if (freeFiles[fileOfTest[test]]++ == 0) ++mandatoryFiles;

  const bool countFiles = settings.countFiles;
  const CostedCoverQuery query{
      root,      costs,      fileOfTest,
      freeFiles, countFiles, static_cast<std::uint64_t>(settings.allowance) * allowanceUnit};
  SearchMonitor monitor(settings.timeLimitSeconds, &diagnostics);
  const CheapestCover cover = cheapestCover(query, &monitor);
  SearchOutcome outcome{initialBestDepth(registry), initialFileCount(settings)};
  outcome.completed = cover.proven;
  outcome.timeLimitReached = !cover.proven && monitor.timeLimitReached();
  if (cover.kind == CheapestCover::Kind::none) return outcome;
  for (const std::uint32_t test : cover.tests) stack.pushTest(static_cast<TestNumber>(test));
  stack.snapshotBest();
  for (std::size_t i = 0; i < cover.tests.size(); ++i) stack.popTest();
  outcome.bestDepth = cover.tests.empty() ? 0 : static_cast<std::uint32_t>(cover.tests.size()) - 1;
  if (countFiles) outcome.bestFileCount = mandatoryFiles + cover.newFiles;
  return outcome;
}

}  // namespace zorvane::optimizer
