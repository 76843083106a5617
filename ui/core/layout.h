// How the main window's controls follow a window made larger than its
// designed size: the file list and the column of drive and directory lists
// share the extra width, both lists take the extra height, File_Name
// widens with the file list, and every other control keeps its distance to
// the corner of the window it is nearest to (the three buttons stay
// together at the bottom right); the output folder's field takes the
// whole extra width between its label and its button. Units are the view's own (pixels).
#pragma once

#include <string>

namespace vexo {

struct LayoutRect {
  int left = 0, top = 0, width = 0, height = 0;
  bool operator==(const LayoutRect&) const = default;
};

enum class Anchor {
  TopLeft,
  TopRight,
  BottomLeft,
  BottomRight,
  FileColumn,
  DirColumn,
  DriveRow,
  NameRow,
  OutputRow,  // the output folder's field: at the bottom, taking all the extra width
};

// The anchor of a control, by its name and its place in a window of the
// designed size.
Anchor anchorOf(const std::string& name, const LayoutRect& designed, int designedWidth,
                int designedHeight);

// Where a control goes in a window extraWidth and extraHeight larger than
// designed (negative values count as 0: the window never shrinks below its
// designed size).
LayoutRect placeGrown(const LayoutRect& designed, Anchor anchor, int extraWidth, int extraHeight);

}  // namespace vexo
