// Qt's own texts in Japanese whatever the locale, and the window's message
// boxes: title, buttons in Japanese, default and escape buttons, width.
#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <clocale>
#include <cstdlib>

#include "main_window.h"
#include "message_box.h"
#include "settings.h"
#include "translations.h"

using namespace vexo;

class DialogsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void boxes_data();
  void boxes();
  void answers_data();
  void answers();
};

void DialogsTest::initTestCase() {
  // main() started the application under the C locale.
  QVERIFY(installJapaneseTranslations(*qApp));
  QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel").isEmpty(), false);
  QVERIFY(QCoreApplication::translate("QPlatformTheme", "Cancel") != QStringLiteral("Cancel"));
}

namespace {

// A button's caption as shown: the mnemonic marker and its bracketed key
// ("はい(&Y)") left out.
QString shown(const QAbstractButton* button) {
  QString text = button->text();
  const qsizetype amp = text.indexOf(u'&');
  if (amp > 0 && text.at(amp - 1) == u'(' && text.endsWith(u')')) text.truncate(amp - 1);
  text.remove(u'&');
  return text;
}

}  // namespace

void DialogsTest::boxes_data() {
  QTest::addColumn<int>("style");
  QTest::addColumn<QString>("text");
  QTest::addColumn<QStringList>("buttons");
  QTest::addColumn<QString>("defaultButton");
  QTest::addColumn<QMessageBox::Icon>("icon");
  const QStringList yesNo = {QStringLiteral("はい"), QStringLiteral("いいえ")};
  QTest::newRow("ok, short text") << kStyleOkOnly << QStringLiteral("分割完了") << QStringList{"OK"}
                                  << QStringLiteral("OK") << QMessageBox::NoIcon;
  QTest::newRow("information") << kStyleInformation << QStringLiteral("結合完了") << QStringList{"OK"}
                               << QStringLiteral("OK") << QMessageBox::Information;
  QTest::newRow("warning") << kStyleWarning << QStringLiteral("エラー番号:53") << QStringList{"OK"}
                           << QStringLiteral("OK") << QMessageBox::Warning;
  QTest::newRow("yes/no, yes default")
      << kStyleYesNoQuestion << QStringLiteral("削除しますか？") << yesNo << QStringLiteral("はい")
      << QMessageBox::Question;
  QTest::newRow("yes/no, no default")
      << kStyleYesNoQuestionNoDefault << QStringLiteral("置き換えますか？") << yesNo
      << QStringLiteral("いいえ") << QMessageBox::Question;
}

void DialogsTest::boxes() {
  QFETCH(int, style);
  QFETCH(QString, text);
  QFETCH(QStringList, buttons);
  QFETCH(QString, defaultButton);
  QFETCH(QMessageBox::Icon, icon);
  QMessageBox box;
  setUpMessageBox(box, style, text);
  QCOMPARE(box.windowTitle(), kAppTitle);
  QCOMPARE(box.text(), text);
  QCOMPARE(box.textFormat(), Qt::PlainText);
  QCOMPARE(box.icon(), icon);
  QStringList captions;
  for (QAbstractButton* b : box.buttons()) captions.append(shown(b));
  captions.sort();
  buttons.sort();
  QCOMPARE(captions, buttons);

  box.show();
  QVERIFY(QTest::qWaitForWindowExposed(&box));
  if (buttons.size() > 1) {  // a lone OK button is the default anyway
    QVERIFY(box.defaultButton());
    QCOMPARE(shown(box.defaultButton()), defaultButton);
  }
  // Wide enough for the title, in the title bar's bold face, and four
  // frame buttons, however short the text.
  QFont bold = QApplication::font("QMdiSubWindowTitleBar");
  bold.setBold(true);
  const int least = messageBoxMinimumWidth(box, kAppTitle);
  QVERIFY(least >= QFontMetrics(bold).horizontalAdvance(kAppTitle) + 4 * 24);
  QVERIFY2(box.width() >= least, qPrintable(QStringLiteral("%1 < %2").arg(box.width()).arg(least)));
}

void DialogsTest::answers_data() {
  QTest::addColumn<int>("style");
  QTest::addColumn<int>("key");
  QTest::addColumn<int>("answer");
  QTest::newRow("ok, enter") << kStyleOkOnly << int(Qt::Key_Return) << kAnswerOk;
  QTest::newRow("yes default, enter") << kStyleYesNoQuestion << int(Qt::Key_Return) << kAnswerYes;
  QTest::newRow("yes default, escape") << kStyleYesNoQuestion << int(Qt::Key_Escape) << kAnswerNo;
  QTest::newRow("no default, enter") << kStyleYesNoQuestionNoDefault << int(Qt::Key_Return) << kAnswerNo;
}

void DialogsTest::answers() {
  QFETCH(int, style);
  QFETCH(int, key);
  QFETCH(int, answer);
  QTimer::singleShot(0, [key] {
    QWidget* box = QApplication::activeModalWidget();
    QVERIFY(box);
    QTest::keyClick(box, Qt::Key(key));
  });
  QCOMPARE(execMessageBox(nullptr, style, QStringLiteral("テスト")), answer);
}

int main(int argc, char** argv) {
  // Qt's texts must be Japanese even where the user's locale is not.
  ::setenv("LC_ALL", "C", 1);
  ::setenv("LANG", "C", 1);
  ::setenv("LANGUAGE", "C", 1);
  std::setlocale(LC_ALL, "C");
  QApplication app(argc, argv);
  QTEST_SET_MAIN_SOURCE_PATH
  DialogsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "dialogs_test.moc"
