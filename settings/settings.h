// The settings that survive from one run to the next: the main window's
// position (twips), the naming switch and the piece size.
#pragma once

#include <QString>

class QSettings;

namespace vexo {

// The application's title: message boxes carry it, and the settings are
// filed under it.
inline const QString kAppTitle = QStringLiteral("VEXO");

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

// Reads the four values; one that is absent or cannot be used gets its default.
// A position must be a finite number within kMaxPositionTwips, "Bit16" one of
// 0, 1, 2 and "Size" 0 or 1.
StoredSettings loadSettings();

// Writes the values in order: the position only when the window is not
// minimised, then "Bit16", then "Size". A store that cannot be written does
// not throw; the result tells whether everything reached the store.
bool saveSettings(const StoredSettings& values, bool minimised);

// The same on a given store, for callers that keep their own.
StoredSettings loadSettings(QSettings& store);
bool saveSettings(QSettings& store, const StoredSettings& values, bool minimised);

// A position as it is written: the single-precision value in plain decimal,
// no exponent, no thousands separator, a whole number without a decimal point
// ("1000", "-150"), a fraction in its shortest exact form ("1234.5").
QString numberText(double value);

}  // namespace vexo
