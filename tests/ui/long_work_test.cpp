// The main window while a request runs and around it: the progress bar,
// "中　止" and Escape, input kept out, a stored position off the screen, a
// larger window's layout, the chosen name elided with its tooltip, a file
// named on the command line or dropped on the window.
#include <QCheckBox>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QUrl>

#include <memory>

#include "directory_list.h"
#include "directory_reading.h"
#include "drive_list.h"
#include "file_list.h"
#include "form_metrics.h"
#include "main_window.h"
#include "support.h"

using namespace vexo;
using namespace vexo::test;

class LongWorkTest : public QObject {
  Q_OBJECT

 private slots:
  void stopByButtonOrEscapeAndNothingElseGetsIn();
  void progressBarShowsBytesDone();
  void positionOffTheScreenMovedOnIt_data();
  void positionOffTheScreenMovedOnIt();
  void largerWindowGivesTheListsTheRoom_data();
  void largerWindowGivesTheListsTheRoom();
  void fileFromOutsideShownElidedAndChosen();
  void windowDestroyedFromOutsideEnds();
};

void LongWorkTest::stopByButtonOrEscapeAndNothingElseGetsIn() {
  Fixture f;
  writeFile(f.file("data.bin"), patternBytes(kPieceSize144 + 5));
  Main& w = f.open();
  w.activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(&w));
  clickFile(w, "data.bin");
  w.FIle_list->setFocus();

  // The completion box is shown while the request still runs: a click on
  // "更　新" and End are kept out, Escape (first round) and a click on
  // "中　止" (second round) ask to stop.
  QStringList seen;
  int round = 0;
  f.messages.whileShown = [&] {
    seen << w.Ret_bottn->text() << QString::number(w.form().stopRequested());
    QTest::mouseClick(w.Refresh_bottn, Qt::LeftButton);
    QTest::keyClick(w.FIle_list, Qt::Key_End);
    seen << w.File_Name->text() << QString::number(w.form().stopRequested());
    if (round == 0)
      QTest::keyClick(w.FIle_list, Qt::Key_Escape);
    else
      QTest::mouseClick(w.Ret_bottn, Qt::LeftButton);
    seen << QString::number(w.form().stopRequested());
  };
  // Each round splits afresh, so that no question about existing pieces comes first.
  auto removePieces = [&] {
    for (const QString& name : QDir(f.dir.path()).entryList({"data.bin.*"}, QDir::Files))
      QVERIFY(QFile::remove(f.file(name)));
  };
  for (round = 0; round < 2; ++round) {
    removePieces();
    QTest::keyClick(w.FIle_list, Qt::Key_Return);
  }
  // "決　定" is back before the completion box.
  const QStringList once = {"決　定", "0", "data.bin", "0", "1"};
  QCOMPARE(seen, once + once);
  QCOMPARE(w.Ret_bottn->text(), QStringLiteral("決　定"));
  QVERIFY(!w.form().stopRequested());
  // A click kept out did not take the focus either: Enter still splits.
  QCOMPARE(QApplication::focusWidget(), w.FIle_list);
  f.messages.whileShown = nullptr;
  QTest::keyClick(w.FIle_list, Qt::Key_Escape);
  removePieces();
  QTest::keyClick(w.FIle_list, Qt::Key_Return);
  QCOMPARE(f.messages.shown.size(), 3);
}

