// The Win32 window and extension dialog, driven as a user drives them:
// through button clicks (BM_CLICK), list selection notifications and keys,
// on real files in a temporary directory and with the settings in a
// registry key of their own.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "design.h"
#include "file_services.h"
#include "main_form.h"
#include "registry_store.h"
#include "win32_listing.h"
#include "win32_main_view.h"

namespace vexo::win32 {
namespace {

const std::wstring kTestKey = L"Software\\VEXO-tests\\" + std::to_wstring(GetCurrentProcessId());

std::string bytesOf(const std::wstring& name) {
  std::ifstream in(name.c_str(), std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeBytes(const std::wstring& name, const std::string& bytes) {
  std::ofstream out(name.c_str(), std::ios::binary);
  out << bytes;
}

std::string patterned(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return s;
}

std::wstring textOf(HWND h) {
  wchar_t buf[512] = {};
  GetWindowTextW(h, buf, 512);
  return buf;
}

std::wstring classOf(HWND h) {
  wchar_t buf[64] = {};
  GetClassNameW(h, buf, 64);
  return buf;
}

std::vector<std::wstring> itemsOf(HWND list, bool combo) {
  std::vector<std::wstring> items;
  const UINT count = combo ? CB_GETCOUNT : LB_GETCOUNT;
  const UINT get = combo ? CB_GETLBTEXT : LB_GETTEXT;
  const LRESULT n = SendMessageW(list, count, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    wchar_t buf[MAX_PATH + 8] = {};
    SendMessageW(list, get, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
    items.emplace_back(buf);
  }
  return items;
}

// Place and size of a control in its parent's client area, in pixels.
RECT placeOf(HWND h) {
  RECT r{};
  GetWindowRect(h, &r);
  MapWindowPoints(nullptr, GetParent(h), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

struct Box {
  int style;
  std::wstring text;
  bool operator==(const Box&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Box& b) {
  return os << "{" << b.style << ", " << narrow(b.text) << "}";
}

class Win32Window : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t tmp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, tmp);
    GetCurrentDirectoryW(MAX_PATH + 1, oldDir_);
    for (unsigned n = GetCurrentProcessId() * 100u;; ++n) {
      dir_ = std::wstring(tmp) + L"vexo-view-" + std::to_wstring(n);
      if (CreateDirectoryW(dir_.c_str(), nullptr)) break;
    }
    SetCurrentDirectoryW(dir_.c_str());
    wchar_t full[MAX_PATH + 1];
    GetCurrentDirectoryW(MAX_PATH + 1, full);
    dir_ = full;
    files_ = makeSystemFileServices();
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey.c_str());
    store_ = std::make_unique<RegistryStore>(HKEY_CURRENT_USER, kTestKey);
  }

  void TearDown() override {
    form_.reset();
    view_.reset();
    SetCurrentDirectoryW(oldDir_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey.c_str());
  }

  // Opens the main window on the temporary directory.
  void open() {
    view_ = std::make_unique<Win32MainView>();
    form_ = std::make_unique<MainForm>(*view_, *files_, *store_);
    view_->setMessageHook([this](int style, const std::wstring& text) {
      // A completion box is kept by its first line; its figures are the
      // engine's to test.
      std::wstring shown = text;
      if (shown.rfind(L"分割完了\n", 0) == 0 || shown.rfind(L"結合完了\n", 0) == 0) shown.resize(4);
      boxes.push_back({style, shown});
      if (answers.empty()) return (style & 0xF) == 0 ? kAnswerOk : kAnswerNo;
      const int a = answers.front();
      answers.pop_front();
      return a;
    });
    view_->setDialogShownHook([this](HWND dialog) {
      ASSERT_FALSE(onDialog.empty()) << "extension dialog shown unexpectedly";
      auto step = std::move(onDialog.front());
      onDialog.pop_front();
      step(dialog);
    });
    view_->setEndHook([this] { ++ends; });
    view_->create(*form_);
    ShowWindow(view_->hwnd(), SW_SHOWNOACTIVATE);
    pump();
  }

  void pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (!view_->preTranslate(msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
  }

  HWND control(const wchar_t* name) {
    HWND h = view_->control(name);
    EXPECT_NE(h, nullptr) << narrow(name);
    return h;
  }

  void click(const wchar_t* name) {
    SendMessageW(control(name), BM_CLICK, 0, 0);
    pump();
  }

  // Selects an entry of a list as the user's click does, with the
  // notification the list sends its window; a double-click sends both.
  void choose(const wchar_t* listName, const std::wstring& entry, bool doubleClick = false) {
    HWND list = control(listName);
    const LRESULT index =
        SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(entry.c_str()));
    ASSERT_NE(index, LB_ERR) << narrow(entry);
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
    const int id = GetDlgCtrlID(list);
    SendMessageW(view_->hwnd(), WM_COMMAND, MAKEWPARAM(id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    if (doubleClick)
      SendMessageW(view_->hwnd(), WM_COMMAND, MAKEWPARAM(id, LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
    pump();
  }

  void chooseDrive(const std::wstring& drive) {
    HWND combo = control(L"Sel_Drive");
    const auto items = itemsOf(combo, true);
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (CompareStringOrdinal(items[i].c_str(), 2, drive.c_str(), 2, TRUE) != CSTR_EQUAL) continue;
      SendMessageW(combo, CB_SETCURSEL, i, 0);
      SendMessageW(view_->hwnd(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(combo));
      pump();
      return;
    }
    ADD_FAILURE() << "no drive " << narrow(drive);
  }

  std::wstring path(const std::wstring& name) const { return dir_ + L"\\" + name; }

  LRESULT checkOf(const wchar_t* name) { return SendMessageW(control(name), BM_GETCHECK, 0, 0); }

  // The entry the drive list shows as chosen.
  std::wstring shownDrive() {
    HWND drives = control(L"Sel_Drive");
    const LRESULT sel = SendMessageW(drives, CB_GETCURSEL, 0, 0);
    EXPECT_GE(sel, 0);
    return sel < 0 ? L"" : itemsOf(drives, true)[static_cast<std::size_t>(sel)];
  }

  // Runs a request as the user does: a double-click on a file of the list,
  // or a click on it (none when name is empty: the name already chosen)
  // and "決　定". The boxes it showed.
  std::vector<Box> request(const std::wstring& name, bool doubleClick = false) {
    boxes.clear();
    if (!name.empty()) choose(L"FIle_list", name, doubleClick);
    if (!doubleClick) click(L"Ret_bottn");
    return boxes;
  }

  // Drops a file on the window, as the shell does.
  void dropFile(const std::wstring& file) {
    HGLOBAL drop = GlobalAlloc(GHND, sizeof(DROPFILES) + (file.size() + 2) * sizeof(wchar_t));
    auto* head = static_cast<DROPFILES*>(GlobalLock(drop));
    head->pFiles = sizeof(DROPFILES);
    head->fWide = TRUE;
    std::copy(file.begin(), file.end(), reinterpret_cast<wchar_t*>(head + 1));
    GlobalUnlock(drop);
    SendMessageW(view_->hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0);
  }

  std::unique_ptr<FileServices> files_;
  std::unique_ptr<RegistryStore> store_;
  std::unique_ptr<Win32MainView> view_;
  std::unique_ptr<MainForm> form_;
  std::vector<Box> boxes;
  std::deque<int> answers;
  std::deque<std::function<void(HWND)>> onDialog;
  int ends = 0;
  std::wstring dir_;
  wchar_t oldDir_[MAX_PATH + 1] = {};
};

const std::vector<Box> kSplitDone{{64, L"分割完了"}};
const std::vector<Box> kJoinedThenAsked{{64, L"結合完了"}, {36, L"分割ファイルを削除しますか？"}};

struct ControlCase {
  const wchar_t* name;
  const wchar_t* windowClass;
  const char* caption;  // nullptr: not compared (lists)
  int left, top, width, height;  // twips, relative to the container
};

void expectPlaced(HWND h, const ControlCase& c, POINT origin) {
  const RECT r = placeOf(h);
  const int dpi = screenDpi();
  EXPECT_NEAR(r.left - origin.x, twipsToPixels(c.left, dpi), 1) << narrow(c.name);
  EXPECT_NEAR(r.top - origin.y, twipsToPixels(c.top, dpi), 1) << narrow(c.name);
  EXPECT_NEAR(r.right - r.left, twipsToPixels(c.width, dpi), 1) << narrow(c.name);
  // A combo box's selection field is as tall as its font needs, within a
  // few pixels of the designed height.
  const int slack = classOf(h) == L"ComboBox" ? 3 : 1;
  EXPECT_NEAR(r.bottom - r.top, twipsToPixels(c.height, dpi), slack) << narrow(c.name);
}

TEST_F(Win32Window, MainWindowControlsNamesCaptionsAndGeometry) {
  open();
  HWND main = view_->hwnd();
  EXPECT_EQ(controlName(main), L"Main");
  EXPECT_EQ(textOf(main), L"VEXO for Win32 Ver2.3.0");
  RECT client{};
  GetClientRect(main, &client);
  EXPECT_EQ(client.right, twipsToPixels(5835, screenDpi()));
  // 4,755 + room for Check2 and the output folder's row.
  EXPECT_EQ(client.bottom, twipsToPixels(5550, screenDpi()));

  const ControlCase cases[] = {
      {L"Label1", L"Static", "分割・結合するファイル", 120, 120, 2055, 255},
      {L"File_Name", L"Static", "", 120, 360, 2655, 255},
      {L"FIle_list", L"ListBox", nullptr, 120, 720, 2655, 2010},
      {L"Sel_Drive", L"ComboBox", nullptr, 3000, 360, 2655, 300},
      {L"Dir_name", L"ListBox", nullptr, 3000, 720, 2655, 1980},
      {L"Frame1", L"Button", "分割サイズ", 240, 2880, 2610, 1290},
      {L"Label2", L"Static", "", 2880, 3240, 2415, 495},
      {L"Check1", L"Button", "16bit 互換", 480, 4200, 1575, 375},
      {L"Ret_bottn", L"Button", "決　定", 2160, 4200, 1095, 375},
      {L"Refresh_bottn", L"Button", "更　新", 3360, 4200, 975, 375},
      {L"Exit_bottn", L"Button", "終　了", 4560, 4200, 1095, 375},
      {L"Check2", L"Button", "3桁番号 (.001)", 480, 4575, 1695, 375},
      {L"Check3", L"Button", "復元データ", 2280, 4575, 1335, 375},
      {L"Out_Label", L"Static", "出力先", 120, 5040, 705, 255},
      {L"Out_Dir", L"Edit", "", 840, 5010, 3615, 315},
      {L"Out_Browse", L"Button", "参照…", 4560, 4995, 1095, 345},
  };
  for (const ControlCase& c : cases) {
    HWND h = control(c.name);
    if (!h) continue;
    EXPECT_EQ(CompareStringOrdinal(classOf(h).c_str(), -1, c.windowClass, -1, TRUE), CSTR_EQUAL)
        << narrow(c.name) << " is a " << narrow(classOf(h));
    if (c.caption) {
      EXPECT_EQ(textOf(h), widen(c.caption)) << narrow(c.name);
    }
    expectPlaced(h, c, POINT{0, 0});
  }
  // The option buttons lie in the frame.
  const RECT frame = placeOf(control(L"Frame1"));
  const ControlCase options[] = {
      {L"Option1_0", L"Button", "1.44M(DOS/V)", 240, 240, 1575, 255},
      {L"Option1_1", L"Button", "1.2M(PC98)", 240, 600, 1695, 255},
      {L"Option1_2", L"Button", "指定サイズ", 240, 960, 1275, 255},
      {L"Size_Combo", L"ComboBox", "", 1530, 915, 1020, 330},
  };
  for (const ControlCase& c : options) {
    EXPECT_EQ(textOf(control(c.name)), widen(c.caption));
    expectPlaced(control(c.name), c, POINT{frame.left, frame.top});
  }
  // Styles that make the keys work: "決　定" is the default button, the
  // option buttons are radio buttons, the check box has a third state.
  EXPECT_EQ(LOWORD(SendMessageW(main, DM_GETDEFID, 0, 0)), GetDlgCtrlID(control(L"Ret_bottn")));
  const std::pair<const wchar_t*, LONG> styles[] = {
      {L"Ret_bottn", BS_DEFPUSHBUTTON}, {L"Option1_0", BS_AUTORADIOBUTTON}, {L"Option1_2", BS_AUTORADIOBUTTON},
      {L"Check1", BS_3STATE},           {L"Check2", BS_AUTOCHECKBOX},       {L"Check3", BS_AUTOCHECKBOX}};
  for (const auto& [name, type] : styles)
    EXPECT_EQ(GetWindowLongW(control(name), GWL_STYLE) & BS_TYPEMASK, type) << narrow(name);
  // The percentage field and its up-down control share the designed
  // rectangle, the up-down at the right end; the field starts at 10.
  HWND pct = control(L"Recovery_Pct");
  HWND spin = control(L"Recovery_Spin");
  EXPECT_EQ(classOf(pct), L"Edit");
  EXPECT_EQ(CompareStringOrdinal(classOf(spin).c_str(), -1, UPDOWN_CLASSW, -1, TRUE), CSTR_EQUAL);
  EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(spin, UDM_GETBUDDY, 0, 0)), pct);
  RECT both{};
  const RECT field = placeOf(pct), arrows = placeOf(spin);
  UnionRect(&both, &field, &arrows);
  EXPECT_EQ(arrows.right, both.right);
  const int dpi = screenDpi();
  EXPECT_NEAR(both.left, twipsToPixels(3660, dpi), 1);
  EXPECT_NEAR(both.top, twipsToPixels(4605, dpi), 1);
  EXPECT_NEAR(both.right - both.left, twipsToPixels(900, dpi), 1);
  EXPECT_NEAR(both.bottom - both.top, twipsToPixels(315, dpi), 1);
  EXPECT_EQ(textOf(pct), L"10");
}

TEST_F(Win32Window, TabOrderAndStartState) {
  open();
  // Tab visits the controls that take the keyboard in the form's order; the
  // option buttons are one stop.
  const wchar_t* order[] = {L"Sel_Drive",  L"Dir_name",      L"FIle_list", L"Ret_bottn",
                            L"Refresh_bottn", L"Exit_bottn", L"Option1_0", L"Size_Combo",
                            L"Check1", L"Check2", L"Check3", L"Recovery_Pct", L"Out_Dir",
                            L"Out_Browse"};
  HWND h = control(order[0]);
  for (std::size_t i = 1; i <= std::size(order); ++i) {
    h = GetNextDlgTabItem(view_->hwnd(), h, FALSE);
    EXPECT_EQ(controlName(h), order[i % std::size(order)]) << "after " << narrow(order[i - 1]);
  }
  // Nothing stored: 1,000 twips from the top left, long naming, 1.44M.
  RECT r{};
  GetWindowRect(view_->hwnd(), &r);
  EXPECT_EQ(r.left, twipsToPixels(1000, screenDpi()));
  EXPECT_EQ(r.top, twipsToPixels(1000, screenDpi()));
  EXPECT_EQ(checkOf(L"Check1"), BST_UNCHECKED);
  EXPECT_EQ(checkOf(L"Option1_0"), BST_CHECKED);
  EXPECT_EQ(form_->PieceSize, 1457664);

  click(L"Option1_1");
  EXPECT_EQ(form_->PieceSize, 1250304);
  click(L"Option1_0");
  EXPECT_EQ(form_->PieceSize, 1457664);
  click(L"Check1");
  EXPECT_EQ(form_->check1(), 1);
  click(L"Check1");
  EXPECT_EQ(form_->check1(), 0);
}

TEST_F(Win32Window, ListsShowDrivesDirectoriesAndFilesInNaturalOrder) {
  for (const wchar_t* name : {L"b10", L"b2", L"A1", L"hidden.txt", L"system.txt"})
    writeBytes(path(name), "x");
  SetFileAttributesW(path(L"hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW(path(L"system.txt").c_str(), FILE_ATTRIBUTE_SYSTEM);
  CreateDirectoryW(path(L"sub10").c_str(), nullptr);
  CreateDirectoryW(path(L"sub9").c_str(), nullptr);
  open();

  EXPECT_EQ(itemsOf(control(L"FIle_list"), false), (std::vector<std::wstring>{L"A1", L"b2", L"b10"}));
  // The directory list: the drive's root, the parents, the directory shown
  // (selected), then its subdirectories.
  const auto dirs = itemsOf(control(L"Dir_name"), false);
  const auto chain = pathChain(dir_);
  ASSERT_EQ(dirs.size(), chain.size() + 2);
  // The drive as the drive list shows it, with its label when it has one.
  wchar_t label[MAX_PATH + 1] = {};
  GetVolumeInformationW(dir_.substr(0, 3).c_str(), label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(dirs.front(), driveText(driveOf(dir_), label));
  EXPECT_EQ(dirs[chain.size() - 1], dir_.substr(dir_.rfind(L'\\') + 1));
  EXPECT_EQ(dirs[chain.size()], L"sub9");
  EXPECT_EQ(dirs[chain.size() + 1], L"sub10");
  EXPECT_EQ(SendMessageW(control(L"Dir_name"), LB_GETCURSEL, 0, 0), static_cast<LRESULT>(chain.size() - 1));
  // The drive list shows the drive of the directory with its label; the
  // window's drive is the drive alone.
  EXPECT_EQ(shownDrive(), driveText(driveOf(dir_), label));
  EXPECT_EQ(view_->drive(), narrow(driveOf(dir_)));

  // Opening a subdirectory shows it and clears the chosen name; "更　新"
  // reads new files.
  choose(L"FIle_list", L"b2");
  EXPECT_EQ(textOf(control(L"File_Name")), L"b2");
  choose(L"Dir_name", L"sub10", /*doubleClick=*/true);
  EXPECT_EQ(textOf(control(L"File_Name")), L"");
  EXPECT_EQ(narrow(dir_ + L"\\sub10"), files_->curDir());
  writeBytes(path(L"sub10\\new.bin"), "n");
  EXPECT_TRUE(itemsOf(control(L"FIle_list"), false).empty());
  click(L"Refresh_bottn");
  EXPECT_EQ(itemsOf(control(L"FIle_list"), false), std::vector<std::wstring>{L"new.bin"});
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Win32Window, SplitAndJoinThroughTheWindow) {
  const std::string source = patterned(2 * 1457664 + 17664);
  writeBytes(path(L"report.doc"), source);
  open();

  // Enter or "決　定" with no file chosen does nothing.
  click(L"Ret_bottn");
  EXPECT_TRUE(boxes.empty());

  EXPECT_EQ(request(L"report.doc"), kSplitDone);
  EXPECT_EQ(textOf(control(L"Label2")), L"");
  EXPECT_EQ(textOf(control(L"File_Name")), L"report.doc");
  EXPECT_EQ(itemsOf(control(L"FIle_list"), false),
            (std::vector<std::wstring>{L"report.doc", L"report.doc.1", L"report.doc.2", L"report.doc.3",
                                       L"report.doc.crc"}));
  EXPECT_EQ(bytesOf(path(L"report.doc.1")), source.substr(0, 1457664));
  EXPECT_EQ(bytesOf(path(L"report.doc.3")), source.substr(2 * 1457664));
  EXPECT_TRUE(IsWindowEnabled(view_->hwnd())) << "input flows again after the request";

  // The source goes; a double-click on a piece joins the set and, asked,
  // deletes the pieces.
  ASSERT_TRUE(DeleteFileW(path(L"report.doc").c_str()));
  click(L"Refresh_bottn");
  answers = {kAnswerOk, kAnswerYes};
  EXPECT_EQ(request(L"report.doc.2", /*doubleClick=*/true), kJoinedThenAsked);
  EXPECT_EQ(bytesOf(path(L"report.doc")), source);
  EXPECT_EQ(itemsOf(control(L"FIle_list"), false), std::vector<std::wstring>{L"report.doc"});
}

TEST_F(Win32Window, ExtensionDialogAsksForTheJoinedFilesExtension) {
  const std::string source = patterned(1457664 + 10);
  writeBytes(path(L"data.bin"), source);
  open();
  click(L"Check1");  // short naming
  ASSERT_EQ(request(L"data.bin"), kSplitDone);
  ASSERT_EQ(bytesOf(path(L"data.2")), source.substr(1457664));
  ASSERT_TRUE(DeleteFileW(path(L"data.bin").c_str()));
  // Without the set's record, which would offer its extension in the dialog.
  ASSERT_TRUE(DeleteFileW(path(L"data.crc").c_str()));
  click(L"Refresh_bottn");
  boxes.clear();

  // First showing: the dialog's controls; "bin" typed, then "決　定".
  onDialog.push_back([&](HWND dialog) {
    EXPECT_EQ(controlName(dialog), L"Input_Form");
    EXPECT_EQ(textOf(dialog), L"拡張子入力");
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, twipsToPixels(2985, screenDpi()));
    EXPECT_EQ(client.bottom, twipsToPixels(1590, screenDpi()));
    const ControlCase cases[] = {
        {L"Label1", L"Static", "結合後の拡張子を入力して下さい", 120, 120, 2775, 255},
        {L"Combo1", L"ComboBox", "", 840, 480, 1215, 300},
        {L"Command1", L"Button", "決　定", 480, 1080, 855, 375},
        {L"Command2", L"Button", "取　消", 1680, 1080, 855, 375},
    };
    for (const ControlCase& c : cases) {
      HWND h = findControl(dialog, c.name);
      ASSERT_NE(h, nullptr) << narrow(c.name);
      EXPECT_EQ(textOf(h), widen(c.caption)) << narrow(c.name);
      expectPlaced(h, c, POINT{0, 0});
    }
    HWND combo = findControl(dialog, L"Combo1");
    EXPECT_EQ(itemsOf(combo, true), (std::vector<std::wstring>{L"exe", L"lzh", L"mdb", L"xls"}));
    EXPECT_TRUE(GetFocus() == combo || IsChild(combo, GetFocus())) << "the focus is in Combo1";
    EXPECT_FALSE(IsWindowEnabled(view_->hwnd())) << "the main window takes no input meanwhile";
    // Tab order: 決定, 取消, Combo1.
    HWND next = GetNextDlgTabItem(dialog, findControl(dialog, L"Command1"), FALSE);
    EXPECT_EQ(controlName(next), L"Command2");
    EXPECT_EQ(controlName(GetNextDlgTabItem(dialog, next, FALSE)), L"Combo1");
    SetWindowTextW(combo, L"bin");
    PostMessageW(findControl(dialog, L"Command1"), BM_CLICK, 0, 0);
  });
  answers = {kAnswerOk, kAnswerNo};
  EXPECT_EQ(request(L"data.1", /*doubleClick=*/true), kJoinedThenAsked);
  EXPECT_EQ(bytesOf(path(L"data.bin")), source);
  ASSERT_TRUE(DeleteFileW(path(L"data.bin").c_str()));

  // Second showing keeps the text; Esc cancels: no file, no message.
  boxes.clear();
  onDialog.push_back([&](HWND dialog) {
    EXPECT_EQ(textOf(findControl(dialog, L"Combo1")), L"bin");
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 0);
  });
  click(L"Ret_bottn");
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(bytesOf(path(L"data.bin")), "<missing>");

  // Closed through its frame: unloaded, the next showing starts empty.
  onDialog.push_back([&](HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); });
  click(L"Ret_bottn");
  EXPECT_EQ(form_->inputForm(), nullptr);
  onDialog.push_back([&](HWND dialog) {
    EXPECT_EQ(textOf(findControl(dialog, L"Combo1")), L"");
    PostMessageW(findControl(dialog, L"Command2"), BM_CLICK, 0, 0);
  });
  click(L"Ret_bottn");
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(bytesOf(path(L"data.bin")), "<missing>");
  EXPECT_TRUE(onDialog.empty());
}

// A CD drive without a disc (set up by the Wine test run, named in
// VEXO_TEST_EMPTY_DRIVE): the message, and the drive list goes back to the
// drive it showed, with the chosen name kept.
TEST_F(Win32Window, ADriveThatIsNotReady) {
  const char* empty = std::getenv("VEXO_TEST_EMPTY_DRIVE");
  if (!empty || !*empty) GTEST_SKIP() << "no empty drive named in VEXO_TEST_EMPTY_DRIVE";
  writeBytes(path(L"keep.txt"), "k");
  open();
  const std::string before = view_->drive();
  choose(L"FIle_list", L"keep.txt");
  HWND drives = control(L"Sel_Drive");
  const LRESULT shown = SendMessageW(drives, CB_GETCURSEL, 0, 0);

  // Moving through the open list only highlights; Esc there goes back.
  SendMessageW(drives, CB_SHOWDROPDOWN, TRUE, 0);
  chooseDrive(widen(empty));
  EXPECT_EQ(view_->drive(), before);
  EXPECT_TRUE(boxes.empty());
  SendMessageW(drives, CB_SHOWDROPDOWN, FALSE, 0);
  SendMessageW(view_->hwnd(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(drives), CBN_SELENDCANCEL),
               reinterpret_cast<LPARAM>(drives));
  EXPECT_EQ(SendMessageW(drives, CB_GETCURSEL, 0, 0), shown);

  chooseDrive(widen(empty));
  EXPECT_EQ(boxes, (std::vector<Box>{{48, L"ディスクの準備ができていません．"}}));
  EXPECT_EQ(view_->drive(), before);
  EXPECT_EQ(CompareStringOrdinal(shownDrive().c_str(), 2, widen(before).c_str(), 2, TRUE), CSTR_EQUAL);
  EXPECT_EQ(textOf(control(L"File_Name")), L"keep.txt");
  EXPECT_EQ(files_->curDir(), narrow(dir_));
}

std::optional<std::wstring> registryText(const std::wstring& section, const wchar_t* key) {
  wchar_t buf[256] = {};
  DWORD bytes = sizeof buf;
  DWORD type = 0;
  if (RegGetValueW(HKEY_CURRENT_USER, (kTestKey + L"\\" + section).c_str(), key, RRF_RT_ANY, &type,
                   buf, &bytes) != ERROR_SUCCESS)
    return std::nullopt;
  if (type != REG_SZ) return L"<not a string>";
  return std::wstring(buf);
}

TEST_F(Win32Window, SettingsAreStoredAndReadBackInTheRegistry) {
  // Strings in the sections the Qt program uses; a value of another type is
  // absent.
  ASSERT_TRUE(store_->write("Settings", "MainLeft", "1500"));
  ASSERT_TRUE(store_->write("Settings", "MainTop", "750"));
  ASSERT_TRUE(store_->write("Checks", "Bit16", "1"));
  ASSERT_TRUE(store_->write("Checks", "Size", "1"));
  EXPECT_EQ(registryText(L"Settings", L"MainLeft"), L"1500");
  EXPECT_EQ(store_->read("Checks", "Size"), "1");
  EXPECT_EQ(store_->read("Checks", "Missing"), std::nullopt);
  EXPECT_EQ(store_->read("Nowhere", "Size"), std::nullopt);
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (kTestKey + L"\\Checks").c_str(), 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, &h, nullptr),
            ERROR_SUCCESS);
  const DWORD number = 1;
  RegSetValueExW(h, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  RegCloseKey(h);
  EXPECT_EQ(store_->read("Checks", "Number"), std::nullopt);

  // The window opens where and as they say.
  open();
  const int dpi = screenDpi();
  RECT r{};
  GetWindowRect(view_->hwnd(), &r);
  EXPECT_EQ(r.left, twipsToPixels(1500, dpi));
  EXPECT_EQ(r.top, twipsToPixels(750, dpi));
  EXPECT_EQ(checkOf(L"Check1"), BST_CHECKED);
  EXPECT_EQ(checkOf(L"Option1_1"), BST_CHECKED);
  EXPECT_EQ(form_->PieceSize, 1250304);

  // Moved, switches changed, left through "終　了": saved as text.
  SetWindowPos(view_->hwnd(), nullptr, 150, 90, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  click(L"Check1");
  click(L"Option1_0");
  click(L"Exit_bottn");
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(registryText(L"Settings", L"MainLeft"), widen(numberText(pixelsToTwips(150, dpi))));
  EXPECT_EQ(registryText(L"Settings", L"MainTop"), widen(numberText(pixelsToTwips(90, dpi))));
  EXPECT_EQ(registryText(L"Checks", L"Bit16"), L"0");
  EXPECT_EQ(registryText(L"Checks", L"Size"), L"0");

  // Closing the window while minimised keeps the stored position.
  view_.reset();
  form_.reset();
  open();
  ShowWindow(view_->hwnd(), SW_MINIMIZE);
  click(L"Check1");
  SendMessageW(view_->hwnd(), WM_CLOSE, 0, 0);
  EXPECT_EQ(registryText(L"Settings", L"MainLeft"), widen(numberText(pixelsToTwips(150, dpi))));
  EXPECT_EQ(registryText(L"Checks", L"Bit16"), L"1");
}

TEST_F(Win32Window, SizeBoxAndThreeDigitSwitch) {
  ASSERT_TRUE(store_->write("Checks", "Size", "2"));
  ASSERT_TRUE(store_->write("Checks", "CustomSize", "4GB (FAT32)"));
  open();
  HWND box = control(L"Size_Combo");
  EXPECT_EQ(itemsOf(box, true),
            (std::vector<std::wstring>{L"10MB", L"18MB (メール)", L"100MB", L"650MB (CD)",
                                       L"700MB (CD)", L"4GB (FAT32)", L"4.7GB (DVD)"}));
  EXPECT_EQ(textOf(box), L"4GB (FAT32)");
  EXPECT_EQ(checkOf(L"Option1_2"), BST_CHECKED);
  EXPECT_EQ(form_->PieceSize, 4'294'967'295);

  // Typed (the box tells its window the text changed), then chosen from
  // the closed list with an arrow key.
  click(L"Option1_0");
  SetWindowTextW(box, L"1,5 G");
  const int id = GetDlgCtrlID(box);
  SendMessageW(view_->hwnd(), WM_COMMAND, MAKEWPARAM(id, CBN_EDITCHANGE), reinterpret_cast<LPARAM>(box));
  EXPECT_EQ(checkOf(L"Option1_2"), BST_CHECKED);
  EXPECT_EQ(checkOf(L"Option1_0"), BST_UNCHECKED);
  EXPECT_EQ(form_->PieceSize, 1457664);  // no size in the box
  SendMessageW(box, CB_SETCURSEL, 1, 0);
  SendMessageW(view_->hwnd(), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(box));
  EXPECT_EQ(textOf(box), L"18MB (メール)");
  EXPECT_EQ(form_->PieceSize, 18'000'000);

  EXPECT_EQ(form_->pieceDigits(), 1);
  click(L"Check2");
  EXPECT_EQ(form_->pieceDigits(), 3);
  click(L"Exit_bottn");
  EXPECT_EQ(registryText(L"Checks", L"Size"), L"2");
  EXPECT_EQ(registryText(L"Checks", L"CustomSize"), L"18MB (メール)");
  EXPECT_EQ(registryText(L"Checks", L"Digits3"), L"1");
}

TEST_F(Win32Window, OutputFolderChooserAndRecoveryPercent) {
  CreateDirectoryW(path(L"out").c_str(), nullptr);
  open();
  // "参照…" opens the folder chooser at the folder on show; the folder
  // chosen lands in the field, Cancel leaves it as it was.
  std::vector<std::wstring> starts;
  std::deque<std::optional<std::wstring>> picks = {path(L"out"), std::nullopt};
  view_->setFolderHook([&](const std::wstring& start) {
    starts.push_back(start);
    auto pick = picks.front();
    picks.pop_front();
    return pick;
  });
  click(L"Out_Browse");
  EXPECT_EQ(textOf(control(L"Out_Dir")), path(L"out"));
  EXPECT_EQ(view_->outputDir(), narrow(path(L"out")));
  click(L"Out_Browse");
  EXPECT_EQ(textOf(control(L"Out_Dir")), path(L"out"));
  EXPECT_EQ(starts, (std::vector<std::wstring>{dir_, path(L"out")}));

  // The percentage as typed, held to 1..100; a field without a number
  // gives the up-down control's value.
  const struct {
    const wchar_t* typed;
    int percent;
  } typed[] = {{L"7", 7}, {L"100", 100}, {L"250", 100}, {L"0", 1}, {L"", 7}};
  SendMessageW(control(L"Recovery_Spin"), UDM_SETPOS32, 0, 7);
  for (const auto& t : typed) {
    SetWindowTextW(control(L"Recovery_Pct"), t.typed);
    EXPECT_EQ(view_->recoveryPercent(), t.percent) << narrow(t.typed);
  }
  view_->setRecoveryPercent(42);
  EXPECT_EQ(textOf(control(L"Recovery_Pct")), L"42");
  click(L"Check3");
  EXPECT_EQ(view_->check3(), 1);
  view_->setCheck3(0);
  EXPECT_EQ(checkOf(L"Check3"), BST_UNCHECKED);

  // After a refused size the keyboard is in the size box, its text selected.
  view_->setSizeText("12 parsecs");
  view_->focusSizeBox();
  HWND box = control(L"Size_Combo");
  EXPECT_TRUE(GetFocus() == box || IsChild(box, GetFocus()));
  const LRESULT sel = SendMessageW(box, CB_GETEDITSEL, 0, 0);
  EXPECT_EQ(LOWORD(sel), 0);
  EXPECT_EQ(HIWORD(sel), 10);
}

// During a request "更　新" and "参照…" are off; "終　了" and the window's
// close box reach the question, which ends the program only on Yes, once
// the request is over.
TEST_F(Win32Window, ClosingDuringARequestAsks) {
  writeBytes(path(L"data.bin"), patterned(1457664 + 5));
  const struct {
    const char* how;
    bool byExitButton;
    int answer;
    int ends;
  } cases[] = {{"close box, No", false, kAnswerNo, 0}, {"終　了, Yes", true, kAnswerYes, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    open();
    choose(L"FIle_list", L"data.bin");
    std::vector<Box> asked;
    std::vector<bool> enabled;  // Refresh_bottn, Out_Browse, Exit_bottn, Ret_bottn
    view_->setMessageHook([&](int style, const std::wstring& text) {
      if (style != kStyleInformation) {
        asked.push_back({style, text});
        return c.answer;
      }
      for (const wchar_t* name : {L"Refresh_bottn", L"Out_Browse", L"Exit_bottn", L"Ret_bottn"})
        enabled.push_back(IsWindowEnabled(control(name)) != FALSE);
      if (c.byExitButton) {
        PostMessageW(control(L"Exit_bottn"), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        PostMessageW(control(L"Exit_bottn"), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
      } else {
        PostMessageW(view_->hwnd(), WM_CLOSE, 0, 0);
      }
      view_->processEvents();
      EXPECT_EQ(ends, 0) << "nothing ends while the request runs";
      return kAnswerOk;
    });
    click(L"Ret_bottn");
    EXPECT_EQ(asked, (std::vector<Box>{{kStyleYesNoQuestionNoDefault, L"中止して終了しますか？"}}));
    EXPECT_EQ(enabled, (std::vector<bool>{false, false, true, true}));
    EXPECT_EQ(ends, c.ends);
    EXPECT_TRUE(IsWindowEnabled(control(L"Refresh_bottn")));
    EXPECT_TRUE(IsWindowEnabled(control(L"Out_Browse")));
    form_.reset();
    view_.reset();
    ends = 0;
    for (const wchar_t* name : {L"data.bin.1", L"data.bin.2", L"data.bin.crc"}) DeleteFileW(path(name).c_str());
  }
}

TEST_F(Win32Window, StopWhileARequestRunsAndNothingElseGetsIn) {
  writeBytes(path(L"data.bin"), patterned(1457664 + 5));
  open();
  HWND bar = control(L"Progress_bar");
  EXPECT_EQ(CompareStringOrdinal(classOf(bar).c_str(), -1, PROGRESS_CLASSW, -1, TRUE), CSTR_EQUAL);
  expectPlaced(bar, ControlCase{L"Progress_bar", PROGRESS_CLASSW, nullptr, 2880, 3780, 2415, 180},
               POINT{0, 0});
  choose(L"FIle_list", L"data.bin");

  // The completion box comes while the request still runs: input queued to
  // the window is kept out, Escape and a click on "中　止" stop.
  struct Seen {
    std::wstring caption, name;
    bool before, afterOthers, afterStop;
    int barPos, barMax;
    std::wstring barThird, barFull;  // the percentage drawn over the bar
  };
  std::vector<Seen> seen;
  int round = 0;
  auto post = [](HWND h, UINT msg, WPARAM wp) { PostMessageW(h, msg, wp, MAKELPARAM(5, 5)); };
  view_->setMessageHook([&](int, const std::wstring&) {
    Seen s;
    s.caption = textOf(control(L"Ret_bottn"));
    s.before = form_->stopRequested();
    post(control(L"Refresh_bottn"), WM_LBUTTONDOWN, MK_LBUTTON);
    post(control(L"Refresh_bottn"), WM_LBUTTONUP, 0);
    post(control(L"FIle_list"), WM_KEYDOWN, VK_END);
    view_->processEvents();
    s.afterOthers = form_->stopRequested();
    s.name = textOf(control(L"File_Name"));
    if (round == 0) {
      post(control(L"FIle_list"), WM_KEYDOWN, VK_ESCAPE);
    } else {
      post(control(L"Ret_bottn"), WM_LBUTTONDOWN, MK_LBUTTON);
      post(control(L"Ret_bottn"), WM_LBUTTONUP, 0);
    }
    view_->processEvents();
    s.afterStop = form_->stopRequested();
    form_->progress(0, 6LL << 30);
    view_->setProgress(2LL << 30, 6LL << 30);
    s.barThird = textOf(bar);
    form_->progress(6LL << 30, 6LL << 30);
    s.barFull = textOf(bar);
    s.barPos = static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0));
    s.barMax = static_cast<int>(SendMessageW(bar, PBM_GETRANGE, FALSE, 0));
    seen.push_back(s);
    return kAnswerOk;
  });
  for (round = 0; round < 2; ++round) click(L"Ret_bottn");
  ASSERT_EQ(seen.size(), 2u);
  for (const Seen& s : seen) {
    EXPECT_EQ(s.caption, L"決　定");  // back on its caption before the completion box
    EXPECT_FALSE(s.before);
    EXPECT_FALSE(s.afterOthers);
    EXPECT_EQ(s.name, L"data.bin");
    EXPECT_TRUE(s.afterStop);
    EXPECT_EQ(s.barPos, s.barMax) << "the end drawn full";
    EXPECT_EQ(s.barThird, L"33%");
    EXPECT_EQ(s.barFull, L"100%");
  }
  EXPECT_EQ(textOf(bar), L"") << "no percentage between requests";
  EXPECT_EQ(textOf(control(L"Ret_bottn")), L"決　定");
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 0);
  EXPECT_FALSE(form_->stopRequested());
  EXPECT_TRUE(IsWindowEnabled(view_->hwnd()));
}

TEST_F(Win32Window, LargerWindowOpenedFileDropAndPlaceOnScreen) {
  CreateDirectoryW(path(L"sub").c_str(), nullptr);
  const std::wstring longName = L"始まり_" + std::wstring(60, L'x') + L"_終わり.txt";
  writeBytes(path(L"sub\\" + longName), "x");
  writeBytes(path(L"sub\\b.bin"), "b");
  // A stored position far off every screen.
  ASSERT_TRUE(store_->write("Settings", "MainLeft", "900000"));
  ASSERT_TRUE(store_->write("Settings", "MainTop", "-5000"));
  open();
  HWND main = view_->hwnd();
  RECT outer{};
  GetWindowRect(main, &outer);
  MONITORINFO screen{};
  screen.cbSize = sizeof screen;
  GetMonitorInfoW(MonitorFromWindow(main, MONITOR_DEFAULTTONEAREST), &screen);
  EXPECT_EQ(outer.right, screen.rcWork.right);
  EXPECT_EQ(outer.top, screen.rcWork.top);
  EXPECT_EQ(registryText(L"Settings", L"MainLeft"), L"900000") << "stored only at close";
  {
    // Stored below every screen: the whole window comes back, not only its
    // title bar.
    ASSERT_TRUE(store_->write("Settings", "MainLeft", "0"));
    ASSERT_TRUE(store_->write("Settings", "MainTop", "900000"));
    Win32MainView below;
    MainForm belowForm(below, *files_, *store_);
    below.setEndHook([] {});
    below.create(belowForm);
    RECT r{};
    GetWindowRect(below.hwnd(), &r);
    EXPECT_EQ(r.bottom, screen.rcWork.bottom);
    EXPECT_EQ(r.bottom - r.top, outer.bottom - outer.top);
  }

  // A file named from outside: its directory, the file chosen, its whole
  // name as File_Name's tooltip.
  form_->openPath(narrow(path(L"sub\\" + longName)));
  EXPECT_EQ(textOf(control(L"File_Name")), longName);
  HWND files = control(L"FIle_list");
  const LRESULT sel = SendMessageW(files, LB_GETCURSEL, 0, 0);
  ASSERT_GE(sel, 0);
  EXPECT_EQ(itemsOf(files, false)[static_cast<std::size_t>(sel)], longName);
  // Too long for the list: drawn cut, whole in its tooltip; a short name
  // has none.
  EXPECT_EQ(view_->cutEntryTip(L"FIle_list", static_cast<int>(sel)), longName);
  EXPECT_EQ(view_->cutEntryTip(L"FIle_list", sel == 0 ? 1 : 0), L"");
  EXPECT_EQ(GetWindowLongW(files, GWL_STYLE) & (LBS_OWNERDRAWFIXED | LBS_HASSTRINGS),
            LBS_OWNERDRAWFIXED | LBS_HASSTRINGS);
  EXPECT_EQ(narrow(path(L"sub")), files_->curDir());
  EXPECT_TRUE(GetWindowLongW(control(L"File_Name"), GWL_STYLE) & SS_PATHELLIPSIS);
  HWND tip = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr);
  for (; tip; tip = FindWindowExW(nullptr, tip, TOOLTIPS_CLASSW, nullptr))
    if (GetWindow(tip, GW_OWNER) == main) break;
  ASSERT_NE(tip, nullptr);
  const auto tipOf = [&](HWND tool) {
    wchar_t text[256] = {};
    TOOLINFOW t{};
    t.cbSize = TTTOOLINFOW_V1_SIZE;
    t.hwnd = main;
    t.uId = reinterpret_cast<UINT_PTR>(tool);
    t.lpszText = text;
    SendMessageW(tip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&t));
    return std::wstring(text);
  };
  EXPECT_EQ(tipOf(control(L"File_Name")), longName);
  // The mouse over the cut entry of the file list gives that list's tip
  // the whole name, over a whole one nothing.
  const auto listTipAt = [&](LRESULT index) {
    RECT item{};
    SendMessageW(files, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    SendMessageW(files, WM_MOUSEMOVE, 0, MAKELPARAM(item.left + 5, (item.top + item.bottom) / 2));
    return tipOf(files);
  };
  EXPECT_EQ(listTipAt(sel), longName);
  EXPECT_EQ(listTipAt(sel == 0 ? 1 : 0), L"");

  // A file dropped on the window.
  dropFile(path(L"sub\\b.bin"));
  EXPECT_EQ(textOf(control(L"File_Name")), L"b.bin");
  EXPECT_TRUE(boxes.empty());

  // Larger by 200 x 100 pixels: the lists take the room, the buttons keep
  // their distance to the bottom right; never smaller than designed.
  struct Moved {
    const wchar_t* name;
    int left, top, width, height;  // change in pixels
  } moved[] = {{L"FIle_list", 0, 0, 100, 100}, {L"Dir_name", 100, 0, 100, 100},
               {L"Sel_Drive", 100, 0, 100, 0},   {L"Frame1", 0, 100, 0, 0},
               {L"Progress_bar", 200, 100, 0, 0}, {L"Ret_bottn", 200, 100, 0, 0}};
  std::vector<RECT> before;
  for (const Moved& m : moved) before.push_back(placeOf(control(m.name)));
  const int w = outer.right - outer.left, h = outer.bottom - outer.top;
  for (int grow : {1, 0}) {  // larger, then asked to be far smaller than designed
    SetWindowPos(main, nullptr, 0, 0, grow ? w + 200 : 50, grow ? h + 100 : 50,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    pump();
    for (std::size_t i = 0; i < std::size(moved); ++i) {
      const RECT a = placeOf(control(moved[i].name)), &b = before[i];
      const RECT want{b.left + grow * moved[i].left, b.top + grow * moved[i].top,
                      b.right + grow * (moved[i].left + moved[i].width),
                      b.bottom + grow * (moved[i].top + moved[i].height)};
      EXPECT_TRUE(EqualRect(&a, &want)) << narrow(moved[i].name) << " grow " << grow;
    }
  }
  RECT client{};
  GetClientRect(main, &client);
  EXPECT_EQ(client.right, twipsToPixels(5835, screenDpi()));
  EXPECT_EQ(client.bottom, twipsToPixels(5550, screenDpi()));
}

TEST_F(Win32Window, KeyboardPathFromTheStartSplitsTheFirstFile) {
  const std::string source = patterned(1457664 + 100);
  writeBytes(path(L"a.bin"), source);
  writeBytes(path(L"b.bin"), "b");
  open();
  SetForegroundWindow(view_->hwnd());
  SetActiveWindow(view_->hwnd());
  pump();
  // At start the keyboard is with Sel_Drive, first in the tab order.
  EXPECT_EQ(controlName(GetFocus()), L"Sel_Drive");

  // Tab, Tab, Home, Space, Enter: the first file of the list is split.
  for (const UINT key : {VK_TAB, VK_TAB, VK_HOME, VK_SPACE, VK_RETURN}) {
    MSG msg{GetFocus(), WM_KEYDOWN, key, 0, 0, {}};
    if (!view_->preTranslate(msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    pump();
  }
  EXPECT_EQ(textOf(control(L"File_Name")), L"a.bin");
  EXPECT_EQ(boxes, kSplitDone);
  EXPECT_EQ(bytesOf(path(L"a.bin.2")), source.substr(1457664));

  // The keyboard comes back to the control that had it.
  EXPECT_EQ(controlName(GetFocus()), L"FIle_list");
}

// The path of a directory as drive Z: (Wine's view of the whole Unix file
// system) shows it, or "" when there is no such drive.
std::wstring onDriveZ(const std::wstring& dir) {
  using UnixName = char* (*)(const wchar_t*);
  const auto unixName =
      reinterpret_cast<UnixName>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!unixName || GetDriveTypeW(L"Z:\\") == DRIVE_NO_ROOT_DIR) return {};
  char* unix = unixName(dir.c_str());
  if (!unix) return {};
  std::wstring z = L"Z:" + widen(unix);
  HeapFree(GetProcessHeap(), 0, unix);
  for (wchar_t& c : z)
    if (c == L'/') c = L'\\';
  return z;
}

TEST_F(Win32Window, AFileNamedFromOutsideOpensItsOwnDrive) {
  CreateDirectoryW(path(L"g1").c_str(), nullptr);
  const std::string source = patterned(1457664 + 5);
  writeBytes(path(L"g1\\report.doc"), source);
  writeBytes(path(L"report.doc"), "the same name in the folder shown before");
  const std::wstring z = onDriveZ(path(L"g1"));
  if (z.empty() || driveOf(dir_) == L"Z:") GTEST_SKIP() << "no second drive holding the test folder";
  open();
  ASSERT_EQ(driveOf(widen(files_->curDir())), driveOf(dir_));

  // "vexo.exe Z:\...\g1\report.doc": drive, folder and file as the window
  // shows them, and "決　定" splits that file.
  form_->openPath(narrow(z + L"\\report.doc"));
  EXPECT_EQ(widen(files_->curDir()), z);
  EXPECT_EQ(driveOf(shownDrive()), L"Z:");
  EXPECT_EQ(textOf(control(L"File_Name")), L"report.doc");
  EXPECT_EQ(request(L""), kSplitDone);
  EXPECT_EQ(bytesOf(path(L"g1\\report.doc.2")), source.substr(1457664));
  EXPECT_EQ(bytesOf(path(L"report.doc.1")), "<missing>");

  // Back on the first drive by a dropped file.
  boxes.clear();
  dropFile(path(L"report.doc"));
  EXPECT_EQ(widen(files_->curDir()), dir_);
  EXPECT_EQ(driveOf(shownDrive()), driveOf(dir_));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Win32Window, AFolderDeeperThanMaxPathIsShown) {
  std::wstring deep = dir_;
  for (int level = 0; level < 3; ++level) {
    deep += L"\\" + std::wstring(100, static_cast<wchar_t>(L'p' + level));
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
  }
  const std::string source = "deep";
  {
    HANDLE h = CreateFileW((L"\\\\?\\" + deep + L"\\deep.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD put = 0;
    WriteFile(h, source.data(), static_cast<DWORD>(source.size()), &put, nullptr);
    CloseHandle(h);
  }
  open();
  form_->openPath(narrow(deep + L"\\deep.bin"));
  EXPECT_TRUE(boxes.empty());
  EXPECT_EQ(itemsOf(control(L"FIle_list"), false), std::vector<std::wstring>{L"deep.bin"});
  EXPECT_EQ(textOf(control(L"File_Name")), L"deep.bin");

  // Cleared by hand: the fixture's clean-up reads paths of ordinary length.
  form_.reset();
  view_.reset();
  SetCurrentDirectoryW(dir_.c_str());
  files_->chDir(narrow(dir_));
  EXPECT_TRUE(DeleteFileW((L"\\\\?\\" + deep + L"\\deep.bin").c_str()));
  for (int level = 0; level < 3; ++level) {
    EXPECT_TRUE(RemoveDirectoryW((L"\\\\?\\" + deep).c_str()));
    deep.resize(deep.rfind(L'\\'));
  }
}

TEST(Win32Program, BothProgramsCarryTheLongPathManifest) {
  // The programs, in the build directory this test program is in.
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring build = self;
  build.resize(build.rfind(L'\\'));  // tests\win32
  build.resize(build.rfind(L'\\'));  // tests
  build.resize(build.rfind(L'\\'));  // the build directory
  for (const wchar_t* program : {L"\\app\\vexo.exe", L"\\app\\cli\\vexo-cli.exe"}) {
    const std::wstring exe = build + program;
    HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module, nullptr) << narrow(exe);
    HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(res, nullptr);
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, res)));
    const std::string manifest(bytes, SizeofResource(module, res));
    FreeLibrary(module);
    EXPECT_NE(manifest.find("<ws2:longPathAware>true</ws2:longPathAware>"), std::string::npos);
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  }
}

TEST(Win32Listing, DriveTextsAndMiddleCuts) {
  EXPECT_EQ(driveText(L"C:", L"Windows"), L"C: (Windows)");
  EXPECT_EQ(driveText(L"R:", L""), L"R:");
  // A drive without its disc is listed at once, without a label.
  const char* empty = std::getenv("VEXO_TEST_EMPTY_DRIVE");
  if (empty && *empty) {
    const std::wstring drive = widen(empty);
    bool listed = false;
    for (const DriveEntry& d : readDrives())
      if (d.drive == drive) {
        listed = true;
        EXPECT_EQ(d.text, drive);
      }
    EXPECT_TRUE(listed) << empty;
  }

  // One unit per code unit: the start and (a little more of) the end kept
  // around "…", never half a surrogate pair.
  const auto units = [](const std::wstring& t) { return static_cast<int>(t.size()); };
  const struct {
    const wchar_t* text;
    int width;
    const wchar_t* shown;
  } cuts[] = {
      {L"report.doc.123", 14, L"report.doc.123"},
      {L"report.doc.123", 10, L"repo\u2026c.123"},
      {L"report.doc.123", 5, L"re\u202623"},
      {L"report.doc.123", 1, L"\u2026"},
      {L"report.doc.123", 0, L"\u2026"},
      {L"", 0, L""},
      {L"ab\U0001F600cd\U0001F600ef", 7, L"ab\u2026\U0001F600ef"},
      {L"ab\U0001F600cd\U0001F600ef", 6, L"ab\u2026ef"},
  };
  for (const auto& c : cuts)
    EXPECT_EQ(cutMiddle(c.text, c.width, units), c.shown) << narrow(c.text) << " in " << c.width;
}

TEST(Win32Listing, PathChainsAndTwips) {
  const struct {
    std::wstring dir;
    std::vector<std::wstring> chain;
  } cases[] = {
      {L"C:\\", {L"C:\\"}},
      {L"C:\\a", {L"C:\\", L"C:\\a"}},
      {L"C:\\a\\b c", {L"C:\\", L"C:\\a", L"C:\\a\\b c"}},
      {L"\\\\server\\share", {L"\\\\server\\share"}},
  };
  for (const auto& c : cases) EXPECT_EQ(pathChain(c.dir), c.chain) << narrow(c.dir);
  EXPECT_EQ(joinPath(L"C:\\", L"x"), L"C:\\x");
  EXPECT_EQ(joinPath(L"C:\\a", L"x"), L"C:\\a\\x");
  EXPECT_EQ(driveOf(L"c:\\x"), L"C:");
  EXPECT_EQ(driveOf(L"\\\\s\\x"), L"");
  EXPECT_EQ(twipsToPixels(1000, 96), 67);
  EXPECT_EQ(twipsToPixels(5835, 144), 584);
}

}  // namespace
}  // namespace vexo::win32
