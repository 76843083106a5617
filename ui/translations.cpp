#include "translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QStringList>
#include <QTranslator>

namespace vexo {

bool installJapaneseTranslations(QCoreApplication& app) {
  // Where Qt was built to look, then beside the program (a Windows
  // installation carries them in its own "translations" folder).
  const QStringList places = {
      QLibraryInfo::path(QLibraryInfo::TranslationsPath),
      QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
  };
  for (const QString& dir : places) {
    auto* translator = new QTranslator(&app);
    // "qtbase" holds the widgets' texts; "qt" is the catalogue that pulls
    // it in on older installations.
    if (translator->load(QStringLiteral("qtbase_ja"), dir) ||
        translator->load(QStringLiteral("qt_ja"), dir)) {
      QCoreApplication::installTranslator(translator);
      return true;
    }
    delete translator;
  }
  return false;
}

}  // namespace vexo
