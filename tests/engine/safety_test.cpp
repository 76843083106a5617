// No request loses data: failures are caught and cleaned up, existing files
// keep their bytes, and nothing is written over the file being read.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "doubles.h"
#include "engine.h"
#include "messages.h"
#include "system_errors.h"

using namespace vexo;
using namespace vexo::test;
namespace stdfs = std::filesystem;

TEST(Safety, AnOldLongerPieceIsShortenedWhenWrittenAgain) {
  TempDir dir;
  const std::string original = pattern(kPieceSize144 + 10);
  writeFile("a.bin", original);
  writeFile("a.bin.2", pattern(50000, 9));
  RecordingFileServices fs;
  RecordingUi ui;
  proc1(fs, ui, "a.bin");  // asked whether to replace it: No is the default
  EXPECT_EQ(ui.events, std::vector<std::string>{"questionNo:a.bin.2 は既にあります．上書きしますか？"});
  EXPECT_EQ(filesHere(), (std::vector<std::string>{"a.bin", "a.bin.2"}));
  ui.answerNo = kAnswerYes;
  proc1(fs, ui, "a.bin");
  EXPECT_EQ(readFile("a.bin.2"), original.substr(kPieceSize144));
}

TEST(Safety, AnExistingJoinedFileKeepsEverythingWhenPieceOneIsMissing) {
  TempDir dir;
  writeFile("r.doc", "precious bytes");
#ifdef _WIN32
  // Hidden, and stamped 2001-01-01 00:00:00 local time.
  auto system = makeSystemFileServices();
  const FileDateTime stamp = localDateTime(2001, 1, 1, 0, 0, 0);
  system->setAttr("r.doc", 0x22);
  ASSERT_TRUE(system->setFileDateTime("r.doc", stamp));
  const FileAttributes bits = system->getAttr("r.doc");
  ASSERT_NE(bits & 0x02, 0u);
#else
  ASSERT_EQ(::chmod("r.doc", 0600), 0);
  struct timespec times[2] = {{978307200, 0}, {978307200, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, "r.doc", times, 0), 0);
#endif
  writeFile("r.doc.2", "second");
  RecordingFileServices fs;
  RecordingUi ui;  // answers Yes: nothing may be deleted either
  proc1(fs, ui, "r.doc.2");
  EXPECT_EQ(readFile("r.doc"), "precious bytes");
#ifdef _WIN32
  EXPECT_EQ(system->fileDateTime("r.doc"), stamp);
  EXPECT_EQ(system->getAttr("r.doc"), bits);
#else
  struct stat st {};
  ASSERT_EQ(::stat("r.doc", &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 978307200);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
#endif
  EXPECT_TRUE(exists("r.doc.2"));
  // Said so, and nothing else: no completion, no deletion question.
  EXPECT_EQ(ui.events, std::vector<std::string>{"message:分割ファイル r.doc.1 が見つかりません．"});
  for (const auto& call : fs.log) {
    EXPECT_NE(call.rfind("truncate", 0), 0u);
    EXPECT_NE(call.rfind("stamp", 0), 0u);
    EXPECT_NE(call.rfind("setAttr", 0), 0u);
    EXPECT_NE(call.rfind("kill", 0), 0u);
  }
}

TEST(Safety, NoEmptyJoinedFileIsLeftWhenThereIsNoPieceOne) {
  TempDir dir;
  writeFile("gone.3", "x");
  RecordingFileServices fs;
  RecordingUi ui;
  ui.answer = 7;
  proc1(fs, ui, "gone.3");
  EXPECT_FALSE(exists("gone"));
  EXPECT_EQ(filesHere(), std::vector<std::string>{"gone.3"});
}

TEST(Safety, ALongerExistingJoinedFileIsShortened) {
  TempDir dir;
  writeFile("j", std::string(100, 'z'));
  writeFile("j.1", "abc");
  RecordingFileServices fs;
  RecordingUi ui;
  proc1(fs, ui, "j.1");  // No, the default, to replacing j
  EXPECT_EQ(ui.events, std::vector<std::string>{"questionNo:j は既にあります．上書きしますか？"});
  EXPECT_EQ(readFile("j"), std::string(100, 'z'));
  ui.answerNo = kAnswerYes;
  proc1(fs, ui, "j.1");
  EXPECT_EQ(readFile("j"), "abc");
}

#ifndef _WIN32
TEST(Safety, APieceNameThatIsALinkToADeviceIsRefused) {
  if (!exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  TempDir dir;
  const std::string original = pattern(2 * kPieceSize144 + 1);
  writeFile("big.dat", original);
  stdfs::create_symlink("/dev/full", "big.dat.2");
  const int descriptors = openDescriptors();
  RecordingFileServices fs;
  RecordingUi ui;
  ui.answerNo = kAnswerYes;  // would replace ordinary files, never a link
  proc1(fs, ui, "big.dat");
  EXPECT_EQ(ui.events, std::vector<std::string>{"message:" + text::notRegularFile("big.dat.2")});
  EXPECT_EQ(filesHere(), (std::vector<std::string>{"big.dat", "big.dat.2"}));
  EXPECT_EQ(readFile("big.dat"), original);
  EXPECT_EQ(fs.openFiles(), 0);
  EXPECT_EQ(openDescriptors(), descriptors);
  for (const auto& call : fs.log) EXPECT_NE(call.rfind("open", 0), 0u) << call;
  // The program goes on: the next request works.
  stdfs::remove("big.dat.2");
  ui.events.clear();
  proc1(fs, ui, "big.dat");
  EXPECT_EQ(ui.headlines(), std::vector<std::string>{"分割完了"});
  EXPECT_EQ(readFile("big.dat.3"), original.substr(2 * kPieceSize144));
}

#endif  // !_WIN32

// The fault matrix of a split: every kind of file call failing at the first,
// a middle and the last piece of s.1, s.2, s.3 (short naming). After each,
// the user has the right message, every file is closed, no incomplete set
// of pieces is left (or the one that could not be removed is named), the
// source is untouched, and the next request splits normally.
TEST(Safety, SplitFaultMatrix) {
  enum Outcome { Fails, StampWarns, PieceLeft };
  struct Fault {
    const char* op;
    int nth;
    int number;
    const char* name;
  };
  struct Row {
    std::vector<Fault> faults;
    Outcome outcome;
    const char* named = "";  // the piece a message names
  };
  const Row rows[] = {
      // Finding out about the source and opening it, before any piece.
      {{{"fileLen", 1, 70, "s"}}, Fails},
      {{{"fileDateTime", 1, 57, "s"}}, Fails},
      {{{"getAttr", 1, 70, "s"}}, Fails},
      {{{"openRead", 1, 70, "s"}}, Fails},
      // Creating a piece (piece 1 as a temporary).
      {{{"createTemporary", 1, 70, "~s.1"}}, Fails},
      {{{"createExclusive", 1, 70, "s.2"}}, Fails},
      {{{"createExclusive", 1, 61, "s.3"}}, Fails},
      // Reading the source: within the first and the middle piece, the last
      // piece's first (short) read and its tail.
      {{{"read", 1, 57, "s"}}, Fails},
      {{{"read", 75, 57, "s"}}, Fails},
      {{{"read", 99, 57, "s"}}, Fails},
      {{{"read", 100, 57, "s"}}, Fails},
      // Writing a piece (disk full).
      {{{"write", 1, 61, "~s.1"}}, Fails},
      {{{"write", 30, 61, "s.2"}}, Fails},
      {{{"write", 1, 61, "s.3"}}, Fails},
      // Closing a piece: its data may not have reached the disk; and the
      // source at the end. Piece 1 is closed once it has its name.
      {{{"close", 1, 57, "s.1"}}, Fails},
      {{{"close", 1, 57, "s.2"}}, Fails},
      {{{"close", 1, 57, "s.3"}}, Fails},
      {{{"close", 1, 57, "s"}}, Fails},
      // Checking that the source did not change.
      {{{"fileLen", 2, 70, "s"}}, Fails},
      {{{"fileDateTime", 2, 57, "s"}}, Fails},
      // The record, and putting it and piece 1 in place.
      {{{"createTemporary", 1, 61, "~s.crc"}}, Fails},
      {{{"write", 1, 61, "~s.crc"}}, Fails},
      {{{"flush", 1, 57, "~s.crc"}}, Fails},
      {{{"close", 1, 57, "s.crc"}}, Fails},
      {{{"setAttr", 1, 70, "~s.crc"}}, Fails},
      {{{"nameTemporary", 1, 70, "s.crc"}}, Fails},
      {{{"nameTemporary", 1, 58, "s.1"}}, Fails},
      // Giving a piece the source's attributes.
      {{{"setAttr", 1, 70, "~s.1"}}, Fails},
      {{{"setAttr", 1, 70, "s.2"}}, Fails},
      {{{"setAttr", 1, 70, "s.3"}}, Fails},
      // Stamping a piece: reported, and the split goes on.
      {{{"stamp", 1, 0, "~s.1"}}, StampWarns, "s.1"},
      {{{"stamp", 1, 0, "s.2"}}, StampWarns, "s.2"},
      {{{"stamp", 1, 0, "s.3"}}, StampWarns, "s.3"},
      // Removing the pieces after the disk filled up in the last one.
      {{{"write", 1, 61, "s.3"}, {"kill", 1, 70, "s.2"}}, PieceLeft, "s.2"},
      {{{"write", 1, 61, "s.3"}, {"kill", 1, 70, "s.3"}}, PieceLeft, "s.3"},
  };
  const std::string original = pattern(2 * kPieceSize144 + 20);
  const std::vector<std::string> pieces{original.substr(0, kPieceSize144),
                                        original.substr(kPieceSize144, kPieceSize144),
                                        original.substr(2 * kPieceSize144)};
  auto system = makeSystemFileServices();
  const FileDateTime sourceTime = localDateTime(2001, 1, 1, 0, 0, 0);
#ifdef _WIN32
  const FileAttributes sourceBits = 0x20;  // archive
#else
  const FileAttributes sourceBits = 0640;
#endif
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.faults.back().op) + " " + row.faults.back().name + " #" +
                 std::to_string(row.faults.back().nth));
    TempDir dir;
    writeFile("s", original);
    system->setAttr("s", sourceBits);
    ASSERT_TRUE(system->setFileDateTime("s", sourceTime));
    const int descriptors = openDescriptors();
    RecordingFileServices fs;
    for (const Fault& fault : row.faults) fs.failOn(fault.op, fault.nth, fault.number, fault.name);
    RecordingUi ui;
    ui.check = 1;
    proc1(fs, ui, "s");

    // The message names the file, a hidden one as the file it becomes.
    std::string file = row.faults.front().name;
    if (file[0] == '~') file.erase(0, 1);
    const std::string error = text::errorText(row.faults.front().number, file);
    switch (row.outcome) {
      case Fails:
        EXPECT_EQ(ui.messages(), std::vector<std::string>{error});
        EXPECT_EQ(filesHere(), std::vector<std::string>{"s"});
        break;
      case PieceLeft:
        EXPECT_EQ(ui.messages(), (std::vector<std::string>{
                                     error, std::string("途中までの分割ファイルを削除できませんでした．") + row.named}));
        EXPECT_EQ(filesHere(), (std::vector<std::string>{std::min<std::string>("s", row.named),
                                                         std::max<std::string>("s", row.named)}));
        break;
      case StampWarns:
        EXPECT_EQ(ui.headlines(), (std::vector<std::string>{std::string("SetFileDateTime Error File=") + row.named,
                                                           "分割完了"}));
        EXPECT_EQ(filesHere(), (std::vector<std::string>{"s", "s.1", "s.2", "s.3", "s.crc"}));
        for (int k = 1; k <= 3; ++k) {
          const std::string piece = "s." + std::to_string(k);
          EXPECT_EQ(readFile(piece), pieces[k - 1]) << piece;
          EXPECT_EQ(system->getAttr(piece), sourceBits) << piece;  // attributes still applied
          EXPECT_EQ(system->fileDateTime(piece) == sourceTime, piece != row.named) << piece;
        }
        break;
    }
    EXPECT_EQ(readFile("s"), original);
    EXPECT_EQ(fs.openFiles(), 0);
    EXPECT_EQ(fs.freeFile(), 1);
    EXPECT_EQ(openDescriptors(), descriptors);

    // The program goes on: the same request again, without the fault
    // (replacing what is left, if anything).
    RecordingFileServices again;
    ui.events.clear();
    ui.answerNo = kAnswerYes;
    proc1(again, ui, "s");
    EXPECT_EQ(ui.headlines(), std::vector<std::string>{"分割完了"});
    for (int k = 1; k <= 3; ++k) EXPECT_EQ(readFile("s." + std::to_string(k)), pieces[k - 1]);
    EXPECT_FALSE(exists("s.4"));
  }
}

