// The main window driven through its controls: layout, switches, the file
// and directory lists, failed drive changes, splitting and joining with the
// buttons, the keyboard and the mouse, the extension dialog, and closing.
#include "main_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QScopeGuard>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QTest>
#include <memory>

#include "directory_list.h"
#include "drive_list.h"
#include "file_list.h"
#include "input_form.h"
#include "support.h"
#include "texts.h"

using namespace vexo;
using namespace vexo::test;

namespace {


QStringList dirCaptions(const Main& w) {
  QStringList captions;
  for (int i = 0; i < w.Dir_name->count(); ++i) captions.append(w.Dir_name->item(i)->text());
  return captions;
}

// Counts the paint events a widget gets.
class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++paints;
    return false;
  }
};

constexpr qint64 k12 = kPieceSize12;

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void windowCaptionAndSize();
  void controls_data();
  void controls();
  void tabOrder();
  void firstRunStateAndAppliedSettings();
  void optionButtonsSetPieceSize();
  void sizeBoxAndThreeDigitSwitch();
  void badSizeIsRefusedThroughTheWindow();
  void listsShowCurrentDirectory();
  void clickAndKeyboardChooseName();
  void emptyNameRunsNothing();
  void doubleClickSplitsAndListShowsPieces();
  void enterPressesDefaultButtonUnlessAnotherButtonHasFocus();
  void directoryChangeAndRefreshClearName();
  void vanishedDirectoryIsReported();
  void driveChangeFailures_data();
  void driveChangeFailures();
  void driveChangeSucceeds();
  void statusLineRepaintsAtOnce();
  void realMessageBoxes();
  void noInputWhileRequestRuns();
  void splitAndJoinAnsweringDeletionBothWays();
  void extensionDialogDuringJoin();
  void closingUnloadsDialog();
  void outputRowAndRecoveryControls();
  void closeDuringRequestAsks_data();
  void closeDuringRequestAsks();
};

void MainWindowTest::windowCaptionAndSize() {
  Fixture f;
  Main& w = f.open();
  QCOMPARE(w.objectName(), QStringLiteral("Main"));
  QCOMPARE(w.windowTitle(), QStringLiteral("VEXO for Win32 Ver2.3.0"));
  QCOMPARE(w.size(), QSize(389, 370));  // 5,835 x 5,550 twips (4,755 + Check2 + the output row)
}

void MainWindowTest::controls_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("kind");
  QTest::addColumn<QString>("caption");
  QTest::addColumn<QString>("container");
  QTest::addColumn<QRect>("twipsGeometry");

  auto row = [](const char* name, const char* kind, const QString& caption, const char* container,
                QRect r) {
    QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(kind) << caption
                        << QString::fromLatin1(container) << r;
  };
  row("Label1", "QLabel", QStringLiteral("分割・結合するファイル"), "Main", {120, 120, 2055, 255});
  row("File_Name", "vexo::ElidingLabel", QString(), "Main", {120, 360, 2655, 255});
  row("FIle_list", "vexo::FileList", QString(), "Main", {120, 720, 2655, 2010});
  row("Sel_Drive", "vexo::DriveList", QString(), "Main", {3000, 360, 2655, 300});
  row("Dir_name", "vexo::DirectoryList", QString(), "Main", {3000, 720, 2655, 1980});
  row("Frame1", "QGroupBox", QStringLiteral("分割サイズ"), "Main", {240, 2880, 2610, 1290});
  row("Option1_0", "QRadioButton", QStringLiteral("1.44M(DOS/V)"), "Frame1", {240, 240, 1575, 255});
  row("Option1_1", "QRadioButton", QStringLiteral("1.2M(PC98)"), "Frame1", {240, 600, 1695, 255});
  row("Option1_2", "QRadioButton", QStringLiteral("指定サイズ"), "Frame1", {240, 960, 1275, 255});
  row("Size_Combo", "QComboBox", QString(), "Frame1", {1530, 915, 1020, 330});
  row("Label2", "QLabel", QString(), "Main", {2880, 3240, 2415, 495});
  row("Check1", "QCheckBox", QStringLiteral("16bit 互換"), "Main", {480, 4200, 1575, 375});
  row("Ret_bottn", "QPushButton", QStringLiteral("決　定"), "Main", {2160, 4200, 1095, 375});
  row("Refresh_bottn", "QPushButton", QStringLiteral("更　新"), "Main", {3360, 4200, 975, 375});
  row("Exit_bottn", "QPushButton", QStringLiteral("終　了"), "Main", {4560, 4200, 1095, 375});
  row("Check2", "QCheckBox", QStringLiteral("3桁番号 (.001)"), "Main", {480, 4575, 1695, 375});
}

