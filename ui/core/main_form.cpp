#include "main_form.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <new>
#include <tuple>
#include <utility>

#include "messages.h"
#include "names.h"
#include "size_text.h"
#include "texts.h"

namespace vexo {

std::string reasonLine(int errorNumber, const std::string& name) {
  return (name.empty() ? std::string() : name + "：") + text::errorReason(errorNumber) + "．";
}

std::string driveErrorText(int errorNumber, const std::string& name) {
  switch (errorNumber) {
    case err::DeviceUnavailable:
      return text::kDeviceUnavailable;
    case err::DiskNotReady:
      return text::kDiskNotReady;
    default:
      return text::kErrorNumber + std::to_string(errorNumber) + "\n" + reasonLine(errorNumber, name);
  }
}

WindowPlace reachablePlace(double left, double top, double width, double height,
                           const std::vector<MainView::ScreenArea>& screens) {
  if (screens.empty()) return {left, top};
  const double need = std::min(width > 0 ? width : kReachableTwips, kReachableTwips);
  for (const MainView::ScreenArea& s : screens) {
    const double across = std::min(left + std::max(width, need), s.left + s.width) -
                          std::max(left, s.left);
    if (across >= need && top >= s.top && top + kTitleBarTwips <= s.top + s.height)
      return {left, top};
  }
  // The screen nearest to the title bar's middle.
  const double midX = left + std::max(width, need) / 2;
  const double midY = top + kTitleBarTwips / 2;
  const MainView::ScreenArea* nearest = nullptr;
  double best = std::numeric_limits<double>::infinity();
  for (const MainView::ScreenArea& s : screens) {
    const double dx = std::max({s.left - midX, 0.0, midX - (s.left + s.width)});
    const double dy = std::max({s.top - midY, 0.0, midY - (s.top + s.height)});
    const double d = dx * dx + dy * dy;
    if (d < best) {
      best = d;
      nearest = &s;
    }
  }
  const MainView::ScreenArea& s = *nearest;
  // The whole window inside the work area where it fits; a window wider or
  // taller than the area keeps its left or top edge (and the title) on it.
  const double h = std::max(height, kTitleBarTwips);
  const double l = std::max(s.left, std::min(left, s.left + s.width - std::max(width, 0.0)));
  const double t = std::max(s.top, std::min(top, s.top + s.height - h));
  return {l, t};
}

MainForm::MainForm(MainView& view, FileServices& files, SettingsStore& settings)
    : view_(view), files_(files), settings_(settings), clock_([] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
      }) {}

MainForm::~MainForm() = default;

void MainForm::applySettings(double leftTwips, double topTwips, int bit16, int size,
                             const std::string& customSize, int digits3) {
  // A position whose title bar would be on no screen (a screen since
  // removed, a smaller resolution) is moved onto the nearest one. What the
  // settings hold changes only when the window closes, and then to where
  // the window is.
  const WindowPlace place =
      reachablePlace(leftTwips, topTwips, view_.windowWidthTwips(), view_.windowHeightTwips(),
                     view_.screenAreas());
  leftTwips = place.left;
  topTwips = place.top;
  view_.moveWindowTwips(leftTwips, topTwips);
  placedLeftTwips_ = leftTwips;
  placedTopTwips_ = topTwips;
  placedAtLeft_ = view_.windowLeftTwips();
  placedAtTop_ = view_.windowTopTwips();
  view_.setCheck1(bit16 == 0 ? 0 : bit16 == 2 ? 2 : 1);
  view_.setCheck2(digits3 != 0 ? 1 : 0);
  view_.setSizeText(customSize);
  const std::optional<std::int64_t> custom = parsePieceSize(customSize);
  if (size == 2 && !custom) size = 0;
  PieceSize = size == 2 ? *custom : size != 0 ? kPieceSize12 : kPieceSize144;
  view_.setOption1(size == 2 ? 2 : size != 0 ? 1 : 0);  // raises Option1_Click when it changes
}

