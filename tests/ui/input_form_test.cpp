// The extension dialog on its own: layout, the list it offers, and the
// proceed flag and unloading for each way of leaving it.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <memory>

#include "engine.h"
#include "input_form.h"
#include "support.h"

using namespace vexo;
using namespace vexo::test;

Q_DECLARE_METATYPE(std::function<void(vexo::Input_Form*)>)

namespace {

// The dialog as the main window loads it: its behaviour, which runs
// Form_Load, and its window.
struct Dialog {
  InputForm behaviour;
  Input_Form* form;
  Dialog() {
    auto view = std::make_unique<Input_Form>(behaviour);
    form = view.get();
    behaviour.load(std::move(view));
  }
};

}  // namespace

class InputFormTest : public QObject {
  Q_OBJECT

 private slots:
  void layout();
  void offersFourExtensionsAndStartsEmpty();
  void showingClearsFlagAndFocusesCombo();
  void leaving_data();
  void leaving();
  void typedTextIsTakenAsTyped();
};

void InputFormTest::layout() {
  Dialog dialog;
  Input_Form& form = *dialog.form;
  QCOMPARE(form.objectName(), QStringLiteral("Input_Form"));
  QCOMPARE(form.windowTitle(), QStringLiteral("拡張子入力"));
  QCOMPARE(form.size(), QSize(199, 106));  // 2,985 x 1,590 twips
  QCOMPARE(form.Label1->text(), QStringLiteral("結合後の拡張子を入力して下さい"));
  QCOMPARE(form.Label1->geometry(), QRect(8, 8, 185, 17));
  QCOMPARE(form.Combo1->geometry(), QRect(56, 32, 81, 20));
  QCOMPARE(form.Command1->text(), QStringLiteral("決　定"));
  QCOMPARE(form.Command1->geometry(), QRect(32, 72, 57, 25));
  QCOMPARE(form.Command2->text(), QStringLiteral("取　消"));
  QCOMPARE(form.Command2->geometry(), QRect(112, 72, 57, 25));
  for (const char* name : {"Label1", "Combo1", "Command1", "Command2"})
    QVERIFY(form.findChild<QWidget*>(QString::fromLatin1(name)));
  QVERIFY(form.Command1->isDefault());
  QVERIFY(form.Combo1->isEditable());

  QStringList chain;
  QWidget* w = form.Command1;
  do {
    if (w == form.Command1 || w == form.Command2 || w == form.Combo1) chain.append(w->objectName());
    w = w->nextInFocusChain();
  } while (w != form.Command1);
  QCOMPARE(chain, QStringList({"Command1", "Command2", "Combo1"}));
}

void InputFormTest::offersFourExtensionsAndStartsEmpty() {
  Dialog dialog;
  Input_Form& form = *dialog.form;
  QStringList items;
  for (int i = 0; i < form.Combo1->count(); ++i) items.append(form.Combo1->itemText(i));
  QCOMPARE(items, QStringList({"exe", "lzh", "mdb", "xls"}));
  QVERIFY(form.Combo1->currentText().isEmpty());
  form.Combo1->setCurrentIndex(1);
  QCOMPARE(form.Combo1->currentText(), QStringLiteral("lzh"));
}

void InputFormTest::showingClearsFlagAndFocusesCombo() {
  Dialog dialog;
  Input_Form& form = *dialog.form;
  form.Command1->setFocus();
  form.show();
  QCOMPARE(dialog.behaviour.proceed(), kFalse);
  QCOMPARE(form.focusWidget(), form.Combo1);
  form.hide();

  // Every showing does it again.
  form.Command2->setFocus();
  form.show();
  QCOMPARE(dialog.behaviour.proceed(), kFalse);
  QCOMPARE(form.focusWidget(), form.Combo1);
}

void InputFormTest::leaving_data() {
  using Act = std::function<void(Input_Form*)>;
  QTest::addColumn<Act>("act");
  QTest::addColumn<bool>("proceed");
  QTest::addColumn<bool>("unloaded");
  QTest::newRow("決　定") << Act([](Input_Form* f) { QTest::mouseClick(f->Command1, Qt::LeftButton); })
                        << true << false;
  QTest::newRow("Enter in the box")
      << Act([](Input_Form* f) { QTest::keyClick(f->Combo1, Qt::Key_Return); }) << true
      << false;
  QTest::newRow("取　消") << Act([](Input_Form* f) { QTest::mouseClick(f->Command2, Qt::LeftButton); })
                        << false << false;
  QTest::newRow("Esc") << Act([](Input_Form* f) { QTest::keyClick(f->Combo1, Qt::Key_Escape); })
                       << false << false;
  QTest::newRow("close box") << Act([](Input_Form* f) { f->close(); }) << false << true;
}

void InputFormTest::leaving() {
  using Act = std::function<void(Input_Form*)>;
  QFETCH(Act, act);
  QFETCH(bool, proceed);
  QFETCH(bool, unloaded);

  // Twice, since a hidden dialog is shown again for the next join.
  Dialog dialog;
  Input_Form& form = *dialog.form;
  for (int round = 0; round < 2; ++round) {
    whenModal([&](QWidget* modal) {
      QCOMPARE(modal, &form);
      act(&form);
    });
    form.exec();
    QVERIFY(!form.isVisible());
    QCOMPARE(dialog.behaviour.proceed(), proceed ? kTrue : kFalse);
    QCOMPARE(dialog.behaviour.unloadRequested(), unloaded);
  }
}

void InputFormTest::typedTextIsTakenAsTyped() {
  Dialog dialog;
  Input_Form& form = *dialog.form;
  whenModal([&](QWidget*) {
    // No completion from the list: "e" stays "e"; a leading dot stays too.
    QTest::keyClicks(form.Combo1, ".e");
    QTest::keyClick(form.Combo1, Qt::Key_Return);
  });
  form.exec();
  QCOMPARE(dialog.behaviour.proceed(), kTrue);
  QCOMPARE(form.Combo1->currentText(), QStringLiteral(".e"));
  QCOMPARE(form.Combo1->count(), 4);  // nothing added to the list
}

QTEST_MAIN(InputFormTest)
#include "input_form_test.moc"
