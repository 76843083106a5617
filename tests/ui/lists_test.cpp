// The drive, directory and file lists and what they are built on: which
// mounts count as drives, the drive holding a path, natural order, and
// which directory entries are shown.
#include <QTest>

#include <sys/stat.h>

#include <cerrno>

#include "directory_list.h"
#include "directory_reading.h"
#include "file_list.h"
#include "file_services.h"
#include "support.h"
#include "volumes.h"

using namespace vexo;
using namespace vexo::test;

class ListsTest : public QObject {
  Q_OBJECT

 private slots:
  void browsableMounts_data();
  void browsableMounts();
  void driveHoldingPath();
  void captions();
  void naturalOrder();
  void fileNamesLeaveOutHiddenAndNonFiles();
  void unreadableDirectory();
  void fileListWithManyEntries();
  void directoryListShowsParentsAndChildren();
};

void ListsTest::browsableMounts_data() {
  QTest::addColumn<QString>("mount");
  QTest::addColumn<QString>("device");
  QTest::addColumn<QString>("type");
  QTest::addColumn<bool>("browsable");
  auto row = [](const char* m, const char* d, const char* t, bool b) {
    QTest::newRow(m) << QString::fromLatin1(m) << QString::fromLatin1(d) << QString::fromLatin1(t) << b;
  };
  row("/", "overlay", "overlay", true);
  row("/home", "/dev/sda2", "ext4", true);
  row("/media/user/STICK", "/dev/sdb1", "vfat", true);
  row("/run/media/user/CARD", "/dev/mmcblk0p1", "exfat", true);
  row("/media/cdrom", "/dev/sr0", "iso9660", true);
  row("/mnt/nas", "server:/export", "nfs4", true);
  row("/srv/share", "//server/share", "cifs", true);
  row("/data", "/dev/sdc1", "xfs", true);
  row("/boot", "/dev/sda1", "ext4", false);
  row("/boot/efi", "/dev/sda1", "vfat", false);
  row("/var/lib/docker", "/dev/sda3", "ext4", false);
  row("/proc", "proc", "proc", false);
  row("/dev/shm", "tmpfs", "tmpfs", false);
  row("/run/user/1000", "tmpfs", "tmpfs", false);
  row("/snap/core/42", "/dev/loop3", "squashfs", false);
  row("/sys/fs/cgroup", "cgroup2", "cgroup2", false);
}

void ListsTest::browsableMounts() {
  QFETCH(QString, mount);
  QFETCH(QString, device);
  QFETCH(QString, type);
  QFETCH(bool, browsable);
  QCOMPARE(isBrowsableMount(mount, device, type), browsable);
}

void ListsTest::driveHoldingPath() {
  const QList<Volume> v = {{"/", ""}, {"/home", ""}, {"/media/usb", "STICK"}};
  QCOMPARE(driveHolding(v, "/home/user/docs"), QStringLiteral("/home"));
  QCOMPARE(driveHolding(v, "/home"), QStringLiteral("/home"));
  QCOMPARE(driveHolding(v, "/homer"), QStringLiteral("/"));
  QCOMPARE(driveHolding(v, "/media/usb/a"), QStringLiteral("/media/usb"));
  QCOMPARE(driveHolding(v, "/tmp"), QStringLiteral("/"));
  QCOMPARE(driveHolding({{"/media/usb", ""}}, "/tmp"), QString());
  QCOMPARE(driveHolding({}, "/tmp"), QString());
}

void ListsTest::captions() {
  QCOMPARE(volumeCaption({"/media/usb", "STICK"}), QStringLiteral("/media/usb [STICK]"));
  QCOMPARE(volumeCaption({"/", ""}), QStringLiteral("/"));
}

void ListsTest::naturalOrder() {
  QStringList names = {"piece.10", "piece.2", "B", "piece.1", "a", "Piece.3", "piece.100", "a1b10", "a1b9"};
  sortNaturally(names);
  QCOMPARE(names, QStringList({"a", "a1b9", "a1b10", "B", "piece.1", "piece.2", "Piece.3", "piece.10",
                               "piece.100"}));
}

void ListsTest::fileNamesLeaveOutHiddenAndNonFiles() {
  WorkDir dir;
  writeFile(dir.file("plain"), "x");
  writeFile(dir.file(".hidden"), "x");
  writeFile(dir.file("日本語.txt"), "x");
  QDir(dir.path()).mkdir("folder");
  QDir(dir.path()).mkdir(".dotfolder");
  QFile::link(dir.file("plain"), dir.file("link-to-file"));
  QFile::link(dir.file("folder"), dir.file("link-to-folder"));
  QFile::link(dir.file("missing"), dir.file("dangling"));
  QVERIFY(::mkfifo(QFile::encodeName(dir.file("pipe")).constData(), 0600) == 0);

  QCOMPARE(readFileNames(dir.path()), QStringList({"link-to-file", "plain", "日本語.txt"}));
  QCOMPARE(readSubdirectories(dir.path()), QStringList({"folder", "link-to-folder"}));
}