void MainForm::Form_Load() {
  // Position and switches as the last run left them; on the first run (or
  // for a value that cannot be used) 1,000 twips from the top left of the
  // screen, long naming, 1.44M pieces.
  const StoredSettings stored = loadSettings(settings_);
  applySettings(stored.mainLeft, stored.mainTop, stored.bit16, stored.size, stored.customSize,
                stored.digits3);
  view_.setCheck3(stored.recovery > 0 ? 1 : 0);
  view_.setRecoveryPercent(stored.recovery > 0 ? stored.recovery : kDefaultRecoveryPercent);
  view_.setOutputDir(stored.outputDir);

  // The lists start on the process's current drive and directory.
  std::string dir;
  try {
    dir = files_.curDir();
  } catch (const RuntimeError&) {
    dir = view_.homeDirectory();
  }
  view_.refreshDrives();
  shownDrive_ = view_.driveHolding(dir);
  view_.showDrive(shownDrive_);
  if (dir.empty()) return;
  try {
    view_.setDirPath(dir);  // raises Dir_name_Change, which fills the file list
  } catch (const RuntimeError& e) {
    view_.messageBox(kStyleWarning, driveErrorText(e.number(), dir));
  }
}

void MainForm::Form_QueryUnload(int& Cancel, int UnloadMode) {
  (void)Cancel;
  (void)UnloadMode;
  unloadOtherWindows();
  // A minimised window's position is not where it should reopen, so the one
  // stored before stays; the switches are always saved. A store that cannot
  // be written does not hold up closing.
  StoredSettings values;
  const double left = view_.windowLeftTwips();
  const double top = view_.windowTopTwips();
  values.mainLeft = left == placedAtLeft_ ? placedLeftTwips_ : left;
  values.mainTop = top == placedAtTop_ ? placedTopTwips_ : top;
  values.bit16 = check1();
  values.size = sizeBoxChosen() ? 2 : view_.option1(1) ? 1 : 0;
  values.customSize = view_.sizeText();
  values.digits3 = view_.check2() != 0 ? 1 : 0;
  values.outputDir = view_.outputDir();
  values.recovery = recoveryPercent();
  saveSettings(settings_, values, view_.isMinimized());
}

void MainForm::unloadOtherWindows() {
  // The extension dialog is the only other window this one loads.
  inputForm_.reset();
}

std::string MainForm::currentDrive() {
  try {
    const std::string drive = view_.driveHolding(files_.curDir());
    if (!drive.empty()) return drive;
  } catch (const RuntimeError&) {
  }
  return shownDrive_;
}

void MainForm::Sel_Drive_Change() {
  std::string remembered = shownDrive_;
  try {
    remembered = currentDrive();
    const std::string chosen = view_.drive();
    files_.chDrive(chosen);
    // The directory list shows the drive's own current directory; its change
    // event makes it current and points the file list at it.
    view_.setDirPath(files_.curDir());
    shownDrive_ = chosen;
    if (driveRetry_ != kFalse)
      driveRetry_ = kFalse;
    else
      view_.setFileName("");
  } catch (const RuntimeError& e) {
    view_.messageBox(kStyleWarning, driveErrorText(e.number(), view_.drive()));
    driveRetry_ = kTrue;
    try {
      files_.chDrive(remembered);
    } catch (const RuntimeError&) {
      // The previous drive has failed too; the directory list still shows
      // where the lists were.
    }
    view_.setDrive(remembered);  // raises Sel_Drive_Change again, which clears the flag
    // When setting the list back raised no change (the previous drive is
    // not in the list, or failed again), the flag must not outlive this.
    driveRetry_ = kFalse;
  }
}

