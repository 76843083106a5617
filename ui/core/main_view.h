// What the main window's behaviour (MainForm) needs of the window's controls.
// A view is a window toolkit's rendering of the form: it creates the
// controls with their names, captions, geometry and tab order, answers these
// calls, and forwards the user's actions to the MainForm handlers.
//
// Event contract (all calls happen on the user-interface thread, and a
// handler raised by a setter runs before the setter returns):
//  - setDrive(d) with d different from the chosen drive raises
//    MainForm::Sel_Drive_Change(); showDrive(d) never raises anything.
//    The user choosing a drive raises Sel_Drive_Change().
//  - setDirPath(p) with p different from the shown path raises
//    MainForm::Dir_name_Change(); refreshDir() raises nothing. The user
//    opening an entry of the directory list calls
//    MainForm::Dir_name_Open(path) (which then calls setDirPath).
//  - setFileListPath() and refreshFileList() raise nothing. A click on an
//    entry, or moving the selection with the keyboard, raises
//    MainForm::FIle_list_Click(); a double-click FIle_list_DblClick().
//  - setOption1(i) selecting a button that was not selected raises
//    MainForm::Option1_Click(i); so does the user selecting one.
//  - setCheck1() and setCheck2() raise nothing the behaviour listens to.
//  - setSizeText() raises nothing; the user typing in the size box, or
//    choosing one of its entries, raises MainForm::Size_Combo_Change().
//  - "決　定" (and Enter anywhere in the window that is not on another
//    button) calls Ret_bottn_Click(), "更　新" Refresh_bottn_Click(),
//    "終　了" Exit_bottn_Click(), "参照…" Out_Browse_Click(). Closing the
//    window calls MainForm::queryClose() and closes only when it returns
//    true (while a request runs it asks, and ends the application itself
//    once the request has stopped).
//  - The view calls MainForm::Form_Load() once, after creating the controls.
//  - messageBox() and the extension dialog's showModal() run a nested event
//    loop; while MainForm::busy() the view lets no input reach the main
//    window (blockInput).
//
// Strings are UTF-8. Paths and drives are in the form the file services
// take (engine/file_services.h): on Windows a drive is "C:", elsewhere a
// mount point ("/", "/media/usb").
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vexo {

class InputForm;
class InputView;

// The recovery percentage offered at first, and its range.
inline constexpr int kDefaultRecoveryPercent = 10;
inline constexpr int kMinRecoveryPercent = 1;
inline constexpr int kMaxRecoveryPercent = 100;

// Message box styles: an OK button only, no icon; the same with the
// warning icon (a failure, a refusal) or the information icon (a request's
// outcome); Yes and No with the question icon and Yes as the default button;
// the same with No as the default button (Enter, Esc and closing the box
// answer No).
inline constexpr int kStyleOkOnly = 0;
inline constexpr int kStyleWarning = 48;
inline constexpr int kStyleInformation = 64;
inline constexpr int kStyleCritical = 16;
// The bits of a style that name its icon.
inline constexpr int kStyleIconMask = 112;
inline constexpr int kStyleYesNoQuestion = 36;
inline constexpr int kStyleYesNoQuestionNoDefault = 36 + 256;
// What a message box returns.
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerNo = 7;
// (kAnswerYes = 6 is in engine/user_interface.h.)

class MainView {
 public:
  virtual ~MainView() = default;

  // File_Name: the chosen file name.
  virtual std::string fileName() = 0;
  virtual void setFileName(const std::string& text) = 0;

  // Label2, the status line. repaintNow: draw it at once (the event loop
  // does not run while a request works).
  virtual void setStatus(const std::string& text, bool repaintNow) = 0;

  // Sel_Drive, the drive list.
  // Re-reads the drives of the machine (raises nothing).
  virtual void refreshDrives() = 0;
  // The chosen drive, "" when none is chosen.
  virtual std::string drive() = 0;
  // Chooses a drive; raises Sel_Drive_Change when it differs from the
  // chosen one. A drive that is not in the list leaves the choice as it is.
  virtual void setDrive(const std::string& drive) = 0;
  // Chooses a drive without raising anything.
  virtual void showDrive(const std::string& drive) = 0;
  // The drive of the list holding a path (for "C:\x" on Windows "C:"; the
  // mount point with the longest match elsewhere), "" when none does.
  virtual std::string driveHolding(const std::string& path) = 0;

  // Dir_name, the directory list.
  virtual std::string dirPath() = 0;
  // Reads the directory and shows it; raises Dir_name_Change when it differs
  // from the shown one. Throws RuntimeError when it cannot be read and then
  // leaves the list as it was.
  virtual void setDirPath(const std::string& path) = 0;
  // Reads the shown directory again (throws as setDirPath does).
  virtual void refreshDir() = 0;

  // FIle_list, the file list.
  virtual std::string fileListPath() = 0;
  // Shows the files of a directory with nothing selected (empty when it
  // cannot be read).
  virtual void setFileListPath(const std::string& path) = 0;
  // Reads the directory again; the selected name stays selected while it
  // exists.
  virtual void refreshFileList() = 0;
  // Index of the selected entry, -1 when none.
  virtual int fileListIndex() = 0;
  // The entry at an index ("" outside the list).
  virtual std::string fileListEntry(int index) = 0;

  // Check1: 0 clear, 1 checked, 2 the third state (only a stored value
  // gives it; once the user changes the box it has two states again).
  virtual int check1() = 0;
  virtual void setCheck1(int state) = 0;

  // Option1(0) "1.44M(DOS/V)", Option1(1) "1.2M(PC98)" and Option1(2)
  // "指定サイズ" (the size in the size box).
  virtual bool option1(int index) = 0;
  // Selects a button; raises Option1_Click(index) when it was not selected.
  virtual void setOption1(int index) = 0;

  // Size_Combo, the editable size box beside Option1(2); its list holds the
  // presets of size_text.h in their order. A view without it keeps these
  // (and then never selects Option1(2)).
  virtual std::string sizeText() { return {}; }
  virtual void setSizeText(const std::string& text) { (void)text; }

  // Check2 "3桁番号 (.001)": 0 clear, 1 checked (piece numbers of at least
  // three digits). A view without it keeps these.
  virtual int check2() { return 0; }
  virtual void setCheck2(int state) { (void)state; }

  // Check3 "復元データ" and the percentage beside it (1 to 100): recovery
  // data written with a split. A view without them keeps these.
  virtual int check3() { return 0; }
  virtual void setCheck3(int state) { (void)state; }
  virtual int recoveryPercent() { return kDefaultRecoveryPercent; }
  virtual void setRecoveryPercent(int percent) { (void)percent; }

  // Out_Dir, the output folder's field (its text as the user left it; ""
  // or "(元のフォルダ)" stand for the chosen file's folder). A view without
  // it keeps these.
  virtual std::string outputDir() { return {}; }
  virtual void setOutputDir(const std::string& text) { (void)text; }
  // The system's folder chooser, opened at start; the folder chosen, or
  // nothing when the user cancelled. "参照…" (Out_Browse) calls
  // MainForm::Out_Browse_Click().
  virtual std::optional<std::string> chooseFolder(const std::string& start) {
    (void)start;
    return std::nullopt;
  }

  // Puts the keyboard focus into the size box with its whole text selected.
  virtual void focusSizeBox() {}
  // Enables or disables the controls that cannot act while a request runs
  // (Refresh_bottn, Out_Browse); "終　了" and the close box stay usable
  // and reach the behaviour (Exit_bottn_Click, queryClose) even while input
  // is blocked.
  virtual void setBusyControls(bool busy) { (void)busy; }

  // The window's position in twips (the view converts with its DPI).
  virtual void moveWindowTwips(double left, double top) = 0;
  // Where the window is now, in twips, as the view reads it back (after
  // moveWindowTwips this may differ by the rounding to whole pixels).
  virtual double windowLeftTwips() = 0;
  virtual double windowTopTwips() = 0;
  virtual bool isMinimized() = 0;

  // Shows a message box with the application's title and one of the styles
  // above; returns kAnswerOk, kAnswerYes or kAnswerNo.
  virtual int messageBox(int style, const std::string& text) = 0;

  // On: no user input reaches the main window (it is still repainted); off:
  // input flows again.
  virtual void blockInput(bool on) = 0;

  // Ends the application at once (after "終　了").
  virtual void endApplication() = 0;

  // Loads the extension dialog for the given behaviour: creates its window
  // hidden, with its controls. Unloading is destroying the returned view.
  virtual std::unique_ptr<InputView> loadInputView(InputForm& form) = 0;

  // A directory to show when the current one cannot be read at start, or ""
  // for none.
  virtual std::string homeDirectory() { return {}; }

  // The progress bar beside the status line: bytes done of all a request
  // moves, drawn at once. total 0 empties it.
  virtual void setProgress(std::int64_t done, std::int64_t total) {
    (void)done;
    (void)total;
  }
  // The caption of Ret_bottn ("決　定", or "中　止" while a request runs).
  virtual void setRetCaption(const std::string& text) { (void)text; }
  // Handles the events waiting for the window (painting, the window
  // manager's messages) while a request runs; input stays blocked except
  // Escape and a click on Ret_bottn, which reach the behaviour as
  // MainForm::Stop_Request() and Ret_bottn_Click().
  virtual void processEvents() {}

  // Where windows may be placed on each screen (the work area, without
  // panels), in twips; empty when the view cannot tell.
  struct ScreenArea {
    double left = 0, top = 0, width = 0, height = 0;
  };
  virtual std::vector<ScreenArea> screenAreas() { return {}; }
  // The window's outer width and height in twips.
  virtual double windowWidthTwips() { return 0; }
  virtual double windowHeightTwips() { return 0; }

  // Marks an entry of the file list as selected without raising anything
  // (when it is there).
  virtual void selectFileListEntry(const std::string& name) { (void)name; }
};

}  // namespace vexo
