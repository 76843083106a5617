// File services on Windows. Every call goes through the wide-character
// Win32 API: names arrive as UTF-8 and are converted to UTF-16 here, so
// names in any script work whatever the system's ANSI code page is.
#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <climits>
#include <cwctype>
#include <limits>
#include <map>

#include "file_services.h"
#include "system_errors.h"
#include "utf16.h"
#include "messages.h"
#include "name_rules.h"

namespace vexo {
namespace {

// The attribute bits a set's pieces leave to the joined file, so that a
// set is always shown in the file list; the set's record names them.
constexpr std::pair<DWORD, const char*> kSetAside[] = {{FILE_ATTRIBUTE_HIDDEN, "hidden"},
                                                       {FILE_ATTRIBUTE_SYSTEM, "system"}};

// File numbers run from 1 to this.
constexpr int kMaxFileNumber = 511;

[[noreturn]] void fail(DWORD code, const std::string& what, const std::string& file = {}) {
  // A file another program holds open is refused like a protected one;
  // the reason tells the user which it is.
  const bool inUse = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
  throw RuntimeError(errorNumberFromWin32(code), what + ": Win32 error " + std::to_string(code), file,
                     inUse ? text::kInUse : win32Reason(code));
}

[[noreturn]] void failLast(const std::string& what, const std::string& file = {}) {
  fail(GetLastError(), what, file);
}

std::wstring wide(const std::string& utf8);

// FILETIME counts 100 ns steps since 1601-01-01 UTC.
constexpr std::int64_t kTicksPerSecond = 10'000'000;
constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;

FileDateTime instant(const FILETIME& t) {
  const auto ticks = static_cast<std::int64_t>((static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
  return FileDateTime{ticks / kTicksPerSecond - kSecondsFrom1601To1970,
                      static_cast<std::int32_t>(ticks % kTicksPerSecond * 100)};
}

FILETIME fileTime(const FileDateTime& dt) {
  const std::int64_t ticks = (dt.seconds + kSecondsFrom1601To1970) * kTicksPerSecond + dt.nanoseconds / 100;
  FILETIME t{};
  t.dwLowDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks));
  t.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32);
  return t;
}

std::wstring forKernel(const std::wstring& p);

// A failed open or delete of a file. Windows refuses a directory with
// "access denied"; that is a path/file access error, not a protected file.
[[noreturn]] void failOnFile(const std::string& name) {
  const DWORD code = GetLastError();
  if (code == ERROR_ACCESS_DENIED) {
    const DWORD a = GetFileAttributesW(forKernel(wide(name)).c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY))
      throw RuntimeError(err::PathFileAccess, name + ": is a directory", name);
  }
  fail(code, name, name);
}

// A directory that cannot be entered because it is not there.
[[noreturn]] void failOnDirectory(const std::string& path) {
  const DWORD code = GetLastError();
  fail(code == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : code, path);
}

std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  if (utf8.find('\0') != std::string::npos || utf8.size() > static_cast<std::size_t>(INT_MAX))
    throw RuntimeError(err::BadFileNameOrNumber, "bad file name");
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                    static_cast<int>(utf8.size()), nullptr, 0);
  if (n <= 0) throw RuntimeError(err::BadFileNameOrNumber, "file name is not UTF-8");
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                      w.data(), n);
  return w;
}

std::string utf8(const std::wstring& w) { return toUtf8(w); }

// The name of a file for the kernel; a bare name resolves against the
// process's current directory.
std::wstring fileName(const std::string& name) {
  if (name.empty()) throw RuntimeError(err::BadFileNameOrNumber, "empty file name");
  return wide(name);
}

WIN32_FILE_ATTRIBUTE_DATA attributeData(const std::wstring& path, const std::string& name) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
    failLast(name, name);
  return data;
}

// Names of hidden temporary files: ".vexo-N.tmp" (and those of older
// versions, ".vexo-TAG-N.tmp").
bool hiddenTemporaryName(const std::wstring& name) {
  return name.size() > 10 && name.rfind(L".vexo-", 0) == 0 && name.compare(name.size() - 4, 4, L".tmp") == 0;
}

