// The main window and the settings store: what a window opens with, what
// closing and "終　了" leave in the store, the minimised window, unusable
// stored values and a store that cannot be written.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <memory>

#include "main_window.h"
#include "settings.h"
#include "support.h"

using namespace vexo;
using namespace vexo::test;

namespace {

// One run of the program: a window on a temporary working directory, opened
// on whatever the store holds at that moment.
struct Run {
  WorkDir dir;
  FakeVolumes volumes;
  FaultyDrives files;
  std::unique_ptr<SettingsStore> settings = makeUserSettingsStore();
  Messages messages;
  std::unique_ptr<Main> window;
  int ends = 0;
  QByteArray storeAtEnd;  // the store when "終　了" ends the application

  Run() {
    volumes.volumes = {{dir.path(), QStringLiteral("WORK")}};
    window = std::make_unique<Main>(files, volumes, *settings);
    messages.install(*window);
    window->setEndHook([this] {
      ++ends;
      storeAtEnd = settingsText();
    });
    window->show();
  }
  Main& w() { return *window; }
};

// The state a user leaves: the window moved to (200, 100) pixels, short
// naming and 1.2M pieces.
void changeEverything(Main& w) {
  w.move(200, 100);
  QTest::mouseClick(w.Check1, Qt::LeftButton);
  QTest::mouseClick(w.Option1[1], Qt::LeftButton);
}

const QByteArray kChangedStore =
    "[Checks]\nBit16=1\nCustomSize=\nDigits3=0\nSize=1\n\n[Settings]\nMainLeft=3000\nMainTop="
    "1500\n";

}  // namespace

class SettingsWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { clearSettings(); }

  void firstRun() {
    Run run;
    Main& w = run.w();
    QCOMPARE(w.pos(), QPoint(67, 67));  // 1,000 twips
    QCOMPARE(w.Check1->checkState(), Qt::Unchecked);
    QVERIFY(w.Option1[0]->isChecked());
    QVERIFY(!w.Option1[1]->isChecked());
    QCOMPARE(w.form().PieceSize, kPieceSize144);
    QCOMPARE(settingsText(), QByteArray("<no file>"));  // opening writes nothing
    QVERIFY(run.messages.shown.isEmpty());
  }

  void closingThenOpeningAgain() {
    {
      Run run;
      changeEverything(run.w());
      QVERIFY(run.w().close());
      QCOMPARE(settingsText(), kChangedStore);
      QCOMPARE(run.ends, 0);
    }
    Run again;
    Main& w = again.w();
    QCOMPARE(w.pos(), QPoint(200, 100));
    QCOMPARE(w.Check1->checkState(), Qt::Checked);
    QVERIFY(w.Option1[1]->isChecked());
    QCOMPARE(w.form().PieceSize, kPieceSize12);

    // Back to the first-run switches: they are stored as such too.
    QTest::mouseClick(w.Check1, Qt::LeftButton);
    QTest::mouseClick(w.Option1[0], Qt::LeftButton);
    QVERIFY(w.close());
    QCOMPARE(settingsText(), QByteArray("[Checks]\nBit16=0\nCustomSize=\nDigits3=0\nSize=0\n\n["
                                        "Settings]\nMainLeft=3000\nMainTop=1500\n"));
  }

  void sizeBoxAndThreeDigitsSurvive() {
    {
      Run run;
      QTest::keyClicks(run.w().Size_Combo->lineEdit(), QStringLiteral("4.7 GB"));
      QTest::mouseClick(run.w().Check2, Qt::LeftButton);
      QVERIFY(run.w().close());
      QCOMPARE(settingsText(), QByteArray("[Checks]\nBit16=0\nCustomSize=4.7 GB\nDigits3=1\nSize=2"
                                          "\n\n[Settings]\nMainLeft=1000\nMainTop=1000\n"));
    }
    Run again;
    Main& w = again.w();
    QVERIFY(w.Option1[2]->isChecked());
    QCOMPARE(w.Size_Combo->currentText(), QStringLiteral("4.7 GB"));
    QCOMPARE(w.form().pieceSize(), 4'700'000'000);
    QCOMPARE(w.form().pieceDigits(), 3);
  }

  void exitButtonSavesAsClosingDoes() {
    QByteArray byClosing;
    {
      Run run;
      changeEverything(run.w());
      QVERIFY(run.w().close());
      byClosing = settingsText();
    }
    clearSettings();
    Run run;
    changeEverything(run.w());
    QTest::mouseClick(run.w().Exit_bottn, Qt::LeftButton);
    QCOMPARE(run.ends, 1);
    QCOMPARE(run.storeAtEnd, byClosing);  // saved before the application ends
    QCOMPARE(settingsText(), kChangedStore);
  }

  void minimisedKeepsStoredPosition() {
    writeSettings("[Settings]\nMainLeft=4500\nMainTop=3000\n[Checks]\nBit16=0\nSize=0\n");
    for (bool byExitButton : {false, true}) {
      Run run;
      Main& w = run.w();
      QCOMPARE(w.pos(), QPoint(300, 200));
      QTest::mouseClick(w.Check1, Qt::LeftButton);
      QTest::mouseClick(w.Option1[1], Qt::LeftButton);
      w.move(10, 10);
      w.showMinimized();
      QVERIFY(w.isMinimized());
      if (byExitButton)
        w.form().Exit_bottn_Click();
      else
        QVERIFY(w.close());
      QCOMPARE(settingsText(), QByteArray("[Checks]\nBit16=1\nCustomSize=\nDigits3=0\nSize=1\n\n["
                                          "Settings]\nMainLeft=4500\nMainTop=3000\n"));
      writeSettings("[Settings]\nMainLeft=4500\nMainTop=3000\n[Checks]\nBit16=0\nSize=0\n");
    }
  }

  void minimisedOnFirstRunStoresOnlySwitches() {
    {
      Run run;
      run.w().showMinimized();
      QVERIFY(run.w().close());
      QCOMPARE(settingsText(), QByteArray("[Checks]\nBit16=0\nCustomSize=\nDigits3=0\nSize=0\n"));
    }
    Run again;
    QCOMPARE(again.w().pos(), QPoint(67, 67));
  }

  void storedPositionAppliedAsItStands() {
    // On the screen, and not a multiple of 15: applied unchanged, to the
    // nearest pixel, and stored back as it was.
    writeSettings("[Settings]\nMainLeft=3000\nMainTop=1507.5\n");
    Run run;
    QCOMPARE(run.w().pos(), QPoint(200, 101));
    QVERIFY(run.w().close());
    QCOMPARE(settingsText(), QByteArray("[Checks]\nBit16=0\nCustomSize=\nDigits3=0\nSize=0\n\n["
                                        "Settings]\nMainLeft=3000\nMainTop=1507.5\n"));
    // Moved by the user: the new place, in whole pixels.
    Run moved;
    moved.w().move(201, 101);
    QVERIFY(moved.w().close());
    QCOMPARE(settingsText(), QByteArray("[Checks]\nBit16=0\nCustomSize=\nDigits3=0\nSize=0\n\n["
                                        "Settings]\nMainLeft=3015\nMainTop=1507.5\n"));
  }

  void thirdStateSurvives() {
    writeSettings("[Checks]\nBit16=2\nSize=1\n");
    Run run;
    QCOMPARE(run.w().Check1->checkState(), Qt::PartiallyChecked);
    QCOMPARE(run.w().form().PieceSize, kPieceSize12);
    QVERIFY(run.w().close());
    QCOMPARE(settingsText(), QByteArray("[Checks]\nBit16=2\nCustomSize=\nDigits3=0\nSize=1\n\n["
                                        "Settings]\nMainLeft=1000\nMainTop=1000\n"));
  }

  void unusableValues_data() {
    QTest::addColumn<QByteArray>("store");
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<int>("check");
    QTest::addColumn<int>("option");
    QTest::newRow("position not numbers")
        << QByteArray("[Settings]\nMainLeft=abc\nMainTop=\n[Checks]\nBit16=1\nSize=1\n")
        << QPoint(67, 67) << int(Qt::Checked) << 1;
    QTest::newRow("position out of range")
        << QByteArray("[Settings]\nMainLeft=1e40\nMainTop=nan\n[Checks]\nBit16=1\nSize=1\n")
        << QPoint(67, 67) << int(Qt::Checked) << 1;
    QTest::newRow("one good coordinate")
        << QByteArray("[Settings]\nMainLeft=1500\nMainTop=x\n") << QPoint(100, 67)
        << int(Qt::Unchecked) << 0;
    QTest::newRow("switches out of range")
        << QByteArray("[Settings]\nMainLeft=1500\nMainTop=3000\n[Checks]\nBit16=3\nSize=2\n")
        << QPoint(100, 200) << int(Qt::Unchecked) << 0;
    QTest::newRow("switches not numbers")
        << QByteArray("[Settings]\nMainLeft=1500\nMainTop=3000\n[Checks]\nBit16=yes\nSize=1.2M\n")
        << QPoint(100, 200) << int(Qt::Unchecked) << 0;
    QTest::newRow("switches negative")
        << QByteArray("[Checks]\nBit16=-1\nSize=-1\n") << QPoint(67, 67) << int(Qt::Unchecked)
        << 0;
    QTest::newRow("everything unusable")
        << QByteArray("[Settings]\nMainLeft=1,000\nMainTop=0x3E8\n[Checks]\nBit16=70000\nSize=\n")
        << QPoint(67, 67) << int(Qt::Unchecked) << 0;
  }

  void unusableValues() {
    QFETCH(QByteArray, store);
    QFETCH(QPoint, pos);
    QFETCH(int, check);
    QFETCH(int, option);
    writeSettings(store);
    Run run;  // the program starts
    Main& w = run.w();
    QVERIFY(w.isVisible());
    QVERIFY(run.messages.shown.isEmpty());
    QCOMPARE(w.pos(), pos);
    QCOMPARE(int(w.Check1->checkState()), check);
    QVERIFY(w.Option1[option]->isChecked());
    QCOMPARE(w.form().PieceSize, option == 0 ? kPieceSize144 : kPieceSize12);

    // Closing puts usable values in their place; the window was not moved,
    // so it saves the twips it was placed at (the default 1,000 shows at 67 px).
    const auto placedTwips = [](int px) { return px == 67 ? 1000 : px * 15; };
    QVERIFY(w.close());
    QCOMPARE(settingsText(),
             QStringLiteral("[Checks]\nBit16=%1\nCustomSize=\nDigits3=0\nSize=%2\n\n"
                            "[Settings]\nMainLeft=%3\nMainTop=%4\n")
                 .arg(check == Qt::Checked ? 1 : 0)
                 .arg(option)
                 .arg(placedTwips(pos.x()))
                 .arg(placedTwips(pos.y()))
                 .toLatin1());
  }

  void unwritableStoreDoesNotStopClosing() {
    // A directory where the store's file belongs: nothing can be written
    // there, whoever runs the test.
    const QString store = settingsFile();
    QVERIFY(QDir().mkdir(store));
    {
      Run run;
      QCOMPARE(run.w().pos(), QPoint(67, 67));
      changeEverything(run.w());
      QVERIFY(run.w().close());
      QVERIFY(!run.w().isVisible());
    }
    {
      Run run;
      QTest::mouseClick(run.w().Exit_bottn, Qt::LeftButton);
      QCOMPARE(run.ends, 1);
      QVERIFY(run.messages.shown.isEmpty());
    }
    QVERIFY(QDir(store).isEmpty());
    QVERIFY(QDir().rmdir(store));
  }
};

QTEST_MAIN(SettingsWindowTest)
#include "settings_window_test.moc"