void MainForm::Dir_name_Change() {
  const std::string path = view_.dirPath();
  try {
    files_.chDir(path);
  } catch (const RuntimeError& e) {
    view_.messageBox(kStyleWarning, driveErrorText(e.number(), path));
    // Back to the directory the file list still shows.
    const std::string previous = view_.fileListPath();
    if (!previous.empty() && previous != path) {
      try {
        view_.setDirPath(previous);
      } catch (const RuntimeError&) {
      }
    }
    return;
  }
  view_.setFileListPath(path);
  view_.setFileName("");
  const std::string drive = view_.driveHolding(path);
  if (!drive.empty() && drive != view_.drive()) view_.showDrive(drive);
  if (!drive.empty()) shownDrive_ = drive;
}

void MainForm::Dir_name_Open(const std::string& path) {
  const std::string previous = view_.dirPath();
  try {
    files_.chDir(path);      // can it be entered,
    view_.setDirPath(path);  // and read? Showing it raises Dir_name_Change.
  } catch (const RuntimeError& e) {
    // The directory has gone or cannot be used: say so and stay where the
    // lists are, with the chosen name kept.
    view_.messageBox(kStyleWarning, driveErrorText(e.number(), path));
    try {
      files_.chDir(previous);
    } catch (const RuntimeError&) {
    }
    try {
      view_.refreshDir();
    } catch (const RuntimeError&) {
    }
  }
}

void MainForm::FIle_list_Click() { view_.setFileName(view_.fileListEntry(view_.fileListIndex())); }

void MainForm::FIle_list_DblClick() {
  const std::string name = view_.fileName();
  if (!name.empty()) proc1Guarded(name);
}

void MainForm::Ret_bottn_Click() {
  if (busy_) {  // the button reads "中　止" while a request runs
    Stop_Request();
    return;
  }
  const std::string name = view_.fileName();
  if (!name.empty()) proc1Guarded(name);
}

void MainForm::Refresh_bottn_Click() {
  try {
    view_.refreshDir();
  } catch (const RuntimeError& e) {
    view_.messageBox(kStyleWarning, driveErrorText(e.number(), view_.dirPath()));
  }
  view_.setFileListPath(view_.fileListPath());
  view_.setFileName("");
}

void MainForm::Exit_bottn_Click() {
  if (busy_) {
    askStopAndEnd();
    return;
  }
  int cancel = 0;
  Form_QueryUnload(cancel, 0);
  view_.endApplication();
}

bool MainForm::sizeBoxChosen() { return !view_.option1(0) && !view_.option1(1); }

void MainForm::Option1_Click(int Index) {
  (void)Index;
  std::optional<std::int64_t> boxed;  // the size box's size, when it is chosen and holds one
  if (view_.option1(0)) {
    PieceSize = kPieceSize144;
  } else if (view_.option1(1)) {
    PieceSize = kPieceSize12;
  } else if ((boxed = parsePieceSize(view_.sizeText()))) {
    PieceSize = *boxed;
  }
  // A size box without a usable size leaves PieceSize as it was; a split is
  // refused until the box holds one (proc1Guarded).
  showChosenSize(boxed);
}

void MainForm::showChosenSize(std::optional<std::int64_t> boxed) {
  if (busy_) return;
  const std::string shown = boxed ? text::chosenSize(text::grouped(*boxed)) : std::string();
  if (shown.empty() && !sizeShown_) return;  // the line says something else, or nothing
  view_.setStatus(shown, false);
  sizeShown_ = !shown.empty();
}

void MainForm::Size_Combo_Change() {
  // Typing a size means using it: the box's option is selected, which sets
  // PieceSize through Option1_Click.
  if (!sizeBoxChosen())
    view_.setOption1(2);
  else
    Option1_Click(2);
}

bool MainForm::queryClose() {
  if (busy_) {
    askStopAndEnd();
    return false;  // ended once the request has stopped
  }
  int cancel = 0;
  Form_QueryUnload(cancel, 0);
  return cancel == 0;
}

