#include "optimizer/glpk_failure.h"

thread_local std::jmp_buf *glpkFailure = nullptr;

void onGlpkFailure(void *) { std::longjmp(*glpkFailure, 1); }
