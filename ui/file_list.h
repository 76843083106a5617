// The file list: the names of the files in one directory, hidden files
// left out, in natural order, one selectable at a time. A click, or moving
// the selection with the keyboard, emits click(); a double-click emits
// dblClick(). Built on a string model so that directories with tens of
// thousands of files stay quick. As in a list box, the keys that move
// through the list select the entry that has the focus when nothing is
// selected, and every entry shows its whole name as a tooltip.
#pragma once

#include <QListView>
#include <QStringListModel>

namespace vexo {

class FileList : public QListView {
  Q_OBJECT

 public:
  explicit FileList(QWidget* parent = nullptr);

  QString path() const { return path_; }
  // Shows the files of a directory from its first entry, with nothing
  // selected. A directory that cannot be read shows as empty.
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
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void load(const QString& keepSelected);

  // The names, each also its own tooltip (an elided name is seen whole).
  class Names : public QStringListModel {
   public:
    QVariant data(const QModelIndex& index, int role) const override;
  };

  Names model_;
  QString path_;
  bool loading_ = false;
  bool selectionChangedByPress_ = false;
};

}  // namespace vexo
