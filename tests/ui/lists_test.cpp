// The drive, directory and file lists and what they are built on: which
// mounts count as drives, the drive holding a path, natural order, and
// which directory entries are shown.
#include <cstdio>
#include <fstream>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include <sys/stat.h>

#include <cerrno>

#include "directory_list.h"
#include "directory_reading.h"
#include "drive_list.h"
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
  void namesAreBytes();
  void unreadableDirectory();
  void fileListWithManyEntries();
  void directoryListShowsParentsAndChildren();
  void mountsBecomeDrives();
  void labelsInSuperblocks_data();
  void labelsInSuperblocks();
  void keysSelectTheFocusedEntry_data();
  void keysSelectTheFocusedEntry();
  void openedFoldersShowTheirFirstEntries();
  void fullNamesAsTooltips();
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
  // Images and sticks where a user mounts them, loop devices included.
  row("/mnt/stick", "/dev/loop0", "ext4", true);
  row("/mnt/image", "/dev/loop1", "iso9660", true);
  row("/media/user/IMAGE", "/dev/loop2", "squashfs", true);
  row("/mnt/usb", "/dev/sdb1", "vfat", true);
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

// Every name the file system may hold comes back as the same bytes, and
// one that is not UTF-8 still names its file from the list.
void ListsTest::namesAreBytes() {
  const std::string names[] = {
      "plain.bin", "日本語.txt", "bad\xff.bin", "\x95\xf1\x8d\x90.doc" /* Shift-JIS */,
      "\xed\xa0\x80.x" /* an encoded surrogate */, "\xc0\xaf.x" /* an overlong '/' */,
      "cut\xe6\x97", "\xf4\x90\x80\x80.x" /* past U+10FFFF */, "😀.txt"};
  for (const std::string& name : names) QCOMPARE(toFsPath(fromFsPath(name)), name);
  QCOMPARE(fromFsPath("bad\xff.bin").size(), 8);
  QCOMPARE(fromFsPath("日本語.txt"), QStringLiteral("日本語.txt"));

  WorkDir dir;
  const std::string bad = toFsPath(dir.path()) + "/bad\xff.bin";
  { std::ofstream(bad) << "x"; }
  const QStringList listed = readFileNames(dir.path());
  QCOMPARE(listed.size(), 1);
  QCOMPARE(toFsPath(listed[0]), std::string("bad\xff.bin"));
  std::remove(bad.c_str());  // a name QTemporaryDir could not remove
}

