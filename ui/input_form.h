// The extension dialog: asks for the extension of a joined file while short
// naming is selected. Its answer is the program-wide proceed flag: true
// after "決　定", false after "取　消", Esc or the close box.
//
// The main window loads it on its first showing and afterwards only hides
// it, so the text stays for the next join; closing it through its frame
// unloads it (unloadRequested() is then true and the owner deletes it).
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;

namespace vexo {

class Input_Form : public QDialog {
  Q_OBJECT

 public:
  explicit Input_Form(QWidget* parent = nullptr);

  QLabel* Label1;
  QComboBox* Combo1;
  QPushButton* Command1;  // "決　定", the default button
  QPushButton* Command2;  // "取　消", the cancel button

  // True once the dialog was closed through its frame.
  bool unloadRequested() const { return unloadRequested_; }

  void Form_Load();
  void Form_Activate();
  void Command1_Click();
  void Command2_Click();

  // Esc and the close box end the dialog as "取　消" does.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool unloadRequested_ = false;
};

}  // namespace vexo
