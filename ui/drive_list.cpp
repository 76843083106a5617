#include "drive_list.h"

#include <QSignalBlocker>

#include <algorithm>

namespace vexo {

DriveList::DriveList(Volumes& volumes, QWidget* parent) : QComboBox(parent), source_(volumes) {
  connect(this, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0) emit changed();
  });
}

void DriveList::refresh(const QString& current) {
  const QSignalBlocker blocker(this);
  QList<Volume> fresh = source_.list();
  // The chosen drive stays in the list even when it has gone; choosing
  // another drive then works as usual.
  if (!current.isEmpty() &&
      std::none_of(fresh.begin(), fresh.end(), [&](const Volume& v) { return v.root == current; })) {
    for (const Volume& v : volumes_)
      if (v.root == current) fresh.append(v);
  }
  volumes_ = std::move(fresh);
  clear();
  for (const Volume& v : volumes_) addItem(volumeCaption(v), v.root);
  setCurrentIndex(indexOfDrive(current));
}

QString DriveList::drive() const { return currentData().toString(); }

void DriveList::setDrive(const QString& root) {
  const int index = indexOfDrive(root);
  if (index >= 0) setCurrentIndex(index);
}

void DriveList::showDrive(const QString& root) {
  const QSignalBlocker blocker(this);
  setCurrentIndex(indexOfDrive(root));
}

void DriveList::showPopup() {
  refresh(drive());
  QComboBox::showPopup();
}

int DriveList::indexOfDrive(const QString& root) const {
  if (root.isEmpty()) return -1;
  return findData(root);
}

}  // namespace vexo
