// The main window: a browser over drives, directories and files, the two
// switches that shape a split (piece size and naming), the status line and
// three buttons. It is also the user interface the engine reports through.
#pragma once

#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>

#include "engine.h"
#include "file_services.h"
#include "user_interface.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace vexo {

class DirectoryList;
class DriveList;
class FileList;
class Input_Form;
class Volumes;

// Message box styles: an OK button only, no icon; Yes and No with the
// question icon and Yes as the default button.
inline constexpr int kStyleOkOnly = 0;
inline constexpr int kStyleYesNoQuestion = 36;
// The same with No as the default button (Yes/No, question icon, second
// button default).
inline constexpr int kStyleYesNoQuestionNoDefault = 36 + 256;
// What a message box returns.
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerNo = 7;

// The message for a failed drive change.
QString driveErrorText(int errorNumber);

class Main : public QWidget, public UserInterface {
  Q_OBJECT

 public:
  Main(FileServices& files, Volumes& volumes, QWidget* parent = nullptr);
  ~Main() override;

  // The controls, named as the form names them.
  QLabel* Label1;
  QLabel* File_Name;
  FileList* FIle_list;
  DriveList* Sel_Drive;
  DirectoryList* Dir_name;
  QGroupBox* Frame1;
  // The piece-size option buttons are one control array, Option1(0) and
  // Option1(1). Object names must be unique to be found, so the buttons are
  // named "Option1_0" and "Option1_1".
  QRadioButton* Option1[2];
  QLabel* Label2;
  QCheckBox* Check1;
  QPushButton* Ret_bottn;
  QPushButton* Refresh_bottn;
  QPushButton* Exit_bottn;

  // Bytes per piece: kPieceSize144 or kPieceSize12.
  std::int32_t PieceSize = kPieceSize144;

  // Places the window and sets the switches: position in twips, the naming
  // switch (0 clear, 1 checked, 2 the third state, which counts as checked)
  // and the piece-size index (0 for 1.44M, anything else for 1.2M).
  void applySettings(double leftTwips, double topTwips, int bit16, int size);

  // The extension dialog while it is loaded, else null.
  Input_Form* inputForm() const;

  // Replaces the message boxes: the hook gets the style and the text and
  // returns the answer (kAnswerOk, kAnswerYes or kAnswerNo).
  using MessageHook = std::function<int(int style, const QString& text)>;
  void setMessageHook(MessageHook hook) { messageHook_ = std::move(hook); }
  // Replaces how "終　了" ends the application.
  void setEndHook(std::function<void()> hook) { endHook_ = std::move(hook); }
  // Whether a split or join is running.
  bool busy() const { return busy_; }

  // Event handlers.
  void Form_Load();
  void Form_QueryUnload(int& Cancel, int UnloadMode);
  void Sel_Drive_Change();
  void Dir_name_Change();
  void FIle_list_Click();
  void FIle_list_DblClick();
  void Ret_bottn_Click();
  void Refresh_bottn_Click();
  void Exit_bottn_Click();
  void Option1_Click(int Index);

  // What the engine uses.
  void statusText(const std::string& text) override;
  void clearStatus() override;
  void message(const std::string& text) override;
  int question(const std::string& text) override;
  int questionNo(const std::string& text) override;
  void refreshFileList() override;
  std::int64_t pieceSize() override;
  int check1() override;
  void showExtensionPrompt() override;
  std::string extensionText() override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int showMessage(int style, const QString& text);
  void runRequest(const QString& name);
  void openDirectory(const QString& path);
  void unloadOtherWindows();
  QString currentDrive();

  FileServices& files_;
  Volumes& volumes_;
  QPointer<Input_Form> inputForm_;
  MessageHook messageHook_;
  std::function<void()> endHook_;
  std::int16_t driveRetry_ = kFalse;  // true while the drive list is set back
  QString shownDrive_;                // the drive the lists show
  bool busy_ = false;
  // The position applied from the settings, in twips and as placed. A
  // window that was not moved saves the twips it was given, so a position
  // that is no whole number of pixels does not drift from run to run.
  double placedLeftTwips_ = 0;
  double placedTopTwips_ = 0;
  QPoint placedAt_;
};

}  // namespace vexo
