#include "support.h"

#include <QDateTime>
#include <QFile>
#include <QListWidget>
#include <QTest>
#include <QTimer>

#include "directory_list.h"
#include "file_list.h"
#include "main_window.h"
#include "settings.h"

namespace vexo::test {

namespace {

// Set before main() runs, so before QSettings first asks where the user's
// configuration lives.
struct ConfigHome {
  QTemporaryDir dir;
  ConfigHome() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path())); }
};

ConfigHome& configHome() {
  static ConfigHome home;
  return home;
}

[[maybe_unused]] const bool configHomeSet = (configHome(), true);

}  // namespace

QString settingsFile() { return configHome().dir.filePath(QStringLiteral("VEXO.conf")); }

void clearSettings() {
  QFile::remove(settingsFile());
  QFile::remove(settingsFile() + QStringLiteral(".lock"));
}

void writeSettings(const QByteArray& text) {
  writeFile(settingsFile(), text);
  // A time stamp of its own, so that QSettings never takes the file for one
  // it has read before.
  static int stamp = 0;
  QFile f(settingsFile());
  if (!f.open(QIODevice::ReadWrite) ||
      !f.setFileTime(QDateTime::currentDateTime().addSecs(++stamp),
                     QFileDevice::FileModificationTime))
    qFatal("cannot date %s", qPrintable(settingsFile()));
}

QByteArray settingsText() {
  QFile f(settingsFile());
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no file>");
}

void Messages::install(Main& window) {
  window.setMessageHook([this](int style, const QString& text) {
    shown.append({style, text});
    if (whileShown) whileShown();
    if (!answers.isEmpty()) return answers.takeFirst();
    return style == kStyleYesNoQuestion ? kAnswerYes : kAnswerOk;
  });
}

QStringList Messages::texts() const {
  QStringList t;
  for (const auto& m : shown) t.append(m.second);
  return t;
}

QStringList Messages::headlines() const {
  QStringList t;
  for (const auto& m : shown) {
    const bool summary = m.second.startsWith(QStringLiteral("分割完了\n")) ||
                         m.second.startsWith(QStringLiteral("結合完了\n"));
    t.append(summary ? m.second.section(u'\n', 0, 0) : m.second);
  }
  return t;
}

WorkDir::WorkDir() : previous_(QDir::currentPath()) {
  QDir::setCurrent(QDir(dir_.path()).canonicalPath());
}

WorkDir::~WorkDir() { QDir::setCurrent(previous_); }

void writeFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
    qFatal("cannot write %s", qPrintable(path));
}

QByteArray readFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return QByteArray();
  return f.readAll();
}

QByteArray patternBytes(qint64 size) {
  QByteArray bytes(size, Qt::Uninitialized);
  quint32 x = 2463534242u;
  for (qint64 i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    bytes[i] = static_cast<char>(x);
  }
  return bytes;
}

namespace {

QPoint fileEntryCentre(Main& window, const QString& name) {
  const int row = static_cast<int>(window.FIle_list->entries().indexOf(name));
  if (row < 0) qFatal("no file %s in the list", qPrintable(name));
  const QModelIndex index = window.FIle_list->model()->index(row, 0);
  window.FIle_list->scrollTo(index);
  return window.FIle_list->visualRect(index).center();
}

}  // namespace

void clickFile(Main& window, const QString& name) {
  QTest::mouseClick(window.FIle_list->viewport(), Qt::LeftButton, {}, fileEntryCentre(window, name));
}

void doubleClickFile(Main& window, const QString& name) {
  const QPoint at = fileEntryCentre(window, name);
  // As a user does: the first click selects, the second makes it a double-click.
  QTest::mouseClick(window.FIle_list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(window.FIle_list->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseRelease(window.FIle_list->viewport(), Qt::LeftButton, {}, at);
}

void doubleClickDirectory(Main& window, const QString& caption) {
  const QList<QListWidgetItem*> items = window.Dir_name->findItems(caption, Qt::MatchExactly);
  if (items.isEmpty()) qFatal("no directory %s in the list", qPrintable(caption));
  window.Dir_name->scrollToItem(items.last());
  const QPoint at = window.Dir_name->visualItemRect(items.last()).center();
  QTest::mouseClick(window.Dir_name->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseDClick(window.Dir_name->viewport(), Qt::LeftButton, {}, at);
  QTest::mouseRelease(window.Dir_name->viewport(), Qt::LeftButton, {}, at);
}

void whenModal(std::function<void(QWidget*)> act) {
  auto* timer = new QTimer;
  auto tries = std::make_shared<int>(0);
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, act] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal->isVisible()) {
      timer->stop();
      timer->deleteLater();
      act(modal);
    } else if (++*tries > 2000) {
      timer->stop();
      timer->deleteLater();
      qWarning("no modal widget showed up");
    }
  });
  timer->start();
}

Fixture::Fixture(const QList<Volume>& moreDrives) {
  volumes.volumes = QList<Volume>{{dir.path(), QStringLiteral("WORK")}} + moreDrives;
}

Fixture::~Fixture() = default;

Main& Fixture::open(bool firstRun) {
  if (firstRun) clearSettings();
  files = std::make_unique<FaultyDrives>();
  // A window opened before goes with the store it was given.
  std::unique_ptr<SettingsStore> store = makeUserSettingsStore();
  window = std::make_unique<Main>(*files, volumes, *store);
  settings = std::move(store);
  messages.install(*window);
  window->setEndHook([this] { ++ends; });
  window->show();
  return *window;
}

}  // namespace vexo::test
