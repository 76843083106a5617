#include "input_form.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "design.h"
#include "directory_reading.h"
#include "form_metrics.h"

namespace vexo {

Input_Form::Input_Form(InputForm& form, QWidget* parent) : QDialog(parent), form_(form) {
  setObjectName(QString::fromLatin1(design::kInput.name));
  setWindowTitle(QString::fromUtf8(design::kInput.caption));
  setFont(formFont());
  setFixedSize(twipsSize(design::kInput.clientWidth, design::kInput.clientHeight));
  setModal(true);

  // Created in the designed tab order, which is also the keyboard's.
  const auto designed = [this](QWidget* widget, const char* name) {
    const design::Control& c = design::control(design::kInput, name);
    widget->setObjectName(QString::fromLatin1(c.name));
    placeTwips(widget, c.left, c.top, c.width, c.height);
  };
  const auto caption = [](const char* name) {
    return QString::fromUtf8(design::control(design::kInput, name).caption);
  };
  Label1 = new QLabel(caption("Label1"), this);
  designed(Label1, "Label1");

  Command1 = new QPushButton(caption("Command1"), this);
  designed(Command1, "Command1");
  Command1->setDefault(true);

  Command2 = new QPushButton(caption("Command2"), this);
  designed(Command2, "Command2");

  Combo1 = new QComboBox(this);
  designed(Combo1, "Combo1");
  Combo1->setEditable(true);
  Combo1->setInsertPolicy(QComboBox::NoInsert);  // typed text is not added to the list
  Combo1->setCompleter(nullptr);                 // "e" must stay "e", not become "exe"
  Combo1->lineEdit()->installEventFilter(this);

  QWidget* previous = nullptr;
  for (const design::Control& c : design::kInput.controls) {
    if (!c.takesFocus) continue;
    auto* w = findChild<QWidget*>(QString::fromLatin1(c.name), Qt::FindDirectChildrenOnly);
    if (previous && w) setTabOrder(previous, w);
    if (w) previous = w;
  }

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