void ListsTest::unreadableDirectory() {
  WorkDir dir;
  try {
    readFileNames(dir.file("missing"));
    QFAIL("no error");
  } catch (const RuntimeError& e) {
    QCOMPARE(e.number(), err::PathNotFound);
  }
  QCOMPARE(directoryErrorNumber(std::error_code(EIO, std::generic_category())), err::DiskNotReady);
  QCOMPARE(directoryErrorNumber(std::error_code(ENOMEDIUM, std::generic_category())), err::DiskNotReady);
  QCOMPARE(directoryErrorNumber(std::error_code(ENOENT, std::generic_category())), err::PathNotFound);
  QCOMPARE(directoryErrorNumber(std::error_code(EACCES, std::generic_category())), err::PermissionDenied);
  QCOMPARE(directoryErrorNumber(std::error_code(EINVAL, std::generic_category())), err::PathFileAccess);

  FileList list;
  list.setPath(dir.file("missing"));
  QCOMPARE(list.listCount(), 0);
}

void ListsTest::fileListWithManyEntries() {
  WorkDir dir;
  constexpr int kFiles = 20000;
  for (int i = 1; i <= kFiles; ++i) {
    QFile f(dir.file(QStringLiteral("piece.%1").arg(i)));
    QVERIFY(f.open(QIODevice::WriteOnly));
  }
  FileList list;
  int clicks = 0;
  connect(&list, &FileList::click, [&] { ++clicks; });
  list.setPath(dir.path());
  QCOMPARE(list.listCount(), kFiles);
  QCOMPARE(list.entry(0), QStringLiteral("piece.1"));
  QCOMPARE(list.entry(1), QStringLiteral("piece.2"));
  QCOMPARE(list.entry(kFiles - 1), QStringLiteral("piece.20000"));
  QCOMPARE(list.listIndex(), -1);

  list.setListIndex(12344);
  QCOMPARE(clicks, 1);
  QCOMPARE(list.entry(list.listIndex()), QStringLiteral("piece.12345"));
  // A refresh keeps the chosen entry chosen (by name) and is no click.
  QVERIFY(QFile::remove(dir.file("piece.3")));
  list.refresh();
  QCOMPARE(list.listCount(), kFiles - 1);
  QCOMPARE(list.entry(list.listIndex()), QStringLiteral("piece.12345"));
  QCOMPARE(clicks, 1);
  // Pointing it at a directory chooses nothing.
  list.setPath(dir.path());
  QCOMPARE(list.listIndex(), -1);
  QCOMPARE(clicks, 1);
}

void ListsTest::directoryListShowsParentsAndChildren() {
  WorkDir dir;
  QDir(dir.path()).mkpath("a/b/c");
  QDir(dir.path()).mkpath("a/b/d");
  QDir(dir.path()).mkpath("a/b/.hidden");
  DirectoryList list;
  list.setDriveRoot([&](const QString&) { return dir.path(); });
  int changes = 0;
  connect(&list, &DirectoryList::changed, [&] { ++changes; });

  list.setPath(dir.path() + "/a/b");
  QCOMPARE(changes, 1);
  QStringList captions;
  QList<int> depths;
  for (int i = 0; i < list.count(); ++i) {
    captions.append(list.item(i)->text());
    depths.append(list.item(i)->data(DirectoryList::kDepthRole).toInt());
  }
  QCOMPARE(captions, QStringList({dir.path(), "a", "b", "c", "d"}));
  QCOMPARE(depths, QList<int>({0, 1, 2, 3, 3}));
  QCOMPARE(list.currentRow(), 2);
  QCOMPARE(list.entryPath(1), dir.path() + "/a");
  QCOMPARE(list.entryPath(4), dir.path() + "/a/b/d");

  // The same path again is no change; a missing one fails and changes nothing.
  list.setPath(dir.path() + "/a/b/");
  QCOMPARE(changes, 1);
  try {
    list.setPath(dir.path() + "/a/x");
    QFAIL("no error");
  } catch (const RuntimeError& e) {
    QCOMPARE(e.number(), err::PathNotFound);
  }
  QCOMPARE(list.path(), dir.path() + "/a/b");
  QCOMPARE(list.count(), 5);
  QCOMPARE(changes, 1);

  // Double-clicking asks for the directory; the owner decides.
  QStringList requested;
  connect(&list, &DirectoryList::openRequested, [&](const QString& p) { requested.append(p); });
  emit list.itemDoubleClicked(list.item(3));
  emit list.itemDoubleClicked(list.item(2));  // the shown one: nothing to open
  QCOMPARE(requested, QStringList({dir.path() + "/a/b/c"}));
}

QTEST_MAIN(ListsTest)
#include "lists_test.moc"
