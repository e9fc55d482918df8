#pragma once

namespace zorvane::shell {

// The process from start to end: application object, translations, banner,
// the run. Returns the exit status; every way out of the process ends here.
int runProcess(int argc, char **argv);

}  // namespace zorvane::shell
