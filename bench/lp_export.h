#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "coverage/coverage_table.h"
#include "coverage/test_registry.h"
#include "optimizer/selection_stack.h"

struct LpExportSize {
  std::uint64_t rows = 0;     // distinct constraints written
  std::uint64_t columns = 0;  // tests that appear in them
  std::uint64_t nonzeros = 0;
};

// Writes the set cover left in the table (one binary variable per test, one
// constraint per live branch: at least one of its tests) as an LP file for a
// general integer-programming solver. Branches listing the same set of tests
// give one constraint: the optimum is the same and the file much smaller.
// Throws std::runtime_error when the file cannot be written.
LpExportSize exportSetCoverLp(zorvane::coverage::CoverageTable &table, const std::string &path);

// The same set cover with each test's cost (by test number) as its weight
// in the objective.
LpExportSize exportWeightedSetCoverLp(zorvane::coverage::CoverageTable &table,
                                      std::span<const std::uint64_t> costs,
                                      const std::string &path);

// Writes the file-count problem of the same set cover: the fewest coverage
// files, apart from those of the tests on `mandatory` (which every cover
// spans), of a cover with at most `maxTests` tests: a binary variable per
// test and per such file, every test only with its file. Returns the number
// of files of the mandatory tests. Throws std::runtime_error when the file
// cannot be written.
std::uint32_t exportFileCoverLp(zorvane::coverage::CoverageTable &table,
                                const zorvane::coverage::TestRegistry &registry,
                                const zorvane::optimizer::SelectionStack &mandatory,
                                std::uint32_t maxTests, const std::string &path);