void MainWindowTest::controls() {
  QFETCH(QString, name);
  QFETCH(QString, kind);
  QFETCH(QString, caption);
  QFETCH(QString, container);
  QFETCH(QRect, twipsGeometry);

  Fixture f;
  Main& w = f.open();
  auto* c = w.findChild<QWidget*>(name);
  QVERIFY(c);
  QCOMPARE(QString::fromLatin1(c->metaObject()->className()), kind);
  QCOMPARE(c->parentWidget()->objectName(), container);
  const QRect px(twipsGeometry.x() / 15, twipsGeometry.y() / 15, twipsGeometry.width() / 15,
                 twipsGeometry.height() / 15);
  QCOMPARE(c->geometry(), px);
  if (auto* box = qobject_cast<QGroupBox*>(c))
    QCOMPARE(box->title(), caption);
  else if (name == QLatin1String("Size_Combo"))
    QCOMPARE(static_cast<QComboBox*>(c)->currentText(), caption);
  else if (c->property("text").isValid())
    QCOMPARE(c->property("text").toString(), caption);

  // The member names are the control names.
  const QHash<QString, QWidget*> members = {
      {"Label1", w.Label1},         {"File_Name", w.File_Name},  {"FIle_list", w.FIle_list},
      {"Sel_Drive", w.Sel_Drive},   {"Dir_name", w.Dir_name},    {"Frame1", w.Frame1},
      {"Option1_0", w.Option1[0]},  {"Option1_1", w.Option1[1]}, {"Label2", w.Label2},
      {"Check1", w.Check1},         {"Ret_bottn", w.Ret_bottn},  {"Refresh_bottn", w.Refresh_bottn},
      {"Exit_bottn", w.Exit_bottn}, {"Option1_2", w.Option1[2]}, {"Size_Combo", w.Size_Combo},
      {"Check2", w.Check2}};
  QCOMPARE(members.value(name), c);
}

void MainWindowTest::tabOrder() {
  Fixture f;
  Main& w = f.open();
  const QStringList expected = {"Sel_Drive",     "Dir_name",   "FIle_list", "Ret_bottn",
                                "Refresh_bottn", "Exit_bottn", "Option1_0", "Option1_1",
                                "Option1_2",     "Size_Combo", "Check1",    "Check2",
                                "Check3",        "Recovery_Pct", "Out_Dir", "Out_Browse"};
  QStringList chain;
  QWidget* start = w.Sel_Drive;
  QWidget* c = start;
  do {
    if (expected.contains(c->objectName()) && (c->focusPolicy() & Qt::TabFocus))
      chain.append(c->objectName());
    c = c->nextInFocusChain();
  } while (c != start);
  QCOMPARE(chain, expected);
  // The window opens with the focus on the first control in that order.
  QVERIFY(QTest::qWaitForWindowActive(&w));
  QCOMPARE(QApplication::focusWidget(), w.Sel_Drive);
  QVERIFY(w.Ret_bottn->isDefault());
  QCOMPARE(w.Label1->focusPolicy(), Qt::NoFocus);
}

void MainWindowTest::firstRunStateAndAppliedSettings() {
  Fixture f;
  Main& w = f.open();
  QCOMPARE(w.pos(), QPoint(67, 67));  // 1,000 twips
  QCOMPARE(w.Check1->checkState(), Qt::Unchecked);
  QCOMPARE(w.form().check1(), 0);
  QVERIFY(w.Option1[0]->isChecked());
  QCOMPARE(w.form().PieceSize, kPieceSize144);

  w.form().applySettings(1500, 3000, 2, 1);
  QCOMPARE(w.pos(), QPoint(100, 200));
  QCOMPARE(w.Check1->checkState(), Qt::PartiallyChecked);
  QCOMPARE(w.form().check1(), 2);  // counts as checked
  QVERIFY(w.Option1[1]->isChecked());
  QCOMPARE(w.form().pieceSize(), kPieceSize12);

  // The third state goes once the user uses the box.
  QTest::mouseClick(w.Check1, Qt::LeftButton);
  QCOMPARE(w.form().check1(), 1);
  QTest::mouseClick(w.Check1, Qt::LeftButton);
  QCOMPARE(w.form().check1(), 0);
  QTest::mouseClick(w.Check1, Qt::LeftButton);
  QCOMPARE(w.form().check1(), 1);

  w.form().applySettings(1000, 1000, 0, 0);
  QCOMPARE(w.form().check1(), 0);
  QVERIFY(w.Option1[0]->isChecked());
  QCOMPARE(w.form().PieceSize, kPieceSize144);
}

void MainWindowTest::optionButtonsSetPieceSize() {
  Fixture f;
  Main& w = f.open();
  QTest::mouseClick(w.Option1[1], Qt::LeftButton);
  QVERIFY(w.Option1[1]->isChecked());
  QCOMPARE(w.form().PieceSize, kPieceSize12);
  QCOMPARE(w.form().pieceSize(), kPieceSize12);
  QTest::mouseClick(w.Option1[0], Qt::LeftButton);
  QVERIFY(!w.Option1[1]->isChecked());
  QCOMPARE(w.form().PieceSize, kPieceSize144);
  QCOMPARE(w.form().pieceSize(), kPieceSize144);
}

