#ifdef _WIN32
#include "win32_main_view.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <algorithm>
#include <cwctype>
#include <iterator>
#include <stdexcept>

#include "design.h"
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
  kIdCheck3,
  kIdRecovery,
  kIdRecoverySpin,
  kIdOutLabel,
  kIdOutDir,
  kIdOutBrowse,
  kIdInputLabel = 201,
  kIdCommand1,
  kIdCommand2,
  kIdCombo,
};

// What this view adds to a designed control (design.h): its window class,
// styles and id, keyed by its name (the name is also the text of its
// "VexoName" property, so it lives here as a wide literal).
struct ControlKind {
  const wchar_t* name;
  const wchar_t* windowClass;
  DWORD style;
  DWORD exStyle;
  int id;
};

constexpr DWORD kListStyle = WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_TABSTOP;

// The option buttons and the size box lie in Frame1; as children of the
// main window they are placed at the frame's position plus their own.
// Both lists draw their entries (a name too long loses its middle).
const ControlKind kMainKinds[] = {
    {L"Sel_Drive", WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP | WS_GROUP, 0, kIdDrive},
    {L"Dir_name", WC_LISTBOXW, kListStyle | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS, WS_EX_CLIENTEDGE, kIdDir},
    {L"Label1", WC_STATICW, SS_NOPREFIX | SS_LEFTNOWORDWRAP, 0, kIdLabel1},
    {L"FIle_list", WC_LISTBOXW, kListStyle | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS, WS_EX_CLIENTEDGE, kIdFiles},
    {L"Ret_bottn", WC_BUTTONW, BS_DEFPUSHBUTTON | WS_TABSTOP, 0, kIdRet},
    {L"Refresh_bottn", WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 0, kIdRefresh},
    {L"Exit_bottn", WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 0, kIdExit},
    // A name too long for it loses its middle; SS_NOTIFY lets its tooltip
    // see the mouse.
    {L"File_Name", WC_STATICW, SS_NOPREFIX | SS_LEFTNOWORDWRAP | SS_PATHELLIPSIS | SS_NOTIFY, 0, kIdFileName},
    {L"Label2", WC_STATICW, SS_NOPREFIX | SS_LEFT, 0, kIdLabel2},
    {L"Progress_bar", PROGRESS_CLASSW, 0, 0, kIdProgress},
    {L"Frame1", WC_BUTTONW, BS_GROUPBOX, 0, kIdFrame},
    {L"Option1_0", WC_BUTTONW, BS_AUTORADIOBUTTON | WS_TABSTOP | WS_GROUP, 0, kIdOption0},
    {L"Option1_1", WC_BUTTONW, BS_AUTORADIOBUTTON, 0, kIdOption1},
    {L"Option1_2", WC_BUTTONW, BS_AUTORADIOBUTTON, 0, kIdOption2},
    {L"Size_Combo", WC_COMBOBOXW, CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP | WS_GROUP, 0, kIdSizeCombo},
    {L"Check1", WC_BUTTONW, BS_3STATE | WS_TABSTOP | WS_GROUP, 0, kIdCheck},
    {L"Check2", WC_BUTTONW, BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP, 0, kIdCheck2},
    {L"Check3", WC_BUTTONW, BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP, 0, kIdCheck3},
    // The percentage, with an up-down control at its right end (create()).
    {L"Recovery_Pct", WC_EDITW, ES_NUMBER | ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP, WS_EX_CLIENTEDGE, kIdRecovery},
    {L"Out_Label", WC_STATICW, SS_NOPREFIX | SS_LEFTNOWORDWRAP, 0, kIdOutLabel},
    {L"Out_Dir", WC_EDITW, ES_AUTOHSCROLL | WS_TABSTOP | WS_GROUP, WS_EX_CLIENTEDGE, kIdOutDir},
    {L"Out_Browse", WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 0, kIdOutBrowse},
};

