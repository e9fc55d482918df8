#pragma once

#include <glpk.h>

#include <csetjmp>
#include <new>
#include <type_traits>

namespace zorvane::optimizer {

// GLPK reports a failure (on a well-formed program, only running out of
// memory) by calling its error hook, which must not return: the hook jumps
// back to the frame of runGlpk, which holds the jump buffer while the solver
// code runs.
inline thread_local std::jmp_buf *glpkFailure = nullptr;

inline void onGlpkFailure(void *) { std::longjmp(*glpkFailure, 1); }

// Runs `body`, code that calls GLPK, and returns what it returns. When GLPK
// fails on the way, all of GLPK's memory is freed, which leaves it fit for
// the next program, and std::bad_alloc is thrown as for any allocation that
// fails. The jump skips every frame `body` opened, so no object there may
// need its destructor run: what the solver code fills belongs to the caller.
template <typename Body>
auto runGlpk(Body &&body) -> decltype(body()) {
  // Only plain data lives in this frame, the one that calls setjmp.
  static_assert(std::is_trivially_destructible_v<decltype(body())>);
  std::jmp_buf failure;
  glpkFailure = &failure;
  if (setjmp(failure) != 0) {
    glpkFailure = nullptr;
    glp_free_env();
    throw std::bad_alloc();
  }
  glp_term_out(GLP_OFF);
  glp_error_hook(onGlpkFailure, nullptr);
  try {
    const auto result = body();
    glp_error_hook(nullptr, nullptr);
    glpkFailure = nullptr;
    return result;
  } catch (...) {
    // A failure of the solver code itself: the programs it left open go too.
    glpkFailure = nullptr;
    glp_free_env();
    throw;
  }
}

}  // namespace zorvane::optimizer
