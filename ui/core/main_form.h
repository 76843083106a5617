// The main window's behaviour: what the drive, directory and file lists,
// the switches and the three buttons do, the request run through proc1, and
// the settings read at load and saved at close. It knows the window only
// through MainView (see main_view.h for which view calls raise which
// handler), so the Qt window and the Win32 window share it.
//
// It is also the user interface the engine reports through.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine.h"
#include "file_services.h"
#include "input_dialog.h"
#include "main_view.h"
#include "settings_store.h"
#include "user_interface.h"

namespace vexo {

// The message for a failed drive or directory change.
std::string driveErrorText(int errorNumber);

class MainForm : public UserInterface {
 public:
  MainForm(MainView& view, FileServices& files, SettingsStore& settings);
  ~MainForm() override;
  MainForm(const MainForm&) = delete;
  MainForm& operator=(const MainForm&) = delete;

  // Bytes per piece: kPieceSize144 or kPieceSize12.
  std::int32_t PieceSize = kPieceSize144;

  // Places the window and sets the switches: position in twips, the naming
  // switch (0 clear, 1 checked, 2 the third state, which counts as checked)
  // and the piece-size index (0 for 1.44M, anything else for 1.2M).
  void applySettings(double leftTwips, double topTwips, int bit16, int size);

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
  void suggestExtension(const std::string& text) override;
  int pieceDigits() override;
  void progress(std::int64_t done, std::int64_t total) override;
  bool stopRequested() override;

 private:
  void proc1Guarded(const std::string& name);
  void loadInputForm();
  void unloadOtherWindows();
  std::string currentDrive();

  MainView& view_;
  FileServices& files_;
  SettingsStore& settings_;
  std::unique_ptr<InputForm> inputForm_;
  std::int16_t driveRetry_ = kFalse;  // true while the drive list is set back
  std::string shownDrive_;            // the drive the lists show
  bool busy_ = false;
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
