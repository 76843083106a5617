#ifdef _WIN32
#include "win32_main_view.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cwctype>
#include <iterator>

#include "file_services.h"
#include "size_text.h"
#include "texts.h"
#include "win32_listing.h"

namespace vexo::win32 {

namespace {

constexpr wchar_t kNameProperty[] = L"VexoName";
constexpr wchar_t kMainClass[] = L"VexoMain";
constexpr wchar_t kInputClass[] = L"VexoInput";

enum ControlId : int {
  kIdDrive = 101,
  kIdDir,
  kIdLabel1,
  kIdFiles,
  kIdRet,
  kIdRefresh,
  kIdExit,
  kIdFileName,
  kIdLabel2,
  kIdFrame,
  kIdOption0,
  kIdOption1,
  kIdCheck,
  kIdOption2,
  kIdSizeCombo,
  kIdCheck2,
  kIdProgress,
  kIdInputLabel = 201,
  kIdCommand1,
  kIdCommand2,
  kIdCombo,
};

// A control of a form: its name, window class, caption, style, place and
// size in twips relative to the form's client area. The order of a table is
// the tab order.
struct ControlSpec {
  const wchar_t* name;
  const wchar_t* windowClass;
  const char* caption;
  DWORD style;
  DWORD exStyle;
  int left, top, width, height;
  int id;
};

constexpr DWORD kListStyle = WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_TABSTOP;

// Option1 lies in Frame1 at (240, 240), (240, 600) and (240, 960), the size
// box beside Option1(2); as children of the main window they are placed at
// the frame's position plus those. The frame is wider and taller than
// designed to hold them, and the window taller for Check2 under Check1.
const ControlSpec kMainControls[] = {
    {L"Sel_Drive", WC_COMBOBOXW, "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP, 0, 3000, 360, 2655, 300, kIdDrive},
    {L"Dir_name", WC_LISTBOXW, "", kListStyle | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS, WS_EX_CLIENTEDGE, 3000, 720, 2655, 1980, kIdDir},
    {L"Label1", WC_STATICW, text::kLabel1, SS_NOPREFIX | SS_LEFTNOWORDWRAP, 0, 120, 120, 2055, 255, kIdLabel1},
    {L"FIle_list", WC_LISTBOXW, "", kListStyle, WS_EX_CLIENTEDGE, 120, 720, 2655, 2010, kIdFiles},
    {L"Ret_bottn", WC_BUTTONW, text::kRetBottn, BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 2160, 4200, 1095, 375, kIdRet},
    {L"Refresh_bottn", WC_BUTTONW, text::kRefreshBottn, BS_PUSHBUTTON | WS_TABSTOP, 0, 3360, 4200, 975, 375, kIdRefresh},
    {L"Exit_bottn", WC_BUTTONW, text::kExitBottn, BS_PUSHBUTTON | WS_TABSTOP, 0, 4560, 4200, 1095, 375, kIdExit},
    // A name too long for it loses its middle; SS_NOTIFY lets its tooltip
    // see the mouse.
    {L"File_Name", WC_STATICW, "", SS_NOPREFIX | SS_LEFTNOWORDWRAP | SS_PATHELLIPSIS | SS_NOTIFY, 0, 120, 360, 2655, 255, kIdFileName},
    {L"Label2", WC_STATICW, "", SS_NOPREFIX | SS_LEFT, 0, 2880, 3240, 2415, 495, kIdLabel2},
    {L"Progress_bar", PROGRESS_CLASSW, "", 0, 0, 2880, 3780, 2415, 180, kIdProgress},
    {L"Frame1", WC_BUTTONW, text::kFrame1, BS_GROUPBOX, 0, 240, 2880, 2610, 1290, kIdFrame},
    {L"Option1_0", WC_BUTTONW, text::kOption1_0, BS_AUTORADIOBUTTON | WS_TABSTOP | WS_GROUP, 0, 240 + 240, 2880 + 240, 1575, 255, kIdOption0},
    {L"Option1_1", WC_BUTTONW, text::kOption1_1, BS_AUTORADIOBUTTON, 0, 240 + 240, 2880 + 600, 1695, 255, kIdOption1},
    {L"Option1_2", WC_BUTTONW, text::kOption1_2, BS_AUTORADIOBUTTON, 0, 240 + 240, 2880 + 960, 1275, 255, kIdOption2},
    {L"Size_Combo", WC_COMBOBOXW, "", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP | WS_GROUP, 0, 240 + 1530, 2880 + 915, 1020, 330, kIdSizeCombo},
    {L"Check1", WC_BUTTONW, text::kCheck1, BS_3STATE | WS_TABSTOP | WS_GROUP, 0, 480, 4200, 1575, 375, kIdCheck},
    {L"Check2", WC_BUTTONW, text::kCheck2, BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP, 0, 480, 4575, 1695, 375, kIdCheck2},
};

const ControlSpec kInputControls[] = {
    {L"Label1", WC_STATICW, text::kInputLabel1, SS_NOPREFIX | SS_LEFTNOWORDWRAP, 0, 120, 120, 2775, 255, kIdInputLabel},
    {L"Command1", WC_BUTTONW, text::kCommand1, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 0, 480, 1080, 855, 375, kIdCommand1},
    {L"Command2", WC_BUTTONW, text::kCommand2, BS_PUSHBUTTON | WS_TABSTOP, 0, 1680, 1080, 855, 375, kIdCommand2},
    {L"Combo1", WC_COMBOBOXW, "", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 0, 840, 480, 1215, 300, kIdCombo},
};

constexpr int kMainWidth = 5835, kMainHeight = 5130;     // client area, twips
constexpr int kInputWidth = 2985, kInputHeight = 1590;   // client area, twips
constexpr int kInputLeft = 3285, kInputTop = 2025;       // where the dialog opens, twips
constexpr DWORD kMainStyle =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME;
constexpr DWORD kInputStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;

int px(double twips) { return twipsToPixels(twips, screenDpi()); }

// Outer size of a window whose client area is that many twips.
SIZE outerSize(int widthTwips, int heightTwips, DWORD style) {
  RECT r{0, 0, px(widthTwips), px(heightTwips)};
  AdjustWindowRectEx(&r, style, FALSE, 0);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

void registerClass(const wchar_t* name, WNDPROC proc) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  if (GetClassInfoExW(GetModuleHandleW(nullptr), name, &wc)) return;
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
  if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name;
  RegisterClassExW(&wc);
}

// Makes the selection field of a combo box as tall as its designed height.
void fitComboHeight(HWND combo, int heightPixels) {
  RECT r{};
  GetWindowRect(combo, &r);
  const int field = r.bottom - r.top;
  const LRESULT item = SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
  if (item > 0 && field != heightPixels)
    SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), item + (heightPixels - field));
}

void createControls(HWND parent, const ControlSpec* begin, const ControlSpec* end) {
  for (const ControlSpec* c = begin; c != end; ++c) {
    const bool combo = std::wstring(c->windowClass) == WC_COMBOBOXW;
    // A combo box's height includes its drop-down list.
    const int height = combo ? px(c->height) * 8 : px(c->height);
    HWND h = CreateWindowExW(c->exStyle, c->windowClass, widen(c->caption).c_str(),
                             WS_CHILD | WS_VISIBLE | c->style, px(c->left), px(c->top),
                             px(c->width), height, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(c->id)),
                             GetModuleHandleW(nullptr), nullptr);
    SetPropW(h, kNameProperty, const_cast<wchar_t*>(c->name));
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(formFont()), FALSE);
    if (combo) fitComboHeight(h, px(c->height));
  }
}

