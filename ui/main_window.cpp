#include "main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include <new>

#include "directory_list.h"
#include "directory_reading.h"
#include "drive_list.h"
#include "file_list.h"
#include "form_metrics.h"
#include "input_form.h"
#include "message_box.h"
#include "settings.h"
#include "volumes.h"

namespace vexo {

namespace {

template <typename T>
T* control(T* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

bool isEnter(const QKeyEvent* event) {
  return (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
         (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

// Input that must not reach the window while a request runs.
bool isUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::Close:
      return true;
    default:
      return false;
  }
}

}  // namespace

QString driveErrorText(int errorNumber) {
  switch (errorNumber) {
    case err::DeviceUnavailable:
      return QStringLiteral("ドライブの準備ができていません．");
    case err::DiskNotReady:
      return QStringLiteral("ディスクの準備ができていません．");
    default:
      return QStringLiteral("エラーです．エラー番号は") + QString::number(errorNumber);
  }
}

Main::Main(FileServices& files, Volumes& volumes, QWidget* parent)
    : QWidget(parent), files_(files), volumes_(volumes) {
  setObjectName(QStringLiteral("Main"));
  setWindowTitle(QStringLiteral("VEXO for Win32 Ver2.3.0"));
  setFont(formFont());
  setFixedSize(twipsSize(5835, 4755));

  Label1 = control(new QLabel(QStringLiteral("分割・結合するファイル"), this), "Label1");
  placeTwips(Label1, 120, 120, 2055, 255);

  File_Name = control(new QLabel(this), "File_Name");
  File_Name->setTextFormat(Qt::PlainText);
  placeTwips(File_Name, 120, 360, 2655, 255);

  FIle_list = control(new FileList(this), "FIle_list");
  placeTwips(FIle_list, 120, 720, 2655, 2010);

  Sel_Drive = control(new DriveList(volumes_, this), "Sel_Drive");
  placeTwips(Sel_Drive, 3000, 360, 2655, 300);

  Dir_name = control(new DirectoryList(this), "Dir_name");
  placeTwips(Dir_name, 3000, 720, 2655, 1980);
  Dir_name->setDriveRoot([this](const QString& path) {
    QString root = driveHolding(Sel_Drive->volumes(), path);
    if (root.isEmpty()) return QDir(path).rootPath();
    if (root.size() == 2 && root.at(1) == u':') root += u'/';  // "C:" is the drive, "C:/" its root
    return root;
  });

  Frame1 = control(new QGroupBox(QStringLiteral("分割サイズ"), this), "Frame1");
  placeTwips(Frame1, 240, 2880, 2175, 975);
  // The caption sits on the frame's top edge, so that the option buttons
  // placed below it are inside the frame.
  Frame1->setStyleSheet(QStringLiteral(
      "QGroupBox#Frame1 { border: 1px solid palette(mid); border-radius: 2px; margin-top: 8px; }"
      "QGroupBox#Frame1::title { subcontrol-origin: margin; subcontrol-position: top left;"
      " left: 6px; padding: 0 2px; }"));
  Option1[0] = control(new QRadioButton(QStringLiteral("1.44M(DOS/V)"), Frame1), "Option1_0");
  placeTwips(Option1[0], 240, 240, 1575, 255);
  Option1[1] = control(new QRadioButton(QStringLiteral("1.2M(PC98)"), Frame1), "Option1_1");
  placeTwips(Option1[1], 240, 600, 1695, 255);
  Option1[0]->setChecked(true);

  Label2 = control(new QLabel(this), "Label2");
  Label2->setTextFormat(Qt::PlainText);
  Label2->setWordWrap(true);
  Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  placeTwips(Label2, 2880, 3240, 2415, 495);

  Check1 = control(new QCheckBox(QStringLiteral("16bit 互換"), this), "Check1");
  placeTwips(Check1, 480, 4200, 1575, 375);

  Ret_bottn = control(new QPushButton(QStringLiteral("決　定"), this), "Ret_bottn");
  placeTwips(Ret_bottn, 2160, 4200, 1095, 375);
  Ret_bottn->setDefault(true);
  Refresh_bottn = control(new QPushButton(QStringLiteral("更　新"), this), "Refresh_bottn");
  placeTwips(Refresh_bottn, 3360, 4200, 975, 375);
  Exit_bottn = control(new QPushButton(QStringLiteral("終　了"), this), "Exit_bottn");
  placeTwips(Exit_bottn, 4560, 4200, 1095, 375);
  // Enter on a focused button presses that button.
  Refresh_bottn->setAutoDefault(true);
  Exit_bottn->setAutoDefault(true);

  // Tab order: the labels and the frame take no focus, so the keyboard goes
  // drive list, directory list, file list, the three buttons, the option
  // buttons and the check box.
  QWidget* order[] = {Sel_Drive, Dir_name,   FIle_list,  Ret_bottn, Refresh_bottn,
                      Exit_bottn, Option1[0], Option1[1], Check1};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);

  connect(Sel_Drive, &DriveList::changed, this, &Main::Sel_Drive_Change);
  connect(Dir_name, &DirectoryList::changed, this, &Main::Dir_name_Change);
  connect(Dir_name, &DirectoryList::openRequested, this, &Main::openDirectory);
  connect(FIle_list, &FileList::click, this, &Main::FIle_list_Click);
  connect(FIle_list, &FileList::dblClick, this, &Main::FIle_list_DblClick);
  connect(Ret_bottn, &QPushButton::clicked, this, &Main::Ret_bottn_Click);
  connect(Refresh_bottn, &QPushButton::clicked, this, &Main::Refresh_bottn_Click);
  connect(Exit_bottn, &QPushButton::clicked, this, &Main::Exit_bottn_Click);
  for (int i = 0; i < 2; ++i) {
    connect(Option1[i], &QRadioButton::toggled, this, [this, i](bool checked) {
      if (checked) Option1_Click(i);
    });
  }
  // The third state only comes from stored settings; once the user changes
  // the box it is an ordinary two-state box again.
  connect(Check1, &QCheckBox::stateChanged, this, [this](int state) {
    if (state != Qt::PartiallyChecked) Check1->setTristate(false);
  });

  Form_Load();
}

Main::~Main() {
  if (busy_) qApp->removeEventFilter(this);
}

Input_Form* Main::inputForm() const { return inputForm_.data(); }

void Main::applySettings(double leftTwips, double topTwips, int bit16, int size) {
  move(twips(leftTwips), twips(topTwips));
  placedLeftTwips_ = leftTwips;
  placedTopTwips_ = topTwips;
  placedAt_ = pos();
  if (bit16 == 0) {
    Check1->setCheckState(Qt::Unchecked);
  } else if (bit16 == 2) {
    Check1->setTristate(true);
    Check1->setCheckState(Qt::PartiallyChecked);
  } else {
    Check1->setCheckState(Qt::Checked);
  }
  PieceSize = size != 0 ? kPieceSize12 : kPieceSize144;
  Option1[size != 0 ? 1 : 0]->setChecked(true);  // raises Option1_Click when it changes
}

void Main::Form_Load() {
  // Position and switches as the last run left them; on the first run (or
  // for a value that cannot be used) 1,000 twips from the top left of the
  // screen, long naming, 1.44M pieces. The position is applied as stored,
  // even when it lies off the screen.
  const StoredSettings stored = loadSettings();
  applySettings(stored.mainLeft, stored.mainTop, stored.bit16, stored.size);

  // The lists start on the process's current drive and directory.
  QString dir;
  try {
    dir = fromFsPath(files_.curDir());
  } catch (const RuntimeError&) {
    dir = QDir::homePath();
  }
  Sel_Drive->refresh(QString());
  shownDrive_ = driveHolding(Sel_Drive->volumes(), dir);
  Sel_Drive->showDrive(shownDrive_);
  try {
    Dir_name->setPath(dir);  // raises Dir_name_Change, which fills the file list
  } catch (const RuntimeError& e) {
    showMessage(kStyleOkOnly, driveErrorText(e.number()));
  }
}

void Main::Form_QueryUnload(int& Cancel, int UnloadMode) {
  (void)Cancel;
  (void)UnloadMode;
  unloadOtherWindows();
  // A minimised window's position is not where it should reopen, so the one
  // stored before stays; the switches are always saved. A store that cannot
  // be written does not hold up closing.
  StoredSettings values;
  values.mainLeft = pos().x() == placedAt_.x() ? placedLeftTwips_ : pixelsToTwips(pos().x());
  values.mainTop = pos().y() == placedAt_.y() ? placedTopTwips_ : pixelsToTwips(pos().y());
  values.bit16 = check1();
  values.size = PieceSize != kPieceSize144 ? 1 : 0;
  saveSettings(values, isMinimized());
}

void Main::unloadOtherWindows() {
  // The extension dialog is the only other window this one loads.
  delete inputForm_.data();
}

QString Main::currentDrive() {
  try {
    const QString drive = driveHolding(Sel_Drive->volumes(), fromFsPath(files_.curDir()));
    if (!drive.isEmpty()) return drive;
  } catch (const RuntimeError&) {
  }
  return shownDrive_;
}

void Main::Sel_Drive_Change() {
  QString remembered = shownDrive_;
  try {
    remembered = currentDrive();
    files_.chDrive(toFsPath(Sel_Drive->drive()));
    // The directory list shows the drive's own current directory; its change
    // event makes it current and points the file list at it.
    Dir_name->setPath(fromFsPath(files_.curDir()));
    shownDrive_ = Sel_Drive->drive();
    if (driveRetry_ != kFalse)
      driveRetry_ = kFalse;
    else
      File_Name->clear();
  } catch (const RuntimeError& e) {
    showMessage(kStyleOkOnly, driveErrorText(e.number()));
    driveRetry_ = kTrue;
    try {
      files_.chDrive(toFsPath(remembered));
    } catch (const RuntimeError&) {
      // The previous drive has failed too; the directory list still shows
      // where the lists were.
    }
    Sel_Drive->setDrive(remembered);  // raises Sel_Drive_Change again, which clears the flag
    // When setting the list back raised no change (the previous drive is
    // not in the list, or failed again), the flag must not outlive this.
    driveRetry_ = kFalse;
  }
}

void Main::Dir_name_Change() {
  const QString path = Dir_name->path();
  try {
    files_.chDir(toFsPath(path));
  } catch (const RuntimeError& e) {
    showMessage(kStyleOkOnly, driveErrorText(e.number()));
    // Back to the directory the file list still shows.
    const QString previous = FIle_list->path();
    if (!previous.isEmpty() && previous != path) {
      try {
        Dir_name->setPath(previous);
      } catch (const RuntimeError&) {
      }
    }
    return;
  }
  FIle_list->setPath(path);
  File_Name->clear();
  const QString drive = driveHolding(Sel_Drive->volumes(), path);
  if (!drive.isEmpty() && drive != Sel_Drive->drive()) Sel_Drive->showDrive(drive);
  if (!drive.isEmpty()) shownDrive_ = drive;
}

void Main::openDirectory(const QString& path) {
  const QString previous = Dir_name->path();
  try {
    files_.chDir(toFsPath(path));  // can it be entered,
    Dir_name->setPath(path);       // and read? Showing it raises Dir_name_Change.
  } catch (const RuntimeError& e) {
    // The directory has gone or cannot be used: say so and stay where the
    // lists are, with the chosen name kept.
    showMessage(kStyleOkOnly, driveErrorText(e.number()));
    try {
      files_.chDir(toFsPath(previous));
    } catch (const RuntimeError&) {
    }
    try {
      Dir_name->refresh();
    } catch (const RuntimeError&) {
    }
  }
}

void Main::FIle_list_Click() { File_Name->setText(FIle_list->entry(FIle_list->listIndex())); }

void Main::FIle_list_DblClick() {
  if (!File_Name->text().isEmpty()) runRequest(File_Name->text());
}

void Main::Ret_bottn_Click() {
  if (!File_Name->text().isEmpty()) runRequest(File_Name->text());
}

void Main::Refresh_bottn_Click() {
  try {
    Dir_name->refresh();
  } catch (const RuntimeError& e) {
    showMessage(kStyleOkOnly, driveErrorText(e.number()));
  }
  FIle_list->setPath(FIle_list->path());
  File_Name->clear();
}

void Main::Exit_bottn_Click() {
  int cancel = 0;
  Form_QueryUnload(cancel, 0);
  if (endHook_)
    endHook_();
  else
    QCoreApplication::exit(0);
}

void Main::Option1_Click(int Index) {
  (void)Index;
  PieceSize = Option1[0]->isChecked() ? kPieceSize144 : kPieceSize12;
}

void Main::runRequest(const QString& name) {
  if (busy_) return;
  busy_ = true;
  qApp->installEventFilter(this);
  try {
    proc1(files_, *this, toFsPath(name));
  } catch (const RuntimeError& e) {
    showMessage(kStyleOkOnly, QStringLiteral("エラーです．エラー番号は") + QString::number(e.number()));
  } catch (const std::bad_alloc&) {
    showMessage(kStyleOkOnly, QStringLiteral("エラーです．エラー番号は7"));  // out of memory
  } catch (const std::exception&) {
    showMessage(kStyleOkOnly, QStringLiteral("エラーです．エラー番号は51"));  // internal error
  }
  qApp->removeEventFilter(this);
  busy_ = false;
}

bool Main::eventFilter(QObject* watched, QEvent* event) {
  if (busy_ && watched->isWidgetType() && isUserInput(event->type()) &&
      static_cast<QWidget*>(watched)->window() == this) {
    event->ignore();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void Main::keyPressEvent(QKeyEvent* event) {
  if (isEnter(event)) {
    // Enter presses the button that has the focus, and the default button
    // "決　定" from anywhere else in the window.
    auto* focused = qobject_cast<QPushButton*>(focusWidget());
    (focused && focused->window() == this ? focused : Ret_bottn)->click();
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void Main::closeEvent(QCloseEvent* event) {
  if (busy_) {
    event->ignore();
    return;
  }
  int cancel = 0;
  Form_QueryUnload(cancel, 0);
  if (cancel != 0)
    event->ignore();
  else
    event->accept();
}

int Main::showMessage(int style, const QString& text) {
  if (messageHook_) return messageHook_(style, text);
  return execMessageBox(this, style, text);
}

void Main::statusText(const std::string& text) {
  Label2->setText(QString::fromStdString(text));
  Label2->repaint();  // the event loop does not run until the request ends
}

void Main::clearStatus() { Label2->setText(QString()); }

void Main::message(const std::string& text) { showMessage(kStyleOkOnly, QString::fromStdString(text)); }

int Main::question(const std::string& text) {
  return showMessage(kStyleYesNoQuestion, QString::fromStdString(text));
}

int Main::questionNo(const std::string& text) {
  return showMessage(kStyleYesNoQuestionNoDefault, QString::fromStdString(text));
}

void Main::refreshFileList() { FIle_list->refresh(); }

std::int64_t Main::pieceSize() { return PieceSize; }

int Main::check1() {
  switch (Check1->checkState()) {
    case Qt::Unchecked:
      return 0;
    case Qt::PartiallyChecked:
      return 2;
    default:
      return 1;
  }
}

void Main::showExtensionPrompt() {
  if (!inputForm_) inputForm_ = new Input_Form(this);  // loading fills the list
  inputForm_->exec();
  // Closed through its frame: unloaded, so the next showing starts empty.
  if (inputForm_ && inputForm_->unloadRequested()) delete inputForm_.data();
}

std::string Main::extensionText() {
  return inputForm_ ? toFsPath(inputForm_->Combo1->currentText()) : std::string();
}

}  // namespace vexo
