// Helpers for the Windows-only tests: a fresh current directory per test and
// plain wide-character Win32 calls to make and inspect files.
#pragma once
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "file_services.h"

namespace vexo::wintest {

inline std::string toUtf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                      nullptr);
  return s;
}

inline std::wstring toWide(const std::string& s) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

// Wine keeps the archive bit on every file and does not keep creation
// times apart from modification times; the tests allow for both there.
inline bool underWine() {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

// The attribute bits a file shows after being given bits.
inline DWORD shownAttributes(DWORD bits) {
  return underWine() ? (bits | FILE_ATTRIBUTE_ARCHIVE) : bits;
}

class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (valid()) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

inline void writeFileW(const std::wstring& name, const std::string& bytes) {
  Handle h(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(h.valid()) << toUtf8(name);
  DWORD put = 0;
  ASSERT_TRUE(WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr));
  ASSERT_EQ(put, bytes.size());
}

// Contents of a file, or "<missing>" when it cannot be opened.
inline std::string readFileW(const std::wstring& name) {
  Handle h(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.valid()) return "<missing>";
  std::string out;
  char buf[65536];
  DWORD got = 0;
  while (ReadFile(h.get(), buf, sizeof buf, &got, nullptr) && got > 0) out.append(buf, got);
  return out;
}

inline bool existsW(const std::wstring& name) {
  return GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::int64_t ticks(const FILETIME& ft) {
  return (static_cast<std::int64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

inline FILETIME fromTicks(std::int64_t t) {
  return FILETIME{static_cast<DWORD>(t & 0xFFFFFFFF), static_cast<DWORD>(t >> 32)};
}

inline FILETIME lastWriteW(const std::wstring& name) {
  WIN32_FILE_ATTRIBUTE_DATA d{};
  EXPECT_TRUE(GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &d)) << toUtf8(name);
  return d.ftLastWriteTime;
}

inline FILETIME lastAccessW(const std::wstring& name) {
  WIN32_FILE_ATTRIBUTE_DATA d{};
  EXPECT_TRUE(GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &d)) << toUtf8(name);
  return d.ftLastAccessTime;
}

inline FILETIME creationW(const std::wstring& name) {
  WIN32_FILE_ATTRIBUTE_DATA d{};
  EXPECT_TRUE(GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &d)) << toUtf8(name);
  return d.ftCreationTime;
}

// Sets a file's last-write time from a local date-time, whole seconds.
inline void stampW(const std::wstring& name, const FileDateTime& dt) {
  const FILETIME universal =
      fromTicks((dt.seconds + 11'644'473'600) * 10'000'000 + dt.nanoseconds / 100);
  Handle h(CreateFileW(name.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                       nullptr));
  ASSERT_TRUE(h.valid());
  ASSERT_TRUE(SetFileTime(h.get(), nullptr, nullptr, &universal));
}

inline void expectError(int number, const std::function<void()>& call) {
  try {
    call();
    ADD_FAILURE() << "expected runtime error " << number;
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), number) << e.what();
  }
}

// Each test runs in a fresh, empty directory under the temporary directory,
// made the current one; it is removed afterwards, read-only files included.
class TempDirFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t old[MAX_PATH + 1];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH + 1, old), 0u);
    oldDir_ = old;
    wchar_t tmp[MAX_PATH + 1];
    ASSERT_GT(GetTempPathW(MAX_PATH + 1, tmp), 0u);
    for (unsigned n = GetCurrentProcessId() * 1000u;; ++n) {
      dir_ = std::wstring(tmp) + L"vexo-test-" + std::to_wstring(n);
      if (CreateDirectoryW(dir_.c_str(), nullptr)) break;
      ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    }
    ASSERT_TRUE(SetCurrentDirectoryW(dir_.c_str()));
    wchar_t full[MAX_PATH + 1];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH + 1, full), 0u);
    dir_ = full;
    fs = makeSystemFileServices();
  }

  void TearDown() override {
    fs.reset();
    SetCurrentDirectoryW(oldDir_.c_str());
    std::error_code ec;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir_, ec))
      SetFileAttributesW(e.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove_all(dir_, ec);
  }

  std::string tempDirUtf8() const { return toUtf8(dir_); }

  std::unique_ptr<FileServices> fs;

 private:
  std::wstring oldDir_;
  std::wstring dir_;
};

}  // namespace vexo::wintest

#endif  // _WIN32
