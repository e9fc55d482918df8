// Benchmark driver: does what the tool's run does (read every coverage file,
// close the registry, take out the mandatory tests, search the smallest
// cover) at verbosity 0 without printing the report, and prints one line of
// key=value measurements instead, the needed tests included so that runs of
// different searches can be compared.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "base/fatal_error.h"
#include "bench_options.h"
#include "lp_export.h"
#include "optimizer/cost_search.h"
#include "optimizer/pipeline.h"
#include "shell/reporter.h"

using namespace zorvane;
using namespace zorvane::coverage;
using namespace zorvane::optimizer;
using namespace zorvane::shell;

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Peak resident memory of the process so far, in KiB.
long peakRssKib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// The settings the tool starts from on the command line "files [-T] [-F n]",
// and the steps of that command line.
RunSettings toolSettings(const BenchOptions &options) {
  RunSettings settings;
  const std::size_t argumentCount =
      1 + options.files.size() + (options.testLevel ? 1 : 0) + (options.allowance ? 2 : 0);
  settings.fileCountBound = static_cast<std::uint32_t>(argumentCount);
  return settings;
}

std::vector<RunStep> toolSteps(const BenchOptions &options) {
  std::vector<RunStep> steps;
  for (const std::string &path : options.files) steps.push_back({RunStep::Kind::ReadFile, path});
  if (options.testLevel) steps.push_back({RunStep::Kind::TestLevel});
  if (options.allowance) steps.push_back({RunStep::Kind::Allowance, {}, options.allowance});
  return steps;
}

// Times as real suites have them: most tests fast (1 to 50 ms), one in ten
// slow (0.5 to 30 s), drawn from the test number alone so that every run
// and every solver sees the same ones.
std::vector<std::uint64_t> skewedCosts(TestNumber testCount) {
  std::vector<std::uint64_t> costs(testCount, 0);
  for (TestNumber test = 1; test < testCount; ++test) {
    std::uint64_t hash = test * 0x9E3779B97F4A7C15ull;
    hash ^= hash >> 29;
    hash *= 0xBF58476D1CE4E5B9ull;
    hash ^= hash >> 32;
    const std::uint64_t draw = hash % 1000;
    costs[test] = draw < 900 ? 1000 + (hash >> 10) % 49000 : 500000 + (hash >> 10) % 29500000;
  }
  return costs;
}

std::uint64_t snapshotCost(const SelectionStack &stack, const std::vector<std::uint64_t> &costs) {
  std::uint64_t total = 0;
  for (const TestNumber test : stack.answer()) total += costs[test];
  return total;
}

struct Measurements {
  std::uintmax_t bytes = 0;
  std::uint64_t branchLines = 0;
  std::uint64_t textBytes = 0;  // names and descriptions of the tests
  std::uint32_t tests = 0;
  long baseRssKib = 0;
  long readRssKib = 0;
  double readSeconds = 0;
  double reduceSeconds = 0;
};

void printf64(const char *key, std::uint64_t value) {
  std::printf(" %s=%llu", key, static_cast<unsigned long long>(value));
}

void printReadMeasurements(const Measurements &m) {
  printf64("files_bytes", m.bytes);
  printf64("tests", m.tests);
  printf64("branch_lines", m.branchLines);
  std::printf(" read_s=%.4f read_mb_s=%.1f", m.readSeconds,
              m.readSeconds > 0 ? m.bytes / 1e6 / m.readSeconds : 0.0);
  std::printf(" base_rss_kib=%ld read_rss_kib=%ld", m.baseRssKib, m.readRssKib);
  const double grown = (m.readRssKib - m.baseRssKib) * 1024.0;
  const double lines = m.branchLines ? static_cast<double>(m.branchLines) : 1.0;
  std::printf(" bytes_per_line=%.2f bytes_per_line_names_aside=%.2f", grown / lines,
              (grown - static_cast<double>(m.textBytes)) / lines);
  std::printf(" reduce_s=%.4f", m.reduceSeconds);
}

void printOutcome(const SearchOutcome &outcome, double seconds, const SelectionStack &stack) {
  std::printf(" search_s=%.4f", seconds);
  printf64("nodes", outcome.nodes);
  std::printf(" completed=%d", outcome.completed ? 1 : 0);
  // As the report does: without a snapshot the mandatory tests are the answer.
  const std::span<const TestNumber> needed = stack.answer();
  printf64("needed", needed.size());
  printf64("search_tests", stack.hasSnapshot() ? std::uint64_t{outcome.bestDepth} + 1 : 0);
  printf64("best_files", outcome.bestFileCount);
  std::printf(" rss_kib=%ld needed_list=", peakRssKib());
  for (std::size_t i = 0; i < needed.size(); ++i) std::printf("%s%u", i ? "," : "", needed[i]);
}