std::wstring windowText(HWND h) {
  const int n = GetWindowTextLengthW(h);
  std::wstring w(static_cast<std::size_t>(n) + 1, L'\0');
  w.resize(static_cast<std::size_t>(GetWindowTextW(h, w.data(), n + 1)));
  return w;
}

std::wstring listText(HWND list, int index) {
  const LRESULT n = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (n == LB_ERR) return {};
  std::wstring w(static_cast<std::size_t>(n) + 1, L'\0');
  const LRESULT got = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index),
                                   reinterpret_cast<LPARAM>(w.data()));
  w.resize(got == LB_ERR ? 0 : static_cast<std::size_t>(got));
  return w;
}

bool sameDirectory(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// A directory path as the lists keep it: a drive's root with its backslash
// ("C:\"), any other directory without one ("C:\users").
std::wstring plainDirectory(std::wstring path) {
  std::replace(path.begin(), path.end(), L'/', L'\\');
  while (path.size() > 3 && path.back() == L'\\') path.pop_back();
  if (path.size() == 2 && !driveOf(path).empty()) path += L'\\';
  if (!driveOf(path).empty()) path[0] = static_cast<wchar_t>(std::towupper(path[0]));
  return path;
}

// The drive a text names ("c:", "C:", "c: [label]"), as "C:".
std::wstring driveName(const std::string& drive) {
  return driveOf(widen(drive));
}

int CALLBACK noteFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

struct NameSearch {
  const std::wstring* name;
  HWND found;
};

BOOL CALLBACK matchName(HWND h, LPARAM p);

bool hasFace(const wchar_t* face) {
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
  bool found = false;
  HDC dc = GetDC(nullptr);
  EnumFontFamiliesExW(dc, &lf, noteFace, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, dc);
  return found;
}

}  // namespace

std::wstring controlName(HWND hwnd) {
  const auto* name = static_cast<const wchar_t*>(GetPropW(hwnd, kNameProperty));
  return name ? name : L"";
}

namespace {

BOOL CALLBACK matchName(HWND h, LPARAM p) {
  auto* s = reinterpret_cast<NameSearch*>(p);
  if (controlName(h) != *s->name) return TRUE;
  s->found = h;
  return FALSE;
}

}  // namespace

