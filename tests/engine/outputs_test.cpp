// The files a request makes: in the folders it was given, private from the
// start, never over a name it did not agree to replace, gone without a trace
// when it is cut short, and on the disk before any piece goes.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <functional>

#include "doubles.h"
#include "engine.h"
#include "messages.h"

using namespace vexo;
using namespace vexo::test;
namespace stdfs = std::filesystem;

namespace {

const std::string kSourceBytes = pattern(2 * kPieceSize12 + 77, 5);

// Names in a folder, sorted.
std::vector<std::string> filesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (auto& e : stdfs::directory_iterator(nativePath(folder))) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool anyHidden(const std::vector<std::string>& names) {
  return std::any_of(names.begin(), names.end(), [](const std::string& n) { return n.rfind(".vexo-", 0) == 0; });
}

// The ways temporaries can be made here: unnamed, and under hidden names
// with the no-replace rename or the hard-link fallback where there is none.
struct Way {
  const char* what;
  SystemFileOptions options;
};
const Way kWays[] = {
    {"unnamed", {true, true}},
    {"hidden, no-replace rename", {false, true}},
    {"hidden, hard-link rename", {false, false}},
};

}  // namespace

// At the level of the file services: a temporary has no name until it is
// given one, closing it before then leaves nothing, and a name is taken
// over only when replacing was asked for.
TEST(Temporaries, NamedOnlyOnceAndNeverOverAnotherFileUnlessAsked) {
  for (const Way& way : kWays) {
    SCOPED_TRACE(way.what);
    TempDir dir;
    auto fs = makeSystemFileServices(way.options);
    writeFile("taken", "someone's");

    fs->createTemporary(1, 0644, "dropped");
    fs->write(1, "abc", 3);
    fs->close(1);
    fs->createTemporary(1, 0644, "taken");
    fs->write(1, "new", 3);
    try {
      fs->nameTemporary(1, "taken", false);
      ADD_FAILURE() << "named over an existing file";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), err::FileAlreadyExists);
      EXPECT_EQ(e.file(), "taken");
    }
    fs->close(1);  // still without a name: it goes
    EXPECT_EQ(readFile("taken"), "someone's");

    fs->createTemporary(1, 0644, "taken");
    fs->write(1, "replaced", 8);
    fs->nameTemporary(1, "taken", true);
    fs->createTemporary(2, 0644, "fresh");
    fs->write(2, "fresh", 5);
    fs->nameTemporary(2, "fresh", false);
    fs->close(2);
    fs->close(1);  // named: it stays
    EXPECT_EQ(readFile("taken"), "replaced");
    EXPECT_EQ(readFile("fresh"), "fresh");
    EXPECT_EQ(filesHere(), (std::vector<std::string>{"fresh", "taken"}));
  }
}

// Hidden temporaries a killed request left are removed by the next one in
// that folder, and counted as room; one a running request holds is not.
TEST(Temporaries, LeftoversGoButNotOnesInUse) {
  TempDir dir;
  SystemFileOptions hidden;
  hidden.unnamedTemporaries = false;
  auto running = makeSystemFileServices(hidden);
  running->createTemporary(1, 0600, "busy");
  running->write(1, "in use", 6);
  // Left by a request of an older version, and by one that was killed.
  writeFile(".vexo-join-1.tmp", std::string(5000, 'x'));
  writeFile(".vexo-77.tmp", std::string(3000, 'y'));
  writeFile(".vexo-notes.txt", "not ours");
  auto later = makeSystemFileServices();
  EXPECT_GE(later->removeLeftovers(), 8000);
  const auto left = filesHere();
  EXPECT_EQ(std::count_if(left.begin(), left.end(), [](const std::string& n) { return n.rfind(".vexo-", 0) == 0; }),
            2);  // the one in use and the one not named like ours
  EXPECT_TRUE(exists(".vexo-notes.txt"));
  running->nameTemporary(1, "busy", false);
  running->close(1);
  EXPECT_EQ(readFile("busy"), "in use");
  EXPECT_EQ(filesHere(), (std::vector<std::string>{".vexo-notes.txt", "busy"}));
}