int benchmark(const BenchOptions &options, Diagnostics &diagnostics) {
  Measurements m;
  m.baseRssKib = peakRssKib();
  Pipeline pipeline(toolSettings(options), diagnostics);
  const std::vector<RunStep> steps = toolSteps(options);

  const Clock::time_point readStart = Clock::now();
  pipeline.read(steps);
  m.readSeconds = secondsSince(readStart);
  m.readRssKib = peakRssKib();
  for (const std::string &path : options.files) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (!error) m.bytes += size;
  }
  if (!pipeline.readAnyTest()) {
    std::printf("status=no_test\n");
    return 0;
  }
  pipeline.finishReading(nullptr, false);
  RunSettings settings = pipeline.settings();
  TestRegistry &registry = pipeline.registry();
  CoverageTable &table = pipeline.table();
  SelectionStack &stack = pipeline.stack();
  m.tests = registry.lastTest();
  for (TestNumber test = 1; test < registry.endTest(); ++test) {
    m.branchLines += registry.entryCounts()[test];
    const TestRecord &record = registry.record(test);
    m.textBytes += record.name.size() + (record.description ? record.description->size() : 0);
  }

  const Clock::time_point reduceStart = Clock::now();
  pipeline.reduce(false);
  m.reduceSeconds = secondsSince(reduceStart);
  const std::uint32_t mandatory = stack.stackSize();

  std::printf("status=ok");
  printReadMeasurements(m);
  printf64("mandatory", mandatory);
  printf64("live_branches", table.liveBranchCount());
  if (!options.exportLp.empty()) {
    const LpExportSize size = exportSetCoverLp(table, options.exportLp);
    printf64("lp_rows", size.rows);
    printf64("lp_columns", size.columns);
    printf64("lp_nonzeros", size.nonzeros);
  }
  if (options.costs) {
    const std::vector<std::uint64_t> costs = skewedCosts(registry.endTest());
    std::uint64_t suiteCost = 0, mandatoryCost = 0;
    for (const std::uint64_t cost : costs) suiteCost += cost;
    for (const TestNumber test : stack.tests()) mandatoryCost += costs[test];
    printf64("suite_cost_us", suiteCost);
    printf64("mandatory_cost_us", mandatoryCost);
    if (!options.exportCostLp.empty()) {
      const LpExportSize size = exportWeightedSetCoverLp(table, costs, options.exportCostLp);
      printf64("cost_lp_rows", size.rows);
      printf64("cost_lp_columns", size.columns);
    }
    std::fflush(stdout);
    // The count search under the reference search's time limit, which
    // random covers need; the cheapest-cover search under none.
    Clock::time_point start = Clock::now();
    settings.timeLimitSeconds = options.limits.maxSeconds;
    SearchOutcome outcome = searchCover(table, registry, settings, stack, diagnostics);
    settings.timeLimitSeconds = 0;
    std::printf(" count_search_s=%.4f count_completed=%d", secondsSince(start),
                outcome.completed ? 1 : 0);
    printf64("count_optimal_cost_us", snapshotCost(stack, costs));
    std::fflush(stdout);
    start = Clock::now();
    outcome = searchCheapestCover(table, registry, settings, stack, costs, diagnostics);
    std::printf(" cost_search_s=%.4f cost_completed=%d", secondsSince(start),
                outcome.completed ? 1 : 0);
    printf64("cost_optimal_cost_us", snapshotCost(stack, costs));
    printOutcome(outcome, secondsSince(start), stack);
  } else if (options.search) {
    std::fflush(stdout);
    const Clock::time_point searchStart = Clock::now();
    const SearchOutcome outcome =
        options.reference ? zorvane::testing_support::referenceSearchCover(
                                table, registry, settings, stack, diagnostics, options.limits)
                          : pipeline.search();
    printOutcome(outcome, secondsSince(searchStart), stack);
    // The file count of covers as large as the one found, for a solver to
    // compare; only where the search counted files and finished.
    if (!options.exportFileLp.empty() && settings.countFiles && stack.hasSnapshot() &&
        outcome.completed) {
      const std::uint32_t maxTests = outcome.bestDepth + 1 + std::max(options.allowance, 0);
      printf64("file_lp_free_files",
               exportFileCoverLp(table, registry, stack, maxTests, options.exportFileLp));
    }
  } else {
    std::printf(" rss_kib=%ld", peakRssKib());
  }
  std::printf("\n");
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  BenchOptions options;
  try {
    options = parseBenchOptions(argc, argv);
  } catch (const std::invalid_argument &error) {
    std::fprintf(stderr, "zorvane_bench: %s\n%s", error.what(), usageText());
    return 2;
  }
  zorvane::shell::Reporter reporter;
  try {
    return benchmark(options, reporter);
  } catch (const FatalError &error) {
    reporter.report(error.message(), error.argument(0), error.argument(1), error.argument(2));
    std::printf("\nstatus=fatal exit=1\n");
    return 1;
  } catch (const std::exception &error) {
    std::printf("\nstatus=error\n");
    std::fprintf(stderr, "zorvane_bench: %s\n", error.what());
    return 1;
  }
}
