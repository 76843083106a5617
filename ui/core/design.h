// The design of the two windows, shared by every view: each control's
// name, caption, rectangle and container, in tab order, and the size of
// each window's client area. Rectangles are in twips (1/1440 inch),
// relative to the container: the window's client area, or the frame named
// in `container`. A view adds only what is its own (widget kinds, styles,
// ids), keyed by the name.
#pragma once

#include <span>
#include <string_view>

namespace vexo::design {

struct Control {
  const char* name;       // the control's name ("Ret_bottn", "Option1_0")
  const char* caption;    // UTF-8, "" for none
  int left, top, width, height;
  const char* container;  // "" for the window itself, else a control's name
  bool takesFocus;        // a stop of the keyboard's tab order
};

struct Window {
  const char* name;
  const char* caption;
  int clientWidth, clientHeight;  // twips
  std::span<const Control> controls;  // in tab order
};

extern const Window kMain;
extern const Window kInput;

// The control of a window with that name; throws std::out_of_range when
// the window has none.
const Control& control(const Window& window, std::string_view name);

// The control's place relative to the window's client area (its own
// rectangle plus its container's offset).
struct Rect {
  int left, top, width, height;
  bool operator==(const Rect&) const = default;
};
Rect inWindow(const Window& window, const Control& c);

}  // namespace vexo::design