TEST(Safety, AFailedSplitLeavesAnUnrelatedExistingPieceAlone) {
  TempDir dir;
  writeFile("s", pattern(kPieceSize144 + 20));
  writeFile("s.2", "somebody else's file");
  RecordingFileServices fs;
  fs.failOn("createExclusive", 1, 70, "s.2");
  RecordingUi ui;
  ui.check = 1;
  proc1(fs, ui, "s");
  EXPECT_EQ(readFile("s.2"), "somebody else's file");
  EXPECT_FALSE(exists("s.1"));
}

// The fault matrix of a join of j.1, j.2 (1,457,664 bytes each) and j.3
// (99 bytes) into j: every kind of file call failing at the first, a middle
// and the last piece, each with and without an older j already there. After
// each, the user has the right message, every file is closed, every piece
// is still there, a half-written j is gone while an older j keeps its bytes
// if the failure came before piece 1 was opened, and the next request joins.
TEST(Safety, JoinFaultMatrix) {
  enum Outcome {
    Fails,         // j is not written, or half-written and removed
    StampWarns,    // reported; the join completes
    FlushStops,    // j is made, but no piece goes: j may not be on the disk
    DeleteSkips,   // that piece stays, named; the others are deleted
  };
  struct Row {
    const char* op;
    int nth;
    int number;
    const char* name;
    Outcome outcome;
  };
  // Writes of j: 59 for each full piece (48 blocks and a tail of 11).
  const Row rows[] = {
      {"createTemporary", 1, 70, "~j", Fails},  // the file cannot be created
      // Measuring the set, and finding out about a piece.
      {"fileLen", 1, 57, "j.1", Fails},
      {"fileLen", 1, 57, "j.2", Fails},
      {"fileLen", 2, 57, "j.1", Fails},
      {"fileLen", 2, 57, "j.2", Fails},
      {"fileDateTime", 1, 57, "j.2", Fails},
      {"getAttr", 1, 70, "j.1", Fails},
      {"getAttr", 1, 70, "j.3", Fails},
      // Opening, reading and closing a piece.
      {"openRead", 1, 70, "j.1", Fails},
      {"openRead", 1, 70, "j.2", Fails},
      {"openRead", 1, 70, "j.3", Fails},
      {"read", 1, 57, "j.1", Fails},
      {"read", 3, 57, "j.2", Fails},
      {"read", 1, 57, "j.3", Fails},
      {"close", 1, 57, "j.1", Fails},
      {"close", 1, 57, "j.2", Fails},
      {"close", 1, 57, "j.3", Fails},
      // Writing and closing j (disk full, data not on the disk).
      {"write", 1, 61, "~j", Fails},
      {"write", 60, 61, "~j", Fails},
      {"write", 100, 61, "~j", Fails},
      {"write", 119, 61, "~j", Fails},
      // Stamping it and giving it the attributes, and putting it in place.
      {"stamp", 1, 0, "~j", StampWarns},
      {"setAttr", 1, 70, "~j", Fails},
      {"nameTemporary", 1, 70, "j", Fails},
      // Getting it and its name onto the disk before the pieces go.
      {"flush", 1, 57, "j", FlushStops},
      {"syncFolder", 1, 57, "", FlushStops},
      {"close", 1, 57, "j", FlushStops},
      // Deleting the pieces after the join.
      {"kill", 1, 70, "j.1", DeleteSkips},
      {"kill", 1, 70, "j.2", DeleteSkips},
      {"kill", 1, 70, "j.3", DeleteSkips},
  };
  const std::vector<std::string> pieces{pattern(kPieceSize144, 1), pattern(kPieceSize144, 2), pattern(99, 3)};
  const std::string joined = pieces[0] + pieces[1] + pieces[2];
  const std::string older = "an older j";
  for (const Row& row : rows) {
    for (const bool olderThere : {false, true}) {
      SCOPED_TRACE(std::string(row.op) + " " + row.name + " #" + std::to_string(row.nth) +
                   (olderThere ? ", older j there" : ""));
      TempDir dir;
      for (int k = 1; k <= 3; ++k) writeFile("j." + std::to_string(k), pieces[k - 1]);
      if (olderThere) writeFile("j", older);
      const int descriptors = openDescriptors();
      RecordingFileServices fs;
      fs.failOn(row.op, row.nth, row.number, row.name);
      RecordingUi ui;  // answers Yes: the pieces are deleted after the join
      ui.answerNo = kAnswerYes;  // and an older j is replaced
      proc1(fs, ui, "j.2");

      const std::string error = text::errorText(row.number, std::string(row.name) == "~j" ? "j" : row.name);
      int deleted = 0;  // pieces 1 to `deleted` are gone
      std::string kept;  // or all but this one
      switch (row.outcome) {
        case Fails:
          // An older j is never touched; no half-made file is left.
          EXPECT_EQ(ui.messages(), std::vector<std::string>{error});
          if (olderThere)
            EXPECT_EQ(readFile("j"), older);
          else
            EXPECT_FALSE(exists("j"));
          EXPECT_EQ(filesHere().size(), olderThere ? 4u : 3u);
          break;
        case StampWarns:
          EXPECT_EQ(ui.headlines(), (std::vector<std::string>{"SetFileDateTime Error File=j", "結合完了"}));
          EXPECT_EQ(readFile("j"), joined);
          deleted = 3;
          break;
        case FlushStops:
          EXPECT_EQ(ui.headlines(), (std::vector<std::string>{"結合完了", error}));
          EXPECT_EQ(readFile("j"), joined);
          break;
        case DeleteSkips:
          // The piece that cannot be deleted is named; the others go.
          EXPECT_EQ(ui.headlines(),
                    (std::vector<std::string>{
                        "結合完了", text::notDeleted({std::string(row.name) + "：" + text::errorReason(row.number)})}));
          EXPECT_EQ(readFile("j"), joined);
          kept = row.name;
          break;
      }
      for (int k = 1; k <= 3; ++k) {
        const std::string piece = "j." + std::to_string(k);
        if (k <= deleted || (!kept.empty() && piece != kept))
          EXPECT_FALSE(exists(piece)) << piece;
        else
          EXPECT_EQ(readFile(piece), pieces[k - 1]) << piece;
      }
      EXPECT_EQ(fs.openFiles(), 0);
      EXPECT_EQ(fs.freeFile(), 1);
      EXPECT_EQ(openDescriptors(), descriptors);

      // The program goes on: the same request again, without the fault. With
      // piece 1 gone nothing is joined and the j there keeps its bytes.
      if (deleted == 3 || !kept.empty()) continue;
      RecordingFileServices again;
      ui.events.clear();
      ui.answer = 7;
      proc1(again, ui, "j." + std::to_string(deleted + 1));
      EXPECT_EQ(ui.headlines(), std::vector<std::string>{deleted == 0 ? "結合完了" : text::pieceNotFound("j.1")});
      if (deleted == 0 || exists("j")) {
        EXPECT_EQ(readFile("j"), joined);
      }
    }
  }
}

