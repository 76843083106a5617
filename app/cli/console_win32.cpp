// The terminal on Windows: a console is written and read in UTF-16, a pipe
// or a file gets the UTF-8 bytes.
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>

#include "console.h"
#include "utf16.h"

namespace vexo::cli {
namespace {

std::atomic<bool> stopFlag{false};

BOOL WINAPI onConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      stopFlag = true;
      return TRUE;
    default:
      return FALSE;
  }
}

bool isConsole(HANDLE h) {
  DWORD mode = 0;
  return h != INVALID_HANDLE_VALUE && h != nullptr && GetFileType(h) == FILE_TYPE_CHAR && GetConsoleMode(h, &mode);
}

void writeTo(DWORD which, std::string_view text) {
  const HANDLE h = GetStdHandle(which);
  if (h == INVALID_HANDLE_VALUE || h == nullptr || text.empty()) return;
  if (isConsole(h)) {
    const std::wstring w = toUtf16(text);
    DWORD written = 0;
    WriteConsoleW(h, w.data(), static_cast<DWORD>(w.size()), &written, nullptr);
    return;
  }
  while (!text.empty()) {
    DWORD written = 0;
    if (!WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) || written == 0) return;
    text.remove_prefix(written);
  }
}

}  // namespace

bool inputIsTerminal() { return isConsole(GetStdHandle(STD_INPUT_HANDLE)); }
bool errorIsTerminal() { return isConsole(GetStdHandle(STD_ERROR_HANDLE)); }

int errorColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
    return info.srWindow.Right - info.srWindow.Left + 1;
  return 80;
}

void writeOut(std::string_view text) { writeTo(STD_OUTPUT_HANDLE, text); }
void writeErr(std::string_view text) { writeTo(STD_ERROR_HANDLE, text); }

std::optional<std::string> readLine() {
  const HANDLE h = GetStdHandle(STD_INPUT_HANDLE);
  std::wstring line;
  for (;;) {
    if (stopFlag) return std::nullopt;
    wchar_t c = 0;
    DWORD got = 0;
    if (!ReadConsoleW(h, &c, 1, &got, nullptr) || got == 0) {
      if (stopFlag || line.empty()) return std::nullopt;
      break;
    }
    if (c == L'\n') break;
    if (c != L'\r') line += c;
  }
  return toUtf8(line);
}

void installStopHandlers() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }
bool stopAsked() { return stopFlag; }

std::string absolutePath(const std::string& path) {
  const std::wstring w = toUtf16(path.empty() ? "." : path);
  const DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  const DWORD got = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
  if (got == 0 || got >= n) return path;
  full.resize(got);
  return toUtf8(full);
}

void splitPath(const std::string& path, std::string& folder, std::string& name) {
  const auto sep = path.find_last_of("/\\");
  const bool drive = path.size() >= 2 && path[1] == ':';
  if (sep == std::string::npos) {
    // "C:name" is a name in drive C's current directory.
    folder = drive ? path.substr(0, 2) : std::string();
    name = drive ? path.substr(2) : path;
    return;
  }
  folder = (sep == 0 || (drive && sep == 2)) ? path.substr(0, sep + 1) : path.substr(0, sep);
  name = path.substr(sep + 1);
}

}  // namespace vexo::cli
#endif
