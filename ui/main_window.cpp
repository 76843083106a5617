#include "main_window.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QUrl>

#if __has_include(<xcb/xcb.h>)
#include <xcb/xcb.h>
#define VEXO_HAVE_XCB 1
#endif

#include <algorithm>

#include "design.h"
#include "directory_list.h"
#include "directory_reading.h"
#include "drive_list.h"
#include "eliding_label.h"
#include "file_list.h"
#include "form_metrics.h"
#include "input_form.h"
#include "message_box.h"
#include "size_text.h"
#include "texts.h"
#include "volumes.h"

namespace vexo {

namespace {

QString utf8(const char* text) { return QString::fromUtf8(text); }

// A control of the main window named and placed as designed (design.h).
template <typename T>
T* designed(T* widget, const char* name) {
  const design::Control& c = design::control(design::kMain, name);
  widget->setObjectName(QString::fromLatin1(c.name));
  placeTwips(widget, c.left, c.top, c.width, c.height);
  return widget;
}

QString caption(const char* name) { return utf8(design::control(design::kMain, name).caption); }

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

// The first local file a drag carries, "" when none.
QString droppedFile(const QMimeData* data) {
  if (!data || !data->hasUrls()) return {};
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) return url.toLocalFile();
  return {};
}

#ifdef VEXO_HAVE_XCB
// Notices the X window of the main window being destroyed by another
// program (xdotool windowclose, xkill -id): Qt is not told, and the process
// would wait for a window that is gone.
class DestroyWatch : public QAbstractNativeEventFilter {
 public:
  explicit DestroyWatch(Main* window) : window_(window) {}
  bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
    if (type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_DESTROY_NOTIFY) return false;
    const auto* destroyed = static_cast<const xcb_destroy_notify_event_t*>(message);
    if (window_->testAttribute(Qt::WA_WState_Created) && destroyed->window == window_->winId())
      QTimer::singleShot(0, window_, [w = window_] { w->destroyedOutside(); });
    return false;
  }

 private:
  Main* window_;
};
#endif

}  // namespace