HWND findControl(HWND parent, const std::wstring& name) {
  NameSearch search{&name, nullptr};
  EnumChildWindows(parent, matchName, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

int screenDpi() {
  static const int dpi = [] {
    HDC dc = GetDC(nullptr);
    const int d = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
    if (dc) ReleaseDC(nullptr, dc);
    return d > 0 ? d : 96;
  }();
  return dpi;
}

HFONT formFont() {
  static const HFONT font = [] {
    // The usual Japanese user-interface fonts of Windows, then one that
    // other systems (and Wine on them) offer.
    const wchar_t* faces[] = {L"MS UI Gothic", L"Meiryo UI", L"Yu Gothic UI", L"Noto Sans CJK JP",
                              L"MS Gothic"};
    const wchar_t* face = L"MS UI Gothic";
    for (const wchar_t* f : faces) {
      if (hasFace(f)) {
        face = f;
        break;
      }
    }
    return CreateFontW(-MulDiv(9, screenDpi(), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, face);
  }();
  return font;
}

// ---------------------------------------------------------------------------
// The main window.

Win32MainView::Win32MainView() = default;

Win32MainView::~Win32MainView() {
  if (hwnd_) {
    HWND h = hwnd_;
    hwnd_ = nullptr;
    SetWindowLongPtrW(h, GWLP_USERDATA, 0);
    DestroyWindow(h);
  }
}

void Win32MainView::create(MainForm& form) {
  form_ = &form;
  dpi_ = screenDpi();
  INITCOMMONCONTROLSEX classes{sizeof classes, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&classes);
  registerClass(kMainClass, &Win32MainView::windowProc);
  const SIZE size = outerSize(kMainWidth, kMainHeight, kMainStyle);
  CreateWindowExW(0, kMainClass, widen(text::kMainCaption).c_str(), kMainStyle, px(1000), px(1000),
                  size.cx, size.cy, nullptr, nullptr, GetModuleHandleW(nullptr), this);
  SetPropW(hwnd_, kNameProperty, const_cast<wchar_t*>(L"Main"));
  createControls(hwnd_, std::begin(kMainControls), std::end(kMainControls));
  // The frame is drawn beneath the option buttons it holds. It takes no
  // focus, so the keyboard's order stays that of the table.
  SetWindowPos(control(L"Frame1"), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SendMessageW(control(L"Option1_0"), BM_SETCHECK, BST_CHECKED, 0);  // selected at design time
  selectedOption_ = 0;
  HWND sizes = control(L"Size_Combo");
  int widest = 0;
  HDC dc = GetDC(sizes);
  HGDIOBJ old = SelectObject(dc, formFont());
  for (const SizePreset& preset : kSizePresets) {
    const std::wstring item = widen(preset.text);
    SendMessageW(sizes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
    SIZE extent{};
    GetTextExtentPoint32W(dc, item.c_str(), static_cast<int>(item.size()), &extent);
    widest = std::max(widest, static_cast<int>(extent.cx));
  }
  SelectObject(dc, old);
  ReleaseDC(sizes, dc);
  // The list opens as wide as its entries, wider than the box.
  SendMessageW(sizes, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(widest + px(300)), 0);
  SendMessageW(control(L"Progress_bar"), PBM_SETRANGE32, 0, 1);
  // Where every control sits at the designed size, and how it follows a
  // larger window (layout.h).
  layout_.clear();
  for (HWND child = GetWindow(hwnd_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
    LayoutRect designed{r.left, r.top, r.right - r.left, r.bottom - r.top};
    // A combo box is sized with its drop-down list, as it was created.
    for (const ControlSpec& c : kMainControls)
      if (controlName(child) == c.name && std::wstring(c.windowClass) == WC_COMBOBOXW)
        designed.height = px(c.height) * 8;
    layout_.push_back({child, designed,
                       anchorOf(narrow(controlName(child)), designed, px(kMainWidth), px(kMainHeight))});
  }
  // File_Name shows its whole text as a tooltip.
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                             GetModuleHandleW(nullptr), nullptr);
  if (tooltip_) {
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V1_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(control(L"File_Name"));
    tool.lpszText = const_cast<wchar_t*>(L"");
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  DragAcceptFiles(hwnd_, TRUE);
  laidOutWidth_ = px(kMainWidth);
  laidOutHeight_ = px(kMainHeight);
  created_ = true;
  form.Form_Load();
}

namespace {

// The view a window's messages go to: the one passed at creation, kept in
// the window's user data from WM_NCCREATE on (attach tells it its window).
template <typename View, typename Attach>
View* viewOf(HWND hwnd, UINT msg, LPARAM lp, Attach attach) {
  if (msg == WM_NCCREATE) {
    auto* view = static_cast<View*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    attach(view, hwnd);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(view));
  }
  return reinterpret_cast<View*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

}  // namespace

LRESULT CALLBACK Win32MainView::windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Win32MainView* view = viewOf<Win32MainView>(hwnd, msg, lp, [](auto* v, HWND h) { v->hwnd_ = h; });
  return view ? view->handle(msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT Win32MainView::handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_GETMINMAXINFO: {
      // Never smaller than designed.
      const SIZE least = outerSize(kMainWidth, kMainHeight, kMainStyle);
      auto* info = reinterpret_cast<MINMAXINFO*>(lp);
      info->ptMinTrackSize.x = least.cx;
      info->ptMinTrackSize.y = least.cy;
      return 0;
    }
    case WM_SIZE:
      if (created_ && wp != SIZE_MINIMIZED) layoutControls(LOWORD(lp), HIWORD(lp));
      return 0;
    case WM_ACTIVATE:
      // The keyboard stays with the controls: the one that had it gets it
      // back when the window is active again, Sel_Drive (first in the tab
      // order) at start.
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus)) savedFocus_ = focus;
      } else if (!HIWORD(wp)) {
        focusControls();
      }
      return 0;
    case WM_SETFOCUS:
      focusControls();
      return 0;
    case WM_DROPFILES: {
      auto drop = reinterpret_cast<HDROP>(wp);
      const UINT n = DragQueryFileW(drop, 0, nullptr, 0);
      std::wstring path(n + 1, L'\0');
      path.resize(DragQueryFileW(drop, 0, path.data(), n + 1));
      DragFinish(drop);
      if (form_ && !form_->busy() && !path.empty()) form_->openPath(narrow(path));
      return 0;
    }
    case WM_COMMAND:
      if (created_ && form_) command(LOWORD(wp), HIWORD(wp));
      return 0;
    case DM_GETDEFID:
      return MAKELRESULT(kIdRet, DC_HASDEFID);
    case WM_MEASUREITEM: {
      auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
      HDC dc = GetDC(hwnd_);
      HGDIOBJ old = SelectObject(dc, formFont());
      TEXTMETRICW tm{};
      GetTextMetricsW(dc, &tm);
      SelectObject(dc, old);
      ReleaseDC(hwnd_, dc);
      item->itemHeight = static_cast<UINT>(tm.tmHeight + 2);
      return TRUE;
    }
    case WM_DRAWITEM:
      if (wp == kIdDir) {
        drawDirectoryEntry(*reinterpret_cast<DRAWITEMSTRUCT*>(lp));
        return TRUE;
      }
      break;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wp);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_CLOSE: {
      if (form_ && form_->busy()) return 0;  // a running request is not interrupted
      int cancel = 0;
      if (form_) form_->Form_QueryUnload(cancel, 0);
      if (cancel == 0) endApplication();
      return 0;
    }
    case WM_ENDSESSION:
      // Windows is shutting down or the user logs off: the window closes
      // without WM_CLOSE, so its closing steps run here.
      if (wp && form_ && !form_->busy()) {
        int cancel = 0;
        form_->Form_QueryUnload(cancel, 0);
      }
      return 0;
    case WM_DESTROY:
      if (hwnd_ && !endHook_) PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      RemovePropW(hwnd_, kNameProperty);
      hwnd_ = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

void Win32MainView::focusControls() {
  HWND target = savedFocus_;
  if (!target || !IsWindow(target) || !IsChild(hwnd_, target) || !IsWindowEnabled(target) ||
      !IsWindowVisible(target))
    target = control(L"Sel_Drive");
  if (target) SetFocus(target);
}

void Win32MainView::command(int id, int code) {
  // While a request runs only "中　止" acts (input queued before is handled
  // by the message boxes' own loops, and must not reach the behaviour).
  if (form_->busy() && id != kIdRet) return;
  switch (id) {
    case kIdDrive:
      // A drive is taken when chosen from the closed list (arrow keys) or
      // when the open list is closed on an entry; moving through the open
      // list only highlights, and Esc there puts the shown drive back.
      if (code == CBN_SELENDOK ||
          (code == CBN_SELCHANGE && !SendMessageW(control(L"Sel_Drive"), CB_GETDROPPEDSTATE, 0, 0)))
        driveChosen();
      if (code == CBN_SELENDCANCEL) selectDrive(chosenDrive_);
      break;
    case kIdDir:
      if (code == LBN_DBLCLK) {
        const LRESULT index = SendMessageW(control(L"Dir_name"), LB_GETCURSEL, 0, 0);
        if (index >= 0 && static_cast<std::size_t>(index) < dirEntries_.size())
          form_->Dir_name_Open(narrow(dirEntries_[static_cast<std::size_t>(index)]));
      }
      break;
    case kIdFiles:
      if (code == LBN_SELCHANGE) form_->FIle_list_Click();
      if (code == LBN_DBLCLK) form_->FIle_list_DblClick();
      break;
    case IDOK:
    case kIdRet:
      if (code == BN_CLICKED) form_->Ret_bottn_Click();
      break;
    case kIdRefresh:
      if (code == BN_CLICKED) form_->Refresh_bottn_Click();
      break;
    case kIdExit:
      if (code == BN_CLICKED) form_->Exit_bottn_Click();
      break;
    case kIdOption0:
    case kIdOption1:
    case kIdOption2:
      if (code == BN_CLICKED) {
        const int index = id == kIdOption0 ? 0 : id == kIdOption1 ? 1 : 2;
        if (index != selectedOption_) {
          selectedOption_ = index;
          form_->Option1_Click(index);
        }
      }
      break;
    case kIdSizeCombo:
      if (settingSizeText_) break;
      if (code == CBN_EDITCHANGE) form_->Size_Combo_Change();
      // An entry is taken when chosen in the closed box (arrow keys) or when
      // the open list closes on it. The box's own text follows only after
      // this notification, so the entry's text is put there first.
      if (code == CBN_SELENDOK ||
          (code == CBN_SELCHANGE && !SendMessageW(control(L"Size_Combo"), CB_GETDROPPEDSTATE, 0, 0))) {
        HWND box = control(L"Size_Combo");
        const LRESULT index = SendMessageW(box, CB_GETCURSEL, 0, 0);
        const LRESULT n = index < 0 ? CB_ERR : SendMessageW(box, CB_GETLBTEXTLEN, index, 0);
        if (n != CB_ERR) {
          std::wstring item(static_cast<std::size_t>(n) + 1, L'\0');
          SendMessageW(box, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(item.data()));
          item.resize(static_cast<std::size_t>(n));
          setSizeText(narrow(item));
          form_->Size_Combo_Change();
        }
      }
      break;
    case kIdCheck:
      if (code == BN_CLICKED) {
        // Two states once the user changes it; the third one only comes
        // from stored settings.
        HWND box = control(L"Check1");
        const LRESULT state = SendMessageW(box, BM_GETCHECK, 0, 0);
        SendMessageW(box, BM_SETCHECK, state == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
      }
      break;
    default:
      break;
  }
}

void Win32MainView::driveChosen() {
  const LRESULT index = SendMessageW(control(L"Sel_Drive"), CB_GETCURSEL, 0, 0);
  if (index < 0 || static_cast<std::size_t>(index) >= drives_.size()) return;
  const std::wstring& drive = drives_[static_cast<std::size_t>(index)];
  if (drive == chosenDrive_) return;
  chosenDrive_ = drive;
  form_->Sel_Drive_Change();
}

bool Win32MainView::preTranslate(MSG& msg) {
  if (!hwnd_ || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd))) return false;
  // Enter on an entry of the directory list other than the shown directory
  // opens it, as a double-click does.
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && msg.hwnd == control(L"Dir_name")) {
    const LRESULT index = SendMessageW(msg.hwnd, LB_GETCURSEL, 0, 0);
    if (index >= 0 && static_cast<std::size_t>(index) < dirEntries_.size() &&
        !sameDirectory(dirEntries_[static_cast<std::size_t>(index)], dirPath_)) {
      form_->Dir_name_Open(narrow(dirEntries_[static_cast<std::size_t>(index)]));
      return true;
    }
  }
  return IsDialogMessageW(hwnd_, &msg) != FALSE;
}

std::string Win32MainView::fileName() { return narrow(windowText(control(L"File_Name"))); }

void Win32MainView::setFileName(const std::string& text) {
  const std::wstring w = widen(text);
  SetWindowTextW(control(L"File_Name"), w.c_str());
  if (tooltip_) {
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V1_SIZE;
    tool.uFlags = TTF_IDISHWND;
    tool.hwnd = hwnd_;
    tool.uId = reinterpret_cast<UINT_PTR>(control(L"File_Name"));
    tool.lpszText = const_cast<wchar_t*>(w.c_str());
    SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void Win32MainView::layoutControls(int clientWidth, int clientHeight) {
  if (clientWidth == laidOutWidth_ && clientHeight == laidOutHeight_) return;
  laidOutWidth_ = clientWidth;
  laidOutHeight_ = clientHeight;
  const int dw = clientWidth - px(kMainWidth);
  const int dh = clientHeight - px(kMainHeight);
  HDWP moves = BeginDeferWindowPos(static_cast<int>(layout_.size()));
  for (const Placement& p : layout_) {
    const LayoutRect r = placeGrown(p.designed, p.anchor, dw, dh);
    if (moves)
      moves = DeferWindowPos(moves, p.control, nullptr, r.left, r.top, r.width, r.height,
                             SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (moves) EndDeferWindowPos(moves);
  // Sizing a combo box sets its selection field's height anew.
  for (const ControlSpec& c : kMainControls)
    if (std::wstring(c.windowClass) == WC_COMBOBOXW) fitComboHeight(control(c.name), px(c.height));
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void Win32MainView::setStatus(const std::string& text, bool repaintNow) {
  HWND label = control(L"Label2");
  SetWindowTextW(label, widen(text).c_str());
  // The message loop does not run while a request works.
  if (repaintNow) RedrawWindow(label, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void Win32MainView::refreshDrives() {
  HWND list = control(L"Sel_Drive");
  const std::vector<DriveEntry> drives = readDrives();
  SendMessageW(list, CB_RESETCONTENT, 0, 0);
  drives_.clear();
  for (const DriveEntry& d : drives) {
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(d.text.c_str()));
    drives_.push_back(d.drive);
  }
  selectDrive(chosenDrive_);
}

void Win32MainView::selectDrive(const std::wstring& drive) {
  const auto it = std::find(drives_.begin(), drives_.end(), drive);
  const WPARAM index = it == drives_.end() ? static_cast<WPARAM>(-1)
                                           : static_cast<WPARAM>(it - drives_.begin());
  SendMessageW(control(L"Sel_Drive"), CB_SETCURSEL, index, 0);
}

std::string Win32MainView::drive() { return narrow(chosenDrive_); }

void Win32MainView::setDrive(const std::string& drive) {
  const std::wstring d = driveName(drive);
  if (std::find(drives_.begin(), drives_.end(), d) == drives_.end()) return;
  selectDrive(d);
  if (d == chosenDrive_) return;
  chosenDrive_ = d;
  form_->Sel_Drive_Change();
}

void Win32MainView::showDrive(const std::string& drive) {
  const std::wstring d = driveName(drive);
  if (std::find(drives_.begin(), drives_.end(), d) == drives_.end()) return;
  chosenDrive_ = d;
  selectDrive(d);
}

std::string Win32MainView::driveHolding(const std::string& path) {
  const std::wstring d = driveOf(widen(path));
  return std::find(drives_.begin(), drives_.end(), d) != drives_.end() ? narrow(d) : std::string();
}

std::string Win32MainView::dirPath() { return narrow(dirPath_); }

void Win32MainView::setDirPath(const std::string& path) {
  const std::wstring dir = plainDirectory(widen(path));
  const std::vector<std::wstring> subdirs = readNames(dir, Entries::Directories);  // may throw
  const bool changed = !sameDirectory(dir, dirPath_);
  fillDirectoryList(dir, subdirs);
  if (changed) form_->Dir_name_Change();
}

void Win32MainView::refreshDir() {
  if (dirPath_.empty()) return;
  fillDirectoryList(dirPath_, readNames(dirPath_, Entries::Directories));
}

void Win32MainView::fillDirectoryList(const std::wstring& path,
                                      const std::vector<std::wstring>& subdirs) {
  HWND list = control(L"Dir_name");
  dirPath_ = path;
  dirEntries_.clear();
  dirDepths_.clear();
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  const std::vector<std::wstring> chain = pathChain(path);
  for (std::size_t i = 0; i < chain.size(); ++i) {
    // The root shows as the drive ("C:\"), the others by their own name.
    const std::wstring& p = chain[i];
    const std::wstring shown = i == 0 ? p : p.substr(p.find_last_of(L'\\') + 1);
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown.c_str()));
    dirEntries_.push_back(p);
    dirDepths_.push_back(static_cast<int>(i));
  }
  for (const std::wstring& name : subdirs) {
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    dirEntries_.push_back(joinPath(path, name));
    dirDepths_.push_back(static_cast<int>(chain.size()));
  }
  if (!chain.empty()) SendMessageW(list, LB_SETCURSEL, chain.size() - 1, 0);
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

void Win32MainView::drawDirectoryEntry(const DRAWITEMSTRUCT& item) {
  if (item.itemID == static_cast<UINT>(-1)) return;
  const bool selected = item.itemState & ODS_SELECTED;
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  const std::size_t i = item.itemID;
  const int depth = i < dirDepths_.size() ? dirDepths_[i] : 0;
  // Each level is indented a little further; the shown directory and its
  // parents carry an open marker, its subdirectories a closed one.
  const int step = MulDiv(10, dpi_, 96);
  const bool open = i < dirEntries_.size() && depth < static_cast<int>(pathChain(dirPath_).size());
  RECT r = item.rcItem;
  r.left += MulDiv(3, dpi_, 96) + depth * step;
  const std::wstring text = std::wstring(open ? L"\u25BD " : L"\u25B7 ") +
                            listText(item.hwndItem, static_cast<int>(item.itemID));
  DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &r,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
}

std::string Win32MainView::fileListPath() { return narrow(fileListPath_); }

void Win32MainView::setFileListPath(const std::string& path) {
  fileListPath_ = plainDirectory(widen(path));
  fillFileList(L"");
}

void Win32MainView::refreshFileList() {
  HWND list = control(L"FIle_list");
  const LRESULT index = SendMessageW(list, LB_GETCURSEL, 0, 0);
  fillFileList(index >= 0 ? listText(list, static_cast<int>(index)) : std::wstring());
}

void Win32MainView::fillFileList(const std::wstring& keepSelected) {
  HWND list = control(L"FIle_list");
  std::vector<std::wstring> names;
  try {
    if (!fileListPath_.empty()) names = readNames(fileListPath_, Entries::Files);
  } catch (const RuntimeError&) {
    names.clear();  // a directory that cannot be read shows no files
  }
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  SendMessageW(list, LB_INITSTORAGE, names.size(), names.size() * 32 * sizeof(wchar_t));
  int selected = -1;
  for (std::size_t i = 0; i < names.size(); ++i) {
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(names[i].c_str()));
    if (!keepSelected.empty() && names[i] == keepSelected) selected = static_cast<int>(i);
  }
  SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

int Win32MainView::fileListIndex() {
  const LRESULT index = SendMessageW(control(L"FIle_list"), LB_GETCURSEL, 0, 0);
  return index == LB_ERR ? -1 : static_cast<int>(index);
}

std::string Win32MainView::fileListEntry(int index) {
  if (index < 0) return {};
  return narrow(listText(control(L"FIle_list"), index));
}

int Win32MainView::check1() {
  switch (SendMessageW(control(L"Check1"), BM_GETCHECK, 0, 0)) {
    case BST_CHECKED:
      return 1;
    case BST_INDETERMINATE:
      return 2;
    default:
      return 0;
  }
}

void Win32MainView::setCheck1(int state) {
  const WPARAM check = state == 0 ? BST_UNCHECKED : state == 2 ? BST_INDETERMINATE : BST_CHECKED;
  SendMessageW(control(L"Check1"), BM_SETCHECK, check, 0);
}

namespace {
const wchar_t* const kOptionNames[] = {L"Option1_0", L"Option1_1", L"Option1_2"};
}  // namespace

bool Win32MainView::option1(int index) {
  return SendMessageW(control(kOptionNames[std::clamp(index, 0, 2)]), BM_GETCHECK, 0, 0) ==
         BST_CHECKED;
}

void Win32MainView::setOption1(int index) {
  index = std::clamp(index, 0, 2);
  for (int i = 0; i < 3; ++i)
    SendMessageW(control(kOptionNames[i]), BM_SETCHECK, i == index ? BST_CHECKED : BST_UNCHECKED, 0);
  if (index == selectedOption_) return;
  selectedOption_ = index;
  form_->Option1_Click(index);
}

std::string Win32MainView::sizeText() { return narrow(windowText(control(L"Size_Combo"))); }

void Win32MainView::setSizeText(const std::string& text) {
  settingSizeText_ = true;  // raises nothing
  SetWindowTextW(control(L"Size_Combo"), widen(text).c_str());
  settingSizeText_ = false;
}

int Win32MainView::check2() {
  return SendMessageW(control(L"Check2"), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void Win32MainView::setCheck2(int state) {
  SendMessageW(control(L"Check2"), BM_SETCHECK, state != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
}

void Win32MainView::moveWindowTwips(double left, double top) {
  SetWindowPos(hwnd_, nullptr, twipsToPixels(left, dpi_), twipsToPixels(top, dpi_), 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

double Win32MainView::windowLeftTwips() {
  RECT r{};
  GetWindowRect(hwnd_, &r);
  return pixelsToTwips(r.left, dpi_);
}

double Win32MainView::windowTopTwips() {
  RECT r{};
  GetWindowRect(hwnd_, &r);
  return pixelsToTwips(r.top, dpi_);
}

bool Win32MainView::isMinimized() { return IsIconic(hwnd_) != FALSE; }

int Win32MainView::messageBox(int style, const std::string& text) {
  if (messageHook_) return messageHook_(style, widen(text));
  UINT flags = MB_OK;
  if (style == kStyleYesNoQuestion || style == kStyleYesNoQuestionNoDefault) {
    flags = MB_YESNO | MB_ICONQUESTION |
            (style == kStyleYesNoQuestionNoDefault ? MB_DEFBUTTON2 : MB_DEFBUTTON1);
  }
  const int answer =
      MessageBoxW(hwnd_, widen(text).c_str(), widen(text::kAppTitle).c_str(), flags | MB_SETFOREGROUND);
  restoreBlock();  // the box enables its owner again when it closes
  if (answer == IDYES) return kAnswerYes;
  if (answer == IDNO) return kAnswerNo;
  return kAnswerOk;
}

void Win32MainView::restoreBlock() {
  // The window stays enabled while a request runs, so that "中　止" can be
  // clicked; processEvents() keeps the rest of the input out.
  if (hwnd_) EnableWindow(hwnd_, TRUE);
}

bool Win32MainView::keptOut(const MSG& msg) {
  if (!hwnd_ || (msg.hwnd != hwnd_ && !IsChild(hwnd_, msg.hwnd))) return false;
  const bool key = msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST;
  const bool mouse = msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST;
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
    form_->Stop_Request();
    return true;
  }
  if (mouse && msg.hwnd == control(L"Ret_bottn") && msg.message != WM_MOUSEWHEEL) return false;
  return key || mouse || msg.message == WM_DROPFILES;
}

void Win32MainView::processEvents() {
  // Painting, timers and the system's messages run; input to this window
  // waits, except stopping (keptOut).
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop that waits for it
      return;
    }
    if (blocked_ && keptOut(msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void Win32MainView::blockInput(bool on) {
  blocked_ = on;
  if (on) {
    focusBeforeBlock_ = GetFocus();
    restoreBlock();
    return;
  }
  // Input that came while the request ran is dropped, not acted on now.
  MSG msg;
  for (UINT first : {static_cast<UINT>(WM_KEYFIRST), static_cast<UINT>(WM_MOUSEFIRST)}) {
    const UINT last = first == WM_KEYFIRST ? WM_KEYLAST : WM_MOUSELAST;
    while (PeekMessageW(&msg, hwnd_, first, last, PM_REMOVE)) {
    }
    for (HWND child = hwnd_ ? GetWindow(hwnd_, GW_CHILD) : nullptr; child;
         child = GetWindow(child, GW_HWNDNEXT))
      while (PeekMessageW(&msg, child, first, last, PM_REMOVE)) {
      }
  }
  restoreBlock();
  if (focusBeforeBlock_ && IsWindow(focusBeforeBlock_)) SetFocus(focusBeforeBlock_);
}

void Win32MainView::setProgress(std::int64_t done, std::int64_t total) {
  HWND bar = control(L"Progress_bar");
  // In ten-thousandths: the bar's range is an int, a file's length is not.
  constexpr int kSteps = 10000;
  int pos = 0;
  if (total > 0) {
    const std::int64_t d = std::clamp<std::int64_t>(done, 0, total);
    pos = static_cast<int>(static_cast<double>(d) / static_cast<double>(total) * kSteps);
  }
  SendMessageW(bar, PBM_SETRANGE32, 0, total > 0 ? kSteps : 1);
  SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(pos), 0);
  RedrawWindow(bar, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void Win32MainView::setRetCaption(const std::string& text) {
  HWND button = control(L"Ret_bottn");
  SetWindowTextW(button, widen(text).c_str());
  RedrawWindow(button, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

namespace {

BOOL CALLBACK noteMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM areas) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(monitor, &info)) {
    const RECT& r = info.rcWork;
    const int dpi = screenDpi();
    reinterpret_cast<std::vector<MainView::ScreenArea>*>(areas)->push_back(
        {pixelsToTwips(r.left, dpi), pixelsToTwips(r.top, dpi), pixelsToTwips(r.right - r.left, dpi),
         pixelsToTwips(r.bottom - r.top, dpi)});
  }
  return TRUE;
}

}  // namespace

std::vector<MainView::ScreenArea> Win32MainView::screenAreas() {
  std::vector<ScreenArea> areas;
  EnumDisplayMonitors(nullptr, nullptr, noteMonitor, reinterpret_cast<LPARAM>(&areas));
  return areas;
}

double Win32MainView::windowWidthTwips() {
  RECT r{};
  GetWindowRect(hwnd_, &r);
  return pixelsToTwips(r.right - r.left, dpi_);
}

void Win32MainView::selectFileListEntry(const std::string& name) {
  HWND list = control(L"FIle_list");
  const std::wstring w = widen(name);
  const LRESULT i = SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                 reinterpret_cast<LPARAM>(w.c_str()));
  if (i != LB_ERR) SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
}

void Win32MainView::endApplication() {
  if (endHook_) {
    endHook_();
    return;
  }
  if (hwnd_) DestroyWindow(hwnd_);
}

std::unique_ptr<InputView> Win32MainView::loadInputView(InputForm& form) {
  return std::make_unique<Win32InputView>(form, hwnd_, dialogShownHook_);
}

std::string Win32MainView::homeDirectory() {
  wchar_t buf[MAX_PATH + 1] = {};
  const DWORD n = GetEnvironmentVariableW(L"USERPROFILE", buf, MAX_PATH + 1);
  return n > 0 && n <= MAX_PATH ? narrow(buf) : std::string();
}

// ---------------------------------------------------------------------------
// The extension dialog.

Win32InputView::Win32InputView(InputForm& form, HWND owner, std::function<void(HWND)> shownHook)
    : form_(form), owner_(owner), shownHook_(std::move(shownHook)) {
  registerClass(kInputClass, &Win32InputView::windowProc);
  const SIZE size = outerSize(kInputWidth, kInputHeight, kInputStyle);
  CreateWindowExW(WS_EX_DLGMODALFRAME, kInputClass, widen(text::kInputCaption).c_str(), kInputStyle,
                  px(kInputLeft), px(kInputTop), size.cx, size.cy, owner, nullptr,
                  GetModuleHandleW(nullptr), this);
  SetPropW(hwnd_, kNameProperty, const_cast<wchar_t*>(L"Input_Form"));
  createControls(hwnd_, std::begin(kInputControls), std::end(kInputControls));
}

Win32InputView::~Win32InputView() {
  if (hwnd_) {
    HWND h = hwnd_;
    hwnd_ = nullptr;
    SetWindowLongPtrW(h, GWLP_USERDATA, 0);
    if (shown_ && owner_) EnableWindow(owner_, TRUE);
    DestroyWindow(h);
  }
}

LRESULT CALLBACK Win32InputView::windowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Win32InputView* view = viewOf<Win32InputView>(hwnd, msg, lp, [](auto* v, HWND h) { v->hwnd_ = h; });
  return view ? view->handle(msg, wp, lp) : DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT Win32InputView::handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (HIWORD(wp) == BN_CLICKED) {
        if (LOWORD(wp) == kIdCommand1 || LOWORD(wp) == IDOK) form_.Command1_Click();
        if (LOWORD(wp) == kIdCommand2 || LOWORD(wp) == IDCANCEL) form_.Command2_Click();
      }
      return 0;
    case DM_GETDEFID:
      return MAKELRESULT(kIdCommand1, DC_HASDEFID);
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE && shown_) {
        activated_ = true;
        form_.Form_Activate();
        return 0;
      }
      break;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wp);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_CLOSE:
      // Closed through its frame: the behaviour unloads it.
      if (shown_) form_.Form_Unload();
      return 0;
    case WM_NCDESTROY:
      RemovePropW(hwnd_, kNameProperty);
      hwnd_ = nullptr;
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

void Win32InputView::setComboList(const std::vector<std::string>& items) {
  HWND combo = findControl(hwnd_, L"Combo1");
  const std::wstring keep = windowText(combo);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const std::string& item : items)
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(item).c_str()));
  SetWindowTextW(combo, keep.c_str());
}

std::string Win32InputView::comboText() { return narrow(windowText(findControl(hwnd_, L"Combo1"))); }

void Win32InputView::setComboText(const std::string& text) {
  SetWindowTextW(findControl(hwnd_, L"Combo1"), widen(text).c_str());
}

void Win32InputView::focusCombo() {
  HWND combo = findControl(hwnd_, L"Combo1");
  SetFocus(combo);
  SendMessageW(combo, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
}

void Win32InputView::showModal() {
  if (!hwnd_) return;
  const bool ownerWasEnabled = owner_ && IsWindowEnabled(owner_);
  if (owner_) EnableWindow(owner_, FALSE);
  shown_ = true;
  activated_ = false;
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  SetActiveWindow(hwnd_);
  // Without a window manager to hand over activation the dialog may not be
  // told it became active; its activation steps run all the same.
  if (!activated_) {
    activated_ = true;
    form_.Form_Activate();
  }
  if (shownHook_ && shown_) shownHook_(hwnd_);
  MSG msg;
  while (shown_ && hwnd_) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      PostQuitMessage(got == 0 ? static_cast<int>(msg.wParam) : 1);  // for the outer loop
      hide();
      break;
    }
    if (!IsDialogMessageW(hwnd_, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  if (owner_) {
    EnableWindow(owner_, ownerWasEnabled ? TRUE : FALSE);
    SetActiveWindow(owner_);
  }
}

void Win32InputView::hide() {
  shown_ = false;
  if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

}  // namespace vexo::win32

#endif  // _WIN32
