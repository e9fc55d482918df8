#include "shell/run.h"

#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QString>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "base/fatal_error.h"
#include "shell/process_exit.h"
#include "shell/reporter.h"
#include "shell/translations.h"
#include "version.h"

namespace zorvane::shell {
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

// Writes the identity banner (name, purpose, version, legal lines) on the
// standard error stream, translated for the current locale.
void printBanner() {
  const QString banner =
      QCoreApplication::translate("Optimizer", "\n%1 %2 %3\n%4 %5\n")
          .arg(QCoreApplication::translate("VESKIdent", "Zorvane"))
          .arg(QCoreApplication::translate("Optimizer", "Test coverage optimizer",
                                           "Default message displayed when the tool is started"))
          .arg(QStringLiteral(ZORVANE_VERSION_STRING))
          .arg(QCoreApplication::translate("VESKIdent",
                                           "Copyright (c) 2026 The Zorvane developers."))
          .arg(QCoreApplication::translate("VESKIdent", "Free software under the MIT License."));
  const QByteArray bytes = banner.toLatin1();
  std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
}

// Runs the job with the translations in place, so that a fatal message is
// written in the user's language wherever it is thrown; running out of
// memory, wherever it happens, is message 0.
int runWithMessages(int &argc, char **argv, Reporter &reporter) {
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
      const int status = run(argc, argv, reporter);
      reporter.checkStandardStreams();
      return status;
    } catch (const FatalError &error) {
      reporter.report(error.message(), error.argument(0), error.argument(1), error.argument(2));
    } catch (const std::bad_alloc &) {
      reporter.report(Message::MemoryOverflow);
    }
  } catch (const std::bad_alloc &) {
    reporter.report(Message::MemoryOverflow);
  }
  return 1;
}

}  // namespace

int runProcess(int argc, char **argv) {
  guardStandardStreams();
  Reporter reporter;
  int status = 0;
  try {
    status = runWithMessages(argc, argv, reporter);
  } catch (const ProcessExit &exit) {
    status = exit.status();
  }
  std::fflush(stdout);
  return status;
}

}  // namespace zorvane::shell
