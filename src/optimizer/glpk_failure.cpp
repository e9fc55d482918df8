#include "optimizer/glpk_failure.h"

namespace zorvane::optimizer {

thread_local std::jmp_buf *glpkFailure = nullptr;

void onGlpkFailure(void *) { std::longjmp(*glpkFailure, 1); }

}  // namespace zorvane::optimizer
