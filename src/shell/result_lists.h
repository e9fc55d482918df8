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

// Writes the lists that --needed and --useless asked for, each file whole or
// not at all; a file that cannot be written is message 18 (fatal).
void writeResultLists(const LongOptions &options, const ReportedTests &reported,
                      const TestRegistry &registry, const RunSettings &settings);