Main::Main(FileServices& files, Volumes& volumes, SettingsStore& settings, QWidget* parent)
    : QWidget(parent),
      files_(files),
      volumes_(volumes),
      form_(*this, files_, settings) {
  setObjectName(QString::fromLatin1(design::kMain.name));
  setWindowTitle(utf8(design::kMain.caption));
  setFont(formFont());
  // Opens at its designed size (375 twips taller than the original form,
  // for Check2 under Check1, and 420 more for the output folder's row) and
  // may grow, never shrink below it.
  designedSize_ = twipsSize(design::kMain.clientWidth, design::kMain.clientHeight);
  setMinimumSize(designedSize_);
  resize(designedSize_);
  setAcceptDrops(true);

  Label1 = designed(new QLabel(caption("Label1"), this), "Label1");

  File_Name = designed(new ElidingLabel(this), "File_Name");

  FIle_list = designed(new FileList(this), "FIle_list");

  Sel_Drive = designed(new DriveList(volumes_, this), "Sel_Drive");

  Dir_name = designed(new DirectoryList(this), "Dir_name");
  Dir_name->setDriveRoot([this](const QString& path) {
    QString root = vexo::driveHolding(Sel_Drive->volumes(), path);
    if (root.isEmpty()) return QDir(path).rootPath();
    if (root.size() == 2 && root.at(1) == u':') root += u'/';  // "C:" is the drive, "C:/" its root
    return root;
  });

  // Grown to the right (up to the status line) and down (up to the check
  // box) to hold the third option and the size box.
  Frame1 = designed(new QGroupBox(caption("Frame1"), this), "Frame1");
  // The caption sits on the frame's top edge, so that the option buttons
  // placed below it are inside the frame.
  Frame1->setStyleSheet(QStringLiteral(
      "QGroupBox#Frame1 { border: 1px solid palette(mid); border-radius: 2px; margin-top: 8px; }"
      "QGroupBox#Frame1::title { subcontrol-origin: margin; subcontrol-position: top left;"
      " left: 6px; padding: 0 2px; }"));
  Option1[0] = designed(new QRadioButton(caption("Option1_0"), Frame1), "Option1_0");
  Option1[1] = designed(new QRadioButton(caption("Option1_1"), Frame1), "Option1_1");
  Option1[2] = designed(new QRadioButton(caption("Option1_2"), Frame1), "Option1_2");
  Option1[0]->setChecked(true);
  Size_Combo = designed(new QComboBox(Frame1), "Size_Combo");
  Size_Combo->setEditable(true);
  // What the user types is a size, not a new entry of the list, and is not
  // completed from the list: "100" is 100 bytes, not "100MB".
  Size_Combo->setInsertPolicy(QComboBox::NoInsert);
  Size_Combo->setCompleter(nullptr);
  for (const SizePreset& preset : kSizePresets) Size_Combo->addItem(utf8(preset.text));
  Size_Combo->setCurrentIndex(-1);
  Size_Combo->setEditText(QString());
  // The list opens as wide as its entries, wider than the box.
  Size_Combo->view()->setMinimumWidth(Size_Combo->view()->sizeHintForColumn(0) + twips(300));

  Label2 = designed(new QLabel(this), "Label2");
  Label2->setTextFormat(Qt::PlainText);
  Label2->setWordWrap(true);
  Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Progress_bar = designed(new QProgressBar(this), "Progress_bar");
  Progress_bar->setTextVisible(false);
  Progress_bar->setAlignment(Qt::AlignCenter);
  Progress_bar->setFormat(QStringLiteral("%p%"));
  {
    // Small enough for the figures to fit the bar's height.
    QFont small = Progress_bar->font();
    small.setPixelSize(twips(150));
    Progress_bar->setFont(small);
  }
  Progress_bar->setRange(0, 1);
  Progress_bar->setValue(0);

  Check1 = designed(new QCheckBox(caption("Check1"), this), "Check1");
  Check2 = designed(new QCheckBox(caption("Check2"), this), "Check2");
  // Beside Check2, under the buttons.
  Check3 = designed(new QCheckBox(caption("Check3"), this), "Check3");
  Recovery_Pct = designed(new QSpinBox(this), "Recovery_Pct");
  Recovery_Pct->setRange(kMinRecoveryPercent, kMaxRecoveryPercent);
  Recovery_Pct->setValue(kDefaultRecoveryPercent);
  Recovery_Pct->setSuffix(QStringLiteral(" %"));

  // The output folder's row, below everything else.
  Out_Label = designed(new QLabel(caption("Out_Label"), this), "Out_Label");
  Out_Dir = designed(new QLineEdit(this), "Out_Dir");
  Out_Dir->setPlaceholderText(utf8(text::kSameFolder));
  Out_Browse = designed(new QPushButton(caption("Out_Browse"), this), "Out_Browse");
  Out_Browse->setAutoDefault(true);

  Ret_bottn = designed(new QPushButton(caption("Ret_bottn"), this), "Ret_bottn");
  Ret_bottn->setDefault(true);
  Refresh_bottn = designed(new QPushButton(caption("Refresh_bottn"), this), "Refresh_bottn");
  Exit_bottn = designed(new QPushButton(caption("Exit_bottn"), this), "Exit_bottn");
  // Enter on a focused button presses that button.
  Refresh_bottn->setAutoDefault(true);
  Exit_bottn->setAutoDefault(true);

  // Tab order as designed: the labels and the frame take no focus, so the
  // keyboard goes drive list, directory list, file list, the three
  // buttons, the option buttons with the size box, the check boxes and the
  // output folder's row.
  QWidget* previous = nullptr;
  for (const design::Control& c : design::kMain.controls) {
    if (!c.takesFocus) continue;
    auto* w = findChild<QWidget*>(QString::fromLatin1(c.name));
    if (previous && w) setTabOrder(previous, w);
    if (w) previous = w;
  }

  MainForm* f = &form_;
  connect(Sel_Drive, &DriveList::changed, this, [f] { f->Sel_Drive_Change(); });
  connect(Dir_name, &DirectoryList::changed, this, [f] { f->Dir_name_Change(); });
  connect(Dir_name, &DirectoryList::openRequested, this,
          [f](const QString& path) { f->Dir_name_Open(toFsPath(path)); });
  connect(FIle_list, &FileList::click, this, [f] { f->FIle_list_Click(); });
  connect(FIle_list, &FileList::dblClick, this, [f] { f->FIle_list_DblClick(); });
  connect(Ret_bottn, &QPushButton::clicked, this, [f] { f->Ret_bottn_Click(); });
  connect(Refresh_bottn, &QPushButton::clicked, this, [f] { f->Refresh_bottn_Click(); });
  connect(Exit_bottn, &QPushButton::clicked, this, [f] { f->Exit_bottn_Click(); });
  connect(Out_Browse, &QPushButton::clicked, this, [f] { f->Out_Browse_Click(); });
  for (int i = 0; i < 3; ++i) {
    connect(Option1[i], &QRadioButton::toggled, this, [f, i](bool checked) {
      if (checked) f->Option1_Click(i);
    });
  }
  // Only the user's own edits and choices: setSizeText() raises nothing.
  connect(Size_Combo->lineEdit(), &QLineEdit::textEdited, this, [f] { f->Size_Combo_Change(); });
  connect(Size_Combo, &QComboBox::activated, this, [this, f] {
    Size_Combo->lineEdit()->setCursorPosition(0);  // the box is narrower than a preset
    f->Size_Combo_Change();
  });
  // The third state only comes from stored settings; once the user changes
  // the box it is an ordinary two-state box again.
  connect(Check1, &QCheckBox::stateChanged, this, [this](int state) {
    if (state != Qt::PartiallyChecked) Check1->setTristate(false);
  });

  rememberLayout();
#ifdef VEXO_HAVE_XCB
  if (QGuiApplication::platformName() == QLatin1String("xcb")) {
    destroyWatch_ = std::make_unique<DestroyWatch>(this);
    qApp->installNativeEventFilter(destroyWatch_.get());
  }
#endif
  form_.Form_Load();
}

