#ifdef _WIN32
#include "registry_store.h"

#include <climits>

namespace vexo {

namespace {

std::wstring wide(const std::string& utf8) {
  if (utf8.empty() || utf8.size() > static_cast<std::size_t>(INT_MAX)) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
  return w;
}

std::string utf8(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

}  // namespace

RegistryStore::RegistryStore(HKEY root, std::wstring key) : root_(root), key_(std::move(key)) {}

std::wstring RegistryStore::sectionKey(const std::string& section) const {
  return key_ + L"\\" + wide(section);
}

std::optional<std::string> RegistryStore::read(const std::string& section, const std::string& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(root_, sectionKey(section).c_str(), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS)
    return std::nullopt;
  const std::wstring name = wide(key);
  std::optional<std::string> result;
  DWORD type = 0, bytes = 0;
  if (RegQueryValueExW(h, name.c_str(), nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    // The stored text need not end in a NUL; room for one is added.
    std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                         &got) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
      text.resize(got / sizeof(wchar_t));
      while (!text.empty() && text.back() == L'\0') text.pop_back();
      result = utf8(text);
    }
  }
  RegCloseKey(h);
  return result;
}

bool RegistryStore::write(const std::string& section, const std::string& key,
                          const std::string& value) {
  HKEY h = nullptr;
  if (RegCreateKeyExW(root_, sectionKey(section).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h,
                      nullptr) != ERROR_SUCCESS)
    return false;
  const std::wstring text = wide(value);
  const LONG rc = RegSetValueExW(h, wide(key).c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
  return rc == ERROR_SUCCESS;
}

}  // namespace vexo

#endif  // _WIN32
