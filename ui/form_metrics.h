// The windows give the positions and sizes of their controls in twips
// (1/1440 inch). Qt lays widgets out in device-independent pixels of
// 1/96 inch, so one pixel is 15 twips; Qt's high-DPI scaling maps those
// pixels to the screen.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

class QWidget;

namespace vexo {

inline constexpr int kTwipsPerPixel = 15;

// Twips to device-independent pixels, rounded to the nearest pixel.
constexpr int twips(double t) {
  return static_cast<int>(t >= 0 ? t / kTwipsPerPixel + 0.5 : t / kTwipsPerPixel - 0.5);
}

// Pixels back to twips (for storing a window position).
constexpr double pixelsToTwips(int px) { return static_cast<double>(px) * kTwipsPerPixel; }

inline QRect twipsRect(int left, int top, int width, int height) {
  return QRect(twips(left), twips(top), twips(width), twips(height));
}

inline QSize twipsSize(int width, int height) { return QSize(twips(width), twips(height)); }

// Places a control inside its container; all four values in twips.
void placeTwips(QWidget* control, int left, int top, int width, int height);

// The font of both windows: a 9-point Gothic face that has the Japanese
// glyphs, so that the captions fit the control heights.
QFont formFont();

}  // namespace vexo