TEST(Safety, AHalfMadeFileGoesWithoutATrace) {
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed temporary" : "hidden temporary");
    TempDir dir;
    writeFile("j.1", pattern(100000));
    SystemFileOptions options;
    options.unnamedTemporaries = unnamed;
    RecordingFileServices fs(makeSystemFileServices(options));
    fs.failOn("write", 2, 61, "~j");
    RecordingUi ui;
    proc1(fs, ui, "j.1");
    EXPECT_EQ(ui.events,
              (std::vector<std::string>{"status:結合中 j (1/1)", "message:" + text::errorText(61, "j"), "refresh"}));
    EXPECT_EQ(filesHere(), std::vector<std::string>{"j.1"});
    EXPECT_EQ(fs.openFiles(), 0);
  }
}

TEST(Safety, AJoinFailureBeforePieceOneKeepsAnExistingFile) {
  TempDir dir;
  writeFile("j", "old");
  writeFile("j.1", "new");
  RecordingFileServices fs;
  fs.failOn("fileLen", 1, 57, "j.1");
  RecordingUi ui;
  proc1(fs, ui, "j.1");
  EXPECT_EQ(readFile("j"), "old");
  EXPECT_EQ(ui.events, (std::vector<std::string>{"message:" + text::errorText(57, "j.1")}));
}

