// The directory list: the shown directory with its parents above it and its
// subdirectories below, indented by depth. The top entry is the root of the
// drive holding the directory. Opening an entry (double-click, or Enter on
// an entry other than the shown directory) asks for that directory through
// openRequested(); setPath() then shows it and emits changed().
#pragma once

#include <QListWidget>

#include <functional>

namespace vexo {

class DirectoryList : public QListWidget {
  Q_OBJECT

 public:
  static constexpr int kPathRole = Qt::UserRole;
  static constexpr int kDepthRole = Qt::UserRole + 1;

  explicit DirectoryList(QWidget* parent = nullptr);

  // Gives the root of the drive holding a path (the top entry of the list).
  void setDriveRoot(std::function<QString(const QString&)> driveRoot);

  QString path() const { return path_; }
  // Reads the directory and shows it; emits changed() when the path differs
  // from the shown one. Throws RuntimeError when it cannot be read, and then
  // leaves the list as it was.
  void setPath(const QString& path);
  // Reads the shown directory again (throws as setPath does).
  void refresh();

  // The directory an entry stands for.
  QString entryPath(int row) const;

 signals:
  void changed();
  void openRequested(const QString& path);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void show(const QString& path, const QStringList& subdirectories);

  std::function<QString(const QString&)> driveRoot_;
  QString path_;
};

}  // namespace vexo
