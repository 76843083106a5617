// The drive list: a drop-down of the machine's drives, with the current one
// selected. Its value is the chosen drive's root; choosing a drive, or
// setting the value to a different drive, emits changed().
#pragma once

#include <QComboBox>
#include <QList>

#include "volumes.h"

namespace vexo {

class DriveList : public QComboBox {
  Q_OBJECT

 public:
  explicit DriveList(Volumes& volumes, QWidget* parent = nullptr);

  // Re-reads the drives and selects `current`, without emitting changed().
  void refresh(const QString& current);
  // The drives as last read.
  const QList<Volume>& volumes() const { return volumes_; }

  // The chosen drive's root, or "" when none is chosen.
  QString drive() const;
  // Chooses a drive; emits changed() when it differs from the chosen one.
  // A root that is not in the list leaves the choice as it is.
  void setDrive(const QString& root);
  // Chooses a drive without emitting changed().
  void showDrive(const QString& root);

  // Drives come and go (removable media, network mounts), so the list is
  // read again each time it opens.
  void showPopup() override;

 signals:
  void changed();

 private:
  int indexOfDrive(const QString& root) const;

  Volumes& source_;
  QList<Volume> volumes_;
};

}  // namespace vexo
