#include "file_list.h"

#include <QItemSelectionModel>
#include <QKeyEvent>

#include "directory_reading.h"
#include "file_services.h"

namespace vexo {

FileList::FileList(QWidget* parent) : QListView(parent) {
  setModel(&model_);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setUniformItemSizes(true);
  setLayoutMode(QListView::SinglePass);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setTextElideMode(Qt::ElideMiddle);  // the piece number stays in sight
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    if (loading_ || listIndex() < 0) return;
    selectionChangedByPress_ = true;
    emit click();
  });
  // A click on the entry that is already selected changes no selection but
  // is still a click; one that did change it has been reported already.
  connect(this, &QAbstractItemView::clicked, this, [this] {
    if (!selectionChangedByPress_ && listIndex() >= 0) emit click();
  });
  connect(this, &QAbstractItemView::doubleClicked, this, [this] { emit dblClick(); });
}

void FileList::mousePressEvent(QMouseEvent* event) {
  selectionChangedByPress_ = false;
  QListView::mousePressEvent(event);
}

void FileList::keyPressEvent(QKeyEvent* event) {
  // The entry with the focus is current but not selected after the list
  // has been filled or entered with Tab. The first key that moves through
  // the list selects that entry rather than the next one, as a list box
  // does; the selection reports a click.
  const QModelIndex current = currentIndex();
  const bool unselectedCurrent = current.isValid() && !selectionModel()->isSelected(current) &&
                                 (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
  if (unselectedCurrent) {
    switch (event->key()) {
      case Qt::Key_Up:
      case Qt::Key_Down:
      case Qt::Key_Left:
      case Qt::Key_Right:
      case Qt::Key_Space:
        selectionModel()->select(current, QItemSelectionModel::ClearAndSelect);
        scrollTo(current);
        event->accept();
        return;
      default:
        break;
    }
  }
  QListView::keyPressEvent(event);
  // Home on the first entry and End on the last move nowhere, so the view
  // selects nothing; they still choose the entry.
  if (unselectedCurrent && (event->key() == Qt::Key_Home || event->key() == Qt::Key_End)) {
    const QModelIndex now = currentIndex();
    if (now.isValid() && !selectionModel()->isSelected(now))
      selectionModel()->select(now, QItemSelectionModel::ClearAndSelect);
  }
}

QVariant FileList::Names::data(const QModelIndex& index, int role) const {
  return QStringListModel::data(index, role == Qt::ToolTipRole ? Qt::DisplayRole : role);
}

void FileList::setPath(const QString& dir) {
  path_ = dir;
  load(QString());
  scrollToTop();  // a new directory starts at its first entries
}

void FileList::refresh() {
  load(listIndex() >= 0 ? entry(listIndex()) : QString());
}

int FileList::listCount() const { return model_.rowCount(); }

int FileList::listIndex() const {
  const QModelIndexList selected = selectionModel()->selectedIndexes();
  return selected.isEmpty() ? -1 : selected.first().row();
}

void FileList::setListIndex(int index) {
  if (index < 0 || index >= listCount()) {
    selectionModel()->clear();
    return;
  }
  const QModelIndex i = model_.index(index);
  selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
  scrollTo(i);
}

QString FileList::entry(int index) const {
  if (index < 0 || index >= listCount()) return QString();
  return model_.stringList().at(index);
}

void FileList::load(const QString& keepSelected) {
  QStringList names;
  if (!path_.isEmpty()) {
    try {
      names = readFileNames(path_);
    } catch (const RuntimeError&) {
      // Nothing to show; the directory list reports unreadable directories.
    }
  }
  loading_ = true;
  model_.setStringList(names);
  if (!keepSelected.isEmpty()) {
    const qsizetype row = names.indexOf(keepSelected);
    if (row >= 0) {
      const QModelIndex i = model_.index(static_cast<int>(row));
      selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
      scrollTo(i);
    }
  }
  loading_ = false;
}

}  // namespace vexo
