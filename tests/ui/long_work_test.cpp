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

namespace {

struct Fixture {
  WorkDir dir;
  FakeVolumes volumes;
  std::unique_ptr<FaultyDrives> files;
  Messages messages;
  std::unique_ptr<Main> window;
  int ends = 0;

  Fixture() { volumes.volumes = {{dir.path(), QStringLiteral("WORK")}}; }

  Main& open(bool firstRun = true) {
    if (firstRun) clearSettings();
    files = std::make_unique<FaultyDrives>();
    window = std::make_unique<Main>(*files, volumes);
    messages.install(*window);
    window->setEndHook([this] { ++ends; });
    window->show();
    return *window;
  }
  QString file(const QString& name) const { return dir.file(name); }
};

}  // namespace

class LongWorkTest : public QObject {
  Q_OBJECT

 private slots:
  void stopByButtonOrEscapeAndNothingElseGetsIn();
  void progressBarShowsBytesDone();
  void positionOffTheScreenMovedOnIt();
  void largerWindowGivesTheListsTheRoom_data();
  void largerWindowGivesTheListsTheRoom();
  void longNameElidedInTheMiddleWithTooltip();
  void pathFromOutsideShowsItsDirectory();
  void droppedFileIsChosen();
  void windowDestroyedFromOutsideEnds();
};

void LongWorkTest::stopByButtonOrEscapeAndNothingElseGetsIn() {
  Fixture f;
  writeFile(f.file("data.bin"), patternBytes(kPieceSize144 + 5));
  Main& w = f.open();
  clickFile(w, "data.bin");

  // The completion box is shown while the request still runs.
  struct Seen {
    QString caption;
    bool beforeAct, afterRefresh, afterEscape, afterClick;
    QString name;
  };
  QList<Seen> seen;
  int act = 0;
  f.messages.whileShown = [&] {
    Seen s;
    s.caption = w.Ret_bottn->text();
    s.beforeAct = w.form().stopRequested();
    QTest::mouseClick(w.Refresh_bottn, Qt::LeftButton);  // kept out
    QTest::keyClick(w.FIle_list, Qt::Key_End);           // kept out
    s.afterRefresh = w.form().stopRequested();
    s.name = w.File_Name->text();
    if (act == 0) QTest::keyClick(w.FIle_list, Qt::Key_Escape);
    s.afterEscape = w.form().stopRequested();
    if (act == 1) QTest::mouseClick(w.Ret_bottn, Qt::LeftButton);
    s.afterClick = w.form().stopRequested();
    seen.append(s);
  };
  for (act = 0; act < 2; ++act) QTest::keyClick(w.FIle_list, Qt::Key_Return);

  QCOMPARE(seen.size(), 2);
  for (int i = 0; i < 2; ++i) {
    QCOMPARE(seen[i].caption, QStringLiteral("中　止"));
    QVERIFY(!seen[i].beforeAct);
    QVERIFY(!seen[i].afterRefresh);
    QCOMPARE(seen[i].name, QStringLiteral("data.bin"));
  }
  QVERIFY(seen[0].afterEscape);
  QVERIFY(!seen[1].afterEscape);
  QVERIFY(seen[1].afterClick);
  QCOMPARE(w.Ret_bottn->text(), QStringLiteral("決　定"));
  // A click kept out did not take the focus either: Enter still splits.
  QCOMPARE(QApplication::focusWidget(), w.FIle_list);
  QVERIFY(!w.form().stopRequested());
  QVERIFY(!w.busy());
  // Escape and the button are ordinary again: the button splits once more.
  f.messages.whileShown = nullptr;
  QTest::keyClick(w.FIle_list, Qt::Key_Escape);
  QTest::mouseClick(w.Ret_bottn, Qt::LeftButton);
  QCOMPARE(f.messages.shown.size(), 3);
}

void LongWorkTest::progressBarShowsBytesDone() {
  Fixture f;
  writeFile(f.file("data.bin"), patternBytes(kPieceSize144 + 5));
  Main& w = f.open();
  QVERIFY(w.Progress_bar);
  QCOMPARE(w.Progress_bar->parentWidget(), &w);
  QCOMPARE(w.Progress_bar->geometry(), twipsRect(2880, 3780, 2415, 180));
  QCOMPARE(w.Progress_bar->value(), 0);

  // Beyond an int's range: 3 of 6 GiB is half.
  const std::int64_t gib = std::int64_t(1) << 30;
  struct Step {
    std::int64_t done, total;
    double share;
  };
  const Step steps[] = {{0, 6 * gib, 0}, {3 * gib, 6 * gib, 0.5}, {6 * gib, 6 * gib, 1},
                        {7, 7, 1},       {1, 3, 1.0 / 3},         {0, 0, 0}};
  for (const Step& s : steps) {
    w.setProgress(s.done, s.total);
    const double share = double(w.Progress_bar->value() - w.Progress_bar->minimum()) /
                         (w.Progress_bar->maximum() - w.Progress_bar->minimum());
    QVERIFY2(std::abs(share - s.share) < 0.001, qPrintable(QString::number(share)));
  }

  // Through a request: the end drawn full before the box, empty afterwards.
  QList<int> during;
  f.messages.whileShown = [&] {
    w.form().progress(0, 100);
    during.append(w.Progress_bar->value());
    w.form().progress(100, 100);
    during.append(w.Progress_bar->value() == w.Progress_bar->maximum() ? 1 : 0);
  };
  clickFile(w, "data.bin");
  QTest::mouseClick(w.Ret_bottn, Qt::LeftButton);
  QCOMPARE(during, QList<int>({0, 1}));
  QCOMPARE(w.Progress_bar->value(), 0);
}

