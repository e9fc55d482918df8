#include "optimizer/pipeline.h"

#include <string>
#include <utility>

#include "base/fatal_error.h"
#include "coverage/coverage_reader.h"
#include "coverage/table_listing.h"
#include "optimizer/cost_search.h"
#include "optimizer/mandatory_reduction.h"
#include "optimizer/test_costs.h"

namespace zorvane::optimizer {

Pipeline::Pipeline(RunSettings settings, Diagnostics &diagnostics)
    : settings_(std::move(settings)), diagnostics_(diagnostics) {}

void Pipeline::read(std::span<const RunStep> steps) {
  for (const RunStep &step : steps) apply(step);
  writer_.flush();
}

void Pipeline::apply(const RunStep &step) {
  switch (step.kind) {
    case RunStep::Kind::ReadFile:
      diagnostics_.report(Message::Analysing, step.path);
      settings_.filePaths.push_back(step.path);
      if (!coverage::readCoverageFile(settings_,
                                      static_cast<std::uint32_t>(settings_.filePaths.size() - 1),
                                      registry_, writer_, diagnostics_))
        inputUnreadable_ = true;
      break;
    case RunStep::Kind::Verbose: settings_.verbosity = 1; break;
    case RunStep::Kind::MoreVerbose: settings_.verbosity = 2; break;
    case RunStep::Kind::TestLevel: settings_.countFiles = false; break;
    case RunStep::Kind::Allowance:
      // A missing, zero or negative allowance would leave the search with
      // no sensible bound.
      if (step.allowance <= 0) throw FatalError(Message::OptionRequiresValue);
      settings_.allowance = step.allowance;
      break;
  }
}

void Pipeline::readContents(const std::string &path, const coverage::ReadBlock &contents) {
  settings_.filePaths.push_back(path);
  coverage::readCoverageLines(contents, settings_,
                              static_cast<std::uint32_t>(settings_.filePaths.size() - 1), registry_,
                              writer_, diagnostics_);
  writer_.flush();
}

void Pipeline::listTable() {
  coverage::dumpCoverageTable(table_, diagnostics_);
  coverage::printTestCounts(registry_.entryCounts(), "Tests:", diagnostics_);
}

void Pipeline::finishReading(const CostTable *costTable, bool costsFromDurations) {
  if (costTable || costsFromDurations) {
    TestCosts assigned = assignTestCosts(registry_, costTable);
    if (assigned.missing != 0)
      diagnostics_.report(Message::TestsWithoutCost, std::to_string(assigned.missing),
                          formatSeconds(assigned.fallback));
    costs_ = std::move(assigned.costs);
  }
}

void Pipeline::reduce(bool keepReach) {
  if (settings_.verbosity) listTable();
  // The explanation needs the branches that the reduction takes out.
  if (keepReach) reach_.emplace(table_);
  reduceMandatoryTests(table_, registry_, stack_, settings_.verbosity, diagnostics_);
  if (settings_.verbosity) listTable();
}

SearchOutcome Pipeline::search() {
  return costs_.empty()
             ? searchCover(table_, registry_, settings_, stack_, diagnostics_)
             : searchCheapestCover(table_, registry_, settings_, stack_, costs_, diagnostics_);
}

}  // namespace zorvane::optimizer