// A split writes its pieces and record to the output folder, a join reads
// the pieces where they are and writes the joined file to its own; a folder
// that is not there is said to be missing, and nothing is written.
TEST(Folders, ProductsGoToTheOutputFolder) {
  TempDir dir;
  stdfs::create_directory("in");
  stdfs::create_directory("out");
  stdfs::create_directory("back");
  writeFile("in/s.dat", kSourceBytes);
  RecordingFileServices fs;
  RecordingUi ui;
  Job job = ui.job("s.dat");
  job.pieceSize = kPieceSize12;
  job.folder = "in";
  job.outputFolder = "out";
  proc1(fs, ui, job);
  // The summary names the output folder.
  EXPECT_EQ(ui.messages(), std::vector<std::string>{
                               "分割完了\nout に 1,250,304 バイトの分割ファイル 2 個と 77 バイトの 1 個を作りました．"
                               "記録 s.dat.crc を書きました．"});
  EXPECT_EQ(filesIn("in"), std::vector<std::string>{"s.dat"});
  EXPECT_EQ(filesIn("out"), (std::vector<std::string>{"s.dat.1", "s.dat.2", "s.dat.3", "s.dat.crc"}));

  ui.events.clear();
  ui.answer = 7;
  job = ui.job("s.dat.2");
  job.folder = "out";
  job.outputFolder = "back";
  proc1(fs, ui, job);
  ASSERT_EQ(ui.messages().size(), 1u);
  EXPECT_TRUE(ui.messages()[0].starts_with("結合完了\nback に s.dat（2,500,685 バイト）を分割ファイル 3 個から作りました．"))
      << ui.messages()[0];
  EXPECT_EQ(readFile("back/s.dat"), kSourceBytes);
  EXPECT_EQ(filesIn("out").size(), 4u);

  const struct {
    const char* folder;
    const char* output;
    std::string message;
  } missing[] = {
      {"gone", "", text::folderNotFound("gone")},
      {"in", "gone", text::folderNotFound("gone")},
      {"in", "in/s.dat", text::folderNotFound("in/s.dat")},  // a file, not a folder
  };
  for (const auto& m : missing) {
    ui.events.clear();
    job = ui.job("s.dat");
    job.pieceSize = kPieceSize12;
    job.folder = m.folder;
    job.outputFolder = m.output;
    proc1(fs, ui, job);
    EXPECT_EQ(ui.events, std::vector<std::string>{"message:" + m.message}) << m.folder << " " << m.output;
  }
  EXPECT_EQ(filesIn("in"), std::vector<std::string>{"s.dat"});
  EXPECT_EQ(filesHere(), (std::vector<std::string>{"back", "in", "out"}));
}

// Yes to deleting the pieces: the joined file is flushed and its folder
// synced, with the status line saying so, before the first piece goes. No:
// nothing waits for the disk.
TEST(JoinedFile, OnTheDiskBeforeThePiecesGo) {
  for (const int answer : {kAnswerYes, 7}) {
    TempDir dir;
    writeFile("j.1", pattern(kPieceSize144, 1));
    writeFile("j.2", pattern(10, 2));
    RecordingFileServices fs;
    RecordingUi ui;
    ui.answer = answer;
    std::vector<std::string> order;
    fs.beforeCall = [&](const std::string& op, const std::string& name) {
      if (op == "flush" || op == "syncFolder" || op == "kill" || op == "nameTemporary")
        order.push_back(op + " " + name + " / " + ui.events.back());
    };
    proc1(fs, ui, "j.1");
    EXPECT_EQ(readFile("j"), pattern(kPieceSize144, 1) + pattern(10, 2));
    if (answer == kAnswerYes) {
      EXPECT_EQ(order, (std::vector<std::string>{"nameTemporary j / status:結合中 j (2/2)",
                                                 "flush j / status:ディスクに書き込み中…",
                                                 "syncFolder  / status:ディスクに書き込み中…", "kill j.1 / clear",
                                                 "kill j.2 / clear"}));
      const auto close = std::find(fs.log.begin(), fs.log.end(), "close #1");
      EXPECT_LT(close - fs.log.begin(), std::find(fs.log.begin(), fs.log.end(), "kill j.1") - fs.log.begin());
      EXPECT_EQ(filesHere(), std::vector<std::string>{"j"});
    } else {
      EXPECT_EQ(order, std::vector<std::string>{"nameTemporary j / status:結合中 j (2/2)"});
      EXPECT_EQ(filesHere(), (std::vector<std::string>{"j", "j.1", "j.2"}));
    }
  }
}