void LongWorkTest::positionOffTheScreenMovedOnIt() {
  Fixture f;
  clearSettings();
  writeSettings("[Settings]\nMainLeft=250000\nMainTop=-9000\n");
  const QByteArray stored = settingsText();
  Main& w = f.open(/*firstRun=*/false);
  const QRect screen = w.screen()->availableGeometry();
  QVERIFY2(screen.contains(w.frameGeometry().topLeft()), qPrintable(QString("%1,%2").arg(w.x()).arg(w.y())));
  // As far right as the window (its width known before it was shown) fits.
  QCOMPARE(w.x(), screen.right() + 1 - w.width());
  QCOMPARE(w.y(), screen.top());
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
  const QSize designed(389, 317);
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

void LongWorkTest::longNameElidedInTheMiddleWithTooltip() {
  Fixture f;
  const QString name = QStringLiteral("始まり_") + QString(40, u'x') + QStringLiteral("_終わり.txt");
  writeFile(f.file(name), "x");
  Main& w = f.open();
  clickFile(w, name);
  QCOMPARE(w.File_Name->text(), name);
  QCOMPARE(w.File_Name->toolTip(), name);
  const QString shown = w.File_Name->shownText();
  QVERIFY(shown.contains(QChar(0x2026)));
  QVERIFY(shown.startsWith(QStringLiteral("始まり")));
  QVERIFY(shown.endsWith(QStringLiteral("終わり.txt")));
  QVERIFY(w.File_Name->fontMetrics().horizontalAdvance(shown) <= w.File_Name->width());
  // The file list shows the whole name as a tooltip too.
  const int row = w.FIle_list->entries().indexOf(name);
  QCOMPARE(w.FIle_list->model()->index(row, 0).data(Qt::ToolTipRole).toString(), name);
  // Wide enough, nothing left out.
  w.resize(1000, 400);
  QTRY_COMPARE(w.File_Name->shownText(), name);
}

void LongWorkTest::pathFromOutsideShowsItsDirectory() {
  Fixture f;
  QDir(f.dir.path()).mkdir("sub");
  writeFile(f.file("sub/a.bin"), "a");
  writeFile(f.file("sub/b.bin"), "b");
  writeFile(f.file("top.bin"), "t");
  Main& w = f.open();
  const QString sub = QDir(f.file("sub")).canonicalPath();

  w.form().openPath(toFsPath(f.file("sub/b.bin")));
  QCOMPARE(w.Dir_name->path(), sub);
  QCOMPARE(w.FIle_list->path(), sub);
  QCOMPARE(w.File_Name->text(), QStringLiteral("b.bin"));
  QCOMPARE(w.FIle_list->entry(w.FIle_list->listIndex()), QStringLiteral("b.bin"));
  QCOMPARE(QDir::currentPath(), sub);
  QVERIFY(f.messages.shown.isEmpty());

  // A path that cannot be opened: said, and the window stays where it is.
  const QString missing = f.file("sub/none.bin");
  w.form().openPath(toFsPath(missing));
  QCOMPARE(f.messages.texts(), QStringList({"エラーです．エラー番号は53\n" + missing}));
  QCOMPARE(w.Dir_name->path(), sub);
  QCOMPARE(w.File_Name->text(), QStringLiteral("b.bin"));
  QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files), QStringList({"top.bin"}));  // nothing split
}

void LongWorkTest::droppedFileIsChosen() {
  Fixture f;
  QDir(f.dir.path()).mkdir("sub");
  writeFile(f.file("sub/a.bin"), "a");
  Main& w = f.open();
  QVERIFY(w.acceptDrops());

  auto drop = [&](const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = w.rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&w, &enter);
    const bool accepted = enter.isAccepted();
    if (accepted) {
      QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QCoreApplication::sendEvent(&w, &dropped);
    }
    return accepted;
  };
  // Not a file: refused.
  QVERIFY(!drop({QUrl(QStringLiteral("https://example.org/a.bin"))}));
  QVERIFY(drop({QUrl::fromLocalFile(f.file("sub/a.bin"))}));
  QTRY_COMPARE(w.File_Name->text(), QStringLiteral("a.bin"));
  QCOMPARE(w.Dir_name->path(), QDir(f.file("sub")).canonicalPath());
  QVERIFY(f.messages.shown.isEmpty());
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