bool MainForm::askStopAndEnd() {
  if (endAfter_) return true;  // asked and answered already
  if (showBox(kStyleYesNoQuestionNoDefault, text::kQuitQuestion) != kAnswerYes) return false;
  endAfter_ = true;
  Stop_Request();
  return true;
}

void MainForm::Stop_Request() {
  if (!busy_ || stop_) return;
  stop_ = true;
  // Said at once: the request stops at its next block and then cleans up.
  status_ = text::kStopping;
  statusStale_ = true;
  paintIfDue(true);
}

std::string MainForm::outputFolder() {
  std::string dir = view_.outputDir();
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!dir.empty() && blank(dir.back())) dir.pop_back();
  std::size_t first = 0;
  while (first < dir.size() && blank(dir[first])) ++first;
  dir.erase(0, first);
  return dir == text::kSameFolder ? std::string() : dir;
}

int MainForm::recoveryPercent() {
  if (view_.check3() == 0) return 0;
  return std::clamp(view_.recoveryPercent(), kMinRecoveryPercent, kMaxRecoveryPercent);
}

void MainForm::Out_Browse_Click() {
  if (busy_) return;
  std::string start = outputFolder();
  if (start.empty()) start = view_.dirPath();
  if (const std::optional<std::string> chosen = view_.chooseFolder(start)) view_.setOutputDir(*chosen);
}

namespace {

#ifdef _WIN32
constexpr const char* kSeparators = "/\\";
bool isAbsolute(const std::string& p) {
  return (!p.empty() && (p[0] == '/' || p[0] == '\\')) || (p.size() >= 2 && p[1] == ':');
}
#else
constexpr const char* kSeparators = "/";
bool isAbsolute(const std::string& p) { return !p.empty() && p[0] == '/'; }
#endif

// "dir/name" into "dir" and "name"; the directory of "/name" is "/", of
// "C:\name" "C:\".
std::pair<std::string, std::string> splitPath(const std::string& path) {
  const std::size_t sep = path.find_last_of(kSeparators);
  if (sep == std::string::npos) return {".", path};
  const bool root = sep == 0 || (sep == 2 && path[1] == ':');
  return {path.substr(0, root ? sep + 1 : sep), path.substr(sep + 1)};
}

}  // namespace

void MainForm::openPath(const std::string& given) {
  if (busy_ || given.empty()) return;
  std::string path = given;
  try {
    if (!isAbsolute(path)) {
      std::string cur = files_.curDir();
      if (!cur.empty() && std::string(kSeparators).find(cur.back()) == std::string::npos)
        cur += kSeparators[std::string(kSeparators).size() - 1];
      path = cur + path;
    }
    const std::string before = files_.curDir();
    // Where the lists were, should the path not be usable.
    auto goBack = [&] {
      try {
        const std::string drive = view_.driveHolding(before);
        if (!drive.empty()) files_.chDrive(drive);
        files_.chDir(before);
      } catch (const RuntimeError&) {
      }
    };
    // A path on another drive makes that drive current first: a directory
    // entered on a drive that is not current would only become that
    // drive's own directory, and the request would run where the lists were.
    if (const std::string drive = view_.driveHolding(path);
        !drive.empty() && drive != view_.driveHolding(before))
      files_.chDrive(drive);
    std::string dir, name;
    bool isDir = true;
    try {
      files_.chDir(path);
      dir = files_.curDir();
    } catch (const RuntimeError&) {
      isDir = false;
    }
    if (!isDir) {
      // A file: it must open for reading, in a directory that can be shown.
      std::tie(dir, name) = splitPath(path);
      try {
        const int f = files_.freeFile();
        files_.openRead(path, f);
        files_.close(f);
        files_.chDir(dir);
        dir = files_.curDir();
      } catch (const RuntimeError&) {
        goBack();
        throw;
      }
    }
    try {
      const std::string drive = view_.driveHolding(dir);
      if (!drive.empty() && drive != view_.drive()) files_.chDrive(drive);
      files_.chDir(dir);
      if (view_.dirPath() == dir)
        view_.refreshFileList();
      else
        view_.setDirPath(dir);  // raises Dir_name_Change: the file list follows
    } catch (const RuntimeError&) {
      goBack();
      throw;
    }
    view_.setFileName(name);
    if (!name.empty()) view_.selectFileListEntry(name);
  } catch (const RuntimeError& e) {
    // The file itself is named, with the reason, whatever the failure.
    const int n = e.number();
    const bool drive = n == err::DeviceUnavailable || n == err::DiskNotReady;
    view_.messageBox(kStyleWarning, drive ? driveErrorText(n) + "\n" + reasonLine(n, given)
                                          : driveErrorText(n, given));
  }
}

