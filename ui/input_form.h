// The extension dialog's window: creates the controls and forwards their
// events to the dialog's behaviour (InputForm, ui/core/input_dialog.h), which
// holds the proceed flag and the unloading rules.
#pragma once

#include <QDialog>

#include "input_dialog.h"
#include "input_view.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace vexo {

class Input_Form : public QDialog, public InputView {
  Q_OBJECT

 public:
  Input_Form(InputForm& form, QWidget* parent = nullptr);

  QLabel* Label1;
  QComboBox* Combo1;
  QPushButton* Command1;  // "決　定", the default button
  QPushButton* Command2;  // "取　消", the cancel button

  // InputView.
  void setComboList(const std::vector<std::string>& items) override;
  std::string comboText() override;
  void setComboText(const std::string& text) override;
  void focusCombo() override;
  void showModal() override;
  void hide() override;

  // Esc and the close box end the dialog as "取　消" does.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  InputForm& form_;
};

}  // namespace vexo
