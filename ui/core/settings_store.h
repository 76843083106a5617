// The settings that survive from one run to the next: the main window's
// position (twips), the naming switch and the piece size, as four string
// values filed under the application's title ("VEXO"), a section and a key:
//
//   section "Settings": "MainLeft", "MainTop"  (twips, numberText())
//   section "Checks":   "Bit16" ("0", "1", "2"), "Size" ("0", "1")
//
// The Qt program keeps them through QSettings constructed as
//   QSettings(QSettings::NativeFormat, QSettings::UserScope, "VEXO")
// (organization "VEXO", no application name), with fallbacks off. So
//  - on Linux they are in ~/.config/VEXO.conf ($XDG_CONFIG_HOME), an INI
//    file with sections [Settings] and [Checks];
//  - on Windows QSettings puts them in the registry under
//      HKEY_CURRENT_USER\Software\VEXO\OrganizationDefaults
//    with subkeys "Settings" and "Checks" holding REG_SZ values named
//    "MainLeft", "MainTop", "Bit16" and "Size". A Windows store must use
//    exactly that key so that both programs read the same values.
#pragma once

#include <optional>
#include <string>

namespace vexo {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;

  // The stored text, or nothing when the value is absent (or is no string).
  virtual std::optional<std::string> read(const std::string& section, const std::string& key) = 0;
  // Stores the text. False when it could not be stored.
  virtual bool write(const std::string& section, const std::string& key,
                     const std::string& value) = 0;
  // Makes the writes so far durable (a store that writes at once keeps
  // this). False when they did not reach the store.
  virtual bool flush() { return true; }
};

struct StoredSettings {
  double mainLeft = 1000;  // "Settings"/"MainLeft", twips
  double mainTop = 1000;   // "Settings"/"MainTop", twips
  int bit16 = 0;           // "Checks"/"Bit16": 0 clear, 1 checked, 2 third state
  int size = 0;            // "Checks"/"Size": 0 for 1457664, 1 for 1250304
};

// Largest distance from the origin, in twips, that a stored position may
// have: Qt's limit for widget geometry (16777215 pixels) at 15 twips a pixel.
// A stored position beyond it is treated as absent.
inline constexpr double kMaxPositionTwips = 15.0 * 16777215.0;

// Reads the four values; one that is absent or cannot be used gets its
// default. A position must be a finite single-precision number within
// kMaxPositionTwips, "Bit16" one of 0, 1, 2 and "Size" 0 or 1 (surrounding
// blanks are allowed, as the number conversion allows them).
StoredSettings loadSettings(SettingsStore& store);

// Writes the values in order: the position only when the window is not
// minimised, then "Bit16", then "Size". Never throws; the result tells
// whether everything reached the store.
bool saveSettings(SettingsStore& store, const StoredSettings& values, bool minimised);

// A position as it is written: the single-precision value in plain decimal,
// no exponent, no thousands separator, a whole number without a decimal point
// ("1000", "-150"), a fraction in its shortest exact form ("1234.5").
std::string numberText(double value);

}  // namespace vexo