Main::~Main() {
  if (inputBlocked_) qApp->removeEventFilter(this);
  if (destroyWatch_) qApp->removeNativeEventFilter(destroyWatch_.get());
}

void Main::rememberLayout() {
  // How each control follows a larger window: see layout.h.
  layout_.clear();
  for (QObject* child : children()) {
    auto* w = qobject_cast<QWidget*>(child);
    if (!w || w->isWindow()) continue;
    const QRect g = w->geometry();
    const LayoutRect designed{g.x(), g.y(), g.width(), g.height()};
    layout_.push_back({w, designed,
                       anchorOf(w->objectName().toStdString(), designed, designedSize_.width(),
                                designedSize_.height())});
  }
}

void Main::layoutControls() {
  const int dw = width() - designedSize_.width();
  const int dh = height() - designedSize_.height();
  for (const Placement& p : layout_) {
    const LayoutRect r = placeGrown(p.designed, p.anchor, dw, dh);
    p.control->setGeometry(r.left, r.top, r.width, r.height);
  }
}

void Main::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  layoutControls();
}

void Main::dragEnterEvent(QDragEnterEvent* event) {
  if (!form_.busy() && !droppedFile(event->mimeData()).isEmpty())
    event->acceptProposedAction();
  else
    event->ignore();
}

