#pragma once

#include <QStringList>
#include <QTranslator>
#include <memory>
#include <vector>

class QCoreApplication;

namespace zorvane::shell {

using Translators = std::vector<std::unique_ptr<QTranslator>>;

// Installs, for each prefix in order, the translation file "prefix + locale
// name" found in HALVERNDIR/lib/locale; a missing file is no error. Without
// HALVERNDIR or that directory the tool cannot start: the reason is written
// on the standard error stream and the process ends with status 255.
// The translators returned must outlive every translated message.
Translators loadTranslations(QCoreApplication &application, const QStringList &prefixes);

}  // namespace zorvane::shell
