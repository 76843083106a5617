// The settings store of the Windows program: string values in the
// registry under the key the Qt program's QSettings uses on Windows,
//   HKEY_CURRENT_USER\Software\VEXO\OrganizationDefaults\<section>
// each value a REG_SZ named by its key, so both programs read and write the
// same values.
#pragma once
#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

#include "settings_store.h"

namespace vexo {

// Where the Qt program's QSettings keeps them, below HKEY_CURRENT_USER.
inline constexpr wchar_t kRegistrySettingsKey[] = L"Software\\VEXO\\OrganizationDefaults";

class RegistryStore : public SettingsStore {
 public:
  explicit RegistryStore(HKEY root = HKEY_CURRENT_USER, std::wstring key = kRegistrySettingsKey);

  // A value that is absent, or is not a string, reads as nothing.
  std::optional<std::string> read(const std::string& section, const std::string& key) override;
  bool write(const std::string& section, const std::string& key, const std::string& value) override;

 private:
  std::wstring sectionKey(const std::string& section) const;

  HKEY root_;
  std::wstring key_;
};

}  // namespace vexo

#endif  // _WIN32
