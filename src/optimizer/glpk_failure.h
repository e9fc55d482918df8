#pragma once

#include <csetjmp>

namespace zorvane::optimizer {

// GLPK reports a failure (on a well-formed program only running out of
// memory) by calling its error hook, which must not return: the hook jumps
// to the buffer the calling frame set with setjmp, where only plain data
// may live.
extern thread_local std::jmp_buf *glpkFailure;

void onGlpkFailure(void *);

}  // namespace zorvane::optimizer
