#include "shell/entry.h"

#include <QCoreApplication>
#include <cstdio>
#include <new>

#include "shell/banner.h"
#include "shell/messages.h"
#include "shell/process_exit.h"
#include "shell/run.h"
#include "shell/translations.h"

namespace {

// Turns running out of memory, wherever it happens, into message 0.
void runWithMemoryGuard(int &argc, char **argv) {
  try {
    QCoreApplication application(argc, argv);
    Translators translators;
    try {
      translators =
          loadTranslations(application, {QStringLiteral("veskident_"), QStringLiteral("Zorvane_")});
      printBanner();
      run(argc, argv);
    } catch (const std::bad_alloc &) {
      reportMessage(Message::MemoryOverflow);
    }
  } catch (const std::bad_alloc &) {
    reportMessage(Message::MemoryOverflow);
  }
}

}  // namespace

int runProcess(int argc, char **argv) {
  int status = 0;
  try {
    runWithMemoryGuard(argc, argv);
  } catch (const ProcessExit &exit) {
    status = exit.status();
  }
  std::fflush(stdout);
  return status;
}
