#include "design.h"

#include <stdexcept>
#include <string>

#include "texts.h"

namespace vexo::design {

namespace {

// The main window. The frame is wider and taller than the original form's
// to hold the third size option and the size box; the window is taller for
// Check2 under Check1 (375 twips) and the output folder's row (420).
// Check3 and its percentage sit beside Check2, under the buttons; the
// output folder's row is below everything else.
const Control kMainControls[] = {
    {"Sel_Drive", "", 3000, 360, 2655, 300, "", true},
    {"Dir_name", "", 3000, 720, 2655, 1980, "", true},
    {"Label1", text::kLabel1, 120, 120, 2055, 255, "", false},
    {"FIle_list", "", 120, 720, 2655, 2010, "", true},
    {"Ret_bottn", text::kRetBottn, 2160, 4200, 1095, 375, "", true},
    {"Refresh_bottn", text::kRefreshBottn, 3360, 4200, 975, 375, "", true},
    {"Exit_bottn", text::kExitBottn, 4560, 4200, 1095, 375, "", true},
    {"File_Name", "", 120, 360, 2655, 255, "", false},
    {"Label2", "", 2880, 3240, 2415, 495, "", false},
    {"Progress_bar", "", 2880, 3780, 2415, 180, "", false},
    {"Frame1", text::kFrame1, 240, 2880, 2610, 1290, "", false},
    {"Option1_0", text::kOption1_0, 240, 240, 1575, 255, "Frame1", true},
    {"Option1_1", text::kOption1_1, 240, 600, 1695, 255, "Frame1", true},
    {"Option1_2", text::kOption1_2, 240, 960, 1275, 255, "Frame1", true},
    {"Size_Combo", "", 1530, 915, 1020, 330, "Frame1", true},
    {"Check1", text::kCheck1, 480, 4200, 1575, 375, "", true},
    {"Check2", text::kCheck2, 480, 4575, 1695, 375, "", true},
    {"Check3", text::kCheck3, 2280, 4575, 1335, 375, "", true},
    {"Recovery_Pct", "", 3660, 4605, 900, 315, "", true},
    {"Out_Label", text::kOutLabel, 120, 5040, 705, 255, "", false},
    {"Out_Dir", "", 840, 5010, 3615, 315, "", true},
    {"Out_Browse", text::kOutBrowse, 4560, 4995, 1095, 345, "", true},
};

const Control kInputControls[] = {
    {"Label1", text::kInputLabel1, 120, 120, 2775, 255, "", false},
    {"Command1", text::kCommand1, 480, 1080, 855, 375, "", true},
    {"Command2", text::kCommand2, 1680, 1080, 855, 375, "", true},
    {"Combo1", "", 840, 480, 1215, 300, "", true},
};

}  // namespace

const Window kMain{"Main", text::kMainCaption, 5835, 5550, kMainControls};
const Window kInput{"Input_Form", text::kInputCaption, 2985, 1590, kInputControls};

const Control& control(const Window& window, std::string_view name) {
  for (const Control& c : window.controls)
    if (name == c.name) return c;
  throw std::out_of_range(std::string(window.name) + " has no control " + std::string(name));
}

Rect inWindow(const Window& window, const Control& c) {
  Rect r{c.left, c.top, c.width, c.height};
  if (*c.container != '\0') {
    const Rect outer = inWindow(window, control(window, c.container));
    r.left += outer.left;
    r.top += outer.top;
  }
  return r;
}

}  // namespace vexo::design
