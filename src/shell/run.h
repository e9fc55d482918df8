#pragma once

#include "shell/reporter.h"

namespace zorvane::shell {

// The process from start to end: application object, translations, banner,
// then run(). Returns the exit status; every way out of the process ends
// here (entry.cpp).
int runProcess(int argc, char **argv);

// The whole job of one run, given the command line as the application object
// left it: options and coverage files from left to right, then the mandatory
// reduction, the cover search and the report, all told through `reporter`.
// Returns the exit status: 0, or unreadableInputStatus, or
// searchStoppedStatus (see process_exit.h).
int run(int argc, char **argv, Reporter &reporter);

}  // namespace zorvane::shell