void LongWorkTest::progressBarShowsBytesDone() {
  Fixture f;
  writeFile(f.file("data.bin"), patternBytes(kPieceSize144 + 5));
  Main& w = f.open();
  QCOMPARE(w.Progress_bar->geometry(), twipsRect(2880, 3780, 2415, 180));
  // Beyond an int's range: 3 of 6 GiB is half.
  w.setProgress(std::int64_t(3) << 30, std::int64_t(6) << 30);
  QCOMPARE(w.Progress_bar->value() * 2, w.Progress_bar->maximum());
  QVERIFY(w.Progress_bar->isTextVisible());
  QCOMPARE(w.Progress_bar->text(), QStringLiteral("50%"));
  // Its figures fit its height.
  QVERIFY(QFontMetrics(w.Progress_bar->font()).tightBoundingRect(QStringLiteral("100%")).height() <=
          w.Progress_bar->height());

  // Through a request: the start empty, the end drawn full before the box,
  // empty again afterwards.
  QList<int> during;
  f.messages.whileShown = [&] {
    w.form().progress(0, 100);
    during.append(w.Progress_bar->value());
    w.form().progress(100, 100);
    during.append(w.Progress_bar->maximum() - w.Progress_bar->value());
  };
  clickFile(w, "data.bin");
  QTest::mouseClick(w.Ret_bottn, Qt::LeftButton);
  QCOMPARE(during, QList<int>({0, 0}));
  QCOMPARE(w.Progress_bar->value(), 0);
  QVERIFY(!w.Progress_bar->isTextVisible());  // no "0%" while nothing runs
}

void LongWorkTest::positionOffTheScreenMovedOnIt_data() {
  QTest::addColumn<QByteArray>("place");
  QTest::addColumn<bool>("right");   // ends at the screen's right edge
  QTest::addColumn<bool>("bottom");  // ends at its bottom edge
  QTest::newRow("right of it and above") << QByteArray("MainLeft=250000\nMainTop=-9000") << true << false;
  QTest::newRow("below it") << QByteArray("MainLeft=0\nMainTop=900000") << false << true;
}

void LongWorkTest::positionOffTheScreenMovedOnIt() {
  QFETCH(QByteArray, place);
  QFETCH(bool, right);
  QFETCH(bool, bottom);
  Fixture f;
  clearSettings();
  writeSettings("[Settings]\n" + place + "\n");
  const QByteArray stored = settingsText();
  Main& w = f.open(/*firstRun=*/false);
  const QRect screen = w.screen()->availableGeometry();
  QVERIFY2(screen.contains(w.frameGeometry().topLeft()), qPrintable(QString("%1,%2").arg(w.x()).arg(w.y())));
  // As far as the whole window (its size known before it was shown) fits.
  if (right) QCOMPARE(w.x(), screen.right() + 1 - w.width());
  QCOMPARE(w.y(), bottom ? screen.bottom() + 1 - w.height() : screen.top());
  QCOMPARE(settingsText(), stored);  // not rewritten while open
  w.close();
  const QByteArray saved = settingsText();
  QVERIFY(saved.contains("MainLeft=" + QByteArray::number(w.x() * 15)));
  QVERIFY(saved.contains("MainTop=" + QByteArray::number(w.y() * 15)));
}

void LongWorkTest::largerWindowGivesTheListsTheRoom_data() {
  QTest::addColumn<QString>("name");
  // Change of left, top, width and height when the window grows by 200 x 100
  // pixels.
  QTest::addColumn<QRect>("change");
  auto row = [](const char* name, QRect change) {
    QTest::newRow(name) << QString::fromLatin1(name) << change;
  };
  row("Label1", {0, 0, 0, 0});
  row("File_Name", {0, 0, 100, 0});
  row("FIle_list", {0, 0, 100, 100});
  row("Sel_Drive", {100, 0, 100, 0});
  row("Dir_name", {100, 0, 100, 100});
  row("Frame1", {0, 100, 0, 0});
  row("Check1", {0, 100, 0, 0});
  row("Label2", {200, 100, 0, 0});
  row("Progress_bar", {200, 100, 0, 0});
  row("Ret_bottn", {200, 100, 0, 0});
  row("Refresh_bottn", {200, 100, 0, 0});
  row("Exit_bottn", {200, 100, 0, 0});
}