const ControlKind kInputKinds[] = {
    {L"Label1", WC_STATICW, SS_NOPREFIX | SS_LEFTNOWORDWRAP, 0, kIdInputLabel},
    {L"Command1", WC_BUTTONW, BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 0, kIdCommand1},
    {L"Command2", WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 0, kIdCommand2},
    {L"Combo1", WC_COMBOBOXW, CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 0, kIdCombo},
};

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

template <std::size_t N>
const ControlKind& kindOf(const ControlKind (&kinds)[N], const char* name) {
  const std::wstring w = widen(name);
  for (const ControlKind& k : kinds)
    if (w == k.name) return k;
  throw std::out_of_range("no window class for " + std::string(name));
}

bool isCombo(const ControlKind& k) { return std::wstring(k.windowClass) == WC_COMBOBOXW; }

// Creates a window's controls as designed, in the designed (tab) order.
template <std::size_t N>
void createControls(HWND parent, const design::Window& window, const ControlKind (&kinds)[N]) {
  for (const design::Control& c : window.controls) {
    const ControlKind& k = kindOf(kinds, c.name);
    const design::Rect r = design::inWindow(window, c);
    // A combo box's height includes its drop-down list.
    const int height = isCombo(k) ? px(r.height) * 8 : px(r.height);
    HWND h = CreateWindowExW(k.exStyle, k.windowClass, widen(c.caption).c_str(),
                             WS_CHILD | WS_VISIBLE | k.style, px(r.left), px(r.top), px(r.width),
                             height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(k.id)),
                             GetModuleHandleW(nullptr), nullptr);
    SetPropW(h, kNameProperty, const_cast<wchar_t*>(k.name));
    SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(formFont()), FALSE);
    if (isCombo(k)) fitComboHeight(h, px(r.height));
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

