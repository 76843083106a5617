// The settings that survive from one run to the next: the main window's
// position (twips), the naming switches and the piece size, as string values
// filed under the application's title ("VEXO"), a section and a key:
//
//   section "Settings": "MainLeft", "MainTop"  (twips, numberText()),
//                       "OutputDir" (the output folder's field: "" or
//                       "(元のフォルダ)" for the chosen file's folder)
//   section "Checks":   "Bit16" ("0", "1", "2"),
//                       "Size" ("0" 1.44M, "1" 1.2M, "2" the size box),
//                       "CustomSize" (the size box's text, as entered),
//                       "Digits3" ("0", "1": piece numbers of three digits),
//                       "Recovery" (percent of recovery data written with
//                       a split, "1" to "100"; "0" or absent: none)
//
// Stores written before the size box existed hold no "CustomSize" or
// "Digits3" and read as they always did; a "Size" of "2" whose "CustomSize"
// is absent or no usable size (parsePieceSize) reads as "0".
//
// The Qt program keeps them through QSettings constructed as
//   QSettings(QSettings::NativeFormat, QSettings::UserScope, "VEXO")
// (organization "VEXO", no application name), with fallbacks off. So
//  - on Linux they are in ~/.config/VEXO.conf ($XDG_CONFIG_HOME), an INI
//    file with sections [Settings] and [Checks];
//  - on Windows QSettings puts them in the registry under
//      HKEY_CURRENT_USER\Software\VEXO\OrganizationDefaults
//    with subkeys "Settings" and "Checks" holding REG_SZ values named
//    "MainLeft", "MainTop" (in "Settings") and "Bit16", "Size",
//    "CustomSize", "Digits3" (in "Checks"). A Windows store must use
//    exactly that key and those subkeys so that both programs read the same
//    values.
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
  int size = 0;            // "Checks"/"Size": 0 for 1457664, 1 for 1250304, 2 the size box
  std::string customSize;  // "Checks"/"CustomSize": the size box's text
  int digits3 = 0;         // "Checks"/"Digits3": 1 for piece numbers of three digits
  std::string outputDir;   // "Settings"/"OutputDir": the output folder's field
  int recovery = 0;        // "Checks"/"Recovery": percent of recovery data, 0 none
};

// Largest distance from the origin, in twips, that a stored position may
// have: Qt's limit for widget geometry (16777215 pixels) at 15 twips a pixel.
// A stored position beyond it is treated as absent.
inline constexpr double kMaxPositionTwips = 15.0 * 16777215.0;

// Reads the values; one that is absent or cannot be used gets its default.
// A position must be a finite single-precision number within
// kMaxPositionTwips, "Bit16" one of 0, 1, 2, "Size" one of 0, 1, 2 and
// "Digits3" 0 or 1, "Recovery" 0 to 100 (surrounding blanks are allowed, as
// the number conversion allows them); "CustomSize" must be a usable size
// (parsePieceSize), else it reads as "", and "Size" 2 without it reads as 0.
// "OutputDir" is taken as stored.
StoredSettings loadSettings(SettingsStore& store);

// Writes the values in order: the position only when the window is not
// minimised, then "Bit16", "Size", "CustomSize", "Digits3", and
// "OutputDir" and "Recovery" when they are set or already stored. Never
// throws;
// the result tells whether everything reached the store.
bool saveSettings(SettingsStore& store, const StoredSettings& values, bool minimised);

// A position as it is written: the single-precision value in plain decimal,
// no exponent, no thousands separator, a whole number without a decimal point
// ("1000", "-150"), a fraction in its shortest exact form ("1234.5").
std::string numberText(double value);

}  // namespace vexo