void MainWindowTest::sizeBoxAndThreeDigitSwitch() {
  Fixture f;
  Main& w = f.open();
  QStringList presets;
  for (int i = 0; i < w.Size_Combo->count(); ++i) presets.append(w.Size_Combo->itemText(i));
  QCOMPARE(presets, QStringList({"10MB", "18MB (メール)", "100MB", "650MB (CD)", "700MB (CD)",
                                 "4GB (FAT32)", "4.7GB (DVD)"}));
  QVERIFY(w.Size_Combo->isEditable());
  // The frame grew only into room no other control uses; no caption is cut.
  QVERIFY(w.Frame1->geometry().right() < w.Label2->geometry().left());
  QVERIFY(w.Frame1->geometry().bottom() < w.Check1->geometry().top());
  QVERIFY(w.Option1[2]->sizeHint().width() <= w.Option1[2]->width());
  QVERIFY(w.Check2->sizeHint().width() <= w.Check2->width());

  // Typing selects the box's option; nothing is completed from the list or
  // added to it: "100" is 100 bytes.
  QVERIFY(QTest::qWaitForWindowActive(&w));
  w.Size_Combo->setFocus();
  QTest::keyClicks(w.Size_Combo->lineEdit(), QStringLiteral("100"));
  QCOMPARE(w.Size_Combo->currentText(), QStringLiteral("100"));
  QVERIFY(w.Option1[2]->isChecked());
  QCOMPARE(w.form().pieceSize(), 100);
  QTest::keyClick(w.Size_Combo->lineEdit(), Qt::Key_Return);
  QCOMPARE(w.Size_Combo->count(), 7);
  // Choosing an entry of the list with the keyboard.
  QTest::mouseClick(w.Option1[0], Qt::LeftButton);
  QCOMPARE(w.form().pieceSize(), kPieceSize144);
  w.Size_Combo->setCurrentIndex(0);
  QTest::keyClick(w.Size_Combo, Qt::Key_Down);
  QVERIFY(w.Option1[2]->isChecked());
  QCOMPARE(w.form().pieceSize(), 18'000'000);

  QCOMPARE(w.form().pieceDigits(), 1);
  QTest::mouseClick(w.Check2, Qt::LeftButton);
  QCOMPARE(w.form().pieceDigits(), 3);
}

void MainWindowTest::badSizeIsRefusedThroughTheWindow() {
  Fixture f;
  const QByteArray data = patternBytes(70'000);
  writeFile(f.file("data.bin"), data);
  Main& w = f.open();
  clickFile(w, "data.bin");
  // Enter in the box presses "決　定": refused, then split once corrected.
  for (const char* typed : {"1,5M", "25,000"}) {
    w.Size_Combo->lineEdit()->selectAll();
    QTest::keyClicks(w.Size_Combo->lineEdit(), QString::fromUtf8(typed));
    QTest::keyClick(w.Size_Combo->lineEdit(), Qt::Key_Return);
  }
  QCOMPARE(f.messages.headlines(), QStringList({QString::fromUtf8(text::kBadSize), "分割完了"}));
  QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files),
           QStringList({"data.bin", "data.bin.1", "data.bin.2", "data.bin.3", "data.bin.crc"}));
  QCOMPARE(readFile(f.file("data.bin.3")), data.mid(50'000));
}

void MainWindowTest::listsShowCurrentDirectory() {
  Fixture f;
  for (const char* name : {"b.10", "b.2", "b.1", "a", ".hidden"}) writeFile(f.file(name), "x");
  QDir(f.dir.path()).mkdir("sub");
  QDir(f.dir.path()).mkdir(".config");
  QFile::link(f.file("nowhere"), f.file("dangling"));
  Main& w = f.open();

  QCOMPARE(w.FIle_list->entries(), QStringList({"a", "b.1", "b.2", "b.10"}));
  QCOMPARE(w.Dir_name->path(), f.dir.path());
  QCOMPARE(dirCaptions(w), QStringList({QDir::toNativeSeparators(f.dir.path()), "sub"}));
  QCOMPARE(w.Sel_Drive->drive(), f.dir.path());
  QCOMPARE(w.Sel_Drive->currentText(), f.dir.path() + " [WORK]");
  QVERIFY(w.File_Name->text().isEmpty());
  QVERIFY(w.Label2->text().isEmpty());
}

void MainWindowTest::clickAndKeyboardChooseName() {
  Fixture f;
  for (const char* name : {"a", "b.2", "b.10"}) writeFile(f.file(name), "x");
  Main& w = f.open();

  clickFile(w, "b.2");
  QCOMPARE(w.File_Name->text(), QStringLiteral("b.2"));
  QCOMPARE(w.FIle_list->listIndex(), 1);
  // Moving the selection with the keyboard counts as a click.
  QTest::keyClick(w.FIle_list, Qt::Key_Down);
  QCOMPARE(w.File_Name->text(), QStringLiteral("b.10"));
  QTest::keyClick(w.FIle_list, Qt::Key_Home);
  QCOMPARE(w.File_Name->text(), QStringLiteral("a"));

  // After "更　新" has cleared the name, clicking the entry chooses it again.
  clickFile(w, "b.2");
  QTest::mouseClick(w.Refresh_bottn, Qt::LeftButton);
  QVERIFY(w.File_Name->text().isEmpty());
  clickFile(w, "b.2");
  QCOMPARE(w.File_Name->text(), QStringLiteral("b.2"));
  QVERIFY(f.messages.shown.isEmpty());
}

void MainWindowTest::emptyNameRunsNothing() {
  Fixture f;
  writeFile(f.file("big"), patternBytes(kPieceSize144 + 1));
  Main& w = f.open();
  const QStringList before = w.FIle_list->entries();

  QTest::mouseClick(w.Ret_bottn, Qt::LeftButton);
  w.FIle_list->setFocus();
  QTest::keyClick(w.FIle_list, Qt::Key_Return);
  // A double-click below the last entry selects nothing.
  const QPoint empty(10, w.FIle_list->viewport()->height() - 5);
  QTest::mouseDClick(w.FIle_list->viewport(), Qt::LeftButton, {}, empty);
  QTest::mouseRelease(w.FIle_list->viewport(), Qt::LeftButton, {}, empty);
  w.form().FIle_list_DblClick();

  QVERIFY(f.messages.shown.isEmpty());
  QVERIFY(w.Label2->text().isEmpty());
  QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files), before);
}

