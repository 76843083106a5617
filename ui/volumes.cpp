#include "volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>

#include <algorithm>

namespace vexo {

namespace {

bool caseInsensitivePaths() {
#ifdef Q_OS_WIN
  return true;
#else
  return false;
#endif
}

// Whether root is path itself or one of its ancestors.
bool holds(QString root, const QString& path) {
  const Qt::CaseSensitivity cs = caseInsensitivePaths() ? Qt::CaseInsensitive : Qt::CaseSensitive;
  root = QDir::fromNativeSeparators(root);
  const QString p = QDir::fromNativeSeparators(path);
  while (root.size() > 1 && root.endsWith(u'/')) root.chop(1);
  if (root == u"/") return p.startsWith(u'/');
  if (!p.startsWith(root, cs)) return false;
  return p.size() == root.size() || p.at(root.size()) == u'/';
}

}  // namespace

bool isBrowsableMount(const QString& mountPoint, const QString& device, const QString& fsType) {
  if (mountPoint == u"/") return true;
  static const QSet<QString> network = {
      QStringLiteral("nfs"),        QStringLiteral("nfs4"),       QStringLiteral("cifs"),
      QStringLiteral("smb3"),       QStringLiteral("smbfs"),      QStringLiteral("fuse.sshfs"),
      QStringLiteral("sshfs"),      QStringLiteral("davfs"),      QStringLiteral("fuse.davfs"),
      QStringLiteral("fuse.rclone"), QStringLiteral("afs"),       QStringLiteral("ceph"),
      QStringLiteral("glusterfs"),  QStringLiteral("fuse.glusterfs"), QStringLiteral("9p")};
  if (network.contains(fsType)) return true;
  // Everything else must be a file system on a block device ...
  if (!device.startsWith(u"/dev/")) return false;
  static const QSet<QString> images = {QStringLiteral("squashfs"), QStringLiteral("iso9660"),
                                       QStringLiteral("swap")};
  if (images.contains(fsType) && !mountPoint.startsWith(u"/media/") &&
      !mountPoint.startsWith(u"/run/media/") && !mountPoint.startsWith(u"/mnt/"))
    return false;  // snap packages and other read-only system images
  // ... outside the places where the system keeps its own parts.
  static const QStringList system = {
      QStringLiteral("/boot"), QStringLiteral("/efi"),  QStringLiteral("/usr"),
      QStringLiteral("/var"),  QStringLiteral("/opt"),  QStringLiteral("/tmp"),
      QStringLiteral("/etc"),  QStringLiteral("/snap"), QStringLiteral("/proc"),
      QStringLiteral("/sys"),  QStringLiteral("/dev"),  QStringLiteral("/run"),
      QStringLiteral("/bin"),  QStringLiteral("/sbin"), QStringLiteral("/lib"),
      QStringLiteral("/lib64"), QStringLiteral("/root")};
  if (mountPoint.startsWith(u"/run/media/")) return true;
  for (const QString& s : system)
    if (holds(s, mountPoint)) return false;
  return true;
}

QList<Volume> StorageVolumes::list() {
  QList<Volume> result;
#ifdef Q_OS_WIN
  QSet<QString> seen;
  for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
    QString root = QDir::toNativeSeparators(info.rootPath());
    if (root.size() < 2 || root.at(1) != u':') continue;  // drive letters only
    root = root.left(2).toUpper();
    if (seen.contains(root)) continue;
    seen.insert(root);
    result.append({root, info.name()});
  }
  std::sort(result.begin(), result.end(),
            [](const Volume& a, const Volume& b) { return a.root < b.root; });
#else
  QList<Mount> mounts;
  const QStorageInfo root = QStorageInfo::root();
  mounts.append({QStringLiteral("/"), QString::fromLocal8Bit(root.device()),
                 QString::fromLatin1(root.fileSystemType()), root.name()});
  for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
    if (!QFileInfo(info.rootPath()).isDir()) continue;  // file bind mounts
    mounts.append({info.rootPath(), QString::fromLocal8Bit(info.device()),
                   QString::fromLatin1(info.fileSystemType()), info.name()});
  }
  result = browsableVolumes(mounts, [](const Mount& m) {
    // Qt finds labels through udev's /dev/disk/by-label, which is missing
    // where udev does not run; the device itself can often still be read.
    QFile device(m.device);
    if (!device.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) return QString();
    return labelInSuperblock(device.read(kLabelHeadBytes), m.fsType);
  });
