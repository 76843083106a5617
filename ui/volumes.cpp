#include "volumes.h"

#include <QDir>
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
  QSet<QString> seen;
#ifdef Q_OS_WIN
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
  const QStorageInfo root = QStorageInfo::root();
  result.append({QStringLiteral("/"), root.name()});
  seen.insert(QStringLiteral("/"));
  for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
    const QString mount = info.rootPath();
    if (seen.contains(mount)) continue;
    if (!isBrowsableMount(mount, QString::fromLocal8Bit(info.device()),
                          QString::fromLatin1(info.fileSystemType())))
      continue;
    if (!QFileInfo(mount).isDir()) continue;  // file bind mounts
    seen.insert(mount);
    result.append({mount, info.name()});
  }
  // The root first, then the others by mount point.
  std::sort(result.begin() + 1, result.end(),
            [](const Volume& a, const Volume& b) { return a.root < b.root; });
#endif
  return result;
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
