// Progress reports, stopping on request, and error messages that say which
// file and why.
#include <gtest/gtest.h>

#include "doubles.h"
#include "engine.h"
#include "messages.h"

using namespace vexo;
using namespace vexo::test;

namespace {

// progress() went from 0 to total without going back, every call with the
// same total, and fewer calls than blocks.
void expectProgress(const RecordingUi& ui, std::int64_t total) {
  ASSERT_FALSE(ui.progressed.empty());
  EXPECT_EQ(ui.progressed.front(), (std::pair<std::int64_t, std::int64_t>{0, total}));
  EXPECT_EQ(ui.progressed.back(), (std::pair<std::int64_t, std::int64_t>{total, total}));
  for (std::size_t i = 1; i < ui.progressed.size(); ++i) {
    EXPECT_EQ(ui.progressed[i].second, total);
    EXPECT_GT(ui.progressed[i].first, ui.progressed[i - 1].first) << i;  // each call reports bytes moved
  }
  EXPECT_LT(ui.progressed.size(), static_cast<std::size_t>(total / 30000 / 3));
}

// How often a request asks whether to stop when nobody stops it.
int pollsOf(const std::function<void(RecordingUi&)>& request) {
  RecordingUi ui;
  ui.stopAtPoll = 1 << 30;
  request(ui);
  return ui.polls;
}

}  // namespace

TEST(Progress, FromZeroToTheTotalAsTheBlocksMove) {
  TempDir dir;
  const std::string original = pattern(2 * kPieceSize12 + 777);
  writeFile("p.bin", original);
  RecordingFileServices fs;
  RecordingUi ui;
  ui.size = kPieceSize12;
  proc1(fs, ui, "p.bin");
  expectProgress(ui, static_cast<std::int64_t>(original.size()));
  std::filesystem::remove("p.bin");
  ui.progressed.clear();
  ui.answer = 7;
  proc1(fs, ui, "p.bin.3");
  expectProgress(ui, static_cast<std::int64_t>(original.size()));
  EXPECT_EQ(readFile("p.bin"), original);
}

// A stop at the first, a middle or the last poll: what was written goes, an
// existing file stays as it was, and the user is told.
TEST(Stop, ASplitOrJoinStoppedAnywhereLeavesThingsAsTheyWere) {
  const std::string original = pattern(2 * kPieceSize12 + 777, 5);
  const std::string one = original.substr(0, kPieceSize12), two = original.substr(kPieceSize12, kPieceSize12),
                    three = original.substr(2 * kPieceSize12);
  auto split = [&](RecordingUi& ui) {
    TempDir dir;
    writeFile("s.bin", original);
    RecordingFileServices fs;
    ui.size = kPieceSize12;
    proc1(fs, ui, "s.bin");
  };
  auto join = [&](RecordingUi& ui) {
    TempDir dir;
    writeFile("s.bin.1", one);
    writeFile("s.bin.2", two);
    writeFile("s.bin.3", three);
    RecordingFileServices fs;
    proc1(fs, ui, "s.bin.1");
  };
  const int splitPolls = pollsOf(split), joinPolls = pollsOf(join);
  ASSERT_GE(splitPolls, 5);  // per piece: the run of whole blocks, the final block or the tail
  ASSERT_GE(joinPolls, 5);
  for (const int at : {1, splitPolls / 2, splitPolls}) {
    SCOPED_TRACE("split stopped at poll " + std::to_string(at) + " of " + std::to_string(splitPolls));
    TempDir dir;
    writeFile("s.bin", original);
    RecordingFileServices fs;
    RecordingUi ui;
    ui.size = kPieceSize12;
    ui.stopAtPoll = at;
    proc1(fs, ui, "s.bin");
    EXPECT_EQ(ui.messages(), std::vector<std::string>{text::kStopped});
    // "中止しています…" while the pieces are removed, until the box.
    EXPECT_EQ(std::vector<std::string>(ui.events.end() - 4, ui.events.end()),
              (std::vector<std::string>{"status:中止しています…", "message:" + text::kStopped, "clear",
                                        "refresh"}));
    EXPECT_EQ(filesHere(), std::vector<std::string>{"s.bin"});
    EXPECT_EQ(fs.openFiles(), 0);
  }
  for (const int at : {1, joinPolls / 2, joinPolls}) {
    for (const bool older : {false, true}) {
      SCOPED_TRACE("join stopped at poll " + std::to_string(at) + (older ? ", an older s.bin there" : ""));
      TempDir dir;
      writeFile("s.bin.1", one);
      writeFile("s.bin.2", two);
      writeFile("s.bin.3", three);
      if (older) writeFile("s.bin", "older");
      RecordingFileServices fs;
      RecordingUi ui;
      ui.answerNo = kAnswerYes;
      ui.stopAtPoll = at;
      proc1(fs, ui, "s.bin.2");
      EXPECT_EQ(ui.messages(), std::vector<std::string>{text::kStopped});
      EXPECT_EQ(std::vector<std::string>(ui.events.end() - 4, ui.events.end()),
                (std::vector<std::string>{"status:中止しています…", "message:" + text::kStopped, "clear",
                                          "refresh"}));
      std::vector<std::string> left{"s.bin.1", "s.bin.2", "s.bin.3"};
      if (older) left.insert(left.begin(), "s.bin");
      EXPECT_EQ(filesHere(), left);
      if (older) {
        EXPECT_EQ(readFile("s.bin"), "older");
      }
      EXPECT_EQ(readFile("s.bin.2"), two);
      EXPECT_EQ(fs.openFiles(), 0);
    }
  }
}