bool MainForm::paintIfDue(bool force) {
  if (!statusStale_ && !progressStale_ && !busy_) return false;
  const std::int64_t now = clock_();
  if (!force && painted_ && now - lastPaint_ < kRepaintMs) return false;
  if (statusStale_) view_.setStatus(status_, true);
  if (progressStale_) view_.setProgress(done_, total_);
  statusStale_ = progressStale_ = false;
  lastPaint_ = now;
  painted_ = true;
  if (busy_ && !force) view_.processEvents();
  return true;
}

void MainForm::proc1Guarded(const std::string& name) {
  if (busy_) return;
  busy_ = true;
  sizeShown_ = false;  // the request's own texts take the line
  stop_ = false;
  endAfter_ = false;
  painted_ = false;  // the first status of a request is drawn at once
  view_.blockInput(true);
  view_.setBusyControls(true);
  view_.setRetCaption(text::kRetStop);
  retShowsStop_ = true;
  refreshed_ = false;
  bool refused = false;  // the size box holds no usable size
  try {
    if (sizeReady(name))
      proc1(files_, *this, buildJob(name));
    else
      refused = refreshed_ = true;  // nothing was read or written
  } catch (const RuntimeError& e) {
    showBox(kStyleWarning, text::kErrorNumber + std::to_string(e.number()) + "\n" +
                               reasonLine(e.number(), e.file().empty() ? name : e.file()));
  } catch (const std::bad_alloc&) {
    showBox(kStyleWarning, text::kErrorNumber + std::string("7\n") + name + "：メモリが足りません．");
  } catch (const std::exception&) {
    showBox(kStyleWarning, text::kErrorNumber + std::string("51\n") + reasonLine(51, name));
  }
  if (retShowsStop_) view_.setRetCaption(text::kRetBottn);
  retShowsStop_ = false;
  progressStale_ = false;
  done_ = total_ = 0;
  view_.setProgress(0, 0);
  // Nothing of the request stays on show: the status line is emptied, the
  // file list read again, and a chosen name whose file has gone (pieces
  // deleted after a join) is cleared.
  if (!status_.empty()) view_.setStatus("", true);
  status_.clear();
  statusStale_ = false;
  if (!refreshed_) view_.refreshFileList();
  FileKind kind = FileKind::Regular;
  try {
    kind = files_.kind(name, false);
  } catch (const RuntimeError&) {
  }
  if (kind == FileKind::Missing && view_.fileName() == name) view_.setFileName("");
  view_.setBusyControls(false);
  view_.blockInput(false);
  busy_ = false;
  stop_ = false;
  if (refused) view_.focusSizeBox();
  if (endAfter_) {
    // The user chose to stop and end while the request ran.
    endAfter_ = false;
    int cancel = 0;
    Form_QueryUnload(cancel, 0);
    view_.endApplication();
  }
}

bool MainForm::sizeReady(const std::string& name) {
  // A join needs no piece size; a split under the size box needs a usable
  // one, and without it nothing is read or written.
  if (analyseName(name).isPiece() || !sizeBoxChosen()) return true;
  const std::optional<std::int64_t> bytes = parsePieceSize(view_.sizeText());
  if (!bytes) {
    showBox(kStyleWarning, text::kBadSize);
    return false;
  }
  PieceSize = *bytes;
  return true;
}

