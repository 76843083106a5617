#ifdef _WIN32
#include "win32_listing.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cwctype>
#include <iterator>
#include <memory>

#include "file_services.h"
#include "system_errors.h"
#include "utf16.h"

namespace vexo::win32 {

// The conversions are the engine's, one for all programs.
std::wstring widen(const std::string& utf8) { return toUtf16(utf8); }

std::string narrow(const std::wstring& wide) { return toUtf8(wide); }

int twipsToPixels(double twips, int dpi) { return static_cast<int>(std::lround(twips * dpi / 1440.0)); }

double pixelsToTwips(int pixels, int dpi) { return pixels * 1440.0 / dpi; }

std::wstring driveText(const std::wstring& drive, const std::wstring& label) {
  return label.empty() ? drive : drive + L" (" + label + L")";
}

namespace {

// One drive's label, asked on a thread of its own. The thread and the
// reader share it, so that a thread that answers late writes into memory
// that is still there.
struct LabelQuery {
  wchar_t root[4] = {};
  wchar_t label[MAX_PATH + 1] = {};
  volatile LONG done = 0;
};

DWORD WINAPI askLabel(void* param) {
  std::unique_ptr<std::shared_ptr<LabelQuery>> held(static_cast<std::shared_ptr<LabelQuery>*>(param));
  LabelQuery& q = **held;
  // No "insert a disk" box for a drive without its medium.
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, nullptr);
  wchar_t label[MAX_PATH + 1] = {};
  if (GetVolumeInformationW(q.root, label, MAX_PATH + 1, nullptr, nullptr, nullptr, nullptr, 0))
    std::copy(std::begin(label), std::end(label), q.label);
  InterlockedExchange(&q.done, 1);
  return 0;
}

// How long the drive list waits for drives that have not told their label.
constexpr DWORD kLabelWaitMs = 1500;

}  // namespace

std::vector<DriveEntry> readDrives() {
  std::vector<DriveEntry> drives;
  std::vector<std::shared_ptr<LabelQuery>> queries;
  std::vector<HANDLE> threads;
  const DWORD mask = GetLogicalDrives();
  for (int i = 0; i < 26; ++i) {
    if (!(mask & (1u << i))) continue;
    const wchar_t letter = static_cast<wchar_t>(L'A' + i);
    auto query = std::make_shared<LabelQuery>();
    query->root[0] = letter;
    query->root[1] = L':';
    query->root[2] = L'\\';
    drives.push_back({std::wstring{letter, L':'}, {}});
    queries.push_back(query);
    const UINT type = GetDriveTypeW(query->root);
    if (type == DRIVE_REMOVABLE || type == DRIVE_NO_ROOT_DIR) continue;
    auto* param = new std::shared_ptr<LabelQuery>(query);
    HANDLE t = CreateThread(nullptr, 64 * 1024, askLabel, param, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (t)
      threads.push_back(t);
    else
      delete param;
  }
  if (!threads.empty())
    WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, kLabelWaitMs);
  for (HANDLE t : threads) CloseHandle(t);
  for (std::size_t i = 0; i < drives.size(); ++i) {
    const std::wstring label =
        InterlockedCompareExchange(&queries[i]->done, 0, 0) ? queries[i]->label : L"";
    drives[i].text = driveText(drives[i].drive, label);
  }
  return drives;
}

std::wstring cutMiddle(const std::wstring& text, int width,
                       const std::function<int(const std::wstring&)>& measure) {
  if (text.empty() || measure(text) <= width) return text;
  const std::wstring dots = L"\u2026";
  const auto isHigh = [](wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; };
  const auto isLow = [](wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; };
  const auto cut = [&](std::size_t kept) {
    const std::size_t tailLength = (kept + 1) / 2;
    std::size_t headLength = kept - tailLength;
    std::size_t tailStart = text.size() - tailLength;
    if (headLength > 0 && isHigh(text[headLength - 1])) --headLength;
    if (tailStart < text.size() && isLow(text[tailStart])) ++tailStart;
    return text.substr(0, headLength) + dots + text.substr(tailStart);
  };
  // The most characters kept that still fit.
  std::size_t low = 0, high = text.size() - 1;
  while (low < high) {
    const std::size_t mid = (low + high + 1) / 2;
    if (measure(cut(mid)) <= width)
      low = mid;
    else
      high = mid - 1;
  }
  return cut(low);
}