#endif
  return result;
}

QList<Volume> browsableVolumes(const QList<Mount>& mounts,
                               const std::function<QString(const Mount&)>& readLabel) {
  QList<Volume> result;
  QSet<QString> seen;
  for (const Mount& m : mounts) {
    const bool isRoot = m.mountPoint == u"/";
    if (seen.contains(m.mountPoint)) continue;
    if (!isRoot && !isBrowsableMount(m.mountPoint, m.device, m.fsType)) continue;
    seen.insert(m.mountPoint);
    QString label = m.label;
    if (label.isEmpty() && m.device.startsWith(u"/dev/") && readLabel) label = readLabel(m);
    Volume v{m.mountPoint, label};
    if (isRoot)
      result.prepend(v);
    else
      result.append(v);
  }
  // The root first, then the others by mount point.
  const bool hasRoot = !result.isEmpty() && result.first().root == u"/";
  std::sort(result.begin() + (hasRoot ? 1 : 0), result.end(),
            [](const Volume& a, const Volume& b) { return a.root < b.root; });
  return result;
}

namespace {

// A label stored as a fixed-size field, ended by NULs or padded with
// spaces.
QString fixedLabel(const QByteArray& head, qsizetype offset, qsizetype size, bool utf8) {
  if (head.size() < offset + size) return QString();
  QByteArray field = head.mid(offset, size);
  const qsizetype nul = field.indexOf('\0');
  if (nul >= 0) field.truncate(nul);
  QString label = utf8 ? QString::fromUtf8(field) : QString::fromLatin1(field);
  while (label.endsWith(u' ')) label.chop(1);
  return label;
}

bool hasAt(const QByteArray& head, qsizetype offset, QByteArrayView magic) {
  return head.size() >= offset + magic.size() && QByteArrayView(head).sliced(offset, magic.size()) == magic;
}

}  // namespace

QString labelInSuperblock(const QByteArray& head, const QString& fsType) {
  if (fsType == u"ext2" || fsType == u"ext3" || fsType == u"ext4") {
    // Superblock at 1,024: magic 0xEF53 at 56, volume name at 120.
    if (!hasAt(head, 1024 + 56, "\x53\xEF")) return QString();
    return fixedLabel(head, 1024 + 120, 16, true);
  }
  if (fsType == u"vfat" || fsType == u"msdos" || fsType == u"fat") {
    // Extended boot record: FAT32 at 66, FAT12/16 at 38, signature 0x29,
    // then the serial number and the 11-byte label.
    QString label;
    if (hasAt(head, 82, "FAT32   ") && hasAt(head, 66, "\x29"))
      label = fixedLabel(head, 71, 11, false);
    else if (hasAt(head, 38, "\x29"))
      label = fixedLabel(head, 43, 11, false);
    return label == u"NO NAME" ? QString() : label;
  }
  if (fsType == u"xfs") {
    if (!hasAt(head, 0, "XFSB")) return QString();
    return fixedLabel(head, 108, 12, true);
  }
  if (fsType == u"btrfs") {
    // Superblock at 64 KiB: magic at 64, label at 299.
    if (!hasAt(head, 65536 + 64, "_BHRfS_M")) return QString();
    return fixedLabel(head, 65536 + 299, 256, true);
  }
  if (fsType == u"iso9660") {
    // Primary volume descriptor at 32 KiB: type 1, "CD001", volume id at 40.
    if (!hasAt(head, 32768, "\x01" "CD001")) return QString();
    return fixedLabel(head, 32768 + 40, 32, false);
  }
  return QString();
}

QString volumeCaption(const Volume& volume) {
  if (volume.label.isEmpty()) return volume.root;
  return volume.root + QStringLiteral(" [") + volume.label + u']';
}

QString driveHolding(const QList<Volume>& volumes, const QString& path) {
  QString best;
  for (const Volume& v : volumes) {
    if (holds(v.root, path) && QDir::fromNativeSeparators(v.root).size() >
                                   QDir::fromNativeSeparators(best).size())
      best = v.root;
  }
  return best;
}

}  // namespace vexo