// The status text is always current; drawing it waits on the display, so
// it is drawn at most once per kRepaintMs, and before every message box.
// Once the user has asked to stop, it says so until the request has ended.
void MainForm::statusText(const std::string& text) {
  if (stop_ && (text != text::kStopping || status_ == text)) return;
  if (busy_ && !retShowsStop_ && !stop_) {
    view_.setRetCaption(text::kRetStop);  // working again after a box
    retShowsStop_ = true;
  }
  status_ = text;
  statusStale_ = true;
  if (!paintIfDue(false)) view_.setStatus(text, false);
}

void MainForm::clearStatus() {
  status_.clear();
  statusStale_ = false;  // the event loop of what follows draws it
  view_.setStatus("", false);
}

int MainForm::showBox(int style, const std::string& text) {
  paintIfDue(true);
  if (busy_ && retShowsStop_) {
    view_.setRetCaption(text::kRetBottn);
    retShowsStop_ = false;
  }
  return view_.messageBox(style, text);
}

void MainForm::message(const std::string& text) {
  // A request's outcome is information; everything else the engine reports
  // is a failure or a refusal.
  const bool outcome = text.starts_with(text::kSplitDone) || text.starts_with(text::kJoinDone) ||
                       text == text::kStopped;
  showBox(outcome ? kStyleInformation : kStyleWarning, text);
}

int MainForm::question(const std::string& text) { return showBox(kStyleYesNoQuestion, text); }

int MainForm::questionNo(const std::string& text) {
  return showBox(kStyleYesNoQuestionNoDefault, text);
}

void MainForm::refreshFileList() {
  refreshed_ = true;
  view_.refreshFileList();
}

int MainForm::check1() { return view_.check1(); }

void MainForm::loadInputForm() {
  if (inputForm_) return;
  auto form = std::make_unique<InputForm>();
  form->load(view_.loadInputView(*form));  // loading fills the list
  inputForm_ = std::move(form);
}

void MainForm::showExtensionPrompt() {
  loadInputForm();
  inputForm_->show();
  // Closed through its frame: unloaded, so the next showing starts empty.
  if (inputForm_ && inputForm_->unloadRequested()) inputForm_.reset();
}

std::string MainForm::extensionText() { return inputForm_ ? inputForm_->text() : std::string(); }

void MainForm::suggestExtension(const std::string& text) {
  loadInputForm();
  inputForm_->view()->setComboText(text);
}

std::optional<std::string> MainForm::askExtension(const std::string& suggested) {
  if (!suggested.empty()) suggestExtension(suggested);
  showExtensionPrompt();
  // Closed through its frame the dialog is gone, and its answer was No.
  if (!inputForm_ || inputForm_->proceed() == kFalse) return std::nullopt;
  return inputForm_->text();
}

Job MainForm::buildJob(const std::string& name) {
  Job job;
  job.folder = view_.fileListPath();
  job.chosen = name;
  job.pieceSize = PieceSize;
  job.shortNaming = check1() != 0;
  job.digits = pieceDigits();
  job.outputFolder = outputFolder();
  job.recoveryPercent = recoveryPercent();
  return job;
}

int MainForm::pieceDigits() { return view_.check2() != 0 ? 3 : 1; }

void MainForm::progress(std::int64_t done, std::int64_t total) {
  if (done == done_ && total == total_) return;
  if (busy_ && !retShowsStop_ && !stop_) {
    view_.setRetCaption(text::kRetStop);
    retShowsStop_ = true;
  }
  done_ = done;
  total_ = total;
  progressStale_ = true;
  // The start and the end are always drawn.
  paintIfDue(done == 0 || done >= total);
}

bool MainForm::stopRequested() {
  paintIfDue(false);  // lets Escape and a click on "中　止" through
  return stop_;
}

}  // namespace vexo
