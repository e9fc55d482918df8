#pragma once

#include <span>
#include <string>

#include "coverage/test_registry.h"
#include "optimizer/report.h"
#include "shell/long_options.h"
#include "shell/run_settings.h"

// The list file of these tests, one line per test in the order given: the
// test number, a tab, the path of its coverage file as given, a tab, and its
// name without the name's own line end (a final "\n" and a "\r" before it).
std::string formatTestList(std::span<const TestNumber> tests, const TestRegistry &registry,
                           const RunSettings &settings);

// Refuses, before anything is read, list files that would replace one of
// the coverage files (message 25) or another list of the run (message 26),
// both fatal. Paths are compared as files (device and inode) where they
// exist, else as normalised paths; devices and pipes are not compared.
void checkResultFiles(const LongOptions &options, std::span<const std::string> coverageFiles);

// Writes the lists that --needed and --useless asked for, all of them whole
// or none; a file that cannot be written is message 18 (fatal).
void writeResultLists(const LongOptions &options, const ReportedTests &reported,
                      const TestRegistry &registry, const RunSettings &settings);