void LongWorkTest::largerWindowGivesTheListsTheRoom() {
  QFETCH(QString, name);
  QFETCH(QRect, change);
  Fixture f;
  Main& w = f.open();
  const QSize designed(389, 370);
  QCOMPARE(w.size(), designed);
  QCOMPARE(w.minimumSize(), designed);
  auto* c = w.findChild<QWidget*>(name);
  QVERIFY(c);
  const QRect before = c->geometry();
  w.resize(designed + QSize(200, 100));
  QTRY_COMPARE(w.size(), designed + QSize(200, 100));
  const QRect after = c->geometry();
  QCOMPARE(QRect(after.x() - before.x(), after.y() - before.y(), after.width() - before.width(),
                 after.height() - before.height()),
           change);
  // Never smaller than designed; back at that size, everything is back in place.
  w.resize(100, 100);
  QTRY_COMPARE(w.size(), designed);
  QCOMPARE(c->geometry(), before);
}

void LongWorkTest::fileFromOutsideShownElidedAndChosen() {
  Fixture f;
  QDir(f.dir.path()).mkdir("sub");
  const QString name = QStringLiteral("始まり_") + QString(40, u'x') + QStringLiteral("_終わり.txt");
  writeFile(f.file("sub/" + name), "a");
  writeFile(f.file("sub/b.bin"), "b");
  Main& w = f.open();
  const QString sub = QDir(f.file("sub")).canonicalPath();

  // Named on the command line: its directory, the file chosen and selected.
  w.form().openPath(toFsPath(f.file("sub/" + name)));
  QCOMPARE(w.Dir_name->path(), sub);
  QCOMPARE(w.FIle_list->path(), sub);
  QCOMPARE(w.FIle_list->entry(w.FIle_list->listIndex()), name);
  QCOMPARE(QDir::currentPath(), sub);
  // Too long for File_Name: its middle left out, whole as the tooltip.
  QCOMPARE(w.File_Name->text(), name);
  QCOMPARE(w.File_Name->toolTip(), name);
  const QString shown = w.File_Name->shownText();
  QVERIFY(shown.startsWith(QStringLiteral("始まり")) && shown.endsWith(QStringLiteral("終わり.txt")));
  QVERIFY(shown.contains(QChar(0x2026)));
  QVERIFY(w.File_Name->fontMetrics().horizontalAdvance(shown) <= w.File_Name->width());
  w.resize(1000, 400);
  QTRY_COMPARE(w.File_Name->shownText(), name);

  // A path that cannot be opened: said, and the window stays where it is.
  const QString missing = f.file("sub/none.bin");
  w.form().openPath(toFsPath(missing));
  QCOMPARE(f.messages.texts(), QStringList({"エラーです．エラー番号は53\n" + missing + "：ファイルが見つかりません．"}));
  QCOMPARE(w.File_Name->text(), name);

  // Dropped: a web address is refused, a local file chosen.
  w.form().openPath(toFsPath(f.dir.path()));
  auto drop = [&](const QUrl& url) {
    QMimeData data;
    data.setUrls({url});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &dropped);
    return true;
  };
  QVERIFY(!drop(QUrl(QStringLiteral("https://example.org/b.bin"))));
  QVERIFY(drop(QUrl::fromLocalFile(f.file("sub/b.bin"))));
  QTRY_COMPARE(w.File_Name->text(), QStringLiteral("b.bin"));
  QCOMPARE(w.Dir_name->path(), sub);
  QCOMPARE(f.messages.shown.size(), 1);
}

void LongWorkTest::windowDestroyedFromOutsideEnds() {
  Fixture f;
  Main& w = f.open();
  w.Check1->setChecked(true);
  w.destroyedOutside();
  QCOMPARE(f.ends, 1);
  QVERIFY(settingsText().contains("Bit16=1"));  // the closing steps ran
  w.destroyedOutside();
  QCOMPARE(f.ends, 1);
}

QTEST_MAIN(LongWorkTest)
#include "long_work_test.moc"
