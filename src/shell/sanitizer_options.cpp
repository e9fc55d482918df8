// Built-in settings of the sanitizer runtimes, linked only into the checked
// builds (ZORVANE_SANITIZE, ZORVANE_FUZZ). They hold also where the
// environment is wiped, as the end-to-end runner does; ASAN_OPTIONS and
// UBSAN_OPTIONS still override them.

extern "C" {

// Halting at the first report is the point of the checked build.
const char *__asan_default_options() {
  return "halt_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:"
         "check_initialization_order=1:strict_init_order=1";
}

const char *__ubsan_default_options() { return "halt_on_error=1:print_stacktrace=1"; }

}  // extern "C"
