#include "shell/banner.h"

#include <QCoreApplication>
#include <QString>
#include <cstdio>

#include "version.h"

namespace zorvane::shell {

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

}  // namespace zorvane::shell
