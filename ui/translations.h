// Qt's own texts (the standard buttons of message boxes, the entries of
// context menus) in Japanese, to match the window, whatever the locale.
#pragma once

class QCoreApplication;

namespace vexo {

// Loads Qt's Japanese translations from Qt's translations directory (on
// Debian, package qt6-translations-l10n) and installs them in the
// application, which keeps them for its lifetime. Returns false when they
// cannot be found; Qt's texts then stay in English.
bool installJapaneseTranslations(QCoreApplication& app);

}  // namespace vexo
