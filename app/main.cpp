// VEXO: splits a file into pieces that fit on floppy disks and joins them.
#include <QApplication>
#include <QIcon>

#include <memory>

#include "file_services.h"
#include "form_metrics.h"
#include "main_window.h"
#include "settings.h"
#include "translations.h"
#include "volumes.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  // No display name: Qt would append it to the window caption.
  QApplication::setApplicationName(vexo::kAppTitle);
  QApplication::setDesktopFileName(QStringLiteral("vexo"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/vexo.png")));
  QApplication::setFont(vexo::formFont());
  vexo::installJapaneseTranslations(app);

  std::unique_ptr<vexo::FileServices> files = vexo::makeSystemFileServices();
  // The settings live in the user's own store (QSettings), which the
  // window reads when it opens and writes when it closes.
  std::unique_ptr<vexo::SettingsStore> settings = vexo::makeUserSettingsStore();
  vexo::StorageVolumes volumes;
  vexo::Main window(*files, volumes, *settings);
  window.show();
  // "vexo PATH" (the desktop's "Open with"): that file's directory, with the
  // file chosen; nothing starts until the user presses "決　定".
  if (argc > 1 && argv[1][0] != '\0') window.form().openPath(argv[1]);
  return QApplication::exec();
}
