// What the extension dialog's behaviour (InputForm) needs of the dialog's
// controls. The view creates the dialog (caption, Label1, Combo1, Command1
// as default button, Command2 as cancel button, geometry, tab order).
//
// Event contract:
//  - InputForm::Form_Load() is called by the behaviour right after
//    MainView::loadInputView(); the view does not call it.
//  - While showModal() runs, the view calls InputForm::Form_Activate() each
//    time the dialog is shown or becomes the active window again,
//    Command1_Click() for "決　定" and Enter, Command2_Click() for "取　消"
//    and Esc, and Form_Unload() when the dialog is closed through its frame
//    (close box, Alt+F4). Each of the three calls hide(), so that
//    showModal() returns; the view need not hide the dialog itself.
//  - showModal() returns once hide() was called or the dialog was closed.
#pragma once

#include <string>
#include <vector>

namespace vexo {

class InputView {
 public:
  virtual ~InputView() = default;

  // Combo1: replaces the list (shown in this order, unsorted; text typed is
  // not added to it).
  virtual void setComboList(const std::vector<std::string>& items) = 0;
  // The editable text of Combo1.
  virtual std::string comboText() = 0;
  virtual void setComboText(const std::string& text) = 0;
  // Keyboard focus into Combo1's text.
  virtual void focusCombo() = 0;

  // Shows the dialog modally over the main window; returns when hidden.
  virtual void showModal() = 0;
  virtual void hide() = 0;
};

}  // namespace vexo
