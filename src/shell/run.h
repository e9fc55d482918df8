#pragma once

// The whole job of one run, given the command line as the application object
// left it: options and coverage files from left to right, then the mandatory
// reduction, the cover search and the report. Returns 1 when there was
// nothing to do (no argument, or no test in any file), else 0.
int run(int argc, char **argv);
