#pragma once

#include "shell/reporter.h"

namespace zorvane::shell {

// The whole job of one run, given the command line as the application object
// left it: options and coverage files from left to right, then the mandatory
// reduction, the cover search and the report, all told through `reporter`.
// Returns the exit status: 0, or unreadableInputStatus, or
// searchStoppedStatus (see process_exit.h).
int run(int argc, char **argv, Reporter &reporter);

}  // namespace zorvane::shell