void MainWindowTest::doubleClickSplitsAndListShowsPieces() {
  Fixture f;
  const QByteArray data = patternBytes(kPieceSize144 + 5);
  writeFile(f.file("data.bin"), data);
  Main& w = f.open();

  doubleClickFile(w, "data.bin");
  QCOMPARE(f.messages.headlines(), QStringList({"分割完了"}));
  QCOMPARE(f.messages.shown.first().first, kStyleInformation);
  // The new pieces show without "更　新"; the chosen name stays.
  QCOMPARE(w.FIle_list->entries(), QStringList({"data.bin", "data.bin.1", "data.bin.2", "data.bin.crc"}));
  QCOMPARE(w.File_Name->text(), QStringLiteral("data.bin"));
  QCOMPARE(w.FIle_list->entry(w.FIle_list->listIndex()), QStringLiteral("data.bin"));
  QVERIFY(w.Label2->text().isEmpty());
  QCOMPARE(readFile(f.file("data.bin.1")), data.left(kPieceSize144));
  QCOMPARE(readFile(f.file("data.bin.2")), data.mid(kPieceSize144));
}

void MainWindowTest::enterPressesDefaultButtonUnlessAnotherButtonHasFocus() {
  Fixture f;
  writeFile(f.file("data.bin"), patternBytes(kPieceSize144 + 5));
  Main& w = f.open();

  clickFile(w, "data.bin");
  w.FIle_list->setFocus();
  QTest::keyClick(w.FIle_list, Qt::Key_Return);
  QCOMPARE(f.messages.headlines(), QStringList({"分割完了"}));

  // From the check box, the drive list and the option buttons too; each
  // press splits the same file again.
  QTest::keyClick(w.Check1, Qt::Key_Enter, Qt::KeypadModifier);
  QTest::keyClick(w.Sel_Drive, Qt::Key_Return);
  QTest::keyClick(w.Option1[0], Qt::Key_Return);
  QCOMPARE(f.messages.shown.size(), 4);
  QCOMPARE(w.Check1->checkState(), Qt::Unchecked);  // Enter does not toggle it

  // A focused button takes Enter itself.
  w.Refresh_bottn->setFocus();
  QTest::keyClick(w.Refresh_bottn, Qt::Key_Return);
  QVERIFY(w.File_Name->text().isEmpty());
  QCOMPARE(f.messages.shown.size(), 4);
  w.Exit_bottn->setFocus();
  QTest::keyClick(w.Exit_bottn, Qt::Key_Return);
  QCOMPARE(f.ends, 1);
  QCOMPARE(f.messages.shown.size(), 4);
}

void MainWindowTest::directoryChangeAndRefreshClearName() {
  Fixture f;
  writeFile(f.file("top.txt"), "x");
  QDir(f.dir.path()).mkpath("sub/deeper");
  writeFile(f.file("sub/inner.txt"), "x");
  Main& w = f.open();
  const QString sub = f.dir.path() + "/sub";

  clickFile(w, "top.txt");
  doubleClickDirectory(w, "sub");
  QVERIFY(w.File_Name->text().isEmpty());
  QCOMPARE(QDir::currentPath(), sub);
  QCOMPARE(w.Dir_name->path(), sub);
  QCOMPARE(dirCaptions(w), QStringList({QDir::toNativeSeparators(f.dir.path()), "sub", "deeper"}));
  QCOMPARE(w.Dir_name->currentItem()->text(), QStringLiteral("sub"));
  QCOMPARE(w.FIle_list->entries(), QStringList({"inner.txt"}));

  // Enter on another entry opens it; Enter on the shown one is for "決　定".
  w.Dir_name->setFocus();
  QTest::keyClick(w.Dir_name, Qt::Key_Down);
  QTest::keyClick(w.Dir_name, Qt::Key_Return);
  QCOMPARE(QDir::currentPath(), sub + "/deeper");
  QTest::keyClick(w.Dir_name, Qt::Key_Return);
  QCOMPARE(QDir::currentPath(), sub + "/deeper");

  // Up again through the top entry.
  doubleClickDirectory(w, QDir::toNativeSeparators(f.dir.path()));
  QCOMPARE(QDir::currentPath(), f.dir.path());
  QCOMPARE(w.FIle_list->entries(), QStringList({"top.txt"}));

  // "更　新" re-reads both lists and clears the name.
  clickFile(w, "top.txt");
  writeFile(f.file("new.txt"), "x");
  QDir(f.dir.path()).mkdir("newdir");
  QTest::mouseClick(w.Refresh_bottn, Qt::LeftButton);
  QVERIFY(w.File_Name->text().isEmpty());
  QCOMPARE(w.FIle_list->entries(), QStringList({"new.txt", "top.txt"}));
  QCOMPARE(w.FIle_list->listIndex(), -1);
  QVERIFY(dirCaptions(w).contains("newdir"));
  QVERIFY(f.messages.shown.isEmpty());
}