std::wstring systemCurrentDirectory() {
  DWORD n = GetCurrentDirectoryW(0, nullptr);
  for (;;) {
    std::wstring w(n, L'\0');
    const DWORD got = GetCurrentDirectoryW(n, w.data());
    if (got == 0) failLast("current directory");
    if (got < n) {
      w.resize(got);
      return w;
    }
    n = got;
  }
}

// A directory too deep for the system's current directory (MAX_PATH
// characters, unless the program is long-path aware and the system allows
// it) is current here instead: bare names resolve against it. It holds
// while the system's own current directory is the one it was when it was
// entered; a change of that from elsewhere ends it.
struct DeepCurrent {
  std::wstring dir;
  std::wstring systemDir;
};

DeepCurrent& deepCurrent() {
  static DeepCurrent current;
  return current;
}

std::wstring currentDirectory() {
  DeepCurrent& deep = deepCurrent();
  if (!deep.dir.empty()) {
    if (systemCurrentDirectory() == deep.systemDir) return deep.dir;
    deep.dir.clear();
  }
  return systemCurrentDirectory();
}

// The absolute form of a path that names its drive or is relative to the
// current directory. It starts with a buffer large enough for most paths and
// grows it when told to; see driveRelative() for why paths like "D:" and
// "D:dir" never get here.
std::wstring fullPath(const std::wstring& path) {
  DWORD n = MAX_PATH + static_cast<DWORD>(std::min<std::size_t>(path.size(), 32767));
  for (;;) {
    std::wstring w(n, L'\0');
    const DWORD got = GetFullPathNameW(path.c_str(), n, w.data(), nullptr);
    if (got == 0) failLast(utf8(path));
    if (got < n) {
      w.resize(got);
      return w;
    }
    n = got;
  }
}

// Upper-case drive letter of a path that begins with one ("c:\x" -> 'C'),
// or 0 for other paths (UNC names).
wchar_t driveLetter(const std::wstring& path) {
  if (path.size() >= 2 && path[1] == L':' && std::iswalpha(path[0]))
    return static_cast<wchar_t>(std::towupper(path[0]));
  return 0;
}

// The value of an environment variable, or "" when it is not set.
std::wstring environmentValue(const wchar_t* name) {
  DWORD n = MAX_PATH;
  for (;;) {
    std::wstring w(n, L'\0');
    const DWORD got = GetEnvironmentVariableW(name, w.data(), n);
    if (got == 0) return {};
    if (got < n) {
      w.resize(got);
      return w;
    }
    n = got;
  }
}

// Whether a path names a drive but not where on it: "D:" or "D:dir", which
// are relative to that drive's own current directory.
bool driveRelative(const std::wstring& path) {
  return driveLetter(path) != 0 && (path.size() == 2 || (path[2] != L'\\' && path[2] != L'/'));
}

bool separator(wchar_t c) { return c == L'\\' || c == L'/'; }

constexpr wchar_t kExtended[] = L"\\\\?\\";

// A full path in the extended-length form (\\?\C:\dir or
// \\?\UNC\server\share\dir), which the kernel takes as it is, up to
// 32,767 characters.
std::wstring extendedPath(const std::wstring& full) {
  if (full.rfind(kExtended, 0) == 0) return full;
  if (full.size() >= 2 && separator(full[0]) && separator(full[1])) return L"\\\\?\\UNC\\" + full.substr(2);
  return kExtended + full;
}