std::wstring driveOf(const std::wstring& path) {
  if (path.size() >= 2 && path[1] == L':' && std::iswalpha(path[0]))
    return std::wstring{static_cast<wchar_t>(std::towupper(path[0])), L':'};
  return {};
}

bool naturalLess(const std::wstring& a, const std::wstring& b) {
  const int c = StrCmpLogicalW(a.c_str(), b.c_str());
  return c != 0 ? c < 0 : a < b;
}

void sortNaturally(std::vector<std::wstring>& names) {
  std::stable_sort(names.begin(), names.end(), naturalLess);
}

namespace {

// The system's table; a folder that is not there is a path not found.
int listingError(DWORD code) {
  const int n = errorNumberFromWin32(code);
  return n == err::FileNotFound ? err::PathNotFound : n;
}

// A full path as the kernel takes it: one too long for the plain form goes
// in the extended-length form.
std::wstring forKernel(const std::wstring& path) {
  if (path.size() < MAX_PATH - 12 || path.rfind(L"\\\\?\\", 0) == 0) return path;
  if (path.size() >= 2 && path[0] == L'\\' && path[1] == L'\\') return L"\\\\?\\UNC\\" + path.substr(2);
  if (driveOf(path).empty()) return path;
  std::wstring full = L"\\\\?\\" + path;
  for (wchar_t& c : full)
    if (c == L'/') c = L'\\';
  return full;
}

}  // namespace

std::vector<std::wstring> readNames(const std::wstring& dir, Entries kind) {
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  WIN32_FIND_DATAW data{};
  HANDLE h = FindFirstFileExW(forKernel(joinPath(dir, L"*")).c_str(), FindExInfoBasic, &data,
                              FindExSearchNameMatch, nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    SetErrorMode(oldMode);
    // An empty drive root has no entries at all, not even "." and "..".
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_NO_MORE_FILES) {
      const DWORD a = GetFileAttributesW(forKernel(dir).c_str());
      if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) return {};
    }
    throw RuntimeError(listingError(code), "read " + narrow(dir), {}, win32Reason(code));
  }
  std::vector<std::wstring> names;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
    const bool isDir = data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    if (isDir == (kind == Entries::Directories)) names.push_back(name);
  } while (FindNextFileW(h, &data));
  const DWORD code = GetLastError();
  FindClose(h);
  SetErrorMode(oldMode);
  if (code != ERROR_NO_MORE_FILES) throw RuntimeError(listingError(code), "read " + narrow(dir), {}, win32Reason(code));
  sortNaturally(names);
  return names;
}

std::wstring joinPath(const std::wstring& dir, const std::wstring& name) {
  if (dir.empty()) return name;
  if (dir.back() == L'\\' || dir.back() == L'/') return dir + name;
  return dir + L'\\' + name;
}

std::vector<std::wstring> pathChain(const std::wstring& dir) {
  std::vector<std::wstring> chain;
  if (dir.size() < 3 || driveOf(dir).empty()) {
    if (!dir.empty()) chain.push_back(dir);
    return chain;
  }
  chain.push_back(dir.substr(0, 3));  // "C:\"
  for (std::size_t pos = 3; pos < dir.size();) {
    std::size_t next = dir.find_first_of(L"\\/", pos);
    if (next == std::wstring::npos) next = dir.size();
    if (next > pos) chain.push_back(dir.substr(0, next));
    pos = next + 1;
  }
  return chain;
}

}  // namespace vexo::win32

#endif  // _WIN32
