// The exact sequence of file calls of a split and a join.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <sstream>

#include "block_copy.h"
#include "crc32.h"
#include "doubles.h"
#include "engine.h"
#include "record.h"

using namespace vexo;
using namespace vexo::test;

namespace {

constexpr std::int64_t P144 = kPieceSize144;
constexpr std::int64_t P12 = kPieceSize12;

// Attribute bits (in octal, as the log shows them) of a freshly written
// source: the permission bits here, only the archive bit (0x20) on Windows.
#ifdef _WIN32
const std::string kFreshMode = "40";
#else
const std::string kFreshMode = "644";
#endif

struct Plan {
  std::vector<std::string> calls;
  void add(const std::string& s) { calls.push_back(s); }
  void blocks(int n, int len, int dst = 2) {
    for (int i = 0; i < n; ++i) {
      add("read #1 " + std::to_string(len));
      add("write #" + std::to_string(dst) + " " + std::to_string(len));
    }
  }
  // Tail reads at explicit positions, each followed by its write.
  void tail(std::int64_t pos, const std::vector<int>& lens, int src = 1, int dst = 2) {
    for (int len : lens) {
      add("read #" + std::to_string(src) + " " + std::to_string(len) + " @" + std::to_string(pos));
      add("write #" + std::to_string(dst) + " " + std::to_string(len));
      pos += len;
    }
  }
  void finishPiece(const std::string& piece, const std::string& mode = kFreshMode) {
    add("stamp " + piece);
    add("setAttr " + piece + " " + mode);
    add("close #2");
  }
  // Piece 1 is a temporary, open as #3 until it takes its name at the end.
  void startFirst(const std::string& first) { add("temp ~" + first + " #3"); }
  void finishFirst(const std::string& first, const std::string& mode = kFreshMode) {
    add("stamp ~" + first);
    add("setAttr ~" + first + " " + mode);
  }
  // After the last piece: the source is checked for changes, the record
  // is written as a temporary and flushed, then the record and piece 1
  // take their names, piece 1 last.
  void finishSplit(const std::string& source, const std::string& record, const std::string& first,
                   const std::string& mode = kFreshMode) {
    add("close #1");
    add("fileLen " + source);
    add("fileDateTime " + source);
    add("temp ~" + record + " #2");
    const std::string bytes = readFile(source);
    const std::string text = formatRecord(SetRecord{source, static_cast<std::int64_t>(bytes.size()),
                                                    crc32Tables(0, bytes.data(), bytes.size()), {}});
    add("write #2 " + std::to_string(text.size()));
    add("flush #2");  // on the disk before the set takes its names
    add("stamp ~" + record);
    add("setAttr ~" + record + " " + mode);
    add("name #2 " + record);
    add("close #2");
    add("name #3 " + first);
    add("close #3");
  }
};

void makeSource(const std::string& name, std::int64_t size) {
  writeFile(name, pattern(static_cast<std::size_t>(size)));
  ::chmod(name.c_str(), 0644);
}

}  // namespace

TEST(Ladder, BlockSizesAtEveryBoundary) {
  const std::pair<std::int64_t, std::size_t> cases[] = {
      {30000, 20000}, {20001, 20000}, {20000, 10000}, {10001, 10000}, {10000, 5000},
      {5001, 5000},   {5000, 4000},   {4001, 4000},   {4000, 3000},   {3001, 3000},
      {3000, 2000},   {2001, 2000},   {2000, 1000},   {1001, 1000},   {1000, 500},
      {501, 500},     {500, 100},     {101, 100},     {100, 50},      {51, 50},
      {50, 10},       {11, 10},       {10, 5},        {6, 5},         {5, 1},
      {1, 1},         {0, 0},         {-7, 0}};
  for (auto [rest, block] : cases) EXPECT_EQ(ladderBlock(rest), block) << "rest " << rest;
}

