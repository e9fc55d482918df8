#include "shell/run.h"

int main(int argc, char **argv) { return zorvane::shell::runProcess(argc, argv); }