void MainWindowTest::vanishedDirectoryIsReported() {
  Fixture f;
  writeFile(f.file("top.txt"), "x");
  QDir(f.dir.path()).mkdir("gone");
  Main& w = f.open();
  clickFile(w, "top.txt");
  QVERIFY(QDir(f.dir.path()).rmdir("gone"));

  doubleClickDirectory(w, "gone");
  QCOMPARE(f.messages.texts(),
           QStringList({"エラーです．エラー番号は76\n" + f.dir.path() + "/gone：パスが見つかりません．"}));
  QCOMPARE(w.Dir_name->path(), f.dir.path());
  QCOMPARE(QDir::currentPath(), f.dir.path());
  QVERIFY(!dirCaptions(w).contains("gone"));
  QCOMPARE(w.File_Name->text(), QStringLiteral("top.txt"));
  QCOMPARE(w.FIle_list->entries(), QStringList({"top.txt"}));
}

void MainWindowTest::driveChangeFailures_data() {
  QTest::addColumn<int>("injected");  // 0: the drive's directory does not exist
  QTest::addColumn<QString>("text");
  QTest::newRow("vanished") << 0 << QStringLiteral("ドライブの準備ができていません．");
  QTest::newRow("cannot be entered") << 68 << QStringLiteral("ドライブの準備ができていません．");
  QTest::newRow("not ready") << 71 << QStringLiteral("ディスクの準備ができていません．");
  QTest::newRow("other") << 70 << QStringLiteral("エラーです．エラー番号は70\n@：アクセスが拒否されました．");
}

void MainWindowTest::driveChangeFailures() {
  QFETCH(int, injected);
  QFETCH(QString, text);
  WorkDir outer;  // holds the second drive's directory
  const QString other = outer.path() + "/other";
  if (injected != 0) QDir().mkdir(other);
  Fixture f({{other, QStringLiteral("OTHER")}});
  writeFile(f.file("chosen.txt"), "x");
  Main& w = f.open();
  if (injected != 0) f.files->chDriveFails[other.toStdString()] = injected;

  clickFile(w, "chosen.txt");
  w.Sel_Drive->setFocus();
  QTest::keyClick(w.Sel_Drive, Qt::Key_Down);  // chooses the second drive

  QCOMPARE(f.messages.texts(), QStringList({QString(text).replace(u'@', other)}));
  QCOMPARE(f.messages.shown.first().first, kStyleWarning);
  // Back on the previous drive, which was entered again, with the name kept.
  QCOMPARE(f.files->driveChanges, QStringList({other, f.dir.path(), f.dir.path()}));
  QCOMPARE(w.Sel_Drive->currentIndex(), 0);
  QCOMPARE(w.Sel_Drive->drive(), f.dir.path());
  QCOMPARE(QDir::currentPath(), f.dir.path());
  QCOMPARE(w.Dir_name->path(), f.dir.path());
  QCOMPARE(w.FIle_list->entries(), QStringList({"chosen.txt"}));
  QCOMPARE(w.File_Name->text(), QStringLiteral("chosen.txt"));

  // The next drive change clears the name again as usual.
  f.files->chDriveFails.clear();
  QDir().mkpath(other);
  QTest::keyClick(w.Sel_Drive, Qt::Key_Down);
  QCOMPARE(f.messages.shown.size(), 1);
  QCOMPARE(QDir::currentPath(), other);
  QVERIFY(w.File_Name->text().isEmpty());
}

void MainWindowTest::driveChangeSucceeds() {
  WorkDir outer;
  const QString other = outer.path() + "/other";
  QDir().mkpath(other + "/inside");
  writeFile(other + "/x.txt", "x");
  Fixture f({{other, QString()}});
  writeFile(f.file("chosen.txt"), "x");
  Main& w = f.open();
  QCOMPARE(w.Sel_Drive->itemText(1), other);  // no label: the mount point alone

  clickFile(w, "chosen.txt");
  w.Sel_Drive->setCurrentIndex(1);
  QVERIFY(f.messages.shown.isEmpty());
  QCOMPARE(QDir::currentPath(), other);
  QCOMPARE(dirCaptions(w), QStringList({other, "inside"}));
  QCOMPARE(w.FIle_list->entries(), QStringList({"x.txt"}));
  QVERIFY(w.File_Name->text().isEmpty());

  w.Sel_Drive->setCurrentIndex(0);
  QCOMPARE(QDir::currentPath(), f.dir.path());
  QCOMPARE(w.FIle_list->entries(), QStringList({"chosen.txt"}));
}

void MainWindowTest::statusLineRepaintsAtOnce() {
  Fixture f;
  Main& w = f.open();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  PaintCounter counter;
  w.Label2->installEventFilter(&counter);

  w.form().statusText("分割中 data.bin.1");
  QCOMPARE(w.Label2->text(), QStringLiteral("分割中 data.bin.1"));
  QCOMPARE(counter.paints, 1);  // painted before returning, without the event loop

  w.form().clearStatus();
  QVERIFY(w.Label2->text().isEmpty());
  QCOMPARE(counter.paints, 1);  // only repainted later
  QTRY_VERIFY(counter.paints > 1);
}