// Each piece is read in blocks of 30,000 and the block that does not fit;
// the last piece's read that falls short writes nothing, and its rest goes
// down the ladder from its first byte on (positions count from 1). A
// source that is an exact multiple of the piece size ends with a full
// piece: no empty piece after it.
TEST(SplitPlan, BlocksOfEveryPieceAndTheLastPiecesLadder) {
  const struct {
    const char* source;
    std::int64_t size, pieceSize;
    bool shortNaming;
    const char *base, *record;
    int pieces;
    std::vector<int> tail;  // the ladder of the last piece; none when it is full
  } cases[] = {
      {"report.doc", 2 * P144 + 17664, P144, false, "report.doc.", "report.doc.crc", 3,
       {10000, 5000, 2000, 500, 100, 50, 10, 1, 1, 1, 1}},
      {"data.bin", P12 + 25, P12, true, "data.", "data.crc", 2, {10, 10, 1, 1, 1, 1, 1}},
      {"one.bin", P144 + 1, P144, false, "one.bin.", "one.bin.crc", 2, {1}},
      {"even.bin", 2 * P144, P144, false, "even.bin.", "even.bin.crc", 2, {}},
      {"even.bin", 3 * P12, P12, false, "even.bin.", "even.bin.crc", 3, {}},
      {"even.bin", 300000, 100000, false, "even.bin.", "even.bin.crc", 3, {}},
      {"even.bin", 60000, 30000, false, "even.bin.", "even.bin.crc", 2, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.source) + " " + std::to_string(c.size));
    TempDir dir;
    makeSource(c.source, c.size);
    RecordingFileServices fs;
    RecordingUi ui;
    ui.size = c.pieceSize;
    ui.check = c.shortNaming ? 1 : 0;
    proc1(fs, ui, c.source);

    Plan plan;
    plan.add(std::string("fileLen ") + c.source);
    plan.add(std::string("fileDateTime ") + c.source);
    plan.add(std::string("getAttr ") + c.source);
    plan.add(std::string("openRead ") + c.source + " #1");
    const std::string first = c.base + std::string("1");
    for (int k = 1; k <= c.pieces; ++k) {
      const std::string piece = c.base + std::to_string(k);
      const int dst = k == 1 ? 3 : 2;
      if (k == 1) plan.startFirst(piece);
      else plan.add("create " + piece + " #2");
      if (k == c.pieces && !c.tail.empty()) {
        plan.add("read #1 30000");
        plan.tail((k - 1) * c.pieceSize + 1, c.tail, 1, dst);
      } else {
        plan.blocks(static_cast<int>(c.pieceSize / 30000), 30000, dst);
        if (c.pieceSize % 30000 != 0) plan.blocks(1, static_cast<int>(c.pieceSize % 30000), dst);
      }
      if (k == 1) plan.finishFirst(piece);
      else plan.finishPiece(piece);
    }
    plan.finishSplit(c.source, c.record, first);
    EXPECT_EQ(fs.log, plan.calls);
    const std::string bytes = readFile(c.source);
    const std::string last = c.base + std::to_string(c.pieces);
    EXPECT_EQ(readFile(last), bytes.substr(static_cast<std::size_t>((c.pieces - 1) * c.pieceSize)));
    EXPECT_FALSE(exists(c.base + std::to_string(c.pieces + 1)));
    EXPECT_EQ(ui.headlines(), std::vector<std::string>{"分割完了"});
  }
}

// Each piece counted in the status line; the summary says where the pieces
// went, their sizes and the record.
TEST(SplitPlan, StatusCountsPiecesAndTheSummarySaysWhatWasWritten) {
  TempDir dir;
  makeSource("report.doc", 2 * P144 + 17664);
  RecordingFileServices fs;
  RecordingUi ui;
  proc1(fs, ui, "report.doc");
  EXPECT_EQ(ui.events, (std::vector<std::string>{
                           "status:分割中 report.doc.1 (1/3)", "status:分割中 report.doc.2 (2/3)",
                           "status:分割中 report.doc.3 (3/3)", "clear",
                           "message:分割完了\n" + fs.curDir() +
                               " に 1,457,664 バイトの分割ファイル 2 個と 17,664 バイトの 1 個を作りました．"
                               "記録 report.doc.crc を書きました．",
                           "refresh"}));
}

