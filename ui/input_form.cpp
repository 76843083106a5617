#include "input_form.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "directory_reading.h"
#include "form_metrics.h"
#include "texts.h"

namespace vexo {

Input_Form::Input_Form(InputForm& form, QWidget* parent) : QDialog(parent), form_(form) {
  setObjectName(QStringLiteral("Input_Form"));
  setWindowTitle(QString::fromUtf8(text::kInputCaption));
  setFont(formFont());
  setFixedSize(twipsSize(2985, 1590));
  setModal(true);

  Label1 = new QLabel(QString::fromUtf8(text::kInputLabel1), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  placeTwips(Label1, 120, 120, 2775, 255);

  Combo1 = new QComboBox(this);
  Combo1->setObjectName(QStringLiteral("Combo1"));
  Combo1->setEditable(true);
  Combo1->setInsertPolicy(QComboBox::NoInsert);  // typed text is not added to the list
  Combo1->setCompleter(nullptr);                 // "e" must stay "e", not become "exe"
  placeTwips(Combo1, 840, 480, 1215, 300);
  Combo1->lineEdit()->installEventFilter(this);

  Command1 = new QPushButton(QString::fromUtf8(text::kCommand1), this);
  Command1->setObjectName(QStringLiteral("Command1"));
  placeTwips(Command1, 480, 1080, 855, 375);
  Command1->setDefault(true);

  Command2 = new QPushButton(QString::fromUtf8(text::kCommand2), this);
  Command2->setObjectName(QStringLiteral("Command2"));
  placeTwips(Command2, 1680, 1080, 855, 375);

  setTabOrder(Command1, Command2);
  setTabOrder(Command2, Combo1);

  connect(Command1, &QPushButton::clicked, this, [this] { form_.Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { form_.Command2_Click(); });
}

void Input_Form::setComboList(const std::vector<std::string>& items) {
  Combo1->clear();
  for (const std::string& item : items) Combo1->addItem(QString::fromUtf8(item));
  Combo1->setCurrentIndex(-1);
}

std::string Input_Form::comboText() { return toFsPath(Combo1->currentText()); }

void Input_Form::setComboText(const std::string& text) {
  Combo1->setCurrentIndex(-1);
  Combo1->setEditText(fromFsPath(text));
}

void Input_Form::focusCombo() { Combo1->setFocus(Qt::ActiveWindowFocusReason); }

void Input_Form::showModal() { exec(); }

void Input_Form::hide() { QDialog::hide(); }  // ends exec()

void Input_Form::reject() { form_.Command2_Click(); }

void Input_Form::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  form_.Form_Activate();
}

void Input_Form::changeEvent(QEvent* event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && isVisible())
    form_.Form_Activate();
}

void Input_Form::closeEvent(QCloseEvent* event) {
  form_.Form_Unload();  // hides the dialog
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
