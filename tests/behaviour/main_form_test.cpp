// The main window's behaviour against a window without a toolkit: loading
// the settings, drive and directory changes, the buttons and the list, a
// split and a join with real files, closing, and the extension dialog.
#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <stdexcept>

#include "fakes.h"
#include "layout.h"
#include "crc32.h"
#include "messages.h"
#include "texts.h"

namespace vexo::test {
namespace {

namespace fs = std::filesystem;

// A window grown by 300 across and 150 down (in twips, as designed): the
// lists share the width and take the height, the output folder's field
// takes the whole width at the bottom, everything else keeps its corner.
TEST(GrownWindow, ControlsFollowTheirCorner) {
  constexpr int kWidth = 5835, kHeight = 5550, kMore = 300, kDown = 150;
  const struct {
    const char* name;
    LayoutRect designed, grown;
  } cases[] = {
      {"FIle_list", {120, 720, 2655, 2010}, {120, 720, 2805, 2160}},
      {"Dir_name", {3000, 720, 2655, 1980}, {3150, 720, 2805, 2130}},
      {"Sel_Drive", {3000, 360, 2655, 300}, {3150, 360, 2805, 300}},
      {"File_Name", {120, 360, 2655, 255}, {120, 360, 2805, 255}},
      {"Label1", {120, 120, 2055, 255}, {120, 120, 2055, 255}},
      {"Ret_bottn", {2160, 4200, 1095, 375}, {2460, 4350, 1095, 375}},
      {"Check1", {480, 4200, 1575, 375}, {480, 4350, 1575, 375}},
      {"Out_Label", {120, 5040, 705, 255}, {120, 5190, 705, 255}},
      {"Out_Dir", {840, 5010, 3615, 315}, {840, 5160, 3915, 315}},
      {"Out_Browse", {4560, 4995, 1095, 345}, {4860, 5145, 1095, 345}},
  };
  for (const auto& c : cases) {
    const Anchor anchor = anchorOf(c.name, c.designed, kWidth, kHeight);
    EXPECT_EQ(placeGrown(c.designed, anchor, kMore, kDown), c.grown) << c.name;
    EXPECT_EQ(placeGrown(c.designed, anchor, -kMore, -kDown), c.designed) << c.name;  // never shrinks
  }
}

const std::string kDiskNotReady = "box48:ディスクの準備ができていません．";
const std::string kDeviceUnavailable = "box48:ドライブの準備ができていません．";


// What loading does to the lists when the process starts in `dir` on `drive`.
std::vector<std::string> listsStart(const std::string& drive, const std::string& dir) {
  return {"refreshDrives", "showDrive=" + drive, "Dir_name=" + dir, "FIle_list=" + dir,
          "File_Name="};
}


std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// ---- Loading ---------------------------------------------------------------

struct LoadCase {
  const char* name;
  std::map<std::string, std::string> stored;
  std::vector<std::string> placed;  // events before the lists start
  int check;
  int option;
  std::int64_t pieceSize;
};

TEST(MainFormLoad, AppliesStoredSettingsOrDefaults) {
  const LoadCase cases[] = {
      {"nothing stored",
       {},
       {"move=1000,1000", "Check1=0", "Check2=0", "Size_Combo=", "Option1=0", "Check3=0", "Recovery=10", "Out_Dir="},
       0,
       0,
       kPieceSize144},
      {"stored",
       {{"Settings/MainLeft", "2985"}, {"Settings/MainTop", "-150"}, {"Checks/Bit16", "1"},
        {"Checks/Size", "1"}},
       {"move=2985,-150", "Check1=1", "Check2=0", "Size_Combo=", "Option1=1", "Check3=0", "Recovery=10", "Out_Dir="},
       1,
       1,
       kPieceSize12},
      {"third state, off the screen",
       {{"Settings/MainLeft", "-32000"}, {"Settings/MainTop", "99999"}, {"Checks/Bit16", "2"}},
       {"move=-32000,99999", "Check1=2", "Check2=0", "Size_Combo=", "Option1=0", "Check3=0", "Recovery=10", "Out_Dir="},
       2,
       0,
       kPieceSize144},
      {"unusable values count as absent",
       {{"Settings/MainLeft", "abc"}, {"Settings/MainTop", "1e40"}, {"Checks/Bit16", "3"},
        {"Checks/Size", "2"}},
       {"move=1000,1000", "Check1=0", "Check2=0", "Size_Combo=", "Option1=0", "Check3=0", "Recovery=10", "Out_Dir="},
       0,
       0,
       kPieceSize144},
      {"size box",
       {{"Checks/Size", "2"}, {"Checks/CustomSize", "4GB (FAT32)"}, {"Checks/Digits3", "1"}},
       {"move=1000,1000", "Check1=0", "Check2=1", "Size_Combo=4GB (FAT32)", "Option1=2", "Label2=指定サイズ：\n4,294,967,295 バイト", "Check3=0", "Recovery=10", "Out_Dir="},
       0,
       2,
       4'294'967'295},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    w.settings.values = c.stored;
    MainForm& form = w.load(/*keep=*/true);
    EXPECT_EQ(w.events, concat(c.placed, listsStart(w.A, w.A)));
    EXPECT_EQ(w.view.check, c.check);
    EXPECT_EQ(w.view.option, c.option);
    EXPECT_EQ(form.PieceSize, c.pieceSize);
    EXPECT_EQ(form.pieceSize(), c.pieceSize);
    EXPECT_EQ(w.files.curDir(), w.A);
    EXPECT_EQ(w.view.chosenDrive, w.A);
  }
}

// ---- Closing and saving ----------------------------------------------------

TEST(MainFormClose, UnloadsTheDialogThenSavesInOrder) {
  Window w;
  w.settings.values = {{"Settings/MainLeft", "2985"}, {"Settings/MainTop", "-150"},
                       {"Checks/Bit16", "2"}, {"Checks/Size", "1"}};
  MainForm& form = w.load();
  form.showExtensionPrompt();  // left with "取　消"; stays loaded
  ASSERT_NE(form.inputForm(), nullptr);
  w.events.clear();

  int cancel = 0;
  form.Form_QueryUnload(cancel, 0);
  EXPECT_EQ(cancel, 0);
  EXPECT_EQ(form.inputForm(), nullptr);
  EXPECT_EQ(w.events,
            (Events{"unloadInput", "write Settings/MainLeft=2985", "write Settings/MainTop=-150",
                    "write Checks/Bit16=2", "write Checks/Size=1",
                    "write Checks/CustomSize=", "write Checks/Digits3=0", "flush"}));
}

TEST(MainFormClose, SavesWhatTheUserChanged) {
  struct Case {
    const char* name;
    std::function<void(Window&)> act;
    Events saved;
  };
  const Case cases[] = {
      {"nothing changed",
       [](Window&) {},
       {"write Settings/MainLeft=1000", "write Settings/MainTop=1000", "write Checks/Bit16=0",
        "write Checks/Size=0", "write Checks/CustomSize=", "write Checks/Digits3=0", "flush"}},
      {"switches changed",
       [](Window& w) {
         w.view.check = 1;
         w.view.selectOption(1);
       },
       {"write Settings/MainLeft=1000", "write Settings/MainTop=1000", "write Checks/Bit16=1",
        "write Checks/Size=1", "write Checks/CustomSize=", "write Checks/Digits3=0", "flush"}},
      {"size box and three digits",
       [](Window& w) {
         w.view.typeSize("650M");
         w.view.digits = 1;
       },
       {"Option1=2", "Label2=指定サイズ：\n650,000,000 バイト", "write Settings/MainLeft=1000", "write Settings/MainTop=1000",
        "write Checks/Bit16=0", "write Checks/Size=2", "write Checks/CustomSize=650M",
        "write Checks/Digits3=1", "flush"}},
      {"moved",
       [](Window& w) {
         w.view.left = 1500;
         w.view.top = -45;
       },
       {"write Settings/MainLeft=1500", "write Settings/MainTop=-45", "write Checks/Bit16=0",
        "write Checks/Size=0", "write Checks/CustomSize=", "write Checks/Digits3=0", "flush"}},
      {"minimised keeps the stored position",
       [](Window& w) {
         w.view.left = 1500;
         w.view.minimised = true;
         w.view.selectOption(1);
       },
       {"write Checks/Bit16=0", "write Checks/Size=1",
        "write Checks/CustomSize=", "write Checks/Digits3=0", "flush"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    MainForm& form = w.load();
    c.act(w);
    int cancel = 0;
    form.Form_QueryUnload(cancel, 0);
    EXPECT_EQ(w.events, c.saved);
  }
}

TEST(MainFormClose, PositionBetweenPixelsDoesNotDrift) {
  Window w;
  w.settings.values = {{"Settings/MainLeft", "1234.5"}, {"Settings/MainTop", "1000.5"}};
  MainForm& form = w.load();
  EXPECT_EQ(w.view.left, 1230);  // placed on a whole pixel
  int cancel = 0;
  form.Form_QueryUnload(cancel, 0);
  EXPECT_EQ(w.settings.values["Settings/MainLeft"], "1234.5");
  EXPECT_EQ(w.settings.values["Settings/MainTop"], "1000.5");

  w.view.left += 15;  // moved one pixel to the right
  form.Form_QueryUnload(cancel, 0);
  EXPECT_EQ(w.settings.values["Settings/MainLeft"], "1245");
  EXPECT_EQ(w.settings.values["Settings/MainTop"], "1000.5");
}

TEST(MainFormClose, ExitSavesAsClosingDoesThenEnds) {
  for (bool failing : {false, true}) {
    SCOPED_TRACE(failing ? "store cannot be written" : "store written");
    Window w;
    MainForm& form = w.load();
    form.showExtensionPrompt();
    w.events.clear();
    w.settings.failWrites = failing;
    form.Exit_bottn_Click();
    EXPECT_EQ(w.events,
              (Events{"unloadInput", "write Settings/MainLeft=1000", "write Settings/MainTop=1000",
                      "write Checks/Bit16=0", "write Checks/Size=0",
                      "write Checks/CustomSize=", "write Checks/Digits3=0", "flush", "end"}));
  }
}

// ---- Drive changes ---------------------------------------------------------

TEST(MainFormDrive, ChangingDriveShowsItsDirectoryAndClearsTheName) {
  Window w;
  writeFile("A/x.txt", "x");
  MainForm& form = w.load();
  (void)form;
  w.view.clickEntry("x.txt");
  w.events.clear();
  w.view.chooseDrive(w.B);
  EXPECT_EQ(w.events, (Events{"Dir_name=" + w.B, "FIle_list=" + w.B, "File_Name=", "File_Name="}));
  EXPECT_EQ(w.files.driveChanges, (std::vector<std::string>{w.B}));
  EXPECT_EQ(w.files.curDir(), w.B);
  EXPECT_EQ(w.view.name, "");
}

TEST(MainFormDrive, FailedChangeReportsAndPutsThePreviousDriveBack) {
  struct Case {
    const char* name;
    std::map<char, int> fails;  // drive letter -> error number
    Events events;              // with "@A" for drive A
    std::string changes;        // drives asked for, in order
  };
  const Case cases[] = {
      {"disk not ready", {{'B', 71}}, {kDiskNotReady, "setDrive=@A"}, "BAA"},
      {"drive unavailable", {{'B', 68}}, {kDeviceUnavailable, "setDrive=@A"}, "BAA"},
      {"other error", {{'B', 5}}, {"box48:エラーです．エラー番号は5\n@B：処理できませんでした．", "setDrive=@A"}, "BAA"},
      {"previous drive fails too",
       {{'B', 71}, {'A', 68}},
       {kDiskNotReady, "setDrive=@A", kDeviceUnavailable, "setDrive=@A"},
       "BAAA"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    fs::create_directory(nativePath(w.A) / "sub");
    writeFile("sub/x.txt", "x");
    MainForm& form = w.load();
    form.Dir_name_Open(in(w.A, "sub"));
    const std::string sub = w.files.curDir();
    w.view.clickEntry("x.txt");
    w.events.clear();
    w.files.driveChanges.clear();
    for (const auto& [letter, number] : c.fails) w.files.fails[letter == 'A' ? w.A : w.B] = number;

    w.view.chooseDrive(w.B);
    Events expected;
    for (std::string e : c.events) {
      if (const auto at = e.find("@A"); at != std::string::npos) e.replace(at, 2, w.A);
      if (const auto at = e.find("@B"); at != std::string::npos) e.replace(at, 2, w.B);
      expected.push_back(e);
    }
    EXPECT_EQ(w.events, expected);
    std::vector<std::string> changes;
    for (char d : c.changes) changes.push_back(d == 'A' ? w.A : w.B);
    EXPECT_EQ(w.files.driveChanges, changes);
    EXPECT_EQ(w.view.chosenDrive, w.A);
    EXPECT_EQ(w.view.name, "x.txt");  // the chosen name stays
    EXPECT_EQ(w.view.dir, sub);       // and so do the lists
    EXPECT_EQ(w.view.busyDuringBox, std::vector<bool>(w.view.busyDuringBox.size(), false));

    // The retry flag is spent: the next change that works clears the name.
    w.files.fails.clear();
    w.events.clear();
    w.view.chooseDrive(w.B);
    EXPECT_EQ(w.events.back(), "File_Name=");
    EXPECT_EQ(w.view.name, "");
    EXPECT_EQ(w.files.curDir(), w.B);
  }
}

// ---- Directories, the list, the buttons ------------------------------------

TEST(MainFormLists, DirectoryChangeAndRefreshClearTheName) {
  Window w;
  fs::create_directory(nativePath(w.A) / "sub");
  writeFile("a.txt", "a");
  MainForm& form = w.load();
  EXPECT_EQ(w.view.entries, (std::vector<std::string>{"a.txt"}));

  w.view.clickEntry("a.txt");
  w.view.clickEntry("none");  // a click that selects nothing
  w.view.clickEntry("a.txt");
  EXPECT_EQ(w.events, (Events{"File_Name=a.txt", "File_Name=", "File_Name=a.txt"}));
  w.events.clear();
  writeFile("b.txt", "b");
  form.Refresh_bottn_Click();
  EXPECT_EQ(w.events, (Events{"refreshDir", "FIle_list=" + w.A, "File_Name="}));
  EXPECT_EQ(w.view.entries, (std::vector<std::string>{"a.txt", "b.txt"}));

  w.view.clickEntry("b.txt");
  w.events.clear();
  const std::string sub = in(w.A, "sub");
  form.Dir_name_Open(sub);
  EXPECT_EQ(w.events, (Events{"Dir_name=" + sub, "FIle_list=" + sub, "File_Name="}));
  EXPECT_EQ(w.files.curDir(), sub);
}

TEST(MainFormLists, OpeningAVanishedDirectoryReportsAndStays) {
  Window w;
  writeFile("a.txt", "a");
  MainForm& form = w.load();
  w.view.clickEntry("a.txt");
  w.events.clear();
  form.Dir_name_Open(in(w.A, "gone"));
  EXPECT_EQ(w.events, (Events{"box48:エラーです．エラー番号は76\n" + in(w.A, "gone") +
                                  "：パスが見つかりません．",
                              "refreshDir"}));
  EXPECT_EQ(w.files.curDir(), w.A);
  EXPECT_EQ(w.view.dir, w.A);
  EXPECT_EQ(w.view.name, "a.txt");
}

TEST(MainFormLists, EmptyNameRunsNothing) {
  Window w;
  writeFile("data.bin", pattern(kPieceSize144 + 1));
  MainForm& form = w.load();
  w.files.log.clear();
  for (auto act : {&MainForm::Ret_bottn_Click, &MainForm::FIle_list_DblClick}) {
    (form.*act)();
    EXPECT_TRUE(w.events.empty());
    EXPECT_TRUE(w.files.log.empty());
  }
  EXPECT_EQ(filesHere(), (std::vector<std::string>{"data.bin"}));
}

TEST(MainFormLists, OptionButtonsSetThePieceSize) {
  Window w;
  MainForm& form = w.load();
  w.view.selectOption(1);
  EXPECT_EQ(form.PieceSize, kPieceSize12);
  w.view.selectOption(0);
  EXPECT_EQ(form.PieceSize, kPieceSize144);
}

// ---- Requests --------------------------------------------------------------

TEST(MainFormRequest, SplitAndJoinThroughTheWindow) {
  Window w;
  const std::string data = pattern(kPieceSize144 + 5);
  writeFile("data.bin", data);
  MainForm& form = w.load();

  w.view.clickEntry("data.bin");
  w.events.clear();
  form.Ret_bottn_Click();
  // The start is drawn at once; the statuses that follow on a clock that
  // stands still are only set, until the end and the message box draw them.
  // The buttons that cannot act are off while it runs; "決　定" is back
  // before the summary.
  EXPECT_EQ(w.events,
            (Events{"block=1", "busyControls=1", "Ret_bottn=中　止", "Progress=0/1457669",
                    "Label2=分割中 data.bin.1 (1/2)", "Label2=分割中 data.bin.2 (2/2)",
                    "Label2!=分割中 data.bin.2 (2/2)", "Progress=1457669/1457669", "Label2=",
                    "Ret_bottn=決　定",
                    "box64:分割完了\n" + w.A +
                        " に 1,457,664 バイトの分割ファイル 1 個と 5 バイトの 1 個を作りました．"
                        "記録 data.bin.crc を書きました．",
                    "refreshFileList", "Progress=0/0", "busyControls=0", "block=0"}));
  EXPECT_EQ(w.view.busyDuringBox, (std::vector<bool>{true}));
  EXPECT_EQ(w.view.blockedDuringBox, (std::vector<bool>{true}));
  EXPECT_FALSE(form.busy());
  EXPECT_FALSE(w.view.blocked);
  EXPECT_EQ(w.view.name, "data.bin");  // still chosen
  EXPECT_EQ(readFile("data.bin.1"), data.substr(0, kPieceSize144));
  EXPECT_EQ(readFile("data.bin.2"), data.substr(kPieceSize144));
  EXPECT_EQ(w.view.entries,
            (std::vector<std::string>{"data.bin", "data.bin.1", "data.bin.2", "data.bin.crc"}));

  fs::remove(nativePath("data.bin"));
  w.view.refreshFileList();
  w.view.clickEntry("data.bin.1");
  w.events.clear();
  w.view.answers = {kAnswerOk, kAnswerNo};  // keep the pieces
  form.FIle_list_DblClick();
  ASSERT_GE(w.events.size(), 4u);
  EXPECT_EQ(w.events.front(), "block=1");
  EXPECT_NE(std::find(w.events.begin(), w.events.end(), "Label2=結合中 data.bin (2/2)"), w.events.end());
  EXPECT_EQ(w.events.back(), "block=0");
  EXPECT_NE(std::find(w.events.begin(), w.events.end(),
                      "box64:結合完了\n" + w.A +
                          " に data.bin（1,457,669 バイト）を分割ファイル 2 個から作りました．"
                          "記録 data.bin.crc と CRC-32 " + text::hex8(crc32Update(0, data.data(), data.size())) + " 一致．"),
            w.events.end());
  EXPECT_NE(std::find(w.events.begin(), w.events.end(), "box36:分割ファイルを削除しますか？"),
            w.events.end());
  EXPECT_EQ(readFile("data.bin"), data);
  EXPECT_EQ(filesHere(),
            (std::vector<std::string>{"data.bin", "data.bin.1", "data.bin.2", "data.bin.crc"}));
}

TEST(MainFormRequest, ShortNamingJoinAsksForTheExtension) {
  Window w;
  const std::string data = pattern(kPieceSize12 + 7, 3);
  writeFile("data.bin", data);
  MainForm& form = w.load();
  w.view.check = 1;
  w.view.selectOption(1);
  w.view.clickEntry("data.bin");
  form.Ret_bottn_Click();
  EXPECT_EQ(readFile("data.1"), data.substr(0, kPieceSize12));
  EXPECT_EQ(readFile("data.2"), data.substr(kPieceSize12));
  fs::remove(nativePath("data.bin"));
  w.view.refreshFileList();

  // Cancelled: nothing joined, nothing said.
  w.view.clickEntry("data.1");
  w.events.clear();
  form.Ret_bottn_Click();
  EXPECT_EQ(w.events, (Events{"block=1", "busyControls=1", "Ret_bottn=中　止", "loadInput",
                              "showInput", "Combo1 focus", "hideInput", "Ret_bottn=決　定",
                              "Progress=0/0", "refreshFileList", "busyControls=0", "block=0"}));
  EXPECT_EQ(filesHere(), (std::vector<std::string>{"data.1", "data.2", "data.crc"}));

  // OK with "bin" typed: joined as data.bin; the dialog stays loaded.
  w.view.dialogActions.push_back([](FakeInputView& d) {
    d.text = "bin";
    d.form.Command1_Click();
  });
  w.view.answers = {kAnswerOk, kAnswerNo};
  w.events.clear();
  form.Ret_bottn_Click();
  ASSERT_GE(w.events.size(), 8u);
  EXPECT_EQ((Events(w.events.begin(), w.events.begin() + 8)),
            (Events{"block=1", "busyControls=1", "Ret_bottn=中　止", "showInput", "Combo1 focus",
                    "hideInput", "Progress=0/1250311", "Label2=結合中 data.bin (1/2)"}));
  EXPECT_EQ(readFile("data.bin"), data);
  EXPECT_NE(form.inputForm(), nullptr);
}

TEST(MainFormRequest, FailuresEscapingTheRequestAreReported) {
  struct Case {
    const char* name;
    std::function<void()> fault;
    std::string box;
  };
  const Case cases[] = {
      {"out of memory", [] { throw std::bad_alloc(); },
       "box48:エラーです．エラー番号は7\ndata.bin：メモリが足りません．"},
      {"internal error", [] { throw std::logic_error("x"); },
       "box48:エラーです．エラー番号は51\ndata.bin：処理できませんでした．"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    writeFile("data.bin", pattern(kPieceSize144 + 1));
    MainForm& form = w.load();
    w.view.clickEntry("data.bin");
    w.events.clear();
    w.files.beforeCall = [&](const std::string& op, const std::string&) {
      if (op == "fileLen") c.fault();
    };
    form.Ret_bottn_Click();
    // The split cleans up along its one way out before the failure is told.
    EXPECT_EQ(w.events, (Events{"block=1", "busyControls=1", "Ret_bottn=中　止", "Label2=", "refreshFileList",
                                "Ret_bottn=決　定", c.box, "Progress=0/0", "busyControls=0", "block=0"}));
    EXPECT_FALSE(form.busy());
    EXPECT_FALSE(w.view.blocked);
  }
}

TEST(MainFormRequest, NothingStartsWhileARequestRuns) {
  Window w;
  writeFile("data.bin", pattern(kPieceSize144 + 1));
  MainForm& form = w.load();
  w.view.clickEntry("data.bin");
  int nested = 0;
  w.view.whileBox = [&] {
    if (nested++ > 0) return;
    form.Ret_bottn_Click();
    form.FIle_list_DblClick();
  };
  w.events.clear();
  form.Ret_bottn_Click();
  EXPECT_EQ(std::count(w.events.begin(), w.events.end(), "block=1"), 1);
  EXPECT_EQ(std::count_if(w.events.begin(), w.events.end(),
                          [](const std::string& e) { return e.starts_with("box64:分割完了\n"); }),
            1);
}

// ---- The size box and three-digit numbers ---------------------------------

TEST(MainFormSizeBox, OptionBoxAndThreeDigitSwitch) {
  // One sequence: "0".."2" select an option, anything else is typed (which
  // selects the box's option). An empty box, or no size in it, leaves the
  // size as it was. The status line says the box's size in bytes, and is
  // emptied when there is none or a floppy size is chosen.
  const std::int64_t tebi = std::int64_t{1} << 40;
  const struct {
    const char* act;
    std::int64_t bytes;
    std::vector<std::string> status;
  } steps[] = {
      {"2", kPieceSize144, {}},
      {"4GB (FAT32)", 4'294'967'295, {"Label2=指定サイズ：\n4,294,967,295 バイト"}},
      {"1,5", 4'294'967'295, {"Label2="}},
      {"1", kPieceSize12, {}},
      {"2", kPieceSize12, {}},
      {"0", kPieceSize144, {}},
      {"30001", 30'001, {"Label2=指定サイズ：\n30,001 バイト"}},
      {"1TiB", tebi, {"Label2=指定サイズ：\n1,099,511,627,776 バイト"}},
      {"1", kPieceSize12, {"Label2="}},
      {"2", tebi, {"Label2=指定サイズ：\n1,099,511,627,776 バイト"}},
  };
  Window w;
  MainForm& form = w.load();
  for (const auto& [act, bytes, status] : steps) {
    const std::string a = act;
    w.view.events.clear();
    if (a.size() == 1 && a[0] <= '2')
      w.view.selectOption(a[0] - '0');
    else
      w.view.typeSize(a);
    EXPECT_EQ(form.pieceSize(), bytes) << act;
    std::vector<std::string> shown;
    for (const std::string& e : w.view.events)
      if (e.rfind("Label2", 0) == 0) shown.push_back(e);
    EXPECT_EQ(shown, status) << act;
  }
  EXPECT_EQ(w.view.option, 2);
  EXPECT_EQ(form.pieceDigits(), 1);
  w.view.digits = 1;
  EXPECT_EQ(form.pieceDigits(), 3);
}

TEST(MainFormSizeBox, SplitNeedsAUsableSizeAJoinNone) {
  Window w;
  const std::string data = pattern(5001, 5);
  writeFile("data.bin", data);
  writeFile("old.bin.1", data.substr(0, 3000));
  writeFile("old.bin.2", data.substr(3000));
  MainForm& form = w.load();
  for (const char* typed : {"", "2TB", "1,5M", "1.5"}) {
    w.view.typeSize(typed);
    w.view.clickEntry("data.bin");
    w.events.clear();
    w.files.log.clear();
    form.FIle_list_DblClick();
    // Refused: the focus goes back to the size box, its text selected.
    EXPECT_EQ(w.events, (Events{"block=1", "busyControls=1", "Ret_bottn=中　止", "Ret_bottn=決　定",
                                std::string("box48:") + text::kBadSize, "Progress=0/0",
                                "busyControls=0", "block=0", "focusSize"}));
    EXPECT_TRUE(w.files.log.empty()) << typed;
  }
  EXPECT_EQ(filesHere(), (std::vector<std::string>{"data.bin", "old.bin.1", "old.bin.2"}));

  w.view.clickEntry("old.bin.2");
  w.view.answers = {kAnswerOk, kAnswerNo};  // keep the pieces
  form.Ret_bottn_Click();
  EXPECT_EQ(readFile("old.bin"), data);

  // Fixed: split at the box's size; no longer than it, not split.
  w.view.typeSize("2,500");
  w.view.clickEntry("data.bin");
  form.Ret_bottn_Click();
  EXPECT_EQ(readFile("data.bin.1"), data.substr(0, 2500));
  EXPECT_EQ(readFile("data.bin.2"), data.substr(2500, 2500));
  EXPECT_EQ(readFile("data.bin.3"), data.substr(5000));
  w.view.typeSize("5001");
  w.events.clear();
  form.Ret_bottn_Click();
  EXPECT_EQ(w.events[4], "box48:ファイルが指定サイズ以下なので分割しませんでした．");
}

// ---- The extension dialog --------------------------------------------------

TEST(InputForm, LoadsWithTheFourExtensionsAndAnEmptyText) {
  Window w;
  MainForm& form = w.load();
  std::vector<std::string> list;
  std::string text = "?";
  w.view.dialogActions.push_back([&](FakeInputView& d) {
    list = d.list;
    text = d.text;
    d.form.Command1_Click();
  });
  form.showExtensionPrompt();
  EXPECT_EQ(list, (std::vector<std::string>{"exe", "lzh", "mdb", "xls"}));
  EXPECT_EQ(text, "");
  EXPECT_EQ(w.events, (Events{"loadInput", "showInput", "Combo1 focus", "hideInput"}));
}

TEST(InputForm, EachWayOfLeavingGivesItsAnswer) {
  struct Case {
    const char* name;
    std::function<void(FakeInputView&)> act;
    std::int16_t proceed;
    bool unloaded;
    std::string text;
  };
  const Case cases[] = {
      {"決　定 with doc",
       [](FakeInputView& d) {
         d.text = "doc";
         d.form.Command1_Click();
       },
       kTrue, false, "doc"},
      {"決　定 with nothing typed", [](FakeInputView& d) { d.form.Command1_Click(); }, kTrue, false,
       ""},
      {"取　消",
       [](FakeInputView& d) {
         d.text = "doc";
         d.form.Command2_Click();
       },
       kFalse, false, "doc"},
      {"close box",
       [](FakeInputView& d) {
         d.text = "doc";
         d.form.Form_Unload();
       },
       kFalse, true, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Window w;
    MainForm& form = w.load();
    // Twice: a hidden dialog is shown again for the next join.
    for (int round = 0; round < 2; ++round) {
      std::int16_t onActivate = 1;
      w.view.dialogActions.push_back([&](FakeInputView& d) {
        onActivate = d.form.proceed();
        c.act(d);
      });
      const std::optional<std::string> answer = form.askExtension("");
      EXPECT_EQ(onActivate, kFalse);
      EXPECT_EQ(answer.has_value(), c.proceed == kTrue);
      if (answer) {
        EXPECT_EQ(*answer, c.text);
      }
      EXPECT_EQ(form.inputForm() == nullptr, c.unloaded);
      EXPECT_EQ(form.extensionText(), c.text);
    }
    EXPECT_EQ(std::count(w.events.begin(), w.events.end(), "loadInput"), c.unloaded ? 2 : 1);
    EXPECT_EQ(std::count(w.events.begin(), w.events.end(), "dialog left open"), 0);
  }
}

TEST(InputForm, SecondShowingKeepsTheTextUntilUnloaded) {
  Window w;
  MainForm& form = w.load();
  std::vector<std::string> seen;
  auto typeThenOk = [&](std::string typed) {
    return [&, typed](FakeInputView& d) {
      seen.push_back(d.text);
      d.text = typed;
      d.form.Command1_Click();
    };
  };
  w.view.dialogActions.push_back(typeThenOk("doc"));
  w.view.dialogActions.push_back([&](FakeInputView& d) {
    seen.push_back(d.text);
    d.form.Form_Unload();
  });
  w.view.dialogActions.push_back(typeThenOk("xls"));
  for (int i = 0; i < 3; ++i) form.showExtensionPrompt();
  EXPECT_EQ(seen, (std::vector<std::string>{"", "doc", ""}));
  EXPECT_EQ(form.extensionText(), "xls");
}

TEST(InputForm, SuggestedExtensionCanStillBeChanged) {
  Window w;
  MainForm& form = w.load();
  form.suggestExtension("txt");
  std::string shown;
  w.view.dialogActions.push_back([&](FakeInputView& d) {
    shown = d.text;
    d.text += "2";
    d.form.Command1_Click();
  });
  form.showExtensionPrompt();
  EXPECT_EQ(shown, "txt");
  EXPECT_EQ(form.extensionText(), "txt2");
  EXPECT_EQ(std::count(w.events.begin(), w.events.end(), "loadInput"), 1);
}

}  // namespace
}  // namespace vexo::test