void MainWindowTest::realMessageBoxes() {
  Fixture f;
  Main& w = f.open();
  w.setMessageHook({});

  bool checked = false;
  whenModal([&](QWidget* modal) {
    // Closed however the checks end, so that a failing one cannot leave
    // the box waiting.
    const auto closing = qScopeGuard([modal] { QTest::keyClick(modal, Qt::Key_Return); });
    auto* box = qobject_cast<QMessageBox*>(modal);
    QVERIFY(box);
    QCOMPARE(box->windowTitle(), QStringLiteral("VEXO"));
    QCOMPARE(box->text(), QStringLiteral("分割完了"));
    QCOMPARE(box->icon(), QMessageBox::Information);
    QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    checked = true;
  });
  w.form().message("分割完了");
  QVERIFY(checked);

  checked = false;
  whenModal([&](QWidget* modal) {
    const auto closing = qScopeGuard([modal] { QTest::keyClick(modal, Qt::Key_Return); });  // Enter answers Yes
    auto* box = qobject_cast<QMessageBox*>(modal);
    QVERIFY(box);
    QCOMPARE(box->windowTitle(), QStringLiteral("VEXO"));
    QCOMPARE(box->icon(), QMessageBox::Question);
    QCOMPARE(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box->defaultButton(), box->button(QMessageBox::Yes));
    checked = true;
  });
  QCOMPARE(w.form().question("分割ファイルを削除しますか？"), kAnswerYes);
  QVERIFY(checked);

  whenModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
  QCOMPARE(w.form().question("分割ファイルを削除しますか？"), kAnswerNo);
  whenModal([](QWidget* modal) {
    QTest::mouseClick(qobject_cast<QMessageBox*>(modal)->button(QMessageBox::No), Qt::LeftButton);
  });
  QCOMPARE(w.form().question("分割ファイルを削除しますか？"), kAnswerNo);
}

void MainWindowTest::noInputWhileRequestRuns() {
  Fixture f;
  writeFile(f.file("data.bin"), patternBytes(kPieceSize144 + 5));
  Main& w = f.open();
  clickFile(w, "data.bin");

  bool busy = false;
  bool once = false;
  f.messages.whileShown = [&] {
    if (once) return;
    once = true;
    busy = w.busy();
    QTest::mouseClick(w.Ret_bottn, Qt::LeftButton);
    QTest::keyClick(w.FIle_list, Qt::Key_Return);
    QTest::mouseClick(w.Exit_bottn, Qt::LeftButton);
    QTest::mouseClick(w.Option1[1], Qt::LeftButton);
    w.close();
  };
  // "終　了" and the close box still ask while the request is busy; No.
  f.messages.answers = {kAnswerOk, kAnswerNo, kAnswerNo};
  QTest::mouseClick(w.Ret_bottn, Qt::LeftButton);

  QVERIFY(busy);
  const QString quit = QStringLiteral("中止して終了しますか？");
  QCOMPARE(f.messages.headlines(), QStringList({"分割完了", quit, quit}));  // no second request
  QCOMPARE(f.ends, 0);
  QVERIFY(w.isVisible());
  QVERIFY(w.Option1[0]->isChecked());
  QVERIFY(!w.busy());
  // Afterwards the window takes input again.
  QTest::mouseClick(w.Option1[1], Qt::LeftButton);
  QCOMPARE(w.form().PieceSize, kPieceSize12);
}

void MainWindowTest::splitAndJoinAnsweringDeletionBothWays() {
  Fixture f;
  const QByteArray data = patternBytes(2 * k12 + 777);
  writeFile(f.file("report.doc"), data);
  const QDateTime stamp(QDate(2001, 2, 3), QTime(4, 5, 6));
  {
    QFile file(f.file("report.doc"));
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(stamp, QFileDevice::FileModificationTime));
  }
  Main& w = f.open();
  QTest::mouseClick(w.Option1[1], Qt::LeftButton);

  clickFile(w, "report.doc");
  QTest::mouseClick(w.Ret_bottn, Qt::LeftButton);
  QCOMPARE(f.messages.headlines(), QStringList({"分割完了"}));
  QCOMPARE(w.FIle_list->entries(),
           QStringList({"report.doc", "report.doc.1", "report.doc.2", "report.doc.3", "report.doc.crc"}));
  QCOMPARE(QFileInfo(f.file("report.doc.3")).size(), 777);

  QVERIFY(QFile::remove(f.file("report.doc")));
  f.messages.shown.clear();
  f.messages.answers = {kAnswerOk, kAnswerNo};
  clickFile(w, "report.doc.2");
  QTest::mouseClick(w.Ret_bottn, Qt::LeftButton);
  QCOMPARE(f.messages.shown.size(), 2);
  QCOMPARE(f.messages.headlines().first(), QStringLiteral("結合完了"));
  f.messages.shown.first().second = "結合完了";
  QCOMPARE(f.messages.shown,
           (QList<QPair<int, QString>>{{kStyleInformation, "結合完了"},
                                       {kStyleYesNoQuestion, "分割ファイルを削除しますか？"}}));
  QCOMPARE(readFile(f.file("report.doc")), data);
  QCOMPARE(QFileInfo(f.file("report.doc")).lastModified(), stamp);
  QCOMPARE(w.FIle_list->entries(),
           QStringList({"report.doc", "report.doc.1", "report.doc.2", "report.doc.3", "report.doc.crc"}));
  QCOMPARE(w.File_Name->text(), QStringLiteral("report.doc.2"));

  // Again, now deleting the pieces.
  QVERIFY(QFile::remove(f.file("report.doc")));
  f.messages.shown.clear();
  f.messages.answers = {kAnswerOk, kAnswerYes};
  QTest::mouseClick(w.Ret_bottn, Qt::LeftButton);
  QCOMPARE(f.messages.headlines(), QStringList({"結合完了", "分割ファイルを削除しますか？"}));
  QCOMPARE(readFile(f.file("report.doc")), data);
  QCOMPARE(w.FIle_list->entries(), QStringList({"report.doc"}));
  QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files), QStringList({"report.doc"}));
  QCOMPARE(w.File_Name->text(), QString());  // its file is gone
}