TEST(Safety, APieceThatCannotBeDeletedIsNamedAndTheOthersGo) {
  TempDir dir;
  writeFile("d.1", "a");
  writeFile("d.2", "b");
  writeFile("d.3", "c");
  RecordingFileServices fs;
  fs.failOn("kill", 1, 70, "d.2");
  RecordingUi ui;
  proc1(fs, ui, "d.1");
  EXPECT_EQ(readFile("d"), "abc");  // complete, so it stays
  EXPECT_FALSE(exists("d.1"));
  EXPECT_TRUE(exists("d.2"));
  EXPECT_FALSE(exists("d.3"));
  EXPECT_EQ(ui.headlines(), (std::vector<std::string>{"結合完了", text::notDeleted({"d.2：アクセスが拒否されました"})}));
}

TEST(Safety, APieceThatVanishedBeforeDeletionIsSkipped) {
  TempDir dir;
  writeFile("v.1", "a");
  writeFile("v.2", "b");
  RecordingFileServices fs;
  RecordingUi ui;
  ui.answer = kAnswerYes;
  fs.beforeCall = [](const std::string& op, const std::string& name) {
    if (op == "kill" && name == "v.1") stdfs::remove("v.1");
  };
  proc1(fs, ui, "v.2");
  EXPECT_EQ(ui.headlines(), std::vector<std::string>{"結合完了"});
  EXPECT_FALSE(exists("v.2"));
  EXPECT_EQ(ui.events.back(), "refresh");
}

