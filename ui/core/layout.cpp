#include "layout.h"

#include <algorithm>

namespace vexo {

Anchor anchorOf(const std::string& name, const LayoutRect& designed, int designedWidth,
                int designedHeight) {
  if (name == "FIle_list") return Anchor::FileColumn;
  if (name == "Dir_name") return Anchor::DirColumn;
  if (name == "Sel_Drive") return Anchor::DriveRow;
  if (name == "File_Name") return Anchor::NameRow;
  if (name == "Out_Dir") return Anchor::OutputRow;
  // Compared doubled, to stay in whole numbers.
  const bool right = 2 * designed.left + designed.width > designedWidth || name == "Ret_bottn";
  const bool bottom = 2 * designed.top + designed.height > designedHeight;
  if (bottom) return right ? Anchor::BottomRight : Anchor::BottomLeft;
  return right ? Anchor::TopRight : Anchor::TopLeft;
}

LayoutRect placeGrown(const LayoutRect& designed, Anchor anchor, int extraWidth, int extraHeight) {
  const int dw = std::max(0, extraWidth);
  const int dh = std::max(0, extraHeight);
  const int fileShare = dw / 2;  // the rest goes to the drive and directory column
  LayoutRect r = designed;
  switch (anchor) {
    case Anchor::TopLeft:
      break;
    case Anchor::TopRight:
      r.left += dw;
      break;
    case Anchor::BottomLeft:
      r.top += dh;
      break;
    case Anchor::BottomRight:
      r.left += dw;
      r.top += dh;
      break;
    case Anchor::FileColumn:
      r.width += fileShare;
      r.height += dh;
      break;
    case Anchor::DirColumn:
      r.left += fileShare;
      r.width += dw - fileShare;
      r.height += dh;
      break;
    case Anchor::DriveRow:
      r.left += fileShare;
      r.width += dw - fileShare;
      break;
    case Anchor::NameRow:
      r.width += fileShare;
      break;
    case Anchor::OutputRow:
      r.top += dh;
      r.width += dw;
      break;
  }
  return r;
}

}  // namespace vexo
