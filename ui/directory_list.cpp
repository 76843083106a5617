#include "directory_list.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>

#include "directory_reading.h"

namespace vexo {

namespace {

constexpr int kIndentPixels = 8;

// Draws each entry shifted right by its depth.
class IndentDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem shifted = option;
    shifted.rect.adjust(indent(index), 0, 0, 0);
    QStyledItemDelegate::paint(painter, shifted, index);
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.rwidth() += indent(index);
    return size;
  }

 private:
  static int indent(const QModelIndex& index) {
    return index.data(DirectoryList::kDepthRole).toInt() * kIndentPixels;
  }
};

QString cleanAbsolute(const QString& path) {
  return QDir::cleanPath(QDir(path).absolutePath());
}

}  // namespace

DirectoryList::DirectoryList(QWidget* parent)
    : QListWidget(parent), driveRoot_([](const QString& p) {
        return QDir(p).rootPath();
      }) {
  setItemDelegate(new IndentDelegate(this));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setUniformItemSizes(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setTextElideMode(Qt::ElideMiddle);  // the piece number stays in sight
  connect(this, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    const QString target = item->data(kPathRole).toString();
    if (target != path_) emit openRequested(target);
  });
}

void DirectoryList::setDriveRoot(std::function<QString(const QString&)> driveRoot) {
  driveRoot_ = std::move(driveRoot);
}

void DirectoryList::setPath(const QString& path) {
  const QString target = cleanAbsolute(path);
  const QStringList subdirectories = readSubdirectories(target);  // throws before any change
  const bool changedPath = target != path_;
  show(target, subdirectories);
  if (changedPath) emit changed();
}

void DirectoryList::refresh() {
  if (path_.isEmpty()) return;
  show(path_, readSubdirectories(path_));
}

QString DirectoryList::entryPath(int row) const {
  const QListWidgetItem* it = item(row);
  return it ? it->data(kPathRole).toString() : QString();
}

void DirectoryList::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    // Enter opens the highlighted directory; on the shown directory itself
    // it goes on to the window (and so to its default button).
    const QListWidgetItem* current = currentItem();
    if (current && current->data(kPathRole).toString() != path_) {
      emit openRequested(current->data(kPathRole).toString());
      event->accept();
      return;
    }
    event->ignore();
    return;
  }
  QListWidget::keyPressEvent(event);
}

void DirectoryList::show(const QString& path, const QStringList& subdirectories) {
  path_ = path;
  clear();

  // The chain from the drive's root down to the shown directory.
  QString root = cleanAbsolute(driveRoot_(path));
  if (!(path == root || path.startsWith(root.endsWith(u'/') ? root : root + u'/')))
    root = QDir(path).rootPath();
  QStringList chain;
  for (QString p = path; ; ) {
    chain.prepend(p);
    if (p == root || p.size() <= root.size()) break;
    const QString parent = cleanAbsolute(p + QStringLiteral("/.."));
    if (parent == p) break;
    p = parent;
  }

  const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
  int depth = 0;
  QListWidgetItem* shown = nullptr;
  for (const QString& p : chain) {
    const QString caption = depth == 0 ? QDir::toNativeSeparators(p) : QDir(p).dirName();
    auto* item = new QListWidgetItem(open, caption, this);
    item->setToolTip(caption);
    item->setData(kPathRole, p);
    item->setData(kDepthRole, depth++);
    shown = item;
  }
  const QString prefix = path.endsWith(u'/') ? path : path + u'/';
  for (const QString& name : subdirectories) {
    auto* item = new QListWidgetItem(closed, name, this);
    item->setToolTip(name);
    item->setData(kPathRole, prefix + name);
    item->setData(kDepthRole, depth);
  }
  // From the top, which shows the root and the first subdirectories, unless
  // the shown directory lies deeper than that.
  scrollToTop();
  if (shown) {
    setCurrentItem(shown);
    scrollToItem(shown, QAbstractItemView::EnsureVisible);
  }
}

}  // namespace vexo
