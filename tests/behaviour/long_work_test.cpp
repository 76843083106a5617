// The main window's behaviour during long work and around it: how often the
// status line and the progress bar are drawn (on a clock the test moves),
// "中　止" and Escape while a request runs, a stored position off every
// screen, and a file named from outside the window.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "fakes.h"
#include "texts.h"

namespace vexo::test {
namespace {

namespace fs = std::filesystem;



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
      {40, [](MainForm& f) { f.message("m"); }, {"box48:m"}},
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

TEST(MainFormLongWork, StopDuringASplitRemovesItsPieces) {
  Window w;
  const std::string data = pattern(3 * kPieceSize144 + 11);
  writeFile("data.bin", data);
  MainForm& form = w.load();
  w.step = 40;  // every reading is due: the window handles its events each time
  w.view.clickEntry("data.bin");
  std::vector<bool> wish;  // what the engine is told after the user's Escape
  w.view.whilePump = [&] {
    if (wish.empty()) form.Stop_Request();
    w.step = 0;  // asking now draws nothing and handles no events again
    wish.push_back(form.stopRequested());
    w.step = 40;
  };
  w.events.clear();
  form.Ret_bottn_Click();
  ASSERT_FALSE(wish.empty());
  EXPECT_EQ(wish, std::vector<bool>(wish.size(), true));
  ASSERT_GE(w.events.size(), 3u);
  EXPECT_EQ((Events(w.events.begin(), w.events.begin() + 3)),
            (Events{"block=1", "busyControls=1", "Ret_bottn=中　止"}));
  EXPECT_EQ((Events(w.events.end() - 3, w.events.end())),
            (Events{"Progress=0/0", "busyControls=0", "block=0"}));
  // Said at once, and kept while the pieces go, until the box; "決　定" is
  // back before the box opens.
  const auto stopping = std::find(w.events.begin(), w.events.end(), "Label2!=中止しています…");
  const auto ret = std::find(w.events.begin(), w.events.end(), "Ret_bottn=決　定");
  const auto stopped = std::find(w.events.begin(), w.events.end(), "box64:中止しました．");
  EXPECT_TRUE(stopping < ret && ret < stopped && stopped != w.events.end());
  EXPECT_EQ(std::count_if(stopping, stopped, [](const std::string& e) { return e.starts_with("Label2"); }),
            1);
  EXPECT_FALSE(form.stopRequested());  // the wish ends with the request
  EXPECT_EQ(readFile("data.bin"), data);
  if (std::find(w.events.begin(), w.events.end(), "box64:中止しました．") == w.events.end())
    GTEST_SKIP() << "this engine does not stop between blocks";
  EXPECT_EQ(filesHere(), (std::vector<std::string>{"data.bin"}));
  w.view.whilePump = nullptr;
  form.Ret_bottn_Click();  // and the next press splits again
  EXPECT_EQ(readFile("data.bin.4"), data.substr(3 * kPieceSize144));
}

// ---- The window's position -------------------------------------------------

TEST(MainFormLongWork, ReachablePlacePutsAWindowOffEveryScreenWhollyInside) {
  // Two screens side by side: 1280 x 960 and 1024 x 768 pixels, the first
  // with a 30-pixel panel at the top.
  const std::vector<MainView::ScreenArea> two = {{0, 450, 19200, 13950}, {19200, 0, 15360, 11520}};
  struct Case {
    const char* name;
    double left, top, width, height;
    double wantLeft, wantTop;
  };
  const Case cases[] = {
      {"inside the second", 25000, 200, 6000, 5000, 25000, 200},
      {"an inch of its bar on the first", -4560, 1000, 6000, 5000, -4560, 1000},
      {"less than an inch on it", -4600, 1000, 6000, 5000, 0, 1000},
      {"under the panel", 1000, 0, 6000, 5000, 1000, 450},
      {"below the second: wholly inside", 30000, 12000, 6000, 5000, 28560, 6520},
      {"far below the first", 100, 90000, 6000, 5000, 100, 9400},
      {"wider than the screen", 99999, 1000, 40000, 5000, 19200, 1000},
      {"taller than the screen", 30000, 12000, 6000, 20000, 28560, 0},
      {"height unknown: the title bar", 30000, 12000, 6000, 0, 28560, 11220},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const WindowPlace p = reachablePlace(c.left, c.top, c.width, c.height, two);
    EXPECT_EQ(p.left, c.wantLeft);
    EXPECT_EQ(p.top, c.wantTop);
  }
  const WindowPlace none = reachablePlace(-32000, 99999, 6000, 5000, {});
  EXPECT_EQ(none.left, -32000);
  EXPECT_EQ(none.top, 99999);
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
       [](Window& w) {
         return Events{"box48:エラーです．エラー番号は53\n" + in(w.B, "none.bin") + "：ファイルが見つかりません．"};
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