// A name that appears after the checks, before the product takes it, is
// kept: the joined file does not replace it, a new piece is not written
// into it.
TEST(Names, AFileThatAppearsAfterTheCheckIsKept) {
  struct Row {
    const char* chosen;
    const char* op;      // the call before which the file appears
    const char* appears;
  };
  const Row rows[] = {
      {"j.1", "nameTemporary", "j"},
      {"s.dat", "createExclusive", "s.dat.2"},
      {"s.dat", "nameTemporary", "s.dat.crc"},
      {"s.dat", "nameTemporary", "s.dat.1"},
  };
  for (const Way& way : kWays) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(way.what) + ": " + row.appears);
      TempDir dir;
      writeFile("j.1", pattern(1000, 1));
      writeFile("s.dat", kSourceBytes);
      RecordingFileServices fs(makeSystemFileServices(way.options));
      fs.beforeCall = [&](const std::string& op, const std::string& name) {
        if (op == row.op && name == row.appears) writeFile(row.appears, "appeared");
      };
      RecordingUi ui;
      ui.size = kPieceSize12;
      proc1(fs, ui, row.chosen);
      // The system's words in parentheses differ between systems.
      std::string shown = ui.messages().front();
      if (const auto open = shown.rfind("（"); open != std::string::npos) shown.erase(open, shown.rfind("．") - open);
      EXPECT_EQ(shown, text::errorText(err::FileAlreadyExists, row.appears));
      EXPECT_EQ(readFile(row.appears), "appeared");
      std::vector<std::string> expected{"j.1", "s.dat", row.appears};
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(filesHere(), expected);  // nothing else made is left
      EXPECT_EQ(readFile("j.1"), pattern(1000, 1));
    }
  }
}

// A replacing split that is stopped or fails leaves the older set whole or
// gone, never a mixture with the new one, and says which.
TEST(Names, AStoppedReplacingSplitLeavesTheOlderSetWholeOrGone) {
  struct Row {
    const char* what;
    int stopAtPoll;
    std::function<void(RecordingFileServices&)> fault;
    bool oldKept;
    const char* firstMessage;
  };
  const Row rows[] = {
      {"stopped at the start", 1, nullptr, false, "中止しました．"},
      {"stopped in piece 2", 3, nullptr, false, "中止しました．"},
      {"disk full in piece 3", 0, [](RecordingFileServices& fs) { fs.failOn("write", 1, 61, "s.dat.3"); }, false,
       nullptr},
      {"old piece unreadable", 0, [](RecordingFileServices& fs) { fs.failOn("fileLen", 1, 57, "s.dat.2"); }, true,
       nullptr},
  };
  const std::string older = pattern(2 * kPieceSize12 + 5, 8);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    writeFile("s.dat", older);
    RecordingFileServices first;
    RecordingUi ui;
    ui.size = kPieceSize12;
    proc1(first, ui, "s.dat");
    const auto oldSet = filesHere();
    ASSERT_EQ(oldSet.size(), 5u);
    writeFile("s.dat", kSourceBytes);

    RecordingFileServices fs;
    if (row.fault) row.fault(fs);
    ui.events.clear();
    ui.answerNo = kAnswerYes;
    ui.stopAtPoll = row.stopAtPoll;
    proc1(fs, ui, "s.dat");
    const auto messages = ui.messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back() == text::kStopped ? messages[messages.size() - 2] : messages.back(),
              row.oldKept ? text::kOldSetKept : text::kOldSetGone);
    if (row.firstMessage) {
      EXPECT_EQ(messages.back(), row.firstMessage);
    }
    if (row.oldKept) {
      EXPECT_EQ(filesHere(), oldSet);
      EXPECT_EQ(readFile("s.dat.1") + readFile("s.dat.2") + readFile("s.dat.3"), older);
    } else {
      EXPECT_EQ(filesHere(), std::vector<std::string>{"s.dat"});
    }
  }
}

