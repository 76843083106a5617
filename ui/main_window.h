// The main window: a browser over drives, directories and files, the
// switches that shape a split (piece size, naming, number width), the status line and
// three buttons. This class is the Qt view of it: it creates the controls
// and forwards their events to the window's behaviour (MainForm,
// ui/core/main_form.h), which is also what the engine reports through.
#pragma once

#include <QPointer>
#include <QRect>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "eliding_label.h"
#include "file_services.h"
#include "layout.h"
#include "main_form.h"
#include "main_view.h"
#include "settings_store.h"

class QAbstractNativeEventFilter;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace vexo {

class DirectoryList;
class DriveList;
class FileList;
class Input_Form;
class Volumes;

class Main : public QWidget, public MainView {
  Q_OBJECT

 public:
  // The window reads and writes its settings in the store it is given.
  Main(FileServices& files, Volumes& volumes, SettingsStore& settings, QWidget* parent = nullptr);
  ~Main() override;

  // The controls, named as the form names them.
  QLabel* Label1;
  ElidingLabel* File_Name;
  FileList* FIle_list;
  DriveList* Sel_Drive;
  DirectoryList* Dir_name;
  QGroupBox* Frame1;
  // The piece-size option buttons are one control array, Option1(0) to
  // Option1(2). Object names must be unique to be found, so the buttons are
  // named "Option1_0", "Option1_1" and "Option1_2".
  QRadioButton* Option1[3];
  // The editable size box beside Option1(2).
  QComboBox* Size_Combo;
  QLabel* Label2;
  QCheckBox* Check1;
  QCheckBox* Check2;  // piece numbers of at least three digits
  // Recovery data written with a split, and how much of it (percent).
  QCheckBox* Check3;
  QSpinBox* Recovery_Pct;
  // The output folder's row: caption, field and the folder chooser's button.
  QLabel* Out_Label;
  QLineEdit* Out_Dir;
  QPushButton* Out_Browse;
  QPushButton* Ret_bottn;
  QPushButton* Refresh_bottn;
  QPushButton* Exit_bottn;
  // Beside the status line: how far the running request has got.
  QProgressBar* Progress_bar;

  // The window's behaviour: handlers, PieceSize, the engine's interface.
  MainForm& form() { return form_; }

  // The extension dialog while it is loaded, else null.
  Input_Form* inputForm() const;
  // Whether a split or join is running.
  bool busy() const { return form_.busy(); }

  // Replaces the message boxes: the hook gets the style and the text and
  // returns the answer (kAnswerOk, kAnswerYes or kAnswerNo).
  using MessageHook = std::function<int(int style, const QString& text)>;
  void setMessageHook(MessageHook hook) { messageHook_ = std::move(hook); }
  // Replaces how "終　了" ends the application.
  void setEndHook(std::function<void()> hook) { endHook_ = std::move(hook); }
  // Replaces the system's folder chooser: the hook gets the folder to open
  // at and returns the folder chosen ("" when cancelled).
  using FolderHook = std::function<QString(const QString& start)>;
  void setFolderHook(FolderHook hook) { folderHook_ = std::move(hook); }

  // MainView.
  std::string fileName() override;
  void setFileName(const std::string& text) override;
  void setStatus(const std::string& text, bool repaintNow) override;
  void refreshDrives() override;
  std::string drive() override;
  void setDrive(const std::string& drive) override;
  void showDrive(const std::string& drive) override;
  std::string driveHolding(const std::string& path) override;
  std::string dirPath() override;
  void setDirPath(const std::string& path) override;
  void refreshDir() override;
  std::string fileListPath() override;
  void setFileListPath(const std::string& path) override;
  void refreshFileList() override;
  int fileListIndex() override;
  std::string fileListEntry(int index) override;
  int check1() override;
  void setCheck1(int state) override;
  bool option1(int index) override;
  void setOption1(int index) override;
  std::string sizeText() override;
  void setSizeText(const std::string& text) override;
  int check2() override;
  void setCheck2(int state) override;
  int check3() override;
  void setCheck3(int state) override;
  int recoveryPercent() override;
  void setRecoveryPercent(int percent) override;
  std::string outputDir() override;
  void setOutputDir(const std::string& text) override;
  std::optional<std::string> chooseFolder(const std::string& start) override;
  void setBusyControls(bool busy) override;
  void moveWindowTwips(double left, double top) override;
  double windowLeftTwips() override;
  double windowTopTwips() override;
  bool isMinimized() override;
  int messageBox(int style, const std::string& text) override;
  void blockInput(bool on) override;
  void endApplication() override;
  std::unique_ptr<InputView> loadInputView(InputForm& form) override;
  std::string homeDirectory() override;
  void setProgress(std::int64_t done, std::int64_t total) override;
  void setRetCaption(const std::string& text) override;
  void processEvents() override;
  std::vector<ScreenArea> screenAreas() override;
  double windowWidthTwips() override;
  double windowHeightTwips() override;
  void selectFileListEntry(const std::string& name) override;

  // The window's native window was destroyed by another program: the
  // closing steps run (after stopping a running request) and the
  // application ends.
  void destroyedOutside();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Where each control was placed at the designed size, and how it follows
  // a larger window.
  struct Placement {
    QWidget* control;
    LayoutRect designed;
    Anchor anchor;
  };
  void rememberLayout();
  void layoutControls();

  FileServices& files_;
  Volumes& volumes_;
  MainForm form_;
  MessageHook messageHook_;
  std::function<void()> endHook_;
  FolderHook folderHook_;
  bool inputBlocked_ = false;
  QPointer<QWidget> focusBeforeBlock_;
  QSize designedSize_;
  std::vector<Placement> layout_;
  bool ending_ = false;
  // Watches for the native window being destroyed from outside (X11).
  std::unique_ptr<QAbstractNativeEventFilter> destroyWatch_;
};

}  // namespace vexo
