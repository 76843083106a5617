// No request loses data: failures are caught and cleaned up, existing files
// keep their bytes, and nothing is written over the file being read.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "doubles.h"
#include "engine.h"

using namespace vexo;
using namespace vexo::test;
namespace stdfs = std::filesystem;

namespace {

int openDescriptors() {
  int n = 0;
  for ([[maybe_unused]] auto& e : stdfs::directory_iterator("/proc/self/fd")) ++n;
  return n;
}

std::vector<std::string> filesHere() {
  std::vector<std::string> names;
  for (auto& e : stdfs::directory_iterator(".")) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(Safety, AnOldLongerPieceIsShortenedWhenWrittenAgain) {
  TempDir dir;
  const std::string original = pattern(kPieceSize144 + 10);
  writeFile("a.bin", original);
  writeFile("a.bin.2", pattern(50000, 9));
  RecordingFileServices fs;
  RecordingUi ui;
  proc1(fs, ui, "a.bin");
  EXPECT_EQ(readFile("a.bin.2"), original.substr(kPieceSize144));
}

TEST(Safety, AnExistingJoinedFileKeepsEverythingWhenPieceOneIsMissing) {
  TempDir dir;
  writeFile("r.doc", "precious bytes");
  ASSERT_EQ(::chmod("r.doc", 0600), 0);
  struct timespec times[2] = {{978307200, 0}, {978307200, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, "r.doc", times, 0), 0);
  writeFile("r.doc.2", "second");
  RecordingFileServices fs;
  RecordingUi ui;  // answers Yes: nothing may be deleted either
  proc1(fs, ui, "r.doc.2");
  EXPECT_EQ(readFile("r.doc"), "precious bytes");
  struct stat st {};
  ASSERT_EQ(::stat("r.doc", &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 978307200);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_TRUE(exists("r.doc.2"));
  EXPECT_EQ(ui.events, (std::vector<std::string>{"status:結合中 r.doc", "clear", "message:結合完了", "refresh",
                                                 "question:分割ファイルを削除しますか？", "refresh"}));
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
  proc1(fs, ui, "j.1");
  EXPECT_EQ(readFile("j"), "abc");
}

TEST(Safety, ARealFullDiskFailsTheSplitCleanly) {
  if (!exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this system";
  TempDir dir;
  const std::string original = pattern(2 * kPieceSize144 + 1);
  writeFile("big.dat", original);
  stdfs::create_symlink("/dev/full", "big.dat.2");
  const int descriptors = openDescriptors();
  RecordingFileServices fs;
  RecordingUi ui;
  proc1(fs, ui, "big.dat");
  EXPECT_EQ(ui.events, (std::vector<std::string>{"status:分割中 big.dat.1", "status:分割中 big.dat.2",
                                                 "message:エラーです．エラー番号:61", "clear", "refresh"}));
  EXPECT_EQ(filesHere(), std::vector<std::string>{"big.dat"});
  EXPECT_EQ(readFile("big.dat"), original);
  EXPECT_EQ(fs.openFiles(), 0);
  EXPECT_EQ(openDescriptors(), descriptors);
  // The program goes on: the next request works.
  ui.events.clear();
  proc1(fs, ui, "big.dat");
  EXPECT_EQ(ui.messages(), std::vector<std::string>{"分割完了"});
  EXPECT_EQ(readFile("big.dat.3"), original.substr(2 * kPieceSize144));
}

TEST(Safety, InjectedSplitFaultsRemoveThePiecesAndCloseEverything) {
  struct Fault {
    const char* op;
    int nth;
    int number;
    const char* name;
  };
  const Fault faults[] = {
      {"openWrite", 1, 70, "s.1"},  // the first piece cannot be created
      {"openWrite", 1, 70, "s.2"},  // a middle piece
      {"openWrite", 1, 61, "s.3"},  // the last piece
      {"write", 30, 61, "s.2"},     // disk full within a piece
      {"read", 1, 57, "s"},         // the source cannot be read
      {"read", 75, 57, "s"},        // nor later on
      {"read", 100, 57, "s"},        // nor in the tail (its first read)
      {"close", 1, 57, "s.2"},      // the data of a piece did not reach the disk
      {"setAttr", 1, 70, "s.3"},
      {"openRead", 1, 70, "s"},
      {"fileLen", 1, 70, "s"},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(std::string(fault.op) + " " + fault.name);
    TempDir dir;
    const std::string original = pattern(2 * kPieceSize144 + 20);
    writeFile("s", original);
    RecordingFileServices fs;
    fs.failOn(fault.op, fault.nth, fault.number, fault.name);
    RecordingUi ui;
    ui.check = 1;
    proc1(fs, ui, "s");
    const auto messages = ui.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "エラーです．エラー番号:" + std::to_string(fault.number));
    EXPECT_EQ(filesHere(), std::vector<std::string>{"s"});
    EXPECT_EQ(readFile("s"), original);
    EXPECT_EQ(fs.openFiles(), 0);
    EXPECT_EQ(fs.freeFile(), 1);
  }
}

TEST(Safety, AFailedSplitLeavesAnUnrelatedExistingPieceAlone) {
  TempDir dir;
  writeFile("s", pattern(kPieceSize144 + 20));
  writeFile("s.2", "somebody else's file");
  RecordingFileServices fs;
  fs.failOn("openWrite", 1, 70, "s.2");
  RecordingUi ui;
  ui.check = 1;
  proc1(fs, ui, "s");
  EXPECT_EQ(readFile("s.2"), "somebody else's file");
  EXPECT_FALSE(exists("s.1"));
}

TEST(Safety, InjectedJoinFaultsRemoveTheHalfWrittenFileButKeepThePieces) {
  struct Fault {
    const char* op;
    int nth;
    int number;
    const char* name;
    bool joinedLeft;  // the joined file is still there after the failure
  };
  const Fault faults[] = {
      {"openWrite", 1, 70, "j", false},  // cannot be created
      {"read", 3, 57, "j.2", false},     // a piece cannot be read
      {"write", 100, 61, "j", false},    // disk full
      {"openRead", 1, 70, "j.3", false},
      {"fileLen", 1, 57, "j.2", false},
      {"close", 1, 57, "j", false},
      {"setAttr", 1, 70, "j", true},  // the joined file is complete by then
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(std::string(fault.op) + " " + fault.name);
    TempDir dir;
    const std::string a = pattern(kPieceSize144, 1), b = pattern(kPieceSize144, 2), c = pattern(99, 3);
    writeFile("j.1", a);
    writeFile("j.2", b);
    writeFile("j.3", c);
    RecordingFileServices fs;
    fs.failOn(fault.op, fault.nth, fault.number, fault.name);
    RecordingUi ui;
    proc1(fs, ui, "j.2");
    EXPECT_EQ(ui.messages(), std::vector<std::string>{"エラーです．エラー番号:" + std::to_string(fault.number)});
    EXPECT_EQ(exists("j"), fault.joinedLeft);
    EXPECT_EQ(readFile("j.1"), a);
    EXPECT_EQ(readFile("j.2"), b);
    EXPECT_EQ(readFile("j.3"), c);
    EXPECT_EQ(fs.openFiles(), 0);
    EXPECT_NE(std::find(fs.log.begin(), fs.log.end(), "closeAll"), fs.log.end());
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
  EXPECT_EQ(ui.events, (std::vector<std::string>{"status:結合中 j", "message:エラーです．エラー番号:57"}));
}

TEST(Safety, APieceThatCannotBeDeletedStopsTheDeletion) {
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
  EXPECT_TRUE(exists("d.3"));
  EXPECT_EQ(ui.messages(), (std::vector<std::string>{"結合完了", "エラーです．エラー番号:70"}));
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
  EXPECT_EQ(ui.messages(), std::vector<std::string>{"結合完了"});
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
  EXPECT_EQ(ui.messages(), std::vector<std::string>{"エラーです．エラー番号:53"});
  EXPECT_FALSE(exists("w"));
  EXPECT_TRUE(exists("w.1"));
}

TEST(Safety, ASourceThatShrinksWhileSplitIsCopiedToItsNewEnd) {
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
  EXPECT_EQ(readFile("shrink.1"), original.substr(0, 300123));
  EXPECT_FALSE(exists("shrink.2"));
  EXPECT_EQ(ui.messages(), std::vector<std::string>{"分割完了"});
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
    EXPECT_TRUE(fs.virtualExists("@data.1000.1001"));
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