TEST(Safety, APieceThatVanishesAfterItsProbeFailsTheJoin) {
  TempDir dir;
  writeFile("w.1", "a");
  writeFile("w.2", "b");
  RecordingFileServices fs;
  fs.beforeCall = [](const std::string& op, const std::string& name) {
    if (op == "openRead" && name == "w.2") stdfs::remove("w.2");
  };
  RecordingUi ui;
  proc1(fs, ui, "w.1");
#ifdef _WIN32
  const std::string gone = win32Reason(ERROR_FILE_NOT_FOUND);
#else
  const std::string gone = errnoReason(ENOENT);
#endif
  EXPECT_EQ(ui.messages(), std::vector<std::string>{text::errorText(53, "w.2", gone)});
  EXPECT_FALSE(exists("w"));
  EXPECT_TRUE(exists("w.1"));
}

TEST(Safety, ASourceThatShrinksWhileSplitFailsTheSplit) {
  TempDir dir;
  const std::string original = pattern(3 * kPieceSize144);
  writeFile("shrink", original);
  RecordingFileServices fs;
  int reads = 0;
  fs.beforeCall = [&](const std::string& op, const std::string& name) {
    if (op == "read" && name == "shrink" && ++reads == 10) stdfs::resize_file("shrink", 300123);
  };
  RecordingUi ui;
  proc1(fs, ui, "shrink");
  // Copied to its new end, then found changed: no piece stays.
  EXPECT_EQ(ui.messages(), std::vector<std::string>{text::sourceChanged("shrink")});
  EXPECT_EQ(filesHere(), std::vector<std::string>{"shrink"});
}