#ifndef _WIN32

namespace {

mode_t modeOf(const std::string& name) {
  struct stat st {};
  EXPECT_EQ(::lstat(name.c_str(), &st), 0) << name;
  return st.st_mode & 07777;
}

}  // namespace

// The folder the window shows is renamed and a new one made under its
// name: the request works in the new one, not in the one the process still
// sits in.
TEST(Folders, TheFolderShownIsTheFolderWritten) {
  TempDir dir;
  const std::string shown = dir.path();
  writeFile("s.dat", pattern(kPieceSize12 + 1, 1));  // the old folder's file
  stdfs::rename(shown, shown + ".old");
  stdfs::create_directory(shown);
  writeFile(shown + "/s.dat", kSourceBytes);
  RecordingFileServices fs;
  RecordingUi ui;
  Job job = ui.job("s.dat");
  job.pieceSize = kPieceSize12;
  job.folder = shown;
  proc1(fs, ui, job);
  EXPECT_EQ(ui.headlines(), std::vector<std::string>{"分割完了"});
  EXPECT_EQ(filesIn(shown), (std::vector<std::string>{"s.dat", "s.dat.1", "s.dat.2", "s.dat.3", "s.dat.crc"}));
  EXPECT_EQ(filesHere(), std::vector<std::string>{"s.dat"});  // the old folder, still current
  EXPECT_EQ(readFile(shown + "/s.dat.3"), kSourceBytes.substr(2 * kPieceSize12));
  stdfs::remove_all(shown);
  stdfs::rename(shown + ".old", shown);  // for TempDir to clean up

  // Gone altogether: said so.
  ui.events.clear();
  job.folder = shown + "/nowhere";
  proc1(fs, ui, job);
  EXPECT_EQ(ui.events, std::vector<std::string>{"message:" + text::folderNotFound(job.folder)});
}

