#include "settings.h"

#include <QSettings>
#include <QVariant>

#include <charconv>
#include <cmath>
#include <optional>

namespace vexo {

namespace {

const QString kMainLeft = QStringLiteral("Settings/MainLeft");
const QString kMainTop = QStringLiteral("Settings/MainTop");
const QString kBit16 = QStringLiteral("Checks/Bit16");
const QString kSize = QStringLiteral("Checks/Size");

// Text of a stored value. Values are written as strings; one that something
// else put there as a list or another type becomes "" and so unusable.
QString storedText(const QSettings& store, const QString& key) {
  const QVariant v = store.value(key);
  return v.canConvert<QString>() ? v.toString() : QString();
}

// A position read as a single-precision number. Text that is no number, an
// infinity or NaN, or a position beyond what a window can be moved to counts
// as absent.
std::optional<double> readPosition(const QSettings& store, const QString& key) {
  bool ok = false;
  const float value = storedText(store, key).toFloat(&ok);  // C locale
  if (!ok || !std::isfinite(value) || std::fabs(value) > kMaxPositionTwips) {
    return std::nullopt;
  }
  return value;
}

// A switch read as a 16-bit integer; text that is no whole number, or a
// number outside 0..highest, counts as absent.
std::optional<int> readSwitch(const QSettings& store, const QString& key, int highest) {
  bool ok = false;
  const short value = storedText(store, key).toShort(&ok);
  if (!ok || value < 0 || value > highest) return std::nullopt;
  return value;
}

}  // namespace

QString numberText(double value) {
  // The store holds single precision, so write what will be read back.
  const float single = static_cast<float>(value);
  if (single == 0) return QStringLiteral("0");  // never "-0"
  // Fixed notation with no precision given yields the shortest digits that
  // read back to the same value, never an exponent, and no trailing ".0".
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, single, std::chars_format::fixed);
  return QString::fromLatin1(text, result.ptr - text);
}

StoredSettings loadSettings(QSettings& store) {
  StoredSettings values;  // the defaults for whatever is absent or unusable
  if (const auto left = readPosition(store, kMainLeft)) values.mainLeft = *left;
  if (const auto top = readPosition(store, kMainTop)) values.mainTop = *top;
  if (const auto bit16 = readSwitch(store, kBit16, 2)) values.bit16 = *bit16;
  if (const auto size = readSwitch(store, kSize, 1)) values.size = *size;
  return values;
}

bool saveSettings(QSettings& store, const StoredSettings& values, bool minimised) {
  // A minimised window's position is not where it should reopen; the one
  // stored before stays.
  if (!minimised && std::isfinite(values.mainLeft) && std::isfinite(values.mainTop)) {
    store.setValue(kMainLeft, numberText(values.mainLeft));
    store.setValue(kMainTop, numberText(values.mainTop));
  }
  store.setValue(kBit16, QString::number(values.bit16));
  store.setValue(kSize, values.size != 0 ? QStringLiteral("1") : QStringLiteral("0"));
  store.sync();
  // A format error met while reading the old file does not stop the write;
  // only an access error means the values did not get there. Either way the
  // caller goes on (closing must not be held up by the store).
  return store.status() != QSettings::AccessError;
}

namespace {

// The user's own store, filed under the application's title. With the title
// as organisation and no application name, QSettings keeps it
//  - on Linux and other Unix systems in the INI file VEXO.conf in the user's
//    configuration directory ($XDG_CONFIG_HOME, normally ~/.config), with
//    sections [Settings] and [Checks];
//  - on Windows in the registry under
//    HKEY_CURRENT_USER\Software\VEXO\OrganizationDefaults, with subkeys
//    Settings and Checks holding string (REG_SZ) values.
// Fallbacks are off so that a system-wide file or key is never read in place
// of the user's own values.
class UserStore {
 public:
  UserStore() : store_(QSettings::NativeFormat, QSettings::UserScope, kAppTitle) {
    store_.setFallbacksEnabled(false);
  }
  QSettings& get() { return store_; }

 private:
  QSettings store_;
};

}  // namespace

StoredSettings loadSettings() {
  UserStore store;
  return loadSettings(store.get());
}

bool saveSettings(const StoredSettings& values, bool minimised) {
  UserStore store;
  return saveSettings(store.get(), values, minimised);
}

}  // namespace vexo
