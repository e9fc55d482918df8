#include "shell/translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <cstdio>
#include <string>

#include "shell/process_exit.h"

namespace {

[[noreturn]] void refuseToStart(const std::string &text) {
  std::fflush(stdout);
  std::fwrite(text.data(), 1, text.size(), stderr);
  throw ProcessExit(255);
}

}  // namespace

Translators loadTranslations(QCoreApplication &application, const QStringList &prefixes) {
  const QByteArray installDir = qgetenv("HALVERNDIR");
  if (installDir.isEmpty())
    refuseToStart("Fatal Error: please setup HALVERNDIR environment variable.\n");

  // The path is kept as bytes for the message, so that it reads as given.
  const char separator = static_cast<char>(QDir::separator().toLatin1());
  const QByteArray localeDir = installDir + separator + "lib" + separator + "locale";
  const QString localeDirName = QFile::decodeName(localeDir);
  if (!QFileInfo(localeDirName).isDir())
    refuseToStart("Fatal Error: directory doesn't exist '" + localeDir.toStdString() + "'\n");

  Translators installed;
  const QString localeName = QLocale::system().name();
  for (const QString &prefix : prefixes) {
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(prefix + localeName, localeDirName)) {
      application.installTranslator(translator.get());
      installed.push_back(std::move(translator));
    }
  }
  return installed;
}
