// The drives the drive list offers. On Windows these are the drive letters;
// elsewhere they are the mounted file systems a user browses: the root, a
// separate home, removable media and network mounts.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace vexo {

struct Volume {
  QString root;   // "C:" on Windows, the mount point ("/", "/media/usb") elsewhere
  QString label;  // volume label, possibly empty
  friend bool operator==(const Volume&, const Volume&) = default;
};

class Volumes {
 public:
  virtual ~Volumes() = default;
  // The drives present now, in the order the drive list shows them.
  virtual QList<Volume> list() = 0;
};

// The drives of the machine, through QStorageInfo.
class StorageVolumes final : public Volumes {
 public:
  QList<Volume> list() override;
};

// The text the drive list shows for a drive: its root and, when it has one,
// its label in brackets.
QString volumeCaption(const Volume& volume);

// The drive holding a path: the drive whose root is the longest leading
// part of the path. Empty when no drive holds it.
QString driveHolding(const QList<Volume>& volumes, const QString& path);

// Whether a mounted file system is one a user browses. Exposed for the tests.
bool isBrowsableMount(const QString& mountPoint, const QString& device, const QString& fsType);

// One mounted file system as the system reports it.
struct Mount {
  QString mountPoint;
  QString device;
  QString fsType;
  QString label;  // empty when the system knows none
};

// The drives among the mounts of a machine other than Windows: the root
// first, then every browsable mount by mount point, each mount point once.
// A mount without a label is given the one `readLabel` finds on its device.
QList<Volume> browsableVolumes(const QList<Mount>& mounts,
                               const std::function<QString(const Mount&)>& readLabel);

// The label a file system keeps in its first 68 KiB (ext2/3/4, FAT, XFS,
// Btrfs, ISO 9660), or "" when it keeps none there or `head` is too short.
QString labelInSuperblock(const QByteArray& head, const QString& fsType);
// How much of a device labelInSuperblock needs.
inline constexpr int kLabelHeadBytes = 68 * 1024;

}  // namespace vexo
