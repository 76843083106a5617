#include "fakes.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace vexo::test {

namespace fs = std::filesystem;

namespace {

std::string utf8(const fs::path& p) {
  const auto u = p.u8string();
  return std::string(u.begin(), u.end());
}

bool isSeparator(char c) { return c == '/' || c == '\\'; }

}  // namespace

std::vector<std::string> filesIn(const std::string& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(nativePath(dir), ec))
    if (e.is_regular_file()) names.push_back(utf8(e.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<std::string> FakeSettings::read(const std::string& section, const std::string& key) {
  const auto it = values.find(section + "/" + key);
  if (it == values.end()) return std::nullopt;
  return it->second;
}

bool FakeSettings::write(const std::string& section, const std::string& key,
                         const std::string& value) {
  events_.push_back("write " + section + "/" + key + "=" + value);
  if (failWrites) return false;
  values[section + "/" + key] = value;
  return true;
}

bool FakeSettings::flush() {
  events_.push_back("flush");
  return !failFlush;
}

void DriveFiles::chDrive(const std::string& drive) {
  driveChanges.push_back(drive);
  if (const auto it = fails.find(drive); it != fails.end()) throw RuntimeError(it->second, drive);
  const std::string here = curDir();
  std::string holding;
  for (const auto& d : drives)
    if (here.compare(0, d.size(), d) == 0 && (here.size() == d.size() || isSeparator(here[d.size()])) &&
        d.size() > holding.size())
      holding = d;
  if (!holding.empty()) current_[holding] = here;
  const auto it = current_.find(drive);
  chDir(it != current_.end() ? it->second : drive);
}

FakeInputView::FakeInputView(FakeView& main, InputForm& f) : form(f), main_(main) {
  main_.dialog = this;
}

FakeInputView::~FakeInputView() {
  main_.events.push_back("unloadInput");
  main_.dialog = nullptr;
}

void FakeInputView::focusCombo() { main_.events.push_back("Combo1 focus"); }

void FakeInputView::showModal() {
  main_.events.push_back("showInput");
  visible = true;
  form.Form_Activate();
  if (main_.dialogActions.empty()) {
    form.Command2_Click();
  } else {
    auto act = std::move(main_.dialogActions.front());
    main_.dialogActions.pop_front();
    act(*this);
  }
  if (visible) {  // a modal loop that nothing ends
    main_.events.push_back("dialog left open");
    visible = false;
  }
}

void FakeInputView::hide() {
  main_.events.push_back("hideInput");
  visible = false;
}

void FakeView::chooseDrive(const std::string& d) {
  chosenDrive = d;
  form->Sel_Drive_Change();
}

void FakeView::clickEntry(const std::string& entry) {
  const auto it = std::find(entries.begin(), entries.end(), entry);
  index = it == entries.end() ? -1 : static_cast<int>(it - entries.begin());
  form->FIle_list_Click();
}

void FakeView::selectOption(int i) {
  if (option == i) return;
  option = i;
  form->Option1_Click(i);
}

void FakeView::typeSize(const std::string& text) {
  sizeBox = text;
  form->Size_Combo_Change();
}

void FakeView::setFileName(const std::string& text) {
  events.push_back("File_Name=" + text);
  name = text;
}

void FakeView::setStatus(const std::string& text, bool repaintNow) {
  events.push_back((repaintNow ? "Label2!=" : "Label2=") + text);
}

void FakeView::setProgress(std::int64_t done, std::int64_t total) {
  events.push_back("Progress=" + std::to_string(done) + "/" + std::to_string(total));
}

void FakeView::processEvents() {
  events.push_back("pump");
  if (whilePump) whilePump();
}

void FakeView::setDrive(const std::string& d) {
  events.push_back("setDrive=" + d);
  if (std::find(drives.begin(), drives.end(), d) == drives.end() || d == chosenDrive) return;
  chosenDrive = d;
  form->Sel_Drive_Change();
}

void FakeView::showDrive(const std::string& d) {
  events.push_back("showDrive=" + d);
  chosenDrive = d;
}

std::string FakeView::driveHolding(const std::string& path) {
  std::string best;
  for (const auto& d : drives) {
    const bool holds = path.compare(0, d.size(), d) == 0 &&
                       (path.size() == d.size() || isSeparator(path[d.size()]));
    if (holds && d.size() > best.size()) best = d;
  }
  return best;
}

void FakeView::setDirPath(const std::string& path) {
  std::error_code ec;
  if (!fs::is_directory(nativePath(path), ec)) throw RuntimeError(err::PathNotFound, path);
  if (path == dir) return;
  events.push_back("Dir_name=" + path);
  dir = path;
  form->Dir_name_Change();
}

void FakeView::refreshDir() {
  std::error_code ec;
  if (!fs::is_directory(nativePath(dir), ec)) throw RuntimeError(err::PathNotFound, dir);
  events.push_back("refreshDir");
}

void FakeView::setFileListPath(const std::string& path) {
  events.push_back("FIle_list=" + path);
  fileDir = path;
  entries = filesIn(path);
  index = -1;
}

void FakeView::refreshFileList() {
  events.push_back("refreshFileList");
  const std::string selected = fileListEntry(index);
  entries = filesIn(fileDir);
  const auto it = std::find(entries.begin(), entries.end(), selected);
  index = it == entries.end() ? -1 : static_cast<int>(it - entries.begin());
}

std::string FakeView::fileListEntry(int i) {
  return i >= 0 && i < static_cast<int>(entries.size()) ? entries[i] : std::string();
}

void FakeView::setCheck1(int state) {
  events.push_back("Check1=" + std::to_string(state));
  check = state;
}

void FakeView::setSizeText(const std::string& text) {
  events.push_back("Size_Combo=" + text);
  sizeBox = text;
}

void FakeView::setCheck2(int state) {
  events.push_back("Check2=" + std::to_string(state));
  digits = state;
}

void FakeView::setOption1(int i) {
  events.push_back("Option1=" + std::to_string(i));
  selectOption(i);
}

void FakeView::moveWindowTwips(double l, double t) {
  events.push_back("move=" + numberText(l) + "," + numberText(t));
  // Placed on whole pixels of 15 twips, as a window toolkit does.
  left = std::round(l / 15) * 15;
  top = std::round(t / 15) * 15;
}

int FakeView::messageBox(int style, const std::string& text) {
  events.push_back("box" + std::to_string(style) + ":" + text);
  busyDuringBox.push_back(form->busy());
  blockedDuringBox.push_back(blocked);
  if (whileBox) whileBox();
  if (!answers.empty()) {
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  const bool question = style == kStyleYesNoQuestion || style == kStyleYesNoQuestionNoDefault;
  return question ? kAnswerYes : kAnswerOk;
}

void FakeView::setCheck3(int state) {
  events.push_back("Check3=" + std::to_string(state));
  recovery = state;
}

void FakeView::setRecoveryPercent(int p) {
  events.push_back("Recovery=" + std::to_string(p));
  percent = p;
}

void FakeView::setOutputDir(const std::string& text) {
  events.push_back("Out_Dir=" + text);
  outDir = text;
}

std::optional<std::string> FakeView::chooseFolder(const std::string& start) {
  events.push_back("chooseFolder=" + start);
  return folderChosen;
}

void FakeView::blockInput(bool on) {
  events.push_back(on ? "block=1" : "block=0");
  blocked = on;
}

std::unique_ptr<InputView> FakeView::loadInputView(InputForm& f) {
  events.push_back("loadInput");
  return std::make_unique<FakeInputView>(*this, f);
}

}  // namespace vexo::test