// While a source only its owner may read is split, no file the split has
// made, named or not, is ever readable by anyone else.
TEST(Privacy, EveryFileOfAPrivateSourceStaysPrivateWhileItIsWritten) {
  const mode_t umaskBefore = ::umask(022);
  for (const Way& way : kWays) {
    SCOPED_TRACE(way.what);
    TempDir dir;
    writeFile("s.dat", kSourceBytes);
    ASSERT_EQ(::chmod("s.dat", 0600), 0);
    RecordingFileServices fs(makeSystemFileServices(way.options));
    int checks = 0;
    fs.beforeCall = [&](const std::string& op, const std::string&) {
      if (op != "write" && op != "nameTemporary" && op != "close") return;
      ++checks;
      for (const auto& name : filesHere()) EXPECT_EQ(modeOf(name) & 077, 0u) << op << ": " << name;
      // The files open, unnamed ones too.
      for (auto& e : stdfs::directory_iterator("/proc/self/fd")) {
        struct stat st {};
        if (::stat(e.path().c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            stdfs::read_symlink(e.path()).string().rfind(dir.path(), 0) == 0) {
          EXPECT_EQ(st.st_mode & 077, 0u) << op << ": " << stdfs::read_symlink(e.path());
        }
      }
    };
    RecordingUi ui;
    ui.size = kPieceSize12;
    Job job = ui.job("s.dat");
    job.recoveryPercent = 10;  // the recovery set too: it holds the source's bytes
    vexo::proc1(fs, ui, job);
    EXPECT_EQ(ui.headlines(), std::vector<std::string>{"分割完了"});
    EXPECT_TRUE(exists("s.dat.par2"));
    EXPECT_GT(checks, 20);
    for (const auto& name : filesHere()) EXPECT_EQ(modeOf(name), 0600u) << name;
  }
  ::umask(umaskBefore);
}

// Killed at any point, a request leaves no hidden file that outlives the
// next request in that folder (unnamed ones leave none at all), and never
// a set that looks whole or a joined file that is not.
TEST(Leftovers, NoneOutliveTheNextRequestAfterAKill) {
  const struct {
    const char* chosen;
    const char* op;
    int nth;
    const char* name;
  } kills[] = {
      {"s.dat", "write", 1, "~s.dat.1"},         {"s.dat", "write", 30, "s.dat.2"},
      {"s.dat", "flush", 1, "~s.dat.crc"},       {"s.dat", "nameTemporary", 1, "s.dat.1"},
      {"j.1", "write", 30, "~j"},                {"j.1", "nameTemporary", 1, "j"},
      {"j.1", "kill", 1, "j.1"},
  };
  for (const Way& way : kWays) {
    for (const auto& k : kills) {
      SCOPED_TRACE(std::string(way.what) + ": killed at " + k.op + " " + k.name);
      TempDir dir;
      writeFile("s.dat", kSourceBytes);
      writeFile("j.1", pattern(kPieceSize144, 1));
      writeFile("j.2", pattern(100, 2));
      RecordingUi ui;
      Job job = ui.job(k.chosen);
      job.pieceSize = kPieceSize12;
      ASSERT_TRUE(killedAt(job, way.options, k.op, k.nth, k.name));
      // Unnamed temporaries leave nothing; a hidden one not yet named is left
      // (piece 1 is one until the split's end).
      EXPECT_EQ(anyHidden(filesHere()), !way.options.unnamedTemporaries && std::string(k.op) != "kill");
      // Nothing that looks whole: no piece 1 without the whole set, no
      // short joined file.
      if (exists("s.dat.1")) {
        EXPECT_TRUE(exists("s.dat.crc"));
      }
      if (exists("j")) {
        EXPECT_EQ(readFile("j"), pattern(kPieceSize144, 1) + pattern(100, 2));
      }

      // The next request in the folder: only what it made is new.
      RecordingFileServices fs;
      ui.answerNo = kAnswerYes;  // replaces what the killed one left
      ui.answer = 7;
      proc1(fs, ui, "j.2");
      EXPECT_FALSE(anyHidden(filesHere())) << ::testing::PrintToString(filesHere());
    }
  }
}

// A piece name, or the joined file's name, that is a hard link to another
// file: the name is made new; the other file keeps its bytes.
TEST(Names, AHardLinkIsNeverWrittenThrough) {
  TempDir dir;
  writeFile("s.dat", kSourceBytes);
  writeFile("precious", "keep me");
  stdfs::create_hard_link("precious", "s.dat.2");
  writeFile("j.1", "joined bytes");
  writeFile("precious too", "keep me too");
  stdfs::create_hard_link("precious too", "j");
  RecordingFileServices fs;
  RecordingUi ui;
  ui.size = kPieceSize12;
  ui.answerNo = kAnswerYes;  // replace both
  ui.answer = 7;
  proc1(fs, ui, "s.dat");
  proc1(fs, ui, "j.1");
  EXPECT_EQ(ui.headlines(), (std::vector<std::string>{"分割完了", "結合完了"}));
  EXPECT_EQ(readFile("precious"), "keep me");
  EXPECT_EQ(readFile("precious too"), "keep me too");
  EXPECT_EQ(readFile("s.dat.2"), kSourceBytes.substr(kPieceSize12, kPieceSize12));
  EXPECT_EQ(readFile("j"), "joined bytes");
}

#endif  // !_WIN32
