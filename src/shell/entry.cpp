#include "shell/entry.h"

#include <QCoreApplication>
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "shell/banner.h"
#include "shell/messages.h"
#include "shell/process_exit.h"
#include "shell/run.h"
#include "shell/translations.h"

namespace {

// A standard stream that the caller closed gets a stand-in that refuses to
// be written (/dev/null opened for reading), so that no file the run opens
// takes its number, and a report that cannot go out is seen as a failure. A
// reader gone from a pipe is a write error too, not the end of the process.
void guardStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd)
    if (::fcntl(fd, F_GETFD) < 0) ::open("/dev/null", O_RDONLY);
  std::signal(SIGPIPE, SIG_IGN);
}

// Turns running out of memory, wherever it happens, into message 0.
int runWithMemoryGuard(int &argc, char **argv) {
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
      const int status = run(argc, argv);
      checkStandardStreams();
      return status;
    } catch (const std::bad_alloc &) {
      reportMessage(Message::MemoryOverflow);
    }
  } catch (const std::bad_alloc &) {
    reportMessage(Message::MemoryOverflow);
  }
  return 1;
}

}  // namespace

int runProcess(int argc, char **argv) {
  guardStandardStreams();
  int status = 0;
  try {
    status = runWithMemoryGuard(argc, argv);
  } catch (const ProcessExit &exit) {
    status = exit.status();
  }
  std::fflush(stdout);
  return status;
}
