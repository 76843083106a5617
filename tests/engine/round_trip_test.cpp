// Split, then join: the joined file holds exactly the source's bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "doubles.h"
#include "engine.h"

using namespace vexo;
using namespace vexo::test;

namespace {

struct Case {
  std::int32_t pieceSize;
  int check;
  std::int64_t length;
  const char* source;
  const char* chosen;      // the piece the join is started from
  const char* extension;   // what the dialog returns under short naming
  std::vector<std::string> pieces;
};

}  // namespace

TEST(RoundTrip, BothNamingsAndBothSizesFromAMiddlePiece) {
  const Case cases[] = {
      {kPieceSize144, 0, 3 * kPieceSize144 + 4321, "report.doc", "report.doc.2", "",
       {"report.doc.1", "report.doc.2", "report.doc.3", "report.doc.4"}},
      {kPieceSize12, 0, 2 * kPieceSize12 + 1, "photo.jpeg", "photo.jpeg.3", "",
       {"photo.jpeg.1", "photo.jpeg.2", "photo.jpeg.3"}},
      {kPieceSize144, 1, 2 * kPieceSize144 + 17664, "report.doc", "report.2", "doc",
       {"report.1", "report.2", "report.3"}},
      {kPieceSize12, 1, 3 * kPieceSize12, "archive.lzh", "archive.3", "lzh",
       {"archive.1", "archive.2", "archive.3"}},  // an exact multiple: no empty fourth
      {kPieceSize144, 1, kPieceSize144 + 77, "README", "README.1", "",
       {"README.1", "README.2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    TempDir dir;
    const std::string original = pattern(static_cast<std::size_t>(c.length), 7);
    writeFile(c.source, original);
    RecordingFileServices fs;
    RecordingUi ui;
    ui.size = c.pieceSize;
    ui.check = c.check;
    proc1(fs, ui, c.source);
    std::string concatenated;
    for (std::size_t k = 0; k < c.pieces.size(); ++k) {
      ASSERT_TRUE(exists(c.pieces[k])) << c.pieces[k];
      const std::string piece = readFile(c.pieces[k]);
      const std::size_t expected =
          k + 1 < c.pieces.size() ? static_cast<std::size_t>(c.pieceSize)
                                  : static_cast<std::size_t>(c.length - static_cast<std::int64_t>(k) * c.pieceSize);
      EXPECT_EQ(piece.size(), expected) << c.pieces[k];
      concatenated += piece;
    }
    EXPECT_FALSE(exists(c.source + std::string(".") + std::to_string(c.pieces.size() + 1)));
    EXPECT_EQ(concatenated, original);

    std::filesystem::rename(c.source, "original");
    ui.events.clear();
    ui.extension = c.extension;
    ui.answer = kAnswerYes;
    proc1(fs, ui, c.chosen);
    EXPECT_EQ(readFile(c.source), original);
    for (const auto& piece : c.pieces) EXPECT_FALSE(exists(piece)) << piece;
    EXPECT_EQ(ui.headlines(), (std::vector<std::string>{"結合完了"}));
  }
}

TEST(RoundTrip, ShortNamingWithLongNamedPieces) {
  TempDir dir;
  writeFile("report.doc.1", "abc");
  writeFile("report.doc.2", "def");
  RecordingFileServices fs;
  RecordingUi ui;
  ui.check = 1;
  ui.answer = 7;
  ui.extension = "";
  proc1(fs, ui, "report.doc.1");
  EXPECT_EQ(readFile("report.doc"), "abcdef");
  ui.extension = "txt";
  proc1(fs, ui, "report.doc.2");
  EXPECT_EQ(readFile("report.doc.txt"), "abcdef");
  EXPECT_EQ(ui.events.front(), "prompt");
}

TEST(RoundTrip, ShortNamingWithTheExtensionLeftEmpty) {
  TempDir dir;
  writeFile("report.1", "12");
  writeFile("report.2", "34");
  RecordingFileServices fs;
  RecordingUi ui;
  ui.check = 1;
  ui.answer = 7;
  proc1(fs, ui, "report.2");
  EXPECT_EQ(readFile("report"), "1234");
  EXPECT_TRUE(exists("report.1"));
}

TEST(RoundTrip, OddNames) {
  TempDir dir;
  const std::string original = pattern(kPieceSize144 + 10, 3);
  // Windows cannot hold a name ending in a dot (it is refused there).
#ifndef _WIN32
  writeFile("notes.", original);
#endif
  writeFile("資料 2026.txt", original);
  RecordingFileServices fs;
  RecordingUi ui;
#ifndef _WIN32
  proc1(fs, ui, "notes.");
  EXPECT_TRUE(exists("notes..1"));
  EXPECT_TRUE(exists("notes..2"));
  std::filesystem::remove("notes.");
  proc1(fs, ui, "notes..2");
  EXPECT_EQ(readFile("notes."), original);
#endif
  proc1(fs, ui, "資料 2026.txt");
  EXPECT_TRUE(exists("資料 2026.txt.2"));
  std::filesystem::remove(nativePath("資料 2026.txt"));
  proc1(fs, ui, "資料 2026.txt.1");
  EXPECT_EQ(readFile("資料 2026.txt"), original);
}

TEST(RoundTrip, AGapIsNamedAndOnlyTheJoinedPiecesAreDeleted) {
  TempDir dir;
  writeFile("set.bin.1", "one");
  writeFile("set.bin.2", "two");
  writeFile("set.bin.5", "five");
  RecordingFileServices fs;
  RecordingUi ui;
  const std::string question =
      "questionNo:分割ファイル set.bin.3，set.bin.4 が見つかりません．\nset.bin.2 までの分割ファイルだけを結合しますか？";
  proc1(fs, ui, "set.bin.5");  // No, the default: nothing happens
  EXPECT_EQ(ui.events, std::vector<std::string>{question});
  EXPECT_EQ(filesHere(), (std::vector<std::string>{"set.bin.1", "set.bin.2", "set.bin.5"}));
  ui.events.clear();
  ui.answerNo = kAnswerYes;
  proc1(fs, ui, "set.bin.5");
  EXPECT_EQ(readFile("set.bin"), "onetwo");
  EXPECT_FALSE(exists("set.bin.1"));
  EXPECT_FALSE(exists("set.bin.2"));
  EXPECT_TRUE(exists("set.bin.5"));
  EXPECT_EQ(ui.headlineEvents(), (std::vector<std::string>{question, "status:結合中 set.bin (1/2)", "status:結合中 set.bin (2/2)", "clear", "message:結合完了",
                                                 "refresh", "question:分割ファイルを削除しますか？",
                                                 "status:ディスクに書き込み中…", "clear", "refresh"}));
  EXPECT_EQ(fs.log.back(), "kill set.bin.2");
}

TEST(RoundTrip, AnsweringNoKeepsThePiecesAndRefreshesOnce) {
  TempDir dir;
  writeFile("x.1", "a");
  RecordingFileServices fs;
  RecordingUi ui;
  ui.answer = 7;
  proc1(fs, ui, "x.1");
  EXPECT_TRUE(exists("x.1"));
  EXPECT_EQ(ui.events.back(), "question:分割ファイルを削除しますか？");
  for (const auto& call : fs.log) EXPECT_NE(call.rfind("kill", 0), 0u) << call;
}

TEST(RoundTrip, TrailingEmptyPieceContributesNothing) {
  TempDir dir;
  const std::string original = pattern(2 * kPieceSize12, 5);
  writeFile("even", original);
  RecordingFileServices fs;
  RecordingUi ui;
  ui.size = kPieceSize12;
  proc1(fs, ui, "even");
  ASSERT_EQ(readFile("even.3").size(), 0u);
  std::filesystem::remove("even");
  proc1(fs, ui, "even.3");
  EXPECT_EQ(readFile("even"), original);
  EXPECT_FALSE(exists("even.3"));
}

TEST(RoundTrip, CancelledDialogEndsTheJoinSilently) {
  TempDir dir;
  writeFile("r.1", "a");
  RecordingFileServices fs;
  RecordingUi ui;
  ui.check = 1;
  ui.promptOk = false;
  ui.extension = "doc";
  proc1(fs, ui, "r.1");
  EXPECT_EQ(ui.events, std::vector<std::string>{"prompt"});
  EXPECT_TRUE(fs.log.empty());
  EXPECT_FALSE(exists("r.doc"));
  // The next request does not depend on the cancelled one.
  ui.check = 0;
  proc1(fs, ui, "r.1");
  EXPECT_EQ(readFile("r"), "a");
}

// A sparse source just over 2 GiB: positions and lengths beyond 31 bits.
TEST(RoundTrip, FileOver2GiB) {
  const std::int64_t length = (std::int64_t{1} << 31) + 2 * kPieceSize144 + 17664 + 3;
  const std::pair<std::int64_t, std::string> marks[] = {
      {0, "start"}, {(std::int64_t{1} << 31) - 3, "across-2GiB"}, {length - 9, "the-end!!"}};
  // The pieces and the joined file are real bytes: a file system in memory
  // keeps this quick where there is room for them.
  std::string base = std::filesystem::temp_directory_path().string();
  std::error_code ec;
  if (std::filesystem::space("/dev/shm", ec).available > static_cast<std::uintmax_t>(3 * length) && !ec)
    base = "/dev/shm";
  TempDir dir(base);
  {
    std::fstream out("huge.img", std::ios::binary | std::ios::out | std::ios::trunc);
    for (const auto& [offset, text] : marks) {
      out.seekp(offset);
      out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
  }
  ASSERT_EQ(std::filesystem::file_size("huge.img"), static_cast<std::uintmax_t>(length));
  RecordingFileServices fs;
  RecordingUi ui;
  proc1(fs, ui, "huge.img");
  const std::int64_t pieces = length / kPieceSize144 + 1;
  ASSERT_TRUE(exists("huge.img." + std::to_string(pieces)));
  EXPECT_FALSE(exists("huge.img." + std::to_string(pieces + 1)));
  EXPECT_EQ(std::filesystem::file_size("huge.img." + std::to_string(pieces)),
            static_cast<std::uintmax_t>(length % kPieceSize144));
  std::filesystem::rename("huge.img", "source.img");

  proc1(fs, ui, "huge.img.700");
  EXPECT_FALSE(exists("huge.img.1"));
  std::ifstream a("source.img", std::ios::binary), b("huge.img", std::ios::binary);
  std::vector<char> x(1 << 20), y(1 << 20);
  std::int64_t compared = 0;
  while (a && b) {
    a.read(x.data(), static_cast<std::streamsize>(x.size()));
    b.read(y.data(), static_cast<std::streamsize>(y.size()));
    ASSERT_EQ(a.gcount(), b.gcount());
    ASSERT_TRUE(std::equal(x.begin(), x.begin() + a.gcount(), y.begin())) << "at " << compared;
    compared += a.gcount();
  }
  EXPECT_EQ(compared, length);
}

// Virtual files: sizes past 4 GiB and sets of more than 32,767 pieces,
// without writing their bytes anywhere.
TEST(RoundTrip, VirtualFileOver4GiB) {
  TempDir dir;
  RecordingFileServices fs;
  const std::int64_t length = (std::int64_t{1} << 32) + 17664 + 12345;
  fs.addVirtual("@big.bin", length);
  RecordingUi ui;
  proc1(fs, ui, "@big.bin");
  const std::int64_t pieces = length / kPieceSize144 + 1;
  for (std::int64_t k = 1; k < pieces; ++k)
    ASSERT_EQ(fs.virtualLength("@big.bin." + std::to_string(k)), kPieceSize144) << k;
  EXPECT_EQ(fs.virtualLength("@big.bin." + std::to_string(pieces)), length % kPieceSize144);
  EXPECT_FALSE(fs.virtualExists("@big.bin." + std::to_string(pieces + 1)));
  // The last piece (719,161 bytes) is 23 whole blocks and a tail of 29,161
  // bytes, read at positions past 4 GiB.
  const std::int64_t tailStart = (pieces - 1) * std::int64_t{kPieceSize144} + 23 * 30000 + 1;
  ASSERT_EQ(length % kPieceSize144, 719161);
  auto tail = std::find(fs.log.begin(), fs.log.end(), "read #1 20000 @" + std::to_string(tailStart));
  ASSERT_NE(tail, fs.log.end());
  EXPECT_EQ(*(tail + 2), "read #1 5000 @" + std::to_string(tailStart + 20000));

  fs.kill("@big.bin");
  proc1(fs, ui, "@big.bin.3");
  EXPECT_EQ(fs.virtualLength("@big.bin"), length);
  EXPECT_EQ(fs.virtualCount(), 1u);  // every piece deleted
}

TEST(RoundTrip, MoreThan32767Pieces) {
  TempDir dir;
  RecordingFileServices fs;
  const std::int64_t length = std::int64_t{kPieceSize12} * 32770 + 5;
  fs.addVirtual("@many", length);
  fs.recordBlocks = false;
  RecordingUi ui;
  ui.size = kPieceSize12;
  proc1(fs, ui, "@many");
  EXPECT_TRUE(fs.virtualExists("@many.32768"));
  EXPECT_EQ(fs.virtualLength("@many.32771"), 5);
  EXPECT_FALSE(fs.virtualExists("@many.32772"));
  fs.kill("@many");
  ui.answer = 7;
  // Any piece from 1 to 999 joins the whole set, past 999 and past 32,767.
  proc1(fs, ui, "@many.999");
  EXPECT_EQ(fs.virtualLength("@many"), length);
  // A piece numbered 1000 or more is an ordinary file: it is split (not,
  // being exactly one piece long).
  ui.events.clear();
  proc1(fs, ui, "@many.1000");
  EXPECT_EQ(ui.events, (std::vector<std::string>{
                           "message:ファイルが指定サイズ以下なので分割しませんでした．"}));
}
