// The main window's behaviour: what the drive, directory and file lists,
// the switches and the three buttons do, the request run through proc1, and
// the settings read at load and saved at close. It knows the window only
// through MainView (see main_view.h for which view calls raise which
// handler), so the Qt window and the Win32 window share it.
//
// It is also the user interface the engine reports through.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine.h"
#include "file_services.h"
#include "input_dialog.h"
#include "main_view.h"
#include "settings_store.h"
#include "user_interface.h"

namespace vexo {

// The message for a failed drive or directory change: the specified texts
// for a drive or disk that is not ready, else the number and, on a second
// line, the name and the reason.
std::string driveErrorText(int errorNumber, const std::string& name = {});

// Where a window whose title bar would be on no screen goes instead: inside
// the work area of the nearest screen, wholly when it fits (else with its
// top left corner, and so its title bar, on that screen), as close to where
// it was as that allows. The title bar counts as reachable when a strip of
// it at least kReachableTwips wide (or the whole bar, for a narrower window)
// lies on one screen. Returns the position unchanged when it is reachable or
// no screen is known.
inline constexpr double kTitleBarTwips = 300;
inline constexpr double kReachableTwips = 1440;
struct WindowPlace {
  double left, top;
};
WindowPlace reachablePlace(double left, double top, double width, double height,
                           const std::vector<MainView::ScreenArea>& screens);

// The second line of an error's message: "name：reason．".
std::string reasonLine(int errorNumber, const std::string& name);

class MainForm : public UserInterface {
 public:
  // Milliseconds from any fixed start; the status line and the progress bar
  // are redrawn at most once per kRepaintMs of it.
  using Clock = std::function<std::int64_t()>;
  static constexpr std::int64_t kRepaintMs = 33;

  MainForm(MainView& view, FileServices& files, SettingsStore& settings);
  ~MainForm() override;
  MainForm(const MainForm&) = delete;
  MainForm& operator=(const MainForm&) = delete;

  // Bytes per piece: kPieceSize144, kPieceSize12 or the size in the size
  // box (1 to kMaxPieceSize).
  std::int64_t PieceSize = kPieceSize144;

  // Places the window and sets the switches: position in twips, the naming
  // switch (0 clear, 1 checked, 2 the third state, which counts as checked),
  // the piece-size index (0 for 1.44M, 2 for the size box, anything else
  // for 1.2M), the size box's text (index 2 without a usable size in it
  // selects 1.44M) and the three-digit switch.
  void applySettings(double leftTwips, double topTwips, int bit16, int size,
                     const std::string& customSize = {}, int digits3 = 0);

  // The window's switches as a request takes them: the piece size, the
  // naming check box (0 clear, anything else checked) and the least number
  // of digits of a piece number.
  std::int64_t pieceSize() const { return PieceSize; }
  int check1();
  int pieceDigits();
  // The request "決　定" would start for the chosen name, built from the
  // controls as they are now.
  Job buildJob(const std::string& name);

  // The extension dialog: shows it modally (loading it first), and its text
  // and answer afterwards. suggestExtension puts a text into its box first.
  void showExtensionPrompt();
  std::string extensionText();
  void suggestExtension(const std::string& text);

  // The extension dialog while it is loaded, else null.
  InputForm* inputForm() const { return inputForm_.get(); }
  // Whether a split or join is running (input to the window is blocked).
  bool busy() const { return busy_; }