void Main::dropEvent(QDropEvent* event) {
  const QString path = droppedFile(event->mimeData());
  if (path.isEmpty() || form_.busy()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  // Shown once the drag has ended, so that a message box does not hold up
  // the program the file came from.
  const std::string fsPath = toFsPath(path);
  QTimer::singleShot(0, this, [this, fsPath] { form_.openPath(fsPath); });
}

void Main::destroyedOutside() {
  if (ending_) return;
  if (form_.busy()) {
    // Stop the request; its clean-up and message finish before the end.
    form_.Stop_Request();
    QTimer::singleShot(50, this, [this] { destroyedOutside(); });
    return;
  }
  ending_ = true;
  int cancel = 0;
  form_.Form_QueryUnload(cancel, 0);
  endApplication();
}

Input_Form* Main::inputForm() const {
  InputForm* loaded = form_.inputForm();
  return loaded ? static_cast<Input_Form*>(loaded->view()) : nullptr;
}

std::string Main::fileName() { return toFsPath(File_Name->text()); }

void Main::setFileName(const std::string& text) { File_Name->setText(fromFsPath(text)); }

void Main::setStatus(const std::string& text, bool repaintNow) {
  Label2->setText(QString::fromStdString(text));
  if (repaintNow) Label2->repaint();  // drawn now, not when the event loop next runs
}

void Main::setProgress(std::int64_t done, std::int64_t total) {
  // The percentage shows on the bar while a request counts.
  Progress_bar->setTextVisible(total > 0);
  if (total <= 0) {
    Progress_bar->setRange(0, 1);
    Progress_bar->setValue(0);
  } else {
    // In ten-thousandths: a bar's range is an int, a file's length is not.
    constexpr int kSteps = 10000;
    Progress_bar->setRange(0, kSteps);
    const std::int64_t d = std::clamp<std::int64_t>(done, 0, total);
    Progress_bar->setValue(static_cast<int>(static_cast<double>(d) / total * kSteps));
  }
  Progress_bar->repaint();
}

void Main::setRetCaption(const std::string& text) {
  Ret_bottn->setText(QString::fromStdString(text));
  Ret_bottn->repaint();
}

void Main::processEvents() {
  // Painting, the window manager's messages and timers run; the input
  // filter (blockInput) lets only Escape and a click on Ret_bottn through.
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

std::vector<MainView::ScreenArea> Main::screenAreas() {
  std::vector<ScreenArea> areas;
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect r = screen->availableGeometry();
    areas.push_back({pixelsToTwips(r.x()), pixelsToTwips(r.y()), pixelsToTwips(r.width()),
                     pixelsToTwips(r.height())});
  }
  return areas;
}

double Main::windowWidthTwips() { return pixelsToTwips(std::max(frameGeometry().width(), width())); }
double Main::windowHeightTwips() { return pixelsToTwips(std::max(frameGeometry().height(), height())); }

void Main::selectFileListEntry(const std::string& name) {
  const int i = FIle_list->entries().indexOf(fromFsPath(name));
  if (i < 0) return;
  const QSignalBlocker quiet(FIle_list);
  FIle_list->setListIndex(i);
  FIle_list->scrollTo(FIle_list->model()->index(i, 0));
}

void Main::refreshDrives() { Sel_Drive->refresh(QString()); }

std::string Main::drive() { return toFsPath(Sel_Drive->drive()); }

void Main::setDrive(const std::string& drive) { Sel_Drive->setDrive(fromFsPath(drive)); }

void Main::showDrive(const std::string& drive) { Sel_Drive->showDrive(fromFsPath(drive)); }

std::string Main::driveHolding(const std::string& path) {
  return toFsPath(vexo::driveHolding(Sel_Drive->volumes(), fromFsPath(path)));
}

std::string Main::dirPath() { return toFsPath(Dir_name->path()); }

void Main::setDirPath(const std::string& path) { Dir_name->setPath(fromFsPath(path)); }

void Main::refreshDir() { Dir_name->refresh(); }

std::string Main::fileListPath() { return toFsPath(FIle_list->path()); }

void Main::setFileListPath(const std::string& path) { FIle_list->setPath(fromFsPath(path)); }

void Main::refreshFileList() { FIle_list->refresh(); }

int Main::fileListIndex() { return FIle_list->listIndex(); }

std::string Main::fileListEntry(int index) { return toFsPath(FIle_list->entry(index)); }

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

void Main::setCheck1(int state) {
  if (state == 0) {
    Check1->setCheckState(Qt::Unchecked);
  } else if (state == 2) {
    Check1->setTristate(true);
    Check1->setCheckState(Qt::PartiallyChecked);
  } else {
    Check1->setCheckState(Qt::Checked);
  }
}

bool Main::option1(int index) { return Option1[std::clamp(index, 0, 2)]->isChecked(); }

void Main::setOption1(int index) { Option1[std::clamp(index, 0, 2)]->setChecked(true); }

std::string Main::sizeText() { return Size_Combo->currentText().toStdString(); }

void Main::setSizeText(const std::string& text) {
  Size_Combo->setEditText(QString::fromStdString(text));
  Size_Combo->lineEdit()->setCursorPosition(0);  // shows the number, where a note may be cut off
}

int Main::check2() { return Check2->isChecked() ? 1 : 0; }

void Main::setCheck2(int state) { Check2->setChecked(state != 0); }

int Main::check3() { return Check3->isChecked() ? 1 : 0; }

void Main::setCheck3(int state) { Check3->setChecked(state != 0); }

int Main::recoveryPercent() { return Recovery_Pct->value(); }

void Main::setRecoveryPercent(int percent) { Recovery_Pct->setValue(percent); }

std::string Main::outputDir() { return toFsPath(Out_Dir->text()); }

void Main::setOutputDir(const std::string& text) { Out_Dir->setText(fromFsPath(text)); }

std::optional<std::string> Main::chooseFolder(const std::string& start) {
  const QString from = fromFsPath(start);
  const QString chosen = folderHook_ ? folderHook_(from)
                                     : QFileDialog::getExistingDirectory(this, utf8(text::kOutLabel), from);
  if (chosen.isEmpty()) return std::nullopt;
  return toFsPath(QDir::toNativeSeparators(chosen));
}

void Main::setBusyControls(bool busy) {
  Refresh_bottn->setEnabled(!busy);
  Out_Browse->setEnabled(!busy);
}

void Main::moveWindowTwips(double left, double top) { move(twips(left), twips(top)); }

double Main::windowLeftTwips() { return pixelsToTwips(pos().x()); }

double Main::windowTopTwips() { return pixelsToTwips(pos().y()); }

bool Main::isMinimized() { return QWidget::isMinimized(); }

int Main::messageBox(int style, const std::string& text) {
  const QString qtext = QString::fromStdString(text);
  if (messageHook_) return messageHook_(style, qtext);
  return execMessageBox(this, style, qtext);
}

void Main::blockInput(bool on) {
  if (on == inputBlocked_) return;
  inputBlocked_ = on;
  if (on) {
    focusBeforeBlock_ = focusWidget();
    qApp->installEventFilter(this);
  } else {
    qApp->removeEventFilter(this);
    // A click kept out still moves the focus (Qt gives it before any filter
    // sees the press); put it back, so that Enter presses what it did.
    if (focusBeforeBlock_ && focusBeforeBlock_->window() == this &&
        focusWidget() != focusBeforeBlock_)
      focusBeforeBlock_->setFocus(Qt::OtherFocusReason);
    focusBeforeBlock_.clear();
  }
}

void Main::endApplication() {
  if (endHook_)
    endHook_();
  else
    QCoreApplication::exit(0);
}

std::unique_ptr<InputView> Main::loadInputView(InputForm& form) {
  return std::make_unique<Input_Form>(form, this);
}

std::string Main::homeDirectory() { return toFsPath(QDir::homePath()); }

bool Main::eventFilter(QObject* watched, QEvent* event) {
  if (inputBlocked_ && watched->isWidgetType() && isUserInput(event->type()) &&
      static_cast<QWidget*>(watched)->window() == this) {
    // While a request runs only stopping gets through: Escape, and the
    // button that now reads "中　止".
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
      form_.Stop_Request();
      return true;
    }
    // Closing the window and "終　了" reach the close question.
    if (type == QEvent::Close && watched == this) return QWidget::eventFilter(watched, event);
    if ((watched == Ret_bottn || watched == Exit_bottn) &&
        (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease) &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
      return QWidget::eventFilter(watched, event);
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
  if (form_.busy()) {
    // Asks whether to stop; the application ends once the request has
    // cleaned up, so the window stays open until then.
    if (form_.queryClose())
      event->accept();
    else
      event->ignore();
    return;
  }
  int cancel = 0;
  form_.Form_QueryUnload(cancel, 0);
  if (cancel != 0)
    event->ignore();
  else
    event->accept();
}

}  // namespace vexo
