// The extension dialog's behaviour: asks for the extension of a joined file
// while short naming is selected. Its answer is its proceed flag: true
// after "決　定", false after "取　消", Esc or the close box.
//
// The main window loads it on its first showing and afterwards only hides
// it, so the text stays for the next join; closing it through its frame
// unloads it (unloadRequested() is then true and the owner destroys it, so
// that the next showing starts empty).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "input_view.h"

namespace vexo {

// Truth values of the window's 16-bit flags.
inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;

class InputForm {
 public:
  InputForm() = default;
  InputForm(const InputForm&) = delete;
  InputForm& operator=(const InputForm&) = delete;

  // Takes the dialog's view (from MainView::loadInputView) and runs
  // Form_Load.
  void load(std::unique_ptr<InputView> view);
  InputView* view() const { return view_.get(); }

  // Shows the dialog modally; returns when it was hidden or closed.
  void show();
  // True once the dialog was closed through its frame.
  bool unloadRequested() const { return unloadRequested_; }
  // The text of Combo1.
  std::string text() const;
  // The answer of the last showing: kTrue when it was left with "決　定".
  std::int16_t proceed() const { return proceed_; }

  // Event handlers.
  void Form_Load();
  void Form_Activate();
  void Command1_Click();
  void Command2_Click();
  // The dialog was closed through its frame: as "取　消", and unloaded.
  void Form_Unload();

 private:
  std::unique_ptr<InputView> view_;
  bool unloadRequested_ = false;
  std::int16_t proceed_ = kFalse;
};

}  // namespace vexo