  // Event handlers.
  void Form_Load();
  void Form_QueryUnload(int& Cancel, int UnloadMode);
  void Sel_Drive_Change();
  void Dir_name_Change();
  // The user opened an entry of the directory list.
  void Dir_name_Open(const std::string& path);
  void FIle_list_Click();
  void FIle_list_DblClick();
  void Ret_bottn_Click();
  void Refresh_bottn_Click();
  // While a request runs, "終　了" asks whether to stop it and end.
  void Exit_bottn_Click();
  // The window's close box: true when the window may close now. While a
  // request runs it asks "中止して終了しますか？" (No by default); Yes stops
  // the request, which cleans up, and then the application ends.
  bool queryClose();
  // "参照…": the folder chooser, opened at the output folder (or the shown
  // one); a folder chosen goes into Out_Dir.
  void Out_Browse_Click();
  void Option1_Click(int Index);
  // The user typed in the size box or chose one of its entries.
  void Size_Combo_Change();
  // Escape, or a click on Ret_bottn ("中　止") while a request runs: the
  // request stops at its next block.
  void Stop_Request();
  // A file named from outside the window (the command line, a drop): shows
  // its directory with the file chosen in File_Name, and starts nothing. A
  // directory is shown with nothing chosen. A path that cannot be opened is
  // reported and the lists stay as they were. A relative path is taken from
  // the current directory.
  void openPath(const std::string& path);

  // Replaces the steady clock (tests).
  void setClock(Clock clock) { clock_ = std::move(clock); }

  // What the engine uses.
  void statusText(const std::string& text) override;
  void clearStatus() override;
  void message(const std::string& text) override;
  int question(const std::string& text) override;
  int questionNo(const std::string& text) override;
  void refreshFileList() override;
  std::optional<std::string> askExtension(const std::string& suggested) override;
  void progress(std::int64_t done, std::int64_t total) override;
  bool stopRequested() override;

 private:
  void proc1Guarded(const std::string& name);
  // The output folder a request takes: "" (the chosen file's folder) for an
  // empty field or "(元のフォルダ)".
  std::string outputFolder();
  // The recovery percentage a split takes: 0 when Check3 is clear.
  int recoveryPercent();
  // While a request runs: asks whether to stop it and end; true for Yes.
  bool askStopAndEnd();
  // Shows a message box; while a request runs Ret_bottn reads "決　定"
  // again while the box is open (it cannot stop anything then).
  int showBox(int style, const std::string& text);
  // Whether the size box's option is selected (neither floppy size is).
  bool sizeBoxChosen();
  // While nothing runs, the status line says in bytes what the size box
  // stands for ("650MB (CD)" is wider than the box; "1.44M" is not
  // 1.44M(DOS/V)), and is emptied again when the floppy sizes are chosen.
  void showChosenSize(std::optional<std::int64_t> boxed);
  // Before a request: true when it may run. A split under the size box
  // takes the box's size, and is refused with a message when there is none.
  bool sizeReady(const std::string& name);
  void loadInputForm();
  void unloadOtherWindows();
  std::string currentDrive();
  // Redraws the status line and the progress bar when they are behind and
  // kRepaintMs have passed since the last redraw (or at once with force),
  // and lets the window handle its waiting events. Returns whether it drew.
  bool paintIfDue(bool force);

  MainView& view_;
  FileServices& files_;
  SettingsStore& settings_;
  std::unique_ptr<InputForm> inputForm_;
  std::int16_t driveRetry_ = kFalse;  // true while the drive list is set back
  std::string shownDrive_;            // the drive the lists show
  bool busy_ = false;
  bool stop_ = false;  // the user asked to stop the running request
  bool endAfter_ = false;      // ... and to end the application afterwards
  bool retShowsStop_ = false;  // Ret_bottn reads "中　止"
  bool refreshed_ = false;     // the request has read the file list again
  Clock clock_;
  std::int64_t lastPaint_ = 0;
  bool painted_ = false;       // lastPaint_ holds a time
  std::string status_;         // the status text as last set
  bool statusStale_ = false;   // set but not yet drawn
  bool sizeShown_ = false;     // the status line shows the size box's bytes
  std::int64_t done_ = 0, total_ = 0;
  bool progressStale_ = false;
  // The position applied from the settings, in twips and as the view placed
  // it. A window that was not moved saves the twips it was given, so a
  // position that is no whole number of pixels does not drift from run to
  // run.
  double placedLeftTwips_ = 0;
  double placedTopTwips_ = 0;
  double placedAtLeft_ = 0;
  double placedAtTop_ = 0;
};

}  // namespace vexo