TEST(ErrorText, TheNumberThenTheFileAndTheReason) {
  const struct {
    int number;
    const char* file;
    const char* text;
  } cases[] = {
      {61, "report.doc.2", "エラーです．エラー番号:61\nreport.doc.2：ディスクがいっぱいです．"},
      {53, "report.doc.1", "エラーです．エラー番号:53\nreport.doc.1：ファイルが見つかりません．"},
      {70, "資料.txt", "エラーです．エラー番号:70\n資料.txt：アクセスが拒否されました．"},
      {52, "x", "エラーです．エラー番号:52\nx：ファイル名が長すぎるか，使えない文字が含まれています．"},
      {57, "", "エラーです．エラー番号:57\n装置の入出力でエラーが起きました．"},
      {75, "d", "エラーです．エラー番号:75\nd：読み書きできませんでした．"},
      {999, "d", "エラーです．エラー番号:999\nd：処理できませんでした．"},
  };
  for (const auto& c : cases) EXPECT_EQ(text::errorText(c.number, c.file), c.text) << c.number;
  // The system's own words, when it gave any, in parentheses.
  EXPECT_EQ(text::errorText(57, "d", "Input/output error"),
            "エラーです．エラー番号:57\nd：装置の入出力でエラーが起きました（Input/output error）．");
  EXPECT_EQ(text::errorText(61, "", "No space left on device"),
            "エラーです．エラー番号:61\nディスクがいっぱいです（No space left on device）．");

  // Through a request: the file the failure met, hidden files by the names
  // they become.
  const struct {
    const char* op;
    const char* name;
    int number;
    const char* shown;
  } faults[] = {
      {"write", "e.bin.2", 61, "e.bin.2"},
      {"write", "~e.bin.1", 61, "e.bin.1"},
      {"read", "e.bin", 57, "e.bin"},
      {"nameTemporary", "e.bin.crc", 70, "e.bin.crc"},
  };
  for (const auto& c : faults) {
    TempDir dir;
    writeFile("e.bin", pattern(kPieceSize12 + 9));
    RecordingFileServices fs;
    fs.failOn(c.op, 1, c.number, c.name);
    RecordingUi ui;
    ui.size = kPieceSize12;
    proc1(fs, ui, "e.bin");
    EXPECT_EQ(ui.messages(), std::vector<std::string>{text::errorText(c.number, c.shown)}) << c.op << " " << c.name;
  }
}

// A piece of gigabytes is reported (and can be stopped) every few blocks.
TEST(Progress, LargePiecesReportEvery64BlocksAtMost) {
  TempDir dir;
  RecordingFileServices fs;
  fs.recordBlocks = false;
  fs.addVirtual("@dvd.iso", 4700000000LL + 5);
  RecordingUi ui;
  ui.size = 4700000000LL;
  proc1(fs, ui, "@dvd.iso");
  ASSERT_EQ(ui.headlines(), std::vector<std::string>{"分割完了"});
  ASSERT_GT(ui.progressed.size(), 2u);
  std::int64_t widest = 0;
  for (std::size_t i = 1; i < ui.progressed.size(); ++i)
    widest = std::max(widest, ui.progressed[i].first - ui.progressed[i - 1].first);
  EXPECT_EQ(widest, 64 * 30000);
  EXPECT_EQ(ui.progressed.back(), (std::pair<std::int64_t, std::int64_t>{4700000005LL, 4700000005LL}));
}