TEST(Safety, ASplitNeverWritesOverItsSource) {
  {
    // Short naming of data.1000: piece 1000 would be the source itself.
    TempDir dir;
    RecordingFileServices fs;
    fs.addVirtual("@data.1000", std::int64_t{kPieceSize144} * 1000);
    RecordingUi ui;
    ui.check = 1;
    proc1(fs, ui, "@data.1000");
    EXPECT_EQ(ui.events, std::vector<std::string>{
                             "message:分割ファイルの名前が元のファイルと同じになるので分割できません．"});
    EXPECT_EQ(fs.virtualCount(), 1u);
    // Long naming gives other names and splits.
    ui.check = 0;
    ui.events.clear();
    fs.recordBlocks = false;
    proc1(fs, ui, "@data.1000");
    EXPECT_TRUE(fs.virtualExists("@data.1000.1000"));
    EXPECT_FALSE(fs.virtualExists("@data.1000.1001"));
  }
  {
    // A piece name that is another name (a hard link) of the source.
    TempDir dir;
    const std::string original = pattern(2 * kPieceSize144 + 5);
    writeFile("report.doc", original);
    stdfs::create_hard_link("report.doc", "report.doc.2");
    RecordingFileServices fs;
    RecordingUi ui;
    proc1(fs, ui, "report.doc");
    EXPECT_EQ(ui.messages(),
              std::vector<std::string>{"分割ファイルの名前が元のファイルと同じになるので分割できません．"});
    EXPECT_EQ(readFile("report.doc"), original);
    EXPECT_FALSE(exists("report.doc.1"));
  }
}

