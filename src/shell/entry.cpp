#include "shell/entry.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "shell/banner.h"
#include "shell/messages.h"
#include "shell/process_exit.h"
#include "shell/run.h"
#include "shell/translations.h"

namespace {

// Turns running out of memory, wherever it happens, into message 0.
void runWithMemoryGuard(int &argc, char **argv) {
  // The tool runs no event loop. Qt's plain event dispatcher spares the GLib
  // one, which aborts the process when it cannot allocate.
  ::setenv("QT_NO_GLIB", "1", 1);
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