void MainWindowTest::extensionDialogDuringJoin() {
  Fixture f;
  const QByteArray data = patternBytes(2 * k12 + 300);
  writeFile(f.file("report.doc"), data);
  Main& w = f.open();
  QTest::mouseClick(w.Option1[1], Qt::LeftButton);
  QTest::mouseClick(w.Check1, Qt::LeftButton);  // short naming
  clickFile(w, "report.doc");
  QTest::mouseClick(w.Ret_bottn, Qt::LeftButton);
  QCOMPARE(w.FIle_list->entries(), QStringList({"report.1", "report.2", "report.3", "report.crc", "report.doc"}));
  QVERIFY(QFile::remove(f.file("report.doc")));
  w.refreshFileList();
  clickFile(w, "report.1");
  f.messages.shown.clear();
  QStringList pieces = {"report.1", "report.2", "report.3", "report.crc"};  // and the set's record

  // Runs a join with the dialog answered by `answer`, after checking that
  // it shows `expectedText` with the focus in the combo box.
  auto join = [&](const QString& expectedText, std::function<void(Input_Form*)> answer) {
    bool shown = false;
    whenModal([&](QWidget* modal) {
      auto* form = qobject_cast<Input_Form*>(modal);
      QVERIFY(form);
      QCOMPARE(form->Combo1->currentText(), expectedText);
      QCOMPARE(form->focusWidget(), form->Combo1);
      QCOMPARE(w.form().inputForm()->proceed(), kFalse);
      shown = true;
      answer(form);
    });
    QTest::mouseClick(w.Ret_bottn, Qt::LeftButton);
    QVERIFY(shown);
  };
  auto nothingJoined = [&] {
    QVERIFY(f.messages.shown.isEmpty());
    QCOMPARE(w.FIle_list->entries(), pieces);
    QCOMPARE(QDir(f.dir.path()).entryList(QDir::Files), pieces);
  };

  // The set's record names the extension the file had: offered, still
  // editable. Closed by its close box, the dialog is unloaded.
  join("doc", [](Input_Form* form) { form->close(); });
  nothingJoined();
  QVERIFY(!w.inputForm());

  // Without a record the dialog offers nothing of its own.
  QVERIFY(QFile::remove(f.file("report.crc")));
  pieces.removeLast();
  w.refreshFileList();
  clickFile(w, "report.1");
  join("", [](Input_Form* form) { QTest::mouseClick(form->Command2, Qt::LeftButton); });
  nothingJoined();
  QVERIFY(w.inputForm());
  QVERIFY(!w.inputForm()->isVisible());  // hidden, still loaded

  join("", [](Input_Form* form) {
    QTest::keyClicks(form->Combo1, "xls");
    QTest::keyClick(form, Qt::Key_Escape);
  });
  nothingJoined();

  // The close box unloads the dialog: the text it had is gone next time.
  join("xls", [](Input_Form* form) { form->close(); });
  nothingJoined();
  QVERIFY(!w.inputForm());

  f.messages.answers = {kAnswerOk, kAnswerNo};
  join("", [](Input_Form* form) {
    QTest::keyClicks(form->Combo1, "doc");
    QTest::keyClick(form->Combo1, Qt::Key_Return);
  });
  QCOMPARE(f.messages.headlines(), QStringList({"結合完了", "分割ファイルを削除しますか？"}));
  QCOMPARE(readFile(f.file("report.doc")), data);
  QVERIFY(!w.inputForm()->isVisible());

  // The second join in the run finds the text left from the first.
  QVERIFY(QFile::remove(f.file("report.doc")));
  f.messages.shown.clear();
  f.messages.answers = {kAnswerOk, kAnswerNo};
  join("doc", [](Input_Form* form) { QTest::mouseClick(form->Command1, Qt::LeftButton); });
  QCOMPARE(f.messages.headlines(), QStringList({"結合完了", "分割ファイルを削除しますか？"}));
  QCOMPARE(readFile(f.file("report.doc")), data);
  QVERIFY(QFile::remove(f.file("report.doc")));

  // OK with the box emptied: the joined file has no extension.
  f.messages.shown.clear();
  f.messages.answers = {kAnswerOk, kAnswerNo};
  join("doc", [](Input_Form* form) {
    form->Combo1->clearEditText();
    QTest::mouseClick(form->Command1, Qt::LeftButton);
  });
  QCOMPARE(f.messages.headlines(), QStringList({"結合完了", "分割ファイルを削除しますか？"}));
  QCOMPARE(readFile(f.file("report")), data);
}