// A path without its extended-length prefix.
std::wstring plainPath(const std::wstring& path) {
  if (path.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + path.substr(8);
  if (path.rfind(kExtended, 0) == 0) return path.substr(4);
  return path;
}

// Paths this long or longer go to the kernel in the extended-length form
// (a directory must leave room for an 8.3 name below MAX_PATH).
constexpr std::size_t kLongPath = MAX_PATH - 12;

// A path as the kernel takes it: a bare name resolves against the current
// directory; one whose full path is too long for the plain form, or that
// lies in a directory the system does not hold as current, goes as the
// extended-length full path.
std::wstring forKernel(const std::wstring& p) {
  if (p.empty() || p.rfind(kExtended, 0) == 0 || driveRelative(p)) return p;
  const bool absolute = driveLetter(p) != 0 || (p.size() >= 2 && separator(p[0]) && separator(p[1]));
  std::wstring full = p;
  if (!absolute) {
    const std::wstring dir = currentDirectory();
    full = separator(p[0]) ? dir.substr(0, 2) + p : dir + (separator(dir.back()) ? L"" : L"\\") + p;
    if (!deepCurrent().dir.empty()) return extendedPath(fullPath(full));
  }
  if (full.size() < kLongPath) return p;
  return extendedPath(fullPath(full));
}

// CreateFileW for writing. Windows refuses to open a read-only file for
// writing, but Wine run by the superuser does not; the attribute is checked
// on the open handle too, so a read-only file is never written anywhere.
// A link (reparse point) is refused, never followed, like anything that is
// not an ordinary disk file.
HANDLE openForWriting(const std::wstring& name, DWORD share, DWORD disposition) {
  const DWORD a = GetFileAttributesW(name.c_str());
  if (a != INVALID_FILE_ATTRIBUTES && (a & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return h;
  // (Devices have no file information. GetFileType is not asked here: under
  // Wine it sets the last access time, which stamping must leave alone.)
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))) {
    CloseHandle(h);
    SetLastError(ERROR_INVALID_FUNCTION);
    return INVALID_HANDLE_VALUE;
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
    CloseHandle(h);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return h;
}

class Win32FileServices final : public FileServices {
 public:
  ~Win32FileServices() override { closeAll(); }

  int freeFile() override {
    for (int f = 1; f <= kMaxFileNumber; ++f)
      if (!files_.count(f)) return f;
    throw RuntimeError(err::TooManyFiles, "no free file number");
  }

  void openRead(const std::string& name, int f) override {
    checkFree(f);
    HANDLE h = CreateFileW(path(name).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) failOnFile(name);
    if (GetFileType(h) != FILE_TYPE_DISK) {
      CloseHandle(h);
      throw RuntimeError(err::PathFileAccess, "not a regular file: " + name, name);
    }
    files_[f] = Open{h, false, false, name, {}, {}};
  }

  void createNew(const std::string& name, int f) override {
    checkFree(f);
    // CREATE_NEW fails on any existing name, a link's too.
    HANDLE h = CreateFileW(path(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) failOnFile(name);
    files_[f] = Open{h, true, false, name, {}, {}};
  }

  FileKind kind(const std::string& name, bool followLinks) override {
    const std::wstring w = path(name);
    const DWORD a = GetFileAttributesW(w.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) {
      const DWORD code = GetLastError();
      if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND || code == ERROR_FILENAME_EXCED_RANGE ||
          code == ERROR_INVALID_NAME)
        return FileKind::Missing;
      fail(code, name);
    }
    if (a & FILE_ATTRIBUTE_REPARSE_POINT) {
      if (!followLinks) return FileKind::Link;
      HANDLE h = CreateFileW(w.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
      if (h == INVALID_HANDLE_VALUE) return FileKind::Missing;  // a dangling link
      BY_HANDLE_FILE_INFORMATION info{};
      const bool ok = GetFileInformationByHandle(h, &info);
      const DWORD type = GetFileType(h);
      CloseHandle(h);
      if (!ok || type != FILE_TYPE_DISK) return FileKind::Other;
      return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Directory : FileKind::Regular;
    }
    if (a & FILE_ATTRIBUTE_DIRECTORY) return FileKind::Directory;
    if (a & FILE_ATTRIBUTE_DEVICE) return FileKind::Other;
    return FileKind::Regular;
  }

  void replace(const std::string& from, const std::string& to) override {
    if (!MoveFileExW(path(from).c_str(), path(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      failLast("rename " + from + " " + to, to);
  }

  std::optional<std::int64_t> freeSpace() override {
    ULARGE_INTEGER avail{}, total{}, free{};
    // The volume that holds the folder: a volume mounted in a folder counts
    // as itself, not as the drive it is mounted on.
    if (!GetDiskFreeSpaceExW(at_.empty() ? nullptr : forKernel(at_ + L"\\").c_str(), &avail, &total, &free))
      return std::nullopt;
    return static_cast<std::int64_t>(std::min<unsigned long long>(avail.QuadPart, LLONG_MAX));
  }

  std::vector<std::string> listDirectory() override {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data{};
    HANDLE h = FindFirstFileW(forKernel(at_.empty() ? L"*" : at_ + L"\\*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_NOT_FOUND) return names;
      failLast("list");
    }
    do {
      const std::wstring n = data.cFileName;
      if (n != L"." && n != L"..") names.push_back(utf8(n));
    } while (FindNextFileW(h, &data));
    FindClose(h);
    return names;
  }

  void openWrite(const std::string& name, int f, bool truncate) override {
    checkFree(f);
    // OPEN_ALWAYS rather than CREATE_ALWAYS: an existing file keeps its
    // attribute bits (CREATE_ALWAYS refuses hidden and system files), and it
    // is shortened below only when asked.
    HANDLE h = openForWriting(path(name), FILE_SHARE_READ, OPEN_ALWAYS);
    if (h == INVALID_HANDLE_VALUE) failOnFile(name);
    files_[f] = Open{h, true, false, name, {}, {}};
    if (truncate) this->truncate(f);
  }

  void truncate(int f) override {
    Open& o = file(f);
    if (!o.forWrite) throw RuntimeError(err::BadFileMode, "file not open for writing");
    seek(o, 0);
    if (!SetEndOfFile(o.handle)) failLast("truncate", o.name);
    o.eof = false;
  }

  std::size_t read(int f, char* buf, std::size_t len,
                   std::optional<std::int64_t> pos) override {
    Open& o = file(f);
    if (o.forWrite) throw RuntimeError(err::BadFileMode, "file not open for reading");
    if (pos) {
      if (*pos < 1) throw RuntimeError(err::BadFileNameOrNumber, "bad position");
      seek(o, *pos - 1);
    }
    std::size_t done = 0;
    while (done < len) {
      const DWORD want = static_cast<DWORD>(
          std::min<std::size_t>(len - done, std::numeric_limits<DWORD>::max() / 2));
      DWORD got = 0;
      if (!ReadFile(o.handle, buf + done, want, &got, nullptr)) failLast("read", o.name);
      if (got == 0) break;
      done += got;
    }
    o.eof = done < len;
    return done;
  }

  bool eof(int f) override { return file(f).eof; }

  std::int64_t loc(int f) override {
    LARGE_INTEGER zero{}, now{};
    if (!SetFilePointerEx(file(f).handle, zero, &now, FILE_CURRENT)) failLast("position");
    return now.QuadPart + 1;
  }

  void write(int f, const char* buf, std::size_t len) override {
    Open& o = file(f);
    if (!o.forWrite) throw RuntimeError(err::BadFileMode, "file not open for writing");
    std::size_t done = 0;
    while (done < len) {
      const DWORD want = static_cast<DWORD>(
          std::min<std::size_t>(len - done, std::numeric_limits<DWORD>::max() / 2));
      DWORD put = 0;
      if (!WriteFile(o.handle, buf + done, want, &put, nullptr)) failLast("write", o.name);
      // A write that stores nothing without an error has run out of room.
      if (put == 0) fail(ERROR_DISK_FULL, "write", o.name);
      done += put;
    }
  }

  void flush(int f) override {
    auto it = files_.find(f);
    if (it == files_.end()) throw RuntimeError(err::BadFileNameOrNumber, "file not open");
    if (!FlushFileBuffers(it->second.handle)) failLast("flush", it->second.name);
  }

  void close(int f) override {
    auto it = files_.find(f);
    if (it == files_.end()) throw RuntimeError(err::BadFileNameOrNumber, "file not open");
    HANDLE h = it->second.handle;
    const std::string name = it->second.name;
    const std::wstring hidden = it->second.hidden;
    files_.erase(it);
    const bool closed = CloseHandle(h);
    discard(hidden);
    if (!closed) failLast("close", name);
  }

  void closeAll() override {
    for (auto& [f, o] : files_) {
      CloseHandle(o.handle);
      discard(o.hidden);
    }
    files_.clear();
  }

  void createExclusive(const std::string& name, int f, FileAttributes mode) override {
    (void)mode;  // no permission bits here: a new file has its folder's access rules
    createNew(name, f);
  }

  void createTemporary(int f, FileAttributes mode, const std::string& becomes) override {
    (void)mode;
    checkFree(f);
    const std::wstring folder = at_.empty() ? currentDirectory() : at_;
    for (int n = 1;; ++n) {
      const std::wstring hidden = forKernel(joined(folder, L".vexo-" + std::to_wstring(n) + L".tmp"));
      // Shared for deleting, so that it can be renamed while it is open;
      // not for writing, so that removeLeftovers() of another request,
      // which opens it for itself alone, finds it in use.
      HANDLE h = CreateFileW(hidden.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_HIDDEN, nullptr);
      if (h != INVALID_HANDLE_VALUE) {
        files_[f] = Open{h, true, false, becomes, folder, hidden};
        return;
      }
      const DWORD code = GetLastError();
      if ((code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) || n >= 100000) fail(code, "create", becomes);
    }
  }

  void nameTemporary(int f, const std::string& name, bool replace) override {
    Open& o = file(f);
    if (o.hidden.empty()) throw RuntimeError(err::BadFileMode, "not a temporary file", name);
    // Without MOVEFILE_REPLACE_EXISTING a file of that name is never
    // replaced; no write-through: the data goes to the disk when flushed.
    if (!MoveFileExW(o.hidden.c_str(), forKernel(joined(o.folder, fileName(name))).c_str(),
                     replace ? MOVEFILE_REPLACE_EXISTING : 0))
      failLast("rename " + name, name);
    o.hidden.clear();
    o.name = name;
  }

  std::int64_t removeLeftovers() override {
    std::int64_t freed = 0;
    const std::wstring folder = at_.empty() ? currentDirectory() : at_;
    WIN32_FIND_DATAW data{};
    HANDLE find = FindFirstFileW(forKernel(joined(folder, L".vexo-*.tmp")).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return 0;
    do {
      if (!hiddenTemporaryName(data.cFileName) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
      const std::wstring full = forKernel(joined(folder, data.cFileName));
      // Opened for this request alone: a file a running request holds
      // cannot be, so one that can is abandoned.
      HANDLE h = CreateFileW(full.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
      if (h == INVALID_HANDLE_VALUE) continue;
      LARGE_INTEGER size{};
      GetFileSizeEx(h, &size);
      FILE_BASIC_INFO basic{};
      basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;  // a read-only one may go too
      SetFileInformationByHandle(h, FileBasicInfo, &basic, sizeof basic);
      FILE_DISPOSITION_INFO gone{};
      gone.DeleteFile = TRUE;
      const bool removed = SetFileInformationByHandle(h, FileDispositionInfo, &gone, sizeof gone);
      CloseHandle(h);
      if (removed) freed += size.QuadPart;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return freed;
  }

  bool stampOpen(int f, const FileDateTime& dt) override {
    const FILETIME universal = fileTime(dt);
    SetFileTime(file(f).handle, nullptr, nullptr, &universal);
    return true;
  }

  void setAttrOpen(int f, FileAttributes attributes) override {
    Open& o = file(f);
    FILE_BASIC_INFO basic{};  // zero times: unchanged
    basic.FileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(o.handle, FileBasicInfo, &basic, sizeof basic)) failLast(o.name, o.name);
  }

  // Folders are full paths, taken from the path as it is given when the
  // folder is opened; names are then spelt out against them.
  int openFolder(const std::string& name) override {
    std::wstring folder =
        name.empty() ? currentDirectory() : plainPath(fullPath(onItsDrive(forKernel(fileName(name)))));
    const DWORD a = GetFileAttributesW(forKernel(folder).c_str());
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY))
      throw RuntimeError(err::PathNotFound, "folder " + name, name);
    while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
    int d = 1;
    while (folders_.count(d)) ++d;
    folders_[d] = folder;
    return d;
  }

  void closeFolder(int d) override {
    if (selected_ == d) selectFolder(0);
    folders_.erase(d);
  }

  void selectFolder(int d) override {
    if (d == 0) {
      selected_ = 0;
      at_.clear();
      return;
    }
    auto it = folders_.find(d);
    if (it == folders_.end()) throw RuntimeError(err::BadFileNameOrNumber, "no such folder");
    selected_ = d;
    at_ = it->second;
  }

  // The flush of a file takes its name with it on Windows.
  void syncFolder() override {}

  bool folderWritable() override { return true; }

  std::int64_t fileLen(const std::string& name) override {
    const auto data = attributeData(path(name), name);
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }

  FileDateTime fileDateTime(const std::string& name) override {
    return instant(attributeData(path(name), name).ftLastWriteTime);
  }

  FileState openFileState(int f) override {
    Open& o = file(f);
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(o.handle, &info)) failLast("file information", o.name);
    // Windows keeps no change time that every file system updates; the
    // 100 ns write time, the length and the file index tell a change.
    return FileState{(static_cast<std::int64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow,
                     instant(info.ftLastWriteTime), FileDateTime{},
                     FileIdentity{info.dwVolumeSerialNumber,
                                  (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow}};
  }

  FileAttributes getAttr(const std::string& name) override {
    const DWORD a = GetFileAttributesW(path(name).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) failLast(name, name);
    return a;
  }

  void setAttr(const std::string& name, FileAttributes attributes) override {
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;  // no bits at all
    // SetFileAttributesW acts on a link itself, not on what it leads to.
    if (!SetFileAttributesW(path(name).c_str(), attributes)) failLast(name, name);
  }

  void kill(const std::string& name) override {
    const std::wstring w = path(name);
    if (DeleteFileW(w.c_str())) return;
    // A read-only file is deleted once its bit is cleared; when it still
    // cannot be (held open elsewhere), it gets the bit back.
    const DWORD code = GetLastError();
    const DWORD a = GetFileAttributesW(w.c_str());
    if (code == ERROR_ACCESS_DENIED && a != INVALID_FILE_ATTRIBUTES &&
        (a & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
            FILE_ATTRIBUTE_READONLY &&
        SetFileAttributesW(w.c_str(), a & ~FILE_ATTRIBUTE_READONLY)) {
      if (DeleteFileW(w.c_str())) return;
      const DWORD again = GetLastError();
      SetFileAttributesW(w.c_str(), a);
      SetLastError(again);
    } else {
      SetLastError(code);
    }
    failOnFile(name);
  }

  // Windows compares names without regard to letter case.
  bool namesIgnoreCase() override { return true; }

  std::string nameProblem(const std::string& name) override { return windowsNameProblem(name); }

  FileAttributes pieceAttributes(FileAttributes source) override {
    return source & ~static_cast<FileAttributes>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  }

  std::string setAsideAttributes(FileAttributes source) override {
    std::string words;
    for (const auto& [bit, word] : kSetAside)
      if (source & bit) words += (words.empty() ? "" : ",") + std::string(word);
    return words;
  }

  FileAttributes withSetAside(FileAttributes bits, const std::string& words) override {
    // Only the words this program writes count, each between commas.
    for (std::size_t start = 0; start <= words.size();) {
      std::size_t end = words.find(',', start);
      if (end == std::string::npos) end = words.size();
      const std::string word = words.substr(start, end - start);
      for (const auto& [bit, name] : kSetAside)
        if (word == name) bits |= bit;
      start = end + 1;
    }
    return bits;
  }

  std::optional<FileIdentity> identity(const std::string& name) override {
    // No data access is asked for, so a file held open without sharing can
    // still be identified.
    HANDLE h = CreateFileW(path(name).c_str(), 0,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return std::nullopt;
      fail(code, name);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(h, &info);
    const DWORD code = GetLastError();
    CloseHandle(h);
    if (!ok) fail(code, name);
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
                            info.nFileIndexLow};
  }

  bool setFileDateTime(const std::string& name, const FileDateTime& dt) override {
    // Open the existing file for writing, not shared with anyone.
    HANDLE h = openForWriting(path(name), 0, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) return false;

    // Only the last-write time is set, to the very instant given. The
    // result is deliberately not examined: a time that cannot be set leaves
    // the file as it is.
    const FILETIME universal = fileTime(dt);
    SetFileTime(h, nullptr, nullptr, &universal);
    CloseHandle(h);
    return true;
  }

  std::string curDir() override { return utf8(currentDirectory()); }

  void chDir(const std::string& path) override {
    const std::wstring target = plainPath(fullPath(onItsDrive(forKernel(fileName(path)))));
    const wchar_t drive = driveLetter(target);
    const wchar_t current = driveLetter(currentDirectory());
    if (drive != 0 && drive != current) {
      // A directory on another drive becomes that drive's current
      // directory; the current drive stays as it is.
      const DWORD a = GetFileAttributesW(forKernel(target).c_str());
      if (a == INVALID_FILE_ATTRIBUTES) failOnDirectory(path);
      if (!(a & FILE_ATTRIBUTE_DIRECTORY)) fail(ERROR_PATH_NOT_FOUND, path);
      rememberDriveDirectory(target);
      return;
    }
    if (!enter(target)) failOnDirectory(path);
    rememberDriveDirectory(currentDirectory());
  }

  // Makes a directory (a full path) current: the system's current directory
  // when the system can hold it, else this program's own (DeepCurrent).
  // False, with the system's error, when it cannot be entered.
  static bool enter(const std::wstring& dir) {
    if (dir.size() < MAX_PATH - 1 && SetCurrentDirectoryW(dir.c_str())) {
      deepCurrent().dir.clear();
      return true;
    }
    if (dir.size() < MAX_PATH - 1 && GetLastError() != ERROR_FILENAME_EXCED_RANGE) return false;
    const DWORD a = GetFileAttributesW(extendedPath(dir).c_str());
    if (a == INVALID_FILE_ATTRIBUTES) return false;
    if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
      SetLastError(ERROR_DIRECTORY);
      return false;
    }
    // Its existence is all that can be checked here; a directory that may
    // not be listed says so when it is read.
    deepCurrent() = DeepCurrent{dir, systemCurrentDirectory()};
    return true;
  }

  void chDrive(const std::string& drive) override {
    // A drive is its letter and colon, as "C:", "C:\\" or a drive list's
    // "c: [label]"; anything else names no drive.
    const std::wstring w = wide(drive);
    const wchar_t letter = driveLetter(w);
    const bool plain = w.size() == 2 || (w.size() == 3 && (w[2] == L'\\' || w[2] == L'/'));
    const bool labelled = w.size() > 2 && w[2] == L' ';
    if (letter == 0 || !(plain || labelled))
      throw RuntimeError(err::DeviceUnavailable, "not a drive: " + drive);

    const std::wstring root{letter, L':', L'\\'};
    const UINT type = GetDriveTypeW(root.c_str());
    if (type == DRIVE_NO_ROOT_DIR || type == DRIVE_UNKNOWN)
      throw RuntimeError(err::DeviceUnavailable, "no drive " + drive);

    // Keep the directory of the drive being left, then enter the chosen
    // drive at its own current directory (its root the first time).
    rememberDriveDirectory(currentDirectory());
    const std::wstring dir = driveDirectory(letter);
    if (enter(dir)) return;
    DWORD code = GetLastError();
    // The remembered directory may be gone; the root is always there on a
    // drive that is ready.
    if (dir != root && enter(root)) {
      rememberDriveDirectory(root);
      return;
    }
    if (dir != root) code = GetLastError();
    if (code == ERROR_NOT_READY || type == DRIVE_REMOVABLE || type == DRIVE_CDROM)
      throw RuntimeError(err::DiskNotReady, "drive not ready: " + drive);
    throw RuntimeError(err::DeviceUnavailable, "cannot enter drive " + drive);
  }

 private:
  // Each drive keeps its own current directory. This object is where they
  // are looked up; they are also put in the environment variables "=X:",
  // the convention by which the command shell and GetFullPathNameW("X:")
  // find them and child processes inherit them.
  //
  // The variables are written but never resolved through GetFullPathNameW:
  // for "X:" on another drive Wine appends the backslash to the variable's
  // value at the full length of the value even when the buffer it copied
  // the value into is smaller (the first, sizing call gives it none), and so
  // writes past a heap block. Here that damaged the C runtime's copy of the
  // environment, and the next getenv() read a broken pointer.
  void rememberDriveDirectory(const std::wstring& dir) {
    const wchar_t letter = driveLetter(dir);
    if (letter == 0) return;
    driveDirs_[letter] = dir;
    const wchar_t var[] = {L'=', letter, L':', L'\0'};
    SetEnvironmentVariableW(var, dir.c_str());
  }

  // The current directory of a drive: the one it had when this object last
  // left it, else the one this process inherited, else its root.
  std::wstring driveDirectory(wchar_t letter) {
    letter = static_cast<wchar_t>(std::towupper(letter));
    if (letter == driveLetter(currentDirectory())) return currentDirectory();
    if (auto it = driveDirs_.find(letter); it != driveDirs_.end()) return it->second;
    const wchar_t var[] = {L'=', letter, L':', L'\0'};
    std::wstring dir = environmentValue(var);
    if (driveLetter(dir) == letter && dir.size() >= 3 && dir[2] == L'\\') return dir;
    return std::wstring{letter, L':', L'\\'};
  }

  // A path with "X:" or "X:dir" spelt out against that drive's directory.
  std::wstring onItsDrive(const std::wstring& path) {
    if (!driveRelative(path)) return path;
    std::wstring dir = driveDirectory(path[0]);
    const std::wstring rest = path.substr(2);
    if (rest.empty()) return dir;
    if (dir.back() != L'\\') dir += L'\\';
    return dir + rest;
  }

  struct Open {
    HANDLE handle;
    bool forWrite;
    bool eof;
    std::string name;     // as it was opened
    std::wstring folder;  // a temporary's folder, and its hidden name
    std::wstring hidden;  // until it is named (full path)
  };

  // A name in the selected folder (the current directory when none is).
  std::wstring path(const std::string& name) {
    const std::wstring w = fileName(name);
    return forKernel(at_.empty() ? w : joined(at_, w));
  }

  static std::wstring joined(const std::wstring& folder, const std::wstring& name) {
    if (folder.empty()) return name;
    const bool separated = folder.back() == L'\\' || folder.back() == L'/';
    return folder + (separated ? L"" : L"\\") + name;
  }

  // A temporary closed before it was named goes with it.
  static void discard(const std::wstring& hidden) {
    if (hidden.empty()) return;
    SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(hidden.c_str());
  }

  void checkFree(int f) {
    if (f < 1 || f > kMaxFileNumber) throw RuntimeError(err::BadFileNameOrNumber, "bad file number");
    if (files_.count(f)) throw RuntimeError(err::FileAlreadyOpen, "file number in use");
  }

  Open& file(int f) {
    auto it = files_.find(f);
    if (it == files_.end()) throw RuntimeError(err::BadFileNameOrNumber, "file not open");
    return it->second;
  }

  static void seek(Open& o, std::int64_t offset) {
    LARGE_INTEGER to{};
    to.QuadPart = offset;
    if (!SetFilePointerEx(o.handle, to, nullptr, FILE_BEGIN)) failLast("seek");
  }

  std::map<int, Open> files_;
  std::map<wchar_t, std::wstring> driveDirs_;
  std::map<int, std::wstring> folders_;  // folder numbers; 0 is the current directory
  int selected_ = 0;
  std::wstring at_;  // the selected folder, empty for the current directory
};

}  // namespace

std::unique_ptr<FileServices> makeSystemFileServices() {
  return std::make_unique<Win32FileServices>();
}

FileDateTime localDateTime(int year, int month, int day, int hour, int minute, int second) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(year);
  st.wMonth = static_cast<WORD>(month);
  st.wDay = static_cast<WORD>(day);
  st.wHour = static_cast<WORD>(hour);
  st.wMinute = static_cast<WORD>(minute);
  st.wSecond = static_cast<WORD>(second);
  FILETIME local{}, universal{};
  SystemTimeToFileTime(&st, &local);
  LocalFileTimeToFileTime(&local, &universal);
  return instant(universal);
}

std::unique_ptr<FileServices> makeSystemFileServices(const SystemFileOptions& options) {
  (void)options;  // nothing here to turn off
  return std::make_unique<Win32FileServices>();
}

}  // namespace vexo

#endif  // _WIN32
