#include "shell/translations.h"

#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "shell/process_exit.h"

namespace zorvane::shell {

namespace {

[[noreturn]] void refuseToStart(const std::string &text) {
  std::fflush(stdout);
  std::fwrite(text.data(), 1, text.size(), stderr);
  throw ProcessExit(255);
}

}  // namespace

Translators loadTranslations(QCoreApplication &application, const QStringList &prefixes) {
  // Plain C++ here: Qt's containers come back empty when memory runs out,
  // which would pass for a missing variable or directory.
  const char *installDir = std::getenv("HALVERNDIR");
  if (!installDir || !*installDir)
    refuseToStart("Fatal Error: please setup HALVERNDIR environment variable.\n");

  // The path is kept as bytes for the message, so that it reads as given.
  const char separator = static_cast<char>(QDir::separator().toLatin1());
  const std::string localeDir = std::string(installDir) + separator + "lib" + separator + "locale";
  struct stat info;
  if (::stat(localeDir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
    refuseToStart("Fatal Error: directory doesn't exist '" + localeDir + "'\n");
  const QString localeDirName = QFile::decodeName(QByteArray::fromStdString(localeDir));

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

}  // namespace zorvane::shell
