// The main window and the extension dialog as plain Win32 windows: views of
// the shared behaviour (MainForm, InputForm) drawn with user32, gdi32 and
// comctl32. Every control carries its form name as the window property
// "VexoName" (see controlName()), so it can be found by name.
#pragma once
#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "input_view.h"
#include "layout.h"
#include "main_form.h"
#include "main_view.h"

namespace vexo::win32 {

// The name a control was given ("Ret_bottn", "Option1_0", ...), "" for a
// window that has none.
std::wstring controlName(HWND hwnd);
// The descendant of a window with that name, or null.
HWND findControl(HWND parent, const std::wstring& name);

// Pixels per inch of the screen, by which twips become pixels.
int screenDpi();

// The font the windows use: a Japanese user-interface font at 9 points.
HFONT formFont();

class Win32MainView : public MainView {
 public:
  Win32MainView();
  ~Win32MainView() override;
  Win32MainView(const Win32MainView&) = delete;
  Win32MainView& operator=(const Win32MainView&) = delete;

  // Creates the window (hidden) and its controls for a behaviour, then runs
  // its Form_Load.
  void create(MainForm& form);
  HWND hwnd() const { return hwnd_; }
  HWND control(const std::wstring& name) const { return findControl(hwnd_, name); }

  // Gives a message to the windows' keyboard handling (Tab, Enter, Esc, the
  // arrow keys); true when it was handled and must not be dispatched.
  bool preTranslate(MSG& msg);

  // Replaces the message boxes: the hook gets the style and the text and
  // returns the answer (kAnswerOk, kAnswerYes or kAnswerNo).
  using MessageHook = std::function<int(int style, const std::wstring& text)>;
  void setMessageHook(MessageHook hook) { messageHook_ = std::move(hook); }
  // Called each time the extension dialog has been shown, with its window,
  // from inside its modal loop.
  void setDialogShownHook(std::function<void(HWND)> hook) { dialogShownHook_ = std::move(hook); }
  // Replaces how "終　了" ends the application (by default the window is
  // destroyed and the message loop told to quit).
  void setEndHook(std::function<void()> hook) { endHook_ = std::move(hook); }
  // Replaces the system's folder chooser: the hook gets the folder it would
  // open at and returns the folder chosen, or nothing for Cancel.
  using FolderHook = std::function<std::optional<std::wstring>(const std::wstring& start)>;
  void setFolderHook(FolderHook hook) { folderHook_ = std::move(hook); }

  // The whole text of an entry of FIle_list or Dir_name when the list shows
  // it cut (it is then the entry's tooltip), "" when it is shown whole.
  std::wstring cutEntryTip(const std::wstring& listName, int index);

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
  void focusSizeBox() override;
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

 private:
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp);
  void command(int id, int code);
  void selectDrive(const std::wstring& drive);
  void driveChosen();
  void fillDirectoryList(const std::wstring& path, const std::vector<std::wstring>& subdirs);
  void fillFileList(const std::wstring& keepSelected);
  // Both lists' entries: the name, cut in its middle when too long.
  void drawListEntry(const DRAWITEMSTRUCT& item);
  struct EntryText {
    int indent = 0;       // pixels from the left edge
    std::wstring marker;  // drawn before the name (Dir_name's open or closed marker)
    std::wstring name;
  };
  EntryText entryText(HWND list, int index);
  // The name as a list entry shows it within the list's width.
  std::wstring shownName(HWND list, HDC dc, const EntryText& entry);
  // The Win32 controls' own additions: the percentage over the progress
  // bar, the placeholder of the output folder's field, the tooltips of cut
  // list entries.
  static LRESULT CALLBACK subclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                       DWORD_PTR view);
  void hoverList(HWND list, LPARAM point);
  std::optional<std::wstring> systemFolderChooser(const std::wstring& start);
  void restoreBlock();
  // Gives the keyboard to the control that last had it, else Sel_Drive.
  void focusControls();
  void layoutControls(int clientWidth, int clientHeight);
  // Whether a queued message is input to the main window that must wait
  // while a request runs; Escape becomes a wish to stop.
  bool keptOut(const MSG& msg);

  HWND hwnd_ = nullptr;
  MainForm* form_ = nullptr;
  int dpi_ = 96;

  std::vector<std::wstring> drives_;  // "C:" per entry of Sel_Drive
  std::vector<std::wstring> driveTexts_;  // "C: (Windows)", as Sel_Drive shows it
  std::wstring chosenDrive_;
  std::wstring dirPath_;
  std::vector<std::wstring> dirEntries_;  // the directory each entry of Dir_name stands for
  std::vector<int> dirDepths_;
  std::wstring fileListPath_;
  int selectedOption_ = 0;
  bool settingSizeText_ = false;  // the size box's text is being set, not typed
  bool blocked_ = false;
  HWND focusBeforeBlock_ = nullptr;
  HWND savedFocus_ = nullptr;  // the control with the keyboard while the window is inactive
  bool created_ = false;
  struct Placement {
    HWND control;
    LayoutRect designed;
    Anchor anchor;
  };
  std::vector<Placement> layout_;
  int laidOutWidth_ = 0, laidOutHeight_ = 0;  // client size the controls are placed for
  HWND tooltip_ = nullptr;  // File_Name's whole text, and the lists' cut entries
  int hoveredFile_ = -1, hoveredDir_ = -1;  // the entries under the mouse

  MessageHook messageHook_;
  std::function<void(HWND)> dialogShownHook_;
  std::function<void()> endHook_;
  FolderHook folderHook_;
};

// The extension dialog.
class Win32InputView : public InputView {
 public:
  Win32InputView(InputForm& form, HWND owner, std::function<void(HWND)> shownHook);
  ~Win32InputView() override;
  Win32InputView(const Win32InputView&) = delete;
  Win32InputView& operator=(const Win32InputView&) = delete;

  HWND hwnd() const { return hwnd_; }

  void setComboList(const std::vector<std::string>& items) override;
  std::string comboText() override;
  void setComboText(const std::string& text) override;
  void focusCombo() override;
  void showModal() override;
  void hide() override;

 private:
  static LRESULT CALLBACK windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp);

  InputForm& form_;
  HWND owner_;
  HWND hwnd_ = nullptr;
  bool shown_ = false;
  bool activated_ = false;
  std::function<void(HWND)> shownHook_;
};

}  // namespace vexo::win32

#endif  // _WIN32
