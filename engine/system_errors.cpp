#include "system_errors.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "file_services.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "utf16.h"
#endif

namespace vexo {

int errorNumberFromErrno(int e) {
  switch (e) {
    case ENOENT:
      return err::FileNotFound;
    case ENOTDIR:
      return err::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
#ifdef ETXTBSY
    case ETXTBSY:
#endif
    case EBUSY:
      return err::PermissionDenied;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
    case EFBIG:
      return err::DiskFull;
    case EIO:
      return err::DeviceIO;
    case EMFILE:
    case ENFILE:
      return err::TooManyFiles;
#ifdef ENOMEDIUM
    case ENOMEDIUM:
#endif
#ifdef ESTALE
    case ESTALE:
#endif
      return err::DiskNotReady;
    case ENXIO:
    case ENODEV:
      return err::DeviceUnavailable;
    case EEXIST:
      return err::FileAlreadyExists;
    case ENAMETOOLONG:
      return err::BadFileNameOrNumber;
    default:
      return err::PathFileAccess;
  }
}

std::string errnoReason(int e) {
  // strerror is not required to be thread-safe; one request at a time asks.
  const char* text = std::strerror(e);
  return text ? text : "error " + std::to_string(e);
}

#ifdef _WIN32
int errorNumberFromWin32(unsigned long code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
      return err::FileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DIRECTORY:
    case ERROR_BAD_NETPATH:
      return err::PathNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return err::PermissionDenied;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return err::DiskFull;
    case ERROR_NOT_READY:
      return err::DiskNotReady;
    case ERROR_INVALID_DRIVE:
      return err::DeviceUnavailable;
    case ERROR_TOO_MANY_OPEN_FILES:
      return err::TooManyFiles;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return err::FileAlreadyExists;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_INVALID_NAME:
      return err::BadFileNameOrNumber;
    case ERROR_CRC:
    case ERROR_SEEK:
    case ERROR_SECTOR_NOT_FOUND:
    case ERROR_WRITE_FAULT:
    case ERROR_READ_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
    case ERROR_NOT_DOS_DISK:
    case ERROR_BAD_UNIT:
      return err::DeviceIO;
    default:
      return err::PathFileAccess;
  }
}

std::string win32Reason(unsigned long code) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
  if (text.empty()) return "Win32 error " + std::to_string(code);
  return toUtf8(text);
}
#endif

namespace {
bool logOn = true;
}  // namespace

void setSystemErrorLog(bool on) { logOn = on; }

void logSystemError(int number, const std::string& what, const std::string& reason) {
  if (!logOn) return;
  std::string line = "vexo: error " + std::to_string(number);
  if (!what.empty()) line += ": " + what;
  if (!reason.empty()) line += ": " + reason;
  line += "\n";
#ifdef _WIN32
  OutputDebugStringW(toUtf16(line).c_str());
#else
  std::fputs(line.c_str(), stderr);
#endif
}

}  // namespace vexo
