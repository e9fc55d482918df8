#include "optimizer/glpk_failure.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

using namespace zorvane::optimizer;

namespace {

// A program far larger than GLPK may take under a limit of one megabyte.
int buildTooLargeAProgram() {
  glp_mem_limit(1);
  glp_prob *program = glp_create_prob();
  glp_add_cols(program, 1000000);
  glp_delete_prob(program);
  return 0;
}

int columnsOfASmallProgram() {
  glp_prob *program = glp_create_prob();
  glp_add_cols(program, 3);
  const int columns = glp_get_num_cols(program);
  glp_delete_prob(program);
  return columns;
}

TEST(GlpkFailure, RunsTheSolverCodeAndGivesItsResult) {
  EXPECT_EQ(runGlpk(columnsOfASmallProgram), 3);
}

// Freeing all of GLPK's memory also takes the limit away.
TEST(GlpkFailure, GlpkRunningOutOfMemoryThrowsAndLeavesGlpkFit) {
  EXPECT_THROW(runGlpk(buildTooLargeAProgram), std::bad_alloc);
  EXPECT_EQ(runGlpk(columnsOfASmallProgram), 3);
}

// A failure of the solver code itself passes through as it is, and a later
// failure of GLPK is still caught.
TEST(GlpkFailure, OtherFailuresPassThrough) {
  EXPECT_THROW(runGlpk([]() -> int {
                 glp_create_prob();
                 throw std::runtime_error("solver code");
               }),
               std::runtime_error);
  EXPECT_THROW(runGlpk(buildTooLargeAProgram), std::bad_alloc);
  EXPECT_EQ(runGlpk(columnsOfASmallProgram), 3);
}

}  // namespace