TEST(Safety, AJoinNeverWritesOverItsPieces) {
  {
    // Short naming with the extension "2": the result would be piece 2.
    TempDir dir;
    writeFile("report.1", "one");
    writeFile("report.2", "two");
    writeFile("report.3", "three");
    RecordingFileServices fs;
    RecordingUi ui;
    ui.check = 1;
    ui.extension = "2";
    proc1(fs, ui, "report.1");
    EXPECT_EQ(ui.events, (std::vector<std::string>{
                             "prompt", "message:結合後のファイル名が分割ファイルの名前と同じになるので結合できません．"}));
    EXPECT_TRUE(fs.log.empty());
    EXPECT_EQ(readFile("report.2"), "two");
    EXPECT_EQ(filesHere(), (std::vector<std::string>{"report.1", "report.2", "report.3"}));
  }
  {
    // The joined name is another name (a hard link) of piece 1.
    TempDir dir;
    writeFile("r.doc.1", "one");
    writeFile("r.doc.2", "two");
    stdfs::create_hard_link("r.doc.1", "r.doc");
    RecordingFileServices fs;
    RecordingUi ui;
    proc1(fs, ui, "r.doc.2");
    EXPECT_EQ(ui.messages(), std::vector<std::string>{
                                 "結合後のファイル名が分割ファイルの名前と同じになるので結合できません．"});
    EXPECT_EQ(readFile("r.doc.1"), "one");
  }
  {
    // An extension that would put the result in another directory.
    TempDir dir;
    writeFile("p.1", "one");
    RecordingFileServices fs;
    RecordingUi ui;
    ui.check = 1;
    ui.extension = "x/../../escaped";
    proc1(fs, ui, "p.1");
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"拡張子に使えない文字が含まれています．"});
    EXPECT_TRUE(fs.log.empty());
  }
}

TEST(Safety, AFailureOfAnyKindLeavesNothingHalfMade) {
  // Whatever ends a request early (here memory running out while a block
  // moves), it cleans up along its one way out and the failure goes on to
  // the caller.
  const struct {
    const char* chosen;
    std::vector<std::string> before;
  } cases[] = {
      {"s.dat", {"s.dat"}},
      {"s.dat.1", {"s.dat.1", "s.dat.2", "s.dat.crc"}},
  };
  for (const auto& c : cases) {
    TempDir dir;
    writeFile("s.dat", pattern(kPieceSize12 + 9));
    if (c.before.size() > 1) {
      RecordingUi ui;
      ui.size = kPieceSize12;
      proc1(*makeSystemFileServices(), ui, "s.dat");
      stdfs::remove("s.dat");
    }
    ASSERT_EQ(filesHere(), c.before);
    RecordingFileServices fs;
    int writes = 0;
    fs.beforeCall = [&](const std::string& op, const std::string&) {
      if (op == "write" && ++writes == 3) throw std::bad_alloc();
    };
    RecordingUi ui;
    ui.size = kPieceSize12;
    EXPECT_THROW(proc1(fs, ui, c.chosen), std::bad_alloc) << c.chosen;
    EXPECT_EQ(filesHere(), c.before) << c.chosen;
    EXPECT_EQ(fs.openFiles(), 0) << c.chosen;
  }
}
