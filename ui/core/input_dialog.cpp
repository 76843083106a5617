#include "input_dialog.h"

#include <iterator>
#include <vector>

#include "texts.h"

namespace vexo {

void InputForm::load(std::unique_ptr<InputView> view) {
  view_ = std::move(view);
  unloadRequested_ = false;
  Form_Load();
}

void InputForm::show() { view_->showModal(); }

std::string InputForm::text() const { return view_ ? view_->comboText() : std::string(); }

void InputForm::Form_Load() {
  view_->setComboList(
      std::vector<std::string>(std::begin(text::kExtensions), std::end(text::kExtensions)));
  view_->setComboText("");
}

void InputForm::Form_Activate() {
  proceed_ = kFalse;
  view_->focusCombo();
}

void InputForm::Command1_Click() {
  proceed_ = kTrue;
  view_->hide();
}

void InputForm::Command2_Click() { view_->hide(); }

void InputForm::Form_Unload() {
  unloadRequested_ = true;
  view_->hide();  // the proceed flag stays false, as after "取　消"
}

}  // namespace vexo
