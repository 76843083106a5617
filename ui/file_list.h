// The file list: the names of the files in one directory, hidden files
// left out, in natural order, one selectable at a time. A click, or moving
// the selection with the keyboard, emits click(); a double-click emits
// dblClick(). Built on a string model so that directories with tens of
// thousands of files stay quick.
#pragma once

#include <QListView>
#include <QStringListModel>

namespace vexo {

class FileList : public QListView {
  Q_OBJECT

 public:
  explicit FileList(QWidget* parent = nullptr);

  QString path() const { return path_; }
  // Shows the files of a directory, with nothing selected. A directory that
  // cannot be read shows as empty.
  void setPath(const QString& dir);
  // Reads the directory again; the selected name stays selected while it
  // exists. Emits no click.
  void refresh();

  int listCount() const;
  // Index of the selected entry, -1 when none is selected.
  int listIndex() const;
  // Selects an entry (-1 for none); emits click() as a user's choice does.
  void setListIndex(int index);
  QString entry(int index) const;
  QStringList entries() const { return model_.stringList(); }

 signals:
  void click();
  void dblClick();

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void load(const QString& keepSelected);

  QStringListModel model_;
  QString path_;
  bool loading_ = false;
  bool selectionChangedByPress_ = false;
};

}  // namespace vexo
