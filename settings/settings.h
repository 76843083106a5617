// The settings that survive from one run to the next, kept through QSettings
// in the user's own store. The rules (defaults, unusable values, the text
// written) are in ui/core/settings_store.h; this is the Qt program's store.
#pragma once

#include <QString>

#include <memory>

#include "settings_store.h"
#include "texts.h"

class QSettings;

namespace vexo {

// The application's title: message boxes carry it, and the settings are
// filed under it.
inline const QString kAppTitle = QString::fromLatin1(text::kAppTitle);

// A SettingsStore on a QSettings: section/key become the QSettings key
// "section/key"; values are written as strings. A value that something else
// stored as a list or another type reads as "" and so is unusable.
class QSettingsStore : public SettingsStore {
 public:
  explicit QSettingsStore(QSettings& settings) : settings_(settings) {}
  std::optional<std::string> read(const std::string& section, const std::string& key) override;
  bool write(const std::string& section, const std::string& key,
             const std::string& value) override;
  // Writes the file; false only on an access error (a format error met while
  // reading the old file does not stop the write).
  bool flush() override;

 private:
  QSettings& settings_;
};

// The user's own store, filed under the application's title (see
// settings_store.h for where QSettings keeps it). Each read sees the store
// as it is now; writes are kept until flush().
std::unique_ptr<SettingsStore> makeUserSettingsStore();

// Reading and writing the user's own store in one go.
StoredSettings loadSettings();
bool saveSettings(const StoredSettings& values, bool minimised);

// The same on a given QSettings.
StoredSettings loadSettings(QSettings& store);
bool saveSettings(QSettings& store, const StoredSettings& values, bool minimised);

}  // namespace vexo
