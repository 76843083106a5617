// Shared by the window tests: drives the tests choose, file services whose
// drive changes can be made to fail, message boxes answered by the test,
// and helpers that act on the controls as a user does.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "file_services.h"
#include "settings_store.h"
#include "volumes.h"

namespace vexo {
class Main;
}

namespace vexo::test {

class FakeVolumes : public Volumes {
 public:
  QList<Volume> volumes;
  QList<Volume> list() override { return volumes; }
};

// The machine's file services, with drive changes that fail on request.
class FaultyDrives : public FileServices {
 public:
  FaultyDrives() : inner_(makeSystemFileServices()) {}

  std::map<std::string, int> chDriveFails;  // drive root -> error number
  QStringList driveChanges;                 // every drive asked for, in order

  int freeFile() override { return inner_->freeFile(); }
  void openRead(const std::string& n, int f) override { inner_->openRead(n, f); }
  void openWrite(const std::string& n, int f, bool t) override { inner_->openWrite(n, f, t); }
  void createNew(const std::string& n, int f) override { inner_->createNew(n, f); }
  FileKind kind(const std::string& n, bool l) override { return inner_->kind(n, l); }
  void replace(const std::string& a, const std::string& b) override { inner_->replace(a, b); }
  std::optional<std::int64_t> freeSpace() override { return inner_->freeSpace(); }
  std::vector<std::string> listDirectory() override { return inner_->listDirectory(); }
  void truncate(int f) override { inner_->truncate(f); }
  std::size_t read(int f, char* b, std::size_t l, std::optional<std::int64_t> p) override {
    return inner_->read(f, b, l, p);
  }
  bool eof(int f) override { return inner_->eof(f); }
  std::int64_t loc(int f) override { return inner_->loc(f); }
  void write(int f, const char* b, std::size_t l) override { inner_->write(f, b, l); }
  void flush(int f) override { inner_->flush(f); }
  void close(int f) override { inner_->close(f); }
  void closeAll() override { inner_->closeAll(); }
  FileState openFileState(int f) override { return inner_->openFileState(f); }
  std::int64_t fileLen(const std::string& n) override { return inner_->fileLen(n); }
  FileDateTime fileDateTime(const std::string& n) override { return inner_->fileDateTime(n); }
  FileAttributes getAttr(const std::string& n) override { return inner_->getAttr(n); }
  void setAttr(const std::string& n, FileAttributes a) override { inner_->setAttr(n, a); }
  void kill(const std::string& n) override { inner_->kill(n); }
  std::optional<FileIdentity> identity(const std::string& n) override { return inner_->identity(n); }
  bool setFileDateTime(const std::string& n, const FileDateTime& dt) override {
    return inner_->setFileDateTime(n, dt);
  }
  int openFolder(const std::string& p) override { return inner_->openFolder(p); }
  void closeFolder(int d) override { inner_->closeFolder(d); }
  void selectFolder(int d) override { inner_->selectFolder(d); }
  void syncFolder() override { inner_->syncFolder(); }
  bool folderWritable() override { return inner_->folderWritable(); }
  void createExclusive(const std::string& n, int f, FileAttributes m) override { inner_->createExclusive(n, f, m); }
  void createTemporary(int f, FileAttributes m, const std::string& n) override { inner_->createTemporary(f, m, n); }
  void nameTemporary(int f, const std::string& n, bool r) override { inner_->nameTemporary(f, n, r); }
  std::int64_t removeLeftovers() override { return inner_->removeLeftovers(); }
  bool stampOpen(int f, const FileDateTime& dt) override { return inner_->stampOpen(f, dt); }
  void setAttrOpen(int f, FileAttributes a) override { inner_->setAttrOpen(f, a); }
  std::string curDir() override { return inner_->curDir(); }
  void chDir(const std::string& p) override { inner_->chDir(p); }
  void chDrive(const std::string& drive) override {
    driveChanges.append(QString::fromStdString(drive));
    if (auto it = chDriveFails.find(drive); it != chDriveFails.end()) throw RuntimeError(it->second);
    inner_->chDrive(drive);
  }

 private:
  std::unique_ptr<FileServices> inner_;
};

// Answers the window's message boxes: records each (style, text) and
// returns the next queued answer (OK or Yes when none is queued).
struct Messages {
  QList<QPair<int, QString>> shown;
  QList<int> answers;
  std::function<void()> whileShown;  // runs while a box is "open"

  void install(Main& window);
  QStringList texts() const;
  // The texts with the completion summaries ("分割完了" or "結合完了" and a
  // line of figures) cut to their first line.
  QStringList headlines() const;
};

// Makes the process's current directory a fresh temporary directory for
// the lifetime of the object, and puts the old one back afterwards.
class WorkDir {
 public:
  WorkDir();
  ~WorkDir();
  QString path() const { return dir_.path(); }
  QString file(const QString& name) const { return dir_.filePath(name); }

 private:
  QTemporaryDir dir_;
  QString previous_;
};

void writeFile(const QString& path, const QByteArray& bytes);
QByteArray readFile(const QString& path);
// Bytes that differ from piece to piece, so that a wrong order shows.
QByteArray patternBytes(qint64 size);

// The settings store the windows read and write. For the whole test process
// the user's configuration directory is a temporary one, so that no test
// reads or changes the real settings of whoever runs it.
QString settingsFile();
void clearSettings();
// Leaves `text` in the store as an earlier run (or the user) would have.
void writeSettings(const QByteArray& text);
QByteArray settingsText();  // "<no file>" when there is none

// Acting on the controls with the mouse.
void clickFile(Main& window, const QString& name);
void doubleClickFile(Main& window, const QString& name);
void doubleClickDirectory(Main& window, const QString& caption);

// Runs `act` with the first modal widget that shows up (polled from the
// event loop, so it also finds boxes opened by code that is still running).
void whenModal(std::function<void(QWidget*)> act);

// A working directory that is also the one drive offered (with any more
// drives given), and the window on it, with message boxes answered by the
// test. Files are made before the window opens, so that it lists them.
struct Fixture {
  WorkDir dir;
  FakeVolumes volumes;
  std::unique_ptr<FaultyDrives> files;
  std::unique_ptr<SettingsStore> settings;  // the user's own store (see settingsFile())
  Messages messages;
  std::unique_ptr<Main> window;
  int ends = 0;

  explicit Fixture(const QList<Volume>& moreDrives = {});
  ~Fixture();
  // Opens the window; on a first run with nothing stored unless told not to.
  Main& open(bool firstRun = true);
  QString file(const QString& name) const { return dir.file(name); }
};

}  // namespace vexo::test
