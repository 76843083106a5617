// A main window and an extension dialog without a toolkit, for driving the
// windows' behaviour: they keep the controls' state, record what the
// behaviour does to them, and raise its handlers as a real view does (see
// main_view.h). Also a settings store in memory and file services whose
// drives are directories and whose drive changes fail on request.
#pragma once

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "doubles.h"
#include "input_dialog.h"
#include "main_form.h"
#include "main_view.h"
#include "settings_store.h"

namespace vexo::test {

// Everything the behaviour did, in order, shared by the fakes below:
// "File_Name=x", "Label2=x" (caption only), "Label2!=x" (repainted),
// "setDrive=d", "showDrive=d", "Dir_name=p", "FIle_list=p", "refreshDir",
// "refreshFileList", "Check1=n", "Check2=n", "Size_Combo=x", "Option1=i", "move=l,t",
// "box<style>:text", "block=1"/"block=0", "end", "loadInput", "showInput", "Combo1 focus",
// "hideInput", "unloadInput", "write Section/Key=v", "flush",
// "Progress=done/total", "Ret_bottn=caption", "pump" (events handled while a
// request runs), "select=name" (file list entry marked), "Check3=n",
// "Recovery=n", "Out_Dir=x", "chooseFolder=start", "busyControls=1"/"=0",
// "focusSize".
using Events = std::vector<std::string>;

class FakeSettings : public SettingsStore {
 public:
  explicit FakeSettings(Events& events) : events_(events) {}
  std::map<std::string, std::string> values;  // "Section/Key" -> text
  bool failWrites = false;
  bool failFlush = false;

  std::optional<std::string> read(const std::string& section, const std::string& key) override;
  bool write(const std::string& section, const std::string& key, const std::string& value) override;
  bool flush() override;

 private:
  Events& events_;
};

// Drives are directories. Each keeps its own current directory, as drives
// do: making a drive current enters the directory that was current on it
// (at first the drive itself). A drive listed in fails throws that error
// number instead.
class DriveFiles : public RecordingFileServices {
 public:
  std::vector<std::string> drives;
  std::map<std::string, int> fails;
  std::vector<std::string> driveChanges;  // every drive asked for, in order
  void chDrive(const std::string& drive) override;

 private:
  std::map<std::string, std::string> current_;  // drive -> its current directory
};

class FakeView;

class FakeInputView : public InputView {
 public:
  FakeInputView(FakeView& main, InputForm& form);
  ~FakeInputView() override;

  InputForm& form;
  std::vector<std::string> list;
  std::string text;
  bool visible = false;

  void setComboList(const std::vector<std::string>& items) override { list = items; }
  std::string comboText() override { return text; }
  void setComboText(const std::string& t) override { text = t; }
  void focusCombo() override;
  void showModal() override;
  void hide() override;

 private:
  FakeView& main_;
};

class FakeView : public MainView {
 public:
  explicit FakeView(Events& events) : events(events) {}

  Events& events;
  MainForm* form = nullptr;  // raises its handlers

  // Control state.
  std::string name;
  std::vector<std::string> drives;
  std::string chosenDrive;
  std::string dir;
  std::string fileDir;
  std::vector<std::string> entries;
  int index = -1;
  int check = 0;
  int option = 0;  // selected at design time
  std::string sizeBox;
  int digits = 0;  // Check2
  int recovery = 0;                 // Check3
  int percent = kDefaultRecoveryPercent;
  std::string outDir;               // Out_Dir
  // What the folder chooser answers (nothing: cancelled).
  std::optional<std::string> folderChosen;
  double left = 0, top = 0;
  bool minimised = false;
  bool blocked = false;

  // Answers to the next message boxes; OK or Yes when none is queued.
  std::deque<int> answers;
  // Whether the behaviour was busy, and input blocked, while each box was
  // shown.
  std::vector<bool> busyDuringBox;
  std::vector<bool> blockedDuringBox;
  // Runs while a box is "open" (the nested event loop).
  std::function<void()> whileBox;
  // What the user does in the next showings of the extension dialog; a
  // showing with nothing queued is left with "取　消".
  std::deque<std::function<void(FakeInputView&)>> dialogActions;
  FakeInputView* dialog = nullptr;  // while loaded

