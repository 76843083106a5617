// The settings that survive from one run to the next: the main window's
// position (twips), the naming switch and the piece size.
#pragma once

#include <QString>

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

// Reads the four values; one that is absent or cannot be used gets its default.
StoredSettings loadSettings();

// Writes the values in order: the position only when the window is not
// minimised, then "Bit16", then "Size". A store that cannot be written does
// not throw.
void saveSettings(const StoredSettings& values, bool minimised);

}  // namespace vexo