void MainWindowTest::closingUnloadsDialog() {
  for (bool byExitButton : {true, false}) {
    Fixture f;
    writeFile(f.file("report.1"), "x");
    Main& w = f.open();
    QTest::mouseClick(w.Check1, Qt::LeftButton);
    clickFile(w, "report.1");
    whenModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    QTest::mouseClick(w.Ret_bottn, Qt::LeftButton);
    QPointer<Input_Form> form = w.inputForm();
    QVERIFY(form);

    if (byExitButton) {
      QTest::mouseClick(w.Exit_bottn, Qt::LeftButton);
      QCOMPARE(f.ends, 1);  // ends the application
    } else {
      QVERIFY(w.close());
      QVERIFY(!w.isVisible());
      QCOMPARE(f.ends, 0);  // the application ends when no window is left
    }
    QVERIFY(!form);
    QVERIFY(!w.inputForm());
  }
}

void MainWindowTest::outputRowAndRecoveryControls() {
  Fixture f;
  Main& w = f.open();
  // The added controls sit in the grown window beside the specified ones,
  // overlapping none of them.
  const QList<QWidget*> specified = {w.Label1, w.File_Name, w.FIle_list, w.Sel_Drive,
                                     w.Dir_name, w.Frame1,  w.Label2,    w.Check1,
                                     w.Check2,  w.Ret_bottn, w.Refresh_bottn, w.Exit_bottn,
                                     w.Progress_bar};
  const QList<QWidget*> added = {w.Check3, w.Recovery_Pct, w.Out_Label, w.Out_Dir, w.Out_Browse};
  for (QWidget* a : added) {
    QVERIFY2(w.rect().contains(a->geometry()), qPrintable(a->objectName()));
    for (QWidget* s : specified)
      QVERIFY2(!a->geometry().intersects(s->geometry()),
               qPrintable(a->objectName() + " overlaps " + s->objectName()));
  }
  QCOMPARE(w.Out_Label->text(), QStringLiteral("出力先"));
  QCOMPARE(w.Out_Browse->text(), QStringLiteral("参照…"));
  QCOMPARE(w.Check3->text(), QStringLiteral("復元データ"));
  QVERIFY(!w.Check3->isChecked());
  QCOMPARE(w.Recovery_Pct->value(), 10);
  QCOMPARE(w.Recovery_Pct->minimum(), 1);
  QCOMPARE(w.Recovery_Pct->maximum(), 100);
  QCOMPARE(w.Recovery_Pct->suffix(), QStringLiteral(" %"));

  // "参照…" opens the chooser at the shown folder; a cancel keeps the field,
  // a choice fills it.
  QStringList starts;
  QString answer;
  w.setFolderHook([&](const QString& start) {
    starts << start;
    return answer;
  });
  QTest::mouseClick(w.Out_Browse, Qt::LeftButton);
  QCOMPARE(w.Out_Dir->text(), QString());
  const QString out = f.file("out");
  answer = out;
  QTest::mouseClick(w.Out_Browse, Qt::LeftButton);
  QCOMPARE(w.Out_Dir->text(), out);
  QCOMPARE(starts, QStringList({QDir(f.dir.path()).canonicalPath(), QDir(f.dir.path()).canonicalPath()}));

  // The values reach the settings.
  w.Check3->setChecked(true);
  w.Recovery_Pct->setValue(25);
  int cancel = 0;
  w.form().Form_QueryUnload(cancel, 0);
  const QByteArray stored = settingsText();
  QVERIFY2(stored.contains("OutputDir=" + out.toUtf8()), stored.constData());
  QVERIFY2(stored.contains("Recovery=25"), stored.constData());
}

void MainWindowTest::closeDuringRequestAsks_data() {
  QTest::addColumn<bool>("byButton");
  QTest::addColumn<int>("answer");
  QTest::addColumn<int>("ends");
  QTest::addColumn<bool>("piecesLeft");
  // Each way of closing once, each answer once.
  QTest::newRow("close box, No: continues") << false << kAnswerNo << 0 << true;
  QTest::newRow("exit button, Yes: stopped and ended") << true << kAnswerYes << 1 << false;
}

void MainWindowTest::closeDuringRequestAsks() {
  QFETCH(bool, byButton);
  QFETCH(int, answer);
  QFETCH(int, ends);
  QFETCH(bool, piecesLeft);
  Fixture f;
  writeFile(f.file("data.bin"), patternBytes(3 * kPieceSize144 + 5));
  Main& w = f.open();
  clickFile(w, "data.bin");
  f.messages.answers = {answer};
  // Every report of progress is due for a redraw, which looks at the queue.
  std::int64_t now = 0;
  w.form().setClock([&now] { return now += 1000; });
  // Runs at the request's first look at the event queue.
  QList<bool> enabled;
  QTimer::singleShot(0, &w, [&] {
    enabled << w.busy() << w.Refresh_bottn->isEnabled() << w.Out_Browse->isEnabled();
    if (byButton)
      QTest::mouseClick(w.Exit_bottn, Qt::LeftButton);
    else
      w.close();
  });
  QTest::mouseClick(w.Ret_bottn, Qt::LeftButton);
  QCOMPARE(enabled, QList<bool>({true, false, false}));
  QCOMPARE(f.messages.texts().value(0), QStringLiteral("中止して終了しますか？"));
  QCOMPARE(f.ends, ends);
  QCOMPARE(QFile::exists(f.file("data.bin.1")), piecesLeft);
  QVERIFY(w.Refresh_bottn->isEnabled());
  QVERIFY(w.Out_Browse->isEnabled());
}

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