void ListsTest::unreadableDirectory() {
  WorkDir dir;
  try {
    readFileNames(dir.file("missing"));
    QFAIL("no error");
  } catch (const RuntimeError& e) {
    QCOMPARE(e.number(), err::PathNotFound);
  }
  QCOMPARE(directoryErrorNumber(std::error_code(EIO, std::generic_category())), err::DeviceIO);
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

void ListsTest::mountsBecomeDrives() {
  const QList<Mount> mounts = {
      {"/", "/dev/vda", "ext4", ""},
      {"/run/media/user/DISK", "/dev/sdc1", "exfat", "DISK"},
      {"/mnt/stick", "/dev/loop0", "ext4", ""},
      {"/mnt/plain", "/dev/loop1", "ext4", ""},
      {"/snap/core", "/dev/loop2", "squashfs", ""},
      {"/media/user/CARD", "/dev/mmcblk0p1", "vfat", "CARD"},
      {"/proc", "proc", "proc", ""},
      {"/mnt/nas", "server:/export", "nfs4", ""},
      {"/mnt/stick", "/dev/loop0", "ext4", ""},  // mounted twice: shown once
  };
  QStringList asked;
  const QList<Volume> volumes = browsableVolumes(mounts, [&](const Mount& m) {
    asked.append(m.device);
    return m.device == u"/dev/loop0" ? QStringLiteral("STICK") : QString();
  });
  const QList<Volume> expected = {{"/", ""},
                                  {"/media/user/CARD", "CARD"},
                                  {"/mnt/nas", ""},
                                  {"/mnt/plain", ""},
                                  {"/mnt/stick", "STICK"},
                                  {"/run/media/user/DISK", "DISK"}};
  QCOMPARE(volumes, expected);
  // Labels are read from the device only where the system gave none, and
  // only from devices.
  QCOMPARE(asked, QStringList({"/dev/vda", "/dev/loop0", "/dev/loop1"}));

  // A stick plugged in while the window is open shows when the list opens.
  FakeVolumes source;
  source.volumes = {{"/", ""}};
  DriveList drives(source);
  drives.refresh("/");
  QCOMPARE(drives.count(), 1);
  source.volumes.append(Volume{"/mnt/stick", "STICK"});
  drives.showPopup();
  drives.hidePopup();
  QCOMPARE(drives.count(), 2);
  QCOMPARE(drives.itemText(1), QStringLiteral("/mnt/stick [STICK]"));
  QCOMPARE(drives.drive(), QStringLiteral("/"));
}

void ListsTest::labelsInSuperblocks_data() {
  QTest::addColumn<QString>("type");
  QTest::addColumn<QByteArray>("head");
  QTest::addColumn<QString>("label");
  auto image = [](std::initializer_list<std::pair<int, QByteArray>> fields) {
    QByteArray head(kLabelHeadBytes, '\0');
    for (const auto& [offset, bytes] : fields) head.replace(offset, bytes.size(), bytes);
    return head;
  };
  const QByteArray ext4Magic("\x53\xEF", 2);
  QTest::newRow("ext4") << "ext4" << image({{1080, ext4Magic}, {1144, "写真 2024"}}) << "写真 2024";
  QTest::newRow("ext4, 16 bytes, no end")
      << "ext4" << image({{1080, ext4Magic}, {1144, "ABCDEFGHIJKLMNOPQRS"}}) << "ABCDEFGHIJKLMNOP";
  QTest::newRow("ext4 without magic") << "ext4" << image({{1144, "LABEL"}}) << "";
  QTest::newRow("fat32") << "vfat" << image({{66, "\x29"}, {71, "USB STICK  "}, {82, "FAT32   "}})
                         << "USB STICK";
  QTest::newRow("fat16") << "vfat" << image({{38, "\x29"}, {43, "CARD       "}, {54, "FAT16   "}})
                         << "CARD";
  QTest::newRow("fat, no name") << "vfat" << image({{38, "\x29"}, {43, "NO NAME    "}}) << "";
  QTest::newRow("xfs") << "xfs" << image({{0, "XFSB"}, {108, "data"}}) << "data";
  QTest::newRow("btrfs") << "btrfs" << image({{65536 + 64, "_BHRfS_M"}, {65536 + 299, "pool"}}) << "pool";
  QTest::newRow("iso9660")
      << "iso9660" << image({{32768, "\x01" "CD001"}, {32808, "DEBIAN_12                       "}})
      << "DEBIAN_12";
  QTest::newRow("unknown type") << "ntfs" << image({{1080, ext4Magic}, {1144, "X"}}) << "";
  QTest::newRow("short read") << "btrfs" << QByteArray(4096, '\0') << "";
}

void ListsTest::labelsInSuperblocks() {
  QFETCH(QString, type);
  QFETCH(QByteArray, head);
  QFETCH(QString, label);
  QCOMPARE(labelInSuperblock(head, type), label);
}

void ListsTest::keysSelectTheFocusedEntry_data() {
  QTest::addColumn<int>("key");
  QTest::addColumn<QString>("chosen");
  QTest::addColumn<QString>("afterDown");
  QTest::newRow("down") << int(Qt::Key_Down) << "a" << "b";
  QTest::newRow("up") << int(Qt::Key_Up) << "a" << "b";
  QTest::newRow("right") << int(Qt::Key_Right) << "a" << "b";
  QTest::newRow("space") << int(Qt::Key_Space) << "a" << "b";
  QTest::newRow("home") << int(Qt::Key_Home) << "a" << "b";
  QTest::newRow("end") << int(Qt::Key_End) << "d" << "d";
}

void ListsTest::keysSelectTheFocusedEntry() {
  QFETCH(int, key);
  QFETCH(QString, chosen);
  QFETCH(QString, afterDown);
  WorkDir dir;
  for (const char* name : {"a", "b", "c", "d"}) writeFile(dir.file(name), "x");
  QWidget window;
  auto* before = new QLineEdit(&window);
  auto* list = new FileList(&window);
  auto* layout = new QVBoxLayout(&window);
  layout->addWidget(before);
  layout->addWidget(list);
  list->setPath(dir.path());
  QStringList clicks;
  connect(list, &FileList::click, [&] { clicks.append(list->entry(list->listIndex())); });
  window.show();
  QVERIFY(QTest::qWaitForWindowActive(&window));
  before->setFocus();
  QTest::keyClick(before, Qt::Key_Tab);  // into the list: "a" is current, nothing selected
  QVERIFY(list->hasFocus());
  QCOMPARE(list->listIndex(), -1);
  QCOMPARE(list->currentIndex().row(), 0);

  QTest::keyClick(list, Qt::Key(key));
  QCOMPARE(list->entry(list->listIndex()), chosen);
  QCOMPARE(clicks, QStringList({chosen}));
  // From then on the keys move as usual.
  QTest::keyClick(list, Qt::Key_Down);
  QCOMPARE(list->entry(list->listIndex()), afterDown);
  QCOMPARE(clicks.last(), afterDown);
}

void ListsTest::openedFoldersShowTheirFirstEntries() {
  WorkDir dir;
  for (const char* d : {"one", "two"}) {
    QVERIFY(QDir(dir.path()).mkdir(d));
    for (int i = 0; i < 100; ++i) {
      writeFile(dir.file(QStringLiteral("%1/file%2").arg(d).arg(i)), "x");
      QVERIFY(QDir(dir.file(d)).mkdir(QStringLiteral("sub%1").arg(i)));
    }
  }
  FileList files;
  DirectoryList dirs;
  dirs.setDriveRoot([&](const QString&) { return dir.path(); });
  for (QAbstractItemView* view : std::initializer_list<QAbstractItemView*>{&files, &dirs}) {
    view->resize(200, 150);
    view->show();
  }
  QVERIFY(QTest::qWaitForWindowExposed(&files));
  files.setPath(dir.file("one"));
  dirs.setPath(dir.file("one"));
  for (QAbstractItemView* view : std::initializer_list<QAbstractItemView*>{&files, &dirs}) {
    view->scrollToBottom();
    QVERIFY(view->verticalScrollBar()->value() > 0);
  }
  files.setPath(dir.file("two"));
  dirs.setPath(dir.file("two"));
  QCOMPARE(files.verticalScrollBar()->value(), 0);
  QCOMPARE(dirs.verticalScrollBar()->value(), 0);
  QVERIFY(dirs.visualItemRect(dirs.currentItem()).bottom() <= dirs.viewport()->height());
}

void ListsTest::fullNamesAsTooltips() {
  WorkDir dir;
  const QString longName = QStringLiteral("とても長い名前の報告書、第二版、二〇二六年十二月の改訂を含む.doc");
  writeFile(dir.file(longName), "x");
  QVERIFY(QDir(dir.path()).mkdir(longName + ".d"));
  FileList files;
  files.setPath(dir.path());
  QCOMPARE(files.model()->index(0, 0).data(Qt::ToolTipRole).toString(), longName);
  // Cut in the middle, so that a piece's number at the end stays in sight.
  QCOMPARE(files.textElideMode(), Qt::ElideMiddle);
  DirectoryList dirs;
  dirs.setDriveRoot([&](const QString&) { return dir.path(); });
  dirs.setPath(dir.path());
  QCOMPARE(dirs.count(), 2);
  QCOMPARE(dirs.item(0)->toolTip(), dir.path());
  QCOMPARE(dirs.item(1)->toolTip(), longName + ".d");
  QCOMPARE(dirs.textElideMode(), Qt::ElideMiddle);
}

QTEST_MAIN(ListsTest)
#include "lists_test.moc"