  // A clock for the behaviour that stands still unless a test moves it.
  std::int64_t nowMs = 0;
  // Runs each time the view handles waiting events during a request.
  std::function<void()> whilePump;
  // Work areas of the screens, in twips, and the window's width.
  std::vector<ScreenArea> screens;
  double width = 0;
  double height = 0;

  // The user's acts.
  void chooseDrive(const std::string& drive);
  void clickEntry(const std::string& entry);
  void selectOption(int i);
  // Types into the size box (or chooses one of its entries).
  void typeSize(const std::string& text);

  std::string fileName() override { return name; }
  void setFileName(const std::string& text) override;
  void setStatus(const std::string& text, bool repaintNow) override;
  void refreshDrives() override { events.push_back("refreshDrives"); }
  std::string drive() override { return chosenDrive; }
  void setDrive(const std::string& d) override;
  void showDrive(const std::string& d) override;
  std::string driveHolding(const std::string& path) override;
  std::string dirPath() override { return dir; }
  void setDirPath(const std::string& path) override;
  void refreshDir() override;
  std::string fileListPath() override { return fileDir; }
  void setFileListPath(const std::string& path) override;
  void refreshFileList() override;
  int fileListIndex() override { return index; }
  std::string fileListEntry(int i) override;
  int check1() override { return check; }
  void setCheck1(int state) override;
  bool option1(int i) override { return option == i; }
  void setOption1(int i) override;
  std::string sizeText() override { return sizeBox; }
  void setSizeText(const std::string& text) override;
  int check2() override { return digits; }
  void setCheck2(int state) override;
  void moveWindowTwips(double l, double t) override;
  double windowLeftTwips() override { return left; }
  double windowTopTwips() override { return top; }
  bool isMinimized() override { return minimised; }
  int messageBox(int style, const std::string& text) override;
  void blockInput(bool on) override;
  void endApplication() override { events.push_back("end"); }
  std::unique_ptr<InputView> loadInputView(InputForm& f) override;
  void setProgress(std::int64_t done, std::int64_t total) override;
  void setRetCaption(const std::string& text) override { events.push_back("Ret_bottn=" + text); }
  void processEvents() override;
  std::vector<ScreenArea> screenAreas() override { return screens; }
  double windowWidthTwips() override { return width; }
  void selectFileListEntry(const std::string& n) override { events.push_back("select=" + n); }
  int check3() override { return recovery; }
  void setCheck3(int state) override;
  int recoveryPercent() override { return percent; }
  void setRecoveryPercent(int p) override;
  std::string outputDir() override { return outDir; }
  void setOutputDir(const std::string& text) override;
  std::optional<std::string> chooseFolder(const std::string& start) override;
  void focusSizeBox() override { events.push_back("focusSize"); }
  void setBusyControls(bool busy) override { events.push_back(busy ? "busyControls=1" : "busyControls=0"); }
  double windowHeightTwips() override { return height; }
};

// The names of the files in a directory, sorted.
std::vector<std::string> filesIn(const std::string& dir);

// A name in a directory, with the separator the directory's path uses.
inline std::string in(const std::string& dir, const std::string& name) {
  return dir + (dir.find('\\') != std::string::npos ? "\\" : "/") + name;
}

// A window on two drives, A (current) and B, each a directory of a fresh
// temporary directory. Every reading of the clock moves it by `step` ms.
struct Window {
  TempDir tmp;
  Events events;
  DriveFiles files;
  FakeView view{events};
  FakeSettings settings{events};
  std::unique_ptr<MainForm> form;
  std::string A, B;
  std::int64_t step = 0;

  Window() {
    std::filesystem::create_directory(nativePath(tmp.path()) / "A");
    std::filesystem::create_directory(nativePath(tmp.path()) / "B");
    files.chDir("B");
    B = files.curDir();
    files.chDir(tmp.path());
    files.chDir("A");
    A = files.curDir();
    view.drives = {A, B};
    files.drives = {A, B};
  }

  // Creates and loads the form; forgets what loading did unless keep.
  MainForm& load(bool keep = false) {
    form = std::make_unique<MainForm>(view, files, settings);
    form->setClock([this] { return view.nowMs += step; });
    view.form = form.get();
    form->Form_Load();
    if (!keep) {
      events.clear();
      files.driveChanges.clear();
    }
    return *form;
  }
};

}  // namespace vexo::test
