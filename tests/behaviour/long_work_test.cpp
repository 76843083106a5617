// The main window's behaviour during long work and around it: how often the
// status line and the progress bar are drawn (on a clock the test moves),
// "中　止" and Escape while a request runs, a stored position off every
// screen, and a file named from outside the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "fakes.h"
#include "layout.h"
#include "texts.h"

namespace vexo::test {
namespace {

namespace fs = std::filesystem;

// A window on two drives, A (current) and B, each a directory of a fresh
// temporary directory. Every reading of the clock moves it by `step` ms.
struct Window {
  TempDir tmp;
  Events events;
  DriveFiles files;
  FakeView view{events};
  FakeSettings settings{events};
  std::unique_ptr<MainForm> form;
  std::string A, B;
  std::int64_t step = 0;

  Window() {
    fs::create_directory(nativePath(tmp.path()) / "A");
    fs::create_directory(nativePath(tmp.path()) / "B");
    files.chDir("B");
    B = files.curDir();
    files.chDir(tmp.path());
    files.chDir("A");
    A = files.curDir();
    view.drives = {A, B};
    files.drives = {A, B};
  }

  MainForm& load() {
    form = std::make_unique<MainForm>(view, files, settings);
    form->setClock([this] { return view.nowMs += step; });
    view.form = form.get();
    form->Form_Load();
    events.clear();
    return *form;
  }
};

// A name in a directory, with the separator the directory's path uses.
std::string in(const std::string& dir, const std::string& name) {
  return dir + (dir.find('\\') != std::string::npos ? "\\" : "/") + name;
}

// ---- Drawing the status line and the progress bar --------------------------

TEST(MainFormLongWork, StatusAndProgressDrawnAtMostEvery33msAndBeforeEveryBox) {
  Window w;
  MainForm& form = w.load();
  struct Step {
    std::int64_t at;  // ms on the clock
    std::function<void(MainForm&)> act;
    Events drawn;
  };
  const Step steps[] = {
      {0, [](MainForm& f) { f.statusText("a"); }, {"Label2!=a"}},  // the first at once
      {10, [](MainForm& f) { f.statusText("b"); }, {"Label2=b"}},
      {32, [](MainForm& f) { f.statusText("c"); }, {"Label2=c"}},
      {33, [](MainForm& f) { f.statusText("d"); }, {"Label2!=d"}},
      // Nothing is behind: the box comes straight away.
      {40, [](MainForm& f) { f.message("m"); }, {"box0:m"}},
      {50, [](MainForm& f) { f.statusText("e"); }, {"Label2=e"}},
      // Behind: drawn before the question, however little time passed.
      {51, [](MainForm& f) { f.question("q"); }, {"Label2!=e", "box36:q"}},
      {52, [](MainForm& f) { f.progress(0, 100); }, {"Progress=0/100"}},  // the start always
      {60, [](MainForm& f) { f.progress(10, 100); }, {}},
      {90, [](MainForm& f) { f.progress(20, 100); }, {"Progress=20/100"}},
      {100, [](MainForm& f) { f.statusText("f"); }, {"Label2=f"}},
      {110, [](MainForm& f) { f.progress(30, 100); }, {}},
      // The end always, with the status that was behind.
      {111, [](MainForm& f) { f.progress(100, 100); }, {"Label2!=f", "Progress=100/100"}},
      {112, [](MainForm& f) { f.clearStatus(); }, {"Label2="}},
      {113, [](MainForm& f) { f.questionNo("n"); }, {"box292:n"}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.at);
    w.view.nowMs = s.at;
    w.events.clear();
    s.act(form);
    EXPECT_EQ(w.events, s.drawn);
  }
}

// ---- Stopping --------------------------------------------------------------

TEST(MainFormLongWork, StopDuringASplitByButtonOrEscape) {
  struct Case {
    const char* name;
    std::function<void(MainForm&)> stop;
  };
  const Case cases[] = {
      {"中　止 clicked", [](MainForm& f) { f.Ret_bottn_Click(); }},
      {"Escape", [](MainForm& f) { f.Stop_Request(); }},
  };
  bool engineStops = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    const std::string data = pattern(3 * kPieceSize144 + 11);
    writeFile("data.bin", data);
    MainForm& form = w.load();
    w.step = 40;  // every reading is due: the window handles its events each time
    w.view.clickEntry("data.bin");
    std::vector<bool> wish;  // what the engine is told after the user's act
    w.view.whilePump = [&] {
      if (wish.empty()) c.stop(form);
      w.step = 0;  // asking now draws nothing and handles no events again
      wish.push_back(form.stopRequested());
      w.step = 40;
    };
    w.events.clear();
    form.Ret_bottn_Click();
    ASSERT_FALSE(wish.empty());
    EXPECT_TRUE(std::all_of(wish.begin(), wish.end(), [](bool b) { return b; }));
    ASSERT_GE(w.events.size(), 3u);
    EXPECT_EQ((Events(w.events.begin(), w.events.begin() + 2)),
              (Events{"block=1", "Ret_bottn=中　止"}));
    EXPECT_EQ((Events(w.events.end() - 3, w.events.end())),
              (Events{"Ret_bottn=決　定", "Progress=0/0", "block=0"}));
    // The wish ends with the request: the next press splits again.
    EXPECT_FALSE(form.busy());
    EXPECT_FALSE(form.stopRequested());
    EXPECT_EQ(readFile("data.bin"), data);
    if (std::find(w.events.begin(), w.events.end(), "box0:中止しました．") == w.events.end()) {
      engineStops = false;
      continue;
    }
    // Stopped: no piece of the stopped split is left.
    EXPECT_EQ(filesHere(), (std::vector<std::string>{"data.bin"}));
    w.view.whilePump = nullptr;
    form.Ret_bottn_Click();
    EXPECT_EQ(readFile("data.bin.4"), data.substr(3 * kPieceSize144));
  }
  if (!engineStops) GTEST_SKIP() << "this engine does not stop between blocks";
}

// ---- The window's position -------------------------------------------------

TEST(MainFormLongWork, ReachablePlaceMovesOnlyATitleBarOffEveryScreen) {
  // Two screens side by side: 1280 x 960 and 1024 x 768 pixels, the first
  // with a 30-pixel panel at the top.
  const std::vector<MainView::ScreenArea> two = {{0, 450, 19200, 13950}, {19200, 0, 15360, 11520}};
  struct Case {
    const char* name;
    double left, top, width;
    double wantLeft, wantTop;
  };
  const Case cases[] = {
      {"inside the first", 1000, 1000, 6000, 1000, 1000},
      {"inside the second", 25000, 200, 6000, 25000, 200},
      {"across both", 16000, 3000, 6000, 16000, 3000},
      {"an inch of its bar on the first", -4560, 1000, 6000, -4560, 1000},
      {"less than an inch on it", -4600, 1000, 6000, 0, 1000},
      {"under the panel", 1000, 0, 6000, 1000, 450},
      {"below the second", 30000, 12000, 6000, 28560, 11220},
      {"far right", 99999, 5000, 6000, 28560, 5000},
      {"far left and up", -32000, -32000, 6000, 0, 450},
      {"wider than the screen", 99999, 1000, 40000, 19200, 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const WindowPlace p = reachablePlace(c.left, c.top, c.width, two);
    EXPECT_EQ(p.left, c.wantLeft);
    EXPECT_EQ(p.top, c.wantTop);
  }
  const WindowPlace none = reachablePlace(-32000, 99999, 6000, {});
  EXPECT_EQ(none.left, -32000);
  EXPECT_EQ(none.top, 99999);
}

TEST(MainFormLongWork, PositionOffTheScreensMovedButStoredOnlyAtClose) {
  Window w;
  w.view.screens = {{0, 0, 19200, 14400}};
  w.view.width = 6000;
  w.settings.values = {{"Settings/MainLeft", "50000"}, {"Settings/MainTop", "-3000"}};
  w.form = std::make_unique<MainForm>(w.view, w.files, w.settings);
  w.view.form = w.form.get();
  w.form->Form_Load();
  ASSERT_FALSE(w.events.empty());
  EXPECT_EQ(w.events.front(), "move=13200,0");
  EXPECT_EQ(w.settings.values["Settings/MainLeft"], "50000");  // nothing written yet
  int cancel = 0;
  w.form->Form_QueryUnload(cancel, 0);
  EXPECT_EQ(w.settings.values["Settings/MainLeft"], "13200");
  EXPECT_EQ(w.settings.values["Settings/MainTop"], "0");
}

// ---- A larger window ---------------------------------------------------------

TEST(MainFormLongWork, ControlsFollowTheirCornerAndTheListsGrow) {
  // Designed 389 x 317 pixels; grown by 200 x 100, or asked to shrink.
  struct Case {
    const char* name;
    LayoutRect designed;
    LayoutRect grown;
  };
  const Case cases[] = {
      {"Label1", {8, 8, 137, 17}, {8, 8, 137, 17}},
      {"File_Name", {8, 24, 177, 17}, {8, 24, 277, 17}},
      {"FIle_list", {8, 48, 177, 134}, {8, 48, 277, 234}},
      {"Sel_Drive", {200, 24, 177, 20}, {300, 24, 277, 20}},
      {"Dir_name", {200, 48, 177, 132}, {300, 48, 277, 232}},
      {"Frame1", {16, 192, 145, 65}, {16, 292, 145, 65}},
      {"Check1", {32, 280, 105, 25}, {32, 380, 105, 25}},
      {"Ret_bottn", {144, 280, 73, 25}, {344, 380, 73, 25}},  // with the other buttons
      {"Exit_bottn", {304, 280, 73, 25}, {504, 380, 73, 25}},
      {"Label2", {192, 216, 161, 33}, {392, 316, 161, 33}},
      // Controls of any other name by the corner they are nearest to.
      {"a new one top right", {300, 10, 50, 20}, {500, 10, 50, 20}},
      {"a new one bottom left", {10, 300, 50, 10}, {10, 400, 50, 10}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Anchor a = anchorOf(c.name, c.designed, 389, 317);
    EXPECT_EQ(placeGrown(c.designed, a, 200, 100), c.grown);
    EXPECT_EQ(placeGrown(c.designed, a, -50, -10), c.designed);
  }
}

// ---- A file named from outside ---------------------------------------------

TEST(MainFormLongWork, OpenPathShowsTheFilesDirectoryAndChoosesIt) {
  struct Case {
    const char* name;
    std::function<std::string(Window&)> path;  // what is given
    std::function<Events(Window&)> events;
  };
  const Case cases[] = {
      {"a file on the other drive",
       [](Window& w) { return in(in(w.B, "sub"), "x.bin"); },
       [](Window& w) {
         const std::string d = in(w.B, "sub");
         return Events{"Dir_name=" + d, "FIle_list=" + d, "File_Name=", "showDrive=" + w.B,
                       "File_Name=x.bin", "select=x.bin"};
       }},
      {"a file named relative to the current directory", [](Window&) { return "y.bin"; },
       [](Window&) { return Events{"refreshFileList", "File_Name=y.bin", "select=y.bin"}; }},
      {"a directory", [](Window& w) { return in(w.B, "sub"); },
       [](Window& w) {
         const std::string d = in(w.B, "sub");
         return Events{"Dir_name=" + d, "FIle_list=" + d, "File_Name=", "showDrive=" + w.B,
                       "File_Name="};
       }},
      {"a file that is not there", [](Window& w) { return in(w.B, "none.bin"); },
       [](Window& w) { return Events{"box0:エラーです．エラー番号は53\n" + in(w.B, "none.bin")}; }},
      {"in a directory that is not there", [](Window& w) { return in(in(w.B, "no"), "x.bin"); },
       [](Window& w) {
         // Path not found on Windows; POSIX tells no difference.
#ifdef _WIN32
         const std::string number = "76";
#else
         const std::string number = "53";
#endif
         return Events{"box0:エラーです．エラー番号は" + number + "\n" + in(in(w.B, "no"), "x.bin")};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    fs::create_directory(nativePath(in(w.B, "sub")));
    writeFile(in(in(w.B, "sub"), "x.bin"), "x");
    writeFile(in(w.A, "y.bin"), "y");
    MainForm& form = w.load();
    w.view.name = "chosen";
    const std::string given = c.path(w);
    form.openPath(given);
    EXPECT_EQ(w.events, c.events(w));
    // Nothing was split or joined; a failure leaves the lists where they were.
    EXPECT_EQ(filesIn(in(w.B, "sub")), (std::vector<std::string>{"x.bin"}));
    if (w.events.size() == 1) {
      EXPECT_EQ(w.files.curDir(), w.A);
      EXPECT_EQ(w.view.dir, w.A);
      EXPECT_EQ(w.view.name, "chosen");
    } else {
      EXPECT_EQ(w.files.curDir(), w.view.dir);
    }
  }
}

}  // namespace
}  // namespace vexo::test
