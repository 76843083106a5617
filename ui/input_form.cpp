#include "input_form.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "engine.h"
#include "form_metrics.h"

namespace vexo {

Input_Form::Input_Form(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Input_Form"));
  setWindowTitle(QStringLiteral("拡張子入力"));
  setFont(formFont());
  setFixedSize(twipsSize(2985, 1590));
  setModal(true);

  Label1 = new QLabel(QStringLiteral("結合後の拡張子を入力して下さい"), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  placeTwips(Label1, 120, 120, 2775, 255);

  Combo1 = new QComboBox(this);
  Combo1->setObjectName(QStringLiteral("Combo1"));
  Combo1->setEditable(true);
  Combo1->setInsertPolicy(QComboBox::NoInsert);  // typed text is not added to the list
  Combo1->setCompleter(nullptr);                 // "e" must stay "e", not become "exe"
  placeTwips(Combo1, 840, 480, 1215, 300);
  Combo1->lineEdit()->installEventFilter(this);

  Command1 = new QPushButton(QStringLiteral("決　定"), this);
  Command1->setObjectName(QStringLiteral("Command1"));
  placeTwips(Command1, 480, 1080, 855, 375);
  Command1->setDefault(true);

  Command2 = new QPushButton(QStringLiteral("取　消"), this);
  Command2->setObjectName(QStringLiteral("Command2"));
  placeTwips(Command2, 1680, 1080, 855, 375);

  setTabOrder(Command1, Command2);
  setTabOrder(Command2, Combo1);

  connect(Command1, &QPushButton::clicked, this, &Input_Form::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &Input_Form::Command2_Click);

  Form_Load();
}

void Input_Form::Form_Load() {
  Combo1->clear();
  Combo1->addItems({QStringLiteral("exe"), QStringLiteral("lzh"), QStringLiteral("mdb"),
                    QStringLiteral("xls")});
  Combo1->setCurrentIndex(-1);
  Combo1->clearEditText();
}

void Input_Form::Form_Activate() {
  ProceedFlag = kFalse;
  Combo1->setFocus(Qt::ActiveWindowFocusReason);
}

void Input_Form::Command1_Click() {
  ProceedFlag = kTrue;
  QDialog::accept();
}

void Input_Form::Command2_Click() { QDialog::reject(); }

void Input_Form::reject() { Command2_Click(); }

void Input_Form::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  Form_Activate();
}

void Input_Form::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && isVisible())
    Form_Activate();
}

void Input_Form::closeEvent(QCloseEvent* event) {
  unloadRequested_ = true;
  QDialog::closeEvent(event);
}

bool Input_Form::eventFilter(QObject* watched, QEvent* event) {
  // Enter in the combo box's text field presses the default button.
  if (watched == Combo1->lineEdit() && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
      Command1->click();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace vexo