TEST(SplitPlan, NotLargerThanThePieceSizeWritesNothing) {
  for (std::int64_t size : {std::int64_t{0}, std::int64_t{1}, P144 - 1, P144}) {
    TempDir dir;
    makeSource("small.bin", size);
    RecordingFileServices fs;
    RecordingUi ui;
    proc1(fs, ui, "small.bin");
    EXPECT_EQ(fs.log, (std::vector<std::string>{"fileLen small.bin", "fileDateTime small.bin",
                                                "getAttr small.bin"}));
    // Exactly as long as a piece: "以下", not "小さい".
    EXPECT_EQ(ui.events, (std::vector<std::string>{size == P144
                                                       ? "message:ファイルが指定サイズ以下なので分割しませんでした．"
                                                       : "message:ファイルが指定サイズより小さいので分割しませんでした．"}));
    EXPECT_FALSE(exists("small.bin.1"));
  }
  // Between the two sizes: split at 1.2M, not at 1.44M.
  TempDir dir;
  makeSource("mid.bin", P12 + 1000);
  RecordingFileServices fs;
  RecordingUi ui;
  proc1(fs, ui, "mid.bin");
  EXPECT_FALSE(exists("mid.bin.1"));
  ui.size = kPieceSize12;
  proc1(fs, ui, "mid.bin");
  EXPECT_TRUE(exists("mid.bin.1"));
  EXPECT_TRUE(exists("mid.bin.2"));
  EXPECT_FALSE(exists("mid.bin.3"));
}

TEST(JoinPlan, MeasuresTheSetThenReadsEachPieceInBlocksAndItsTail) {
  TempDir dir;
  writeFile("r.doc.1", pattern(P144, 1));  // 48 blocks, a read that falls short, the tail
  writeFile("r.doc.2", pattern(P144, 2));
  writeFile("r.doc.3", pattern(60000, 3));  // two whole blocks, then a read of nothing
  RecordingFileServices fs;
  RecordingUi ui;
  ui.answer = 7;  // No
  proc1(fs, ui, "r.doc.2");

  Plan plan;
  auto probe = [&](const std::string& piece) {
    plan.add("fileLen " + piece);
    plan.add("fileDateTime " + piece);
    plan.add("getAttr " + piece);
  };
  auto blocks = [&](int n) {
    for (int i = 0; i < n; ++i) {
      plan.add("read #2 30000");
      plan.add("write #1 30000");
    }
  };
  // The set is measured before anything is written.
  plan.add("fileLen r.doc.1");
  plan.add("fileLen r.doc.2");
  plan.add("fileLen r.doc.3");
  // Written as a temporary with at most the pieces' permission bits.
  plan.add("getAttr r.doc.1");
  plan.add("getAttr r.doc.2");
  plan.add("getAttr r.doc.3");
  plan.add("temp ~r.doc #1");
  for (const char* piece : {"r.doc.1", "r.doc.2"}) {
    probe(piece);
    plan.add(std::string("openRead ") + piece + " #2");
    blocks(48);
    plan.add("read #2 30000");
    plan.tail(1440001, {10000, 5000, 2000, 500, 100, 50, 10, 1, 1, 1, 1}, 2, 1);
    plan.add("close #2");
  }
  probe("r.doc.3");
  plan.add("openRead r.doc.3 #2");
  blocks(2);
  plan.add("read #2 30000");
  plan.add("close #2");
  std::string mode = kFreshMode;
#ifndef _WIN32
  struct stat st {};
  ASSERT_EQ(::stat("r.doc.3", &st), 0);
  std::ostringstream text;
  text << std::oct << (st.st_mode & 0777);
  mode = text.str();
#endif
  // Stamped and given its mode before it has a name, then put in place
  // without waiting for the disk; kept open in case the pieces are to go.
  plan.add("stamp ~r.doc");
  plan.add("setAttr ~r.doc " + mode);
  plan.add("name #1 r.doc");
  plan.add("close #1");  // No: nothing is flushed
  EXPECT_EQ(fs.log, plan.calls);
  // Each piece counted; no record, no CRC.
  EXPECT_EQ(ui.events, (std::vector<std::string>{
                           "status:結合中 r.doc (1/3)", "status:結合中 r.doc (2/3)",
                           "status:結合中 r.doc (3/3)", "clear",
                           "message:結合完了\n" + fs.curDir() +
                               " に r.doc（2,975,328 バイト）を分割ファイル 3 個から作りました．"
                               "記録がないので CRC は確かめていません．",
                           "refresh", "question:分割ファイルを削除しますか？"}));
  EXPECT_EQ(readFile("r.doc"), pattern(P144, 1) + pattern(P144, 2) + pattern(60000, 3));
  EXPECT_EQ(filesHere(), (std::vector<std::string>{"r.doc", "r.doc.1", "r.doc.2", "r.doc.3"}));
}