// The drive a text names ("c:", "C:", "C: (label)"), as "C:".
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
  INITCOMMONCONTROLSEX classes{sizeof classes,
                               ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&classes);
  registerClass(kMainClass, &Win32MainView::windowProc);
  const SIZE size = outerSize(design::kMain.clientWidth, design::kMain.clientHeight, kMainStyle);
  CreateWindowExW(0, kMainClass, widen(design::kMain.caption).c_str(), kMainStyle, px(1000), px(1000),
                  size.cx, size.cy, nullptr, nullptr, GetModuleHandleW(nullptr), this);
  SetPropW(hwnd_, kNameProperty, const_cast<wchar_t*>(L"Main"));  // design::kMain.name
  createControls(hwnd_, design::kMain, kMainKinds);
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
  // The percentage: an up-down control at the field's right end, within
  // the designed width, writing its number into the field.
  HWND percent = control(L"Recovery_Pct");
  HWND spin = CreateWindowExW(0, UPDOWN_CLASSW, nullptr,
                              WS_CHILD | WS_VISIBLE | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS |
                                  UDS_NOTHOUSANDS,
                              0, 0, 0, 0, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdRecoverySpin)),
                              GetModuleHandleW(nullptr), nullptr);
  SetPropW(spin, kNameProperty, const_cast<wchar_t*>(L"Recovery_Spin"));
  RECT field{};
  GetWindowRect(percent, &field);
  MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&field), 2);
  SendMessageW(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(percent), 0);
  // Attached, the up-down control overlaps the field's border; the two are
  // put side by side within the field's designed rectangle instead.
  RECT arrows{};
  GetWindowRect(spin, &arrows);
  const int arrowsWidth = arrows.right - arrows.left;
  MoveWindow(percent, field.left, field.top, field.right - field.left - arrowsWidth, field.bottom - field.top, FALSE);
  MoveWindow(spin, field.right - arrowsWidth, field.top, arrowsWidth, field.bottom - field.top, FALSE);
  SendMessageW(spin, UDM_SETRANGE32, kMinRecoveryPercent, kMaxRecoveryPercent);
  SendMessageW(spin, UDM_SETPOS32, 0, kDefaultRecoveryPercent);
  SendMessageW(percent, EM_SETLIMITTEXT, 3, 0);
  {
    HDC dc = GetDC(percent);
    HGDIOBJ old = SelectObject(dc, formFont());
    SIZE unit{};
    const std::wstring sign = widen(text::kPercent);
    GetTextExtentPoint32W(dc, sign.c_str(), static_cast<int>(sign.size()), &unit);
    SelectObject(dc, old);
    ReleaseDC(percent, dc);
    SendMessageW(percent, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELPARAM(0, unit.cx + 4));
  }
  // Drawn by this view on top of the controls' own drawing.
  SetWindowSubclass(control(L"Progress_bar"), subclassProc, kIdProgress, reinterpret_cast<DWORD_PTR>(this));
  SetWindowSubclass(control(L"Out_Dir"), subclassProc, kIdOutDir, reinterpret_cast<DWORD_PTR>(this));
  SetWindowSubclass(percent, subclassProc, kIdRecovery, reinterpret_cast<DWORD_PTR>(this));
  SetWindowSubclass(control(L"FIle_list"), subclassProc, kIdFiles, reinterpret_cast<DWORD_PTR>(this));
  SetWindowSubclass(control(L"Dir_name"), subclassProc, kIdDir, reinterpret_cast<DWORD_PTR>(this));
  // Where every control sits at the designed size, and how it follows a
  // larger window (layout.h).
  layout_.clear();
  for (HWND child = GetWindow(hwnd_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
    LayoutRect designed{r.left, r.top, r.right - r.left, r.bottom - r.top};
    // A combo box is sized with its drop-down list, as it was created.
    for (const ControlKind& k : kMainKinds)
      if (controlName(child) == k.name && isCombo(k))
        designed.height = px(design::control(design::kMain, narrow(k.name)).height) * 8;
    layout_.push_back({child, designed,
                       anchorOf(narrow(controlName(child)), designed, px(design::kMain.clientWidth), px(design::kMain.clientHeight))});
  }
  // File_Name shows its whole text as a tooltip, the lists an entry they
  // show cut.
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
    for (const wchar_t* list : {L"FIle_list", L"Dir_name"}) {
      tool.uId = reinterpret_cast<UINT_PTR>(control(list));
      SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, px(8000));
  }
  DragAcceptFiles(hwnd_, TRUE);
  laidOutWidth_ = px(design::kMain.clientWidth);
  laidOutHeight_ = px(design::kMain.clientHeight);
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
      const SIZE least = outerSize(design::kMain.clientWidth, design::kMain.clientHeight, kMainStyle);
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
      if (wp == kIdDir || wp == kIdFiles) {
        drawListEntry(*reinterpret_cast<DRAWITEMSTRUCT*>(lp));
        return TRUE;
      }
      break;
    case WM_CTLCOLORSTATIC: {
      HDC dc = reinterpret_cast<HDC>(wp);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_CLOSE:
      // While a request runs the behaviour asks whether to stop, and ends
      // the application itself once the request has cleaned up.
      if (!form_ || form_->queryClose()) endApplication();
      return 0;
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
  // While a request runs only "中　止" and "終　了" act (input queued before
  // is handled by the message boxes' own loops, and must not reach the
  // behaviour).
  if (form_->busy() && id != kIdRet && id != kIdExit) return;
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
    case kIdOutBrowse:
      if (code == BN_CLICKED) form_->Out_Browse_Click();
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
  const int dw = clientWidth - px(design::kMain.clientWidth);
  const int dh = clientHeight - px(design::kMain.clientHeight);
  HDWP moves = BeginDeferWindowPos(static_cast<int>(layout_.size()));
  for (const Placement& p : layout_) {
    const LayoutRect r = placeGrown(p.designed, p.anchor, dw, dh);
    if (moves)
      moves = DeferWindowPos(moves, p.control, nullptr, r.left, r.top, r.width, r.height,
                             SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (moves) EndDeferWindowPos(moves);
  // Sizing a combo box sets its selection field's height anew.
  for (const ControlKind& k : kMainKinds)
    if (isCombo(k)) fitComboHeight(control(k.name), px(design::control(design::kMain, narrow(k.name)).height));
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
  driveTexts_.clear();
  for (const DriveEntry& d : drives) {
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(d.text.c_str()));
    drives_.push_back(d.drive);
    driveTexts_.push_back(d.text);
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
  hoveredDir_ = -1;
  dirEntries_.clear();
  dirDepths_.clear();
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  const std::vector<std::wstring> chain = pathChain(path);
  for (std::size_t i = 0; i < chain.size(); ++i) {
    // The root shows as the drive list shows its drive ("C: (Windows)"),
    // the others by their own name.
    const std::wstring& p = chain[i];
    std::wstring shown = p.substr(p.find_last_of(L'\\') + 1);
    if (i == 0) {
      const auto d = std::find(drives_.begin(), drives_.end(), driveOf(p));
      shown = d != drives_.end() ? driveTexts_[static_cast<std::size_t>(d - drives_.begin())] : p;
    }
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

Win32MainView::EntryText Win32MainView::entryText(HWND list, int index) {
  EntryText e;
  e.name = listText(list, index);
  e.indent = MulDiv(2, dpi_, 96);
  if (list != control(L"Dir_name")) return e;
  const std::size_t i = static_cast<std::size_t>(index);
  const int depth = i < dirDepths_.size() ? dirDepths_[i] : 0;
  // Each level is indented a little further; the shown directory and its
  // parents carry an open marker, its subdirectories a closed one.
  const bool open = i < dirEntries_.size() && depth < static_cast<int>(pathChain(dirPath_).size());
  e.indent = MulDiv(3, dpi_, 96) + depth * MulDiv(10, dpi_, 96);
  e.marker = open ? L"\u25BD " : L"\u25B7 ";
  return e;
}

namespace {

int textWidth(HDC dc, const std::wstring& text) {
  SIZE extent{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
  return extent.cx;
}

}  // namespace

std::wstring Win32MainView::shownName(HWND list, HDC dc, const EntryText& entry) {
  RECT client{};
  GetClientRect(list, &client);
  const int room = client.right - entry.indent - MulDiv(2, dpi_, 96) - textWidth(dc, entry.marker);
  return cutMiddle(entry.name, room, [dc](const std::wstring& t) { return textWidth(dc, t); });
}

void Win32MainView::drawListEntry(const DRAWITEMSTRUCT& item) {
  if (item.itemID == static_cast<UINT>(-1)) {
    if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
    return;
  }
  const bool selected = item.itemState & ODS_SELECTED;
  FillRect(item.hDC, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  HGDIOBJ old = SelectObject(item.hDC, formFont());
  const EntryText entry = entryText(item.hwndItem, static_cast<int>(item.itemID));
  const std::wstring text = entry.marker + shownName(item.hwndItem, item.hDC, entry);
  RECT r = item.rcItem;
  r.left += entry.indent;
  DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &r,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
  SelectObject(item.hDC, old);
  if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &item.rcItem);
}

std::wstring Win32MainView::cutEntryTip(const std::wstring& listName, int index) {
  HWND list = control(listName);
  if (!list || index < 0 || index >= SendMessageW(list, LB_GETCOUNT, 0, 0)) return {};
  const EntryText entry = entryText(list, index);
  HDC dc = GetDC(list);
  HGDIOBJ old = SelectObject(dc, formFont());
  const bool cut = shownName(list, dc, entry) != entry.name;
  SelectObject(dc, old);
  ReleaseDC(list, dc);
  return cut ? entry.name : std::wstring();
}

void Win32MainView::hoverList(HWND list, LPARAM point) {
  const bool files = list == control(L"FIle_list");
  int& hovered = files ? hoveredFile_ : hoveredDir_;
  const LRESULT hit = SendMessageW(list, LB_ITEMFROMPOINT, 0, point);
  const int index = HIWORD(hit) ? -1 : static_cast<int>(LOWORD(hit));
  if (index == hovered || !tooltip_) return;
  hovered = index;
  // A new entry under the mouse: the tip shows its whole name when it is
  // cut, and nothing otherwise.
  const std::wstring tip = cutEntryTip(files ? L"FIle_list" : L"Dir_name", index);
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V1_SIZE;
  tool.uFlags = TTF_IDISHWND;
  tool.hwnd = hwnd_;
  tool.uId = reinterpret_cast<UINT_PTR>(list);
  tool.lpszText = const_cast<wchar_t*>(tip.c_str());
  SendMessageW(tooltip_, TTM_POP, 0, 0);
  SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

LRESULT CALLBACK Win32MainView::subclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                             DWORD_PTR data) {
  auto* view = reinterpret_cast<Win32MainView*>(data);
  switch (msg) {
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, subclassProc, id);
      break;
    case WM_MOUSEMOVE:
      if (id == kIdFiles || id == kIdDir) view->hoverList(hwnd, lp);
      break;
    case WM_MOUSELEAVE:
      if (id == kIdFiles) view->hoveredFile_ = -1;
      if (id == kIdDir) view->hoveredDir_ = -1;
      break;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      if (id == kIdOutDir) InvalidateRect(hwnd, nullptr, TRUE);
      break;
    case WM_PAINT: {
      if (id != kIdProgress && id != kIdOutDir && id != kIdRecovery) break;
      const LRESULT result = DefSubclassProc(hwnd, msg, wp, lp);
      // The progress bar's text is its percentage while a request runs;
      // the empty output folder's field names what it stands for; the
      // recovery field ends in its unit.
      std::wstring text;
      int color = COLOR_WINDOWTEXT;
      RECT r{};
      UINT format = DT_SINGLELINE | DT_NOPREFIX;
      if (id == kIdProgress) {
        text = windowText(hwnd);
        GetClientRect(hwnd, &r);
        format |= DT_CENTER | DT_VCENTER;
      } else if (id == kIdRecovery) {
        // In the room the field's right margin keeps free of the number.
        text = widen(text::kPercent);
        RECT client{};
        GetClientRect(hwnd, &client);
        SendMessageW(hwnd, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
        r.right = client.right - 2;
        format |= DT_RIGHT;
      } else if (GetWindowTextLengthW(hwnd) == 0 && GetFocus() != hwnd) {
        text = widen(text::kSameFolder);
        color = COLOR_GRAYTEXT;
        SendMessageW(hwnd, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
      }
      if (text.empty()) return result;
      HDC dc = GetDC(hwnd);
      HGDIOBJ old = SelectObject(dc, formFont());
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, GetSysColor(color));
      DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format);
      SelectObject(dc, old);
      ReleaseDC(hwnd, dc);
      return result;
    }
    default:
      break;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
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
  hoveredFile_ = -1;
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

int Win32MainView::check3() {
  return SendMessageW(control(L"Check3"), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void Win32MainView::setCheck3(int state) {
  SendMessageW(control(L"Check3"), BM_SETCHECK, state != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
}

int Win32MainView::recoveryPercent() {
  // What the field holds, within the range; the up-down control's last
  // value when it holds no number.
  const std::wstring t = windowText(control(L"Recovery_Pct"));
  int value = 0;
  bool number = !t.empty();
  for (wchar_t c : t) {
    if (c < L'0' || c > L'9') {
      number = false;
      break;
    }
    value = std::min(value * 10 + (c - L'0'), kMaxRecoveryPercent + 1);
  }
  if (!number)
    value = static_cast<int>(SendMessageW(control(L"Recovery_Spin"), UDM_GETPOS32, 0, 0));
  return std::clamp(value, kMinRecoveryPercent, kMaxRecoveryPercent);
}

void Win32MainView::setRecoveryPercent(int percent) {
  SendMessageW(control(L"Recovery_Spin"), UDM_SETPOS32, 0,
               std::clamp(percent, kMinRecoveryPercent, kMaxRecoveryPercent));
}

std::string Win32MainView::outputDir() { return narrow(windowText(control(L"Out_Dir"))); }

void Win32MainView::setOutputDir(const std::string& text) {
  SetWindowTextW(control(L"Out_Dir"), widen(text).c_str());
}

std::optional<std::string> Win32MainView::chooseFolder(const std::string& start) {
  const std::wstring from = widen(start);
  const std::optional<std::wstring> chosen = folderHook_ ? folderHook_(from) : systemFolderChooser(from);
  if (!chosen || chosen->empty()) return std::nullopt;
  return narrow(*chosen);
}

namespace {

// The folder dialog of Windows Vista and later, opened at a folder; the
// folder chosen, "" for Cancel, nothing when the dialog is not there.
std::optional<std::wstring> pickFolder(HWND owner, const std::wstring& start) {
  IFileOpenDialog* dialog = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                              reinterpret_cast<void**>(&dialog))))
    return std::nullopt;
  std::wstring chosen;
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST);
  dialog->SetTitle(widen(text::kOutLabel).c_str());
  IShellItem* folder = nullptr;
  if (!start.empty() &&
      SUCCEEDED(SHCreateItemFromParsingName(start.c_str(), nullptr, IID_IShellItem,
                                            reinterpret_cast<void**>(&folder)))) {
    dialog->SetFolder(folder);
    folder->Release();
  }
  IShellItem* result = nullptr;
  if (SUCCEEDED(dialog->Show(owner)) && SUCCEEDED(dialog->GetResult(&result))) {
    PWSTR path = nullptr;
    if (SUCCEEDED(result->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
      chosen = path;
      CoTaskMemFree(path);
    }
    result->Release();
  }
  dialog->Release();
  return chosen;
}

int CALLBACK browseStarted(HWND dialog, UINT msg, LPARAM, LPARAM start) {
  if (msg == BFFM_INITIALIZED && start) SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, start);
  return 0;
}

// The older folder browser, for systems without the folder dialog.
std::wstring browseFolder(HWND owner, const std::wstring& start) {
  const std::wstring title = widen(text::kOutLabel);
  BROWSEINFOW info{};
  info.hwndOwner = owner;
  info.lpszTitle = title.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = browseStarted;
  info.lParam = start.empty() ? 0 : reinterpret_cast<LPARAM>(start.c_str());
  PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
  if (!list) return {};
  wchar_t path[MAX_PATH + 1] = {};
  const bool got = SHGetPathFromIDListW(list, path);
  CoTaskMemFree(list);
  return got ? std::wstring(path) : std::wstring();
}

}  // namespace

std::optional<std::wstring> Win32MainView::systemFolderChooser(const std::wstring& start) {
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  std::optional<std::wstring> chosen = pickFolder(hwnd_, start);
  if (!chosen) chosen = browseFolder(hwnd_, start);
  if (SUCCEEDED(com)) CoUninitialize();
  if (chosen && chosen->empty()) chosen.reset();
  return chosen;
}

void Win32MainView::focusSizeBox() {
  HWND box = control(L"Size_Combo");
  SetFocus(box);
  SendMessageW(box, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
}

void Win32MainView::setBusyControls(bool busy) {
  for (const wchar_t* name : {L"Refresh_bottn", L"Out_Browse"}) EnableWindow(control(name), !busy);
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
  // "中　止" stops; "終　了" asks whether to stop and end.
  if (mouse && (msg.hwnd == control(L"Ret_bottn") || msg.hwnd == control(L"Exit_bottn")) &&
      msg.message != WM_MOUSEWHEEL)
    return false;
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
  // The percentage drawn over the bar (subclassProc), while there is a
  // total to count against.
  const std::wstring percent = total > 0 ? std::to_wstring(pos / (kSteps / 100)) + widen(text::kPercent) : L"";
  SetWindowTextW(bar, percent.c_str());
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

double Win32MainView::windowHeightTwips() {
  RECT r{};
  GetWindowRect(hwnd_, &r);
  return pixelsToTwips(r.bottom - r.top, dpi_);
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
  const SIZE size = outerSize(design::kInput.clientWidth, design::kInput.clientHeight, kInputStyle);
  CreateWindowExW(WS_EX_DLGMODALFRAME, kInputClass, widen(design::kInput.caption).c_str(), kInputStyle,
                  px(kInputLeft), px(kInputTop), size.cx, size.cy, owner, nullptr,
                  GetModuleHandleW(nullptr), this);
  SetPropW(hwnd_, kNameProperty, const_cast<wchar_t*>(L"Input_Form"));
  createControls(hwnd_, design::kInput, kInputKinds);
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
