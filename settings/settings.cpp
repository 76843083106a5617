#include "settings.h"

#include <QSettings>
#include <QVariant>

namespace vexo {

namespace {

QString qtKey(const std::string& section, const std::string& key) {
  return QString::fromStdString(section) + u'/' + QString::fromStdString(key);
}

// The user's own store. With the title as organisation and no application
// name, QSettings keeps it
//  - on Linux and other Unix systems in the INI file VEXO.conf in the user's
//    configuration directory ($XDG_CONFIG_HOME, normally ~/.config), with
//    sections [Settings] and [Checks];
//  - on Windows in the registry under
//    HKEY_CURRENT_USER\Software\VEXO\OrganizationDefaults, with subkeys
//    Settings and Checks holding string (REG_SZ) values.
// Fallbacks are off so that a system-wide file or key is never read in place
// of the user's own values.
std::unique_ptr<QSettings> openUserSettings() {
  auto settings =
      std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, kAppTitle);
  settings->setFallbacksEnabled(false);
  return settings;
}

class UserSettingsStore : public SettingsStore {
 public:
  std::optional<std::string> read(const std::string& section, const std::string& key) override {
    auto settings = openUserSettings();
    return QSettingsStore(*settings).read(section, key);
  }
  bool write(const std::string& section, const std::string& key,
             const std::string& value) override {
    if (!pending_) pending_ = openUserSettings();
    return QSettingsStore(*pending_).write(section, key, value);
  }
  bool flush() override {
    if (!pending_) return true;
    const bool ok = QSettingsStore(*pending_).flush();
    pending_.reset();
    return ok;
  }

 private:
  std::unique_ptr<QSettings> pending_;
};

}  // namespace

std::optional<std::string> QSettingsStore::read(const std::string& section,
                                                const std::string& key) {
  const QVariant v = settings_.value(qtKey(section, key));
  if (!v.isValid()) return std::nullopt;
  return v.canConvert<QString>() ? v.toString().toStdString() : std::string();
}

bool QSettingsStore::write(const std::string& section, const std::string& key,
                           const std::string& value) {
  settings_.setValue(qtKey(section, key), QString::fromStdString(value));
  return true;
}

bool QSettingsStore::flush() {
  settings_.sync();
  return settings_.status() != QSettings::AccessError;
}

std::unique_ptr<SettingsStore> makeUserSettingsStore() {
  return std::make_unique<UserSettingsStore>();
}

StoredSettings loadSettings() {
  UserSettingsStore store;
  return loadSettings(store);
}

bool saveSettings(const StoredSettings& values, bool minimised) {
  UserSettingsStore store;
  return saveSettings(store, values, minimised);
}

StoredSettings loadSettings(QSettings& store) {
  QSettingsStore adapter(store);
  return loadSettings(adapter);
}

bool saveSettings(QSettings& store, const StoredSettings& values, bool minimised) {
  QSettingsStore adapter(store);
  return saveSettings(adapter, values, minimised);
}

}  // namespace vexo
