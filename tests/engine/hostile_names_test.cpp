// Names that are not what they seem: links, FIFOs, devices and directories
// among the pieces or as the joined file, names at the length limit, and
// requests killed halfway. Nothing is written through a link, nothing
// waits on a FIFO, and no killed request leaves a set that joins as whole.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "doubles.h"
#include "engine.h"
#include "messages.h"

using namespace vexo;
using namespace vexo::test;
namespace stdfs = std::filesystem;

namespace {

mode_t modeOf(const std::string& name) {
  struct stat st {};
  EXPECT_EQ(::lstat(name.c_str(), &st), 0) << name;
  return st.st_mode & 07777;
}

// Runs a request in a child that kills itself at the nth call of op (on
// the named file, any when empty), as a crash or a power cut would.
void killedAt(const std::string& chosen, const std::string& op, int nth, const std::string& name,
              std::int64_t size) {
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    RecordingFileServices fs;
    int seen = 0;
    fs.beforeCall = [&](const std::string& o, const std::string& n) {
      if (o == op && (name.empty() || n == name) && ++seen == nth) ::kill(::getpid(), SIGKILL);
    };
    RecordingUi ui;
    ui.size = size;
    ui.answerNo = kAnswerYes;
    proc1(fs, ui, chosen);
    ::_exit(0);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status)) << op << " " << nth;
}

}  // namespace

// Each name the split or the join would write is a link, a FIFO or a
// directory: refused by name before anything is written; what it leads to
// is untouched.
TEST(HostileNames, NothingIsWrittenThroughALinkOrIntoAFifoOrDirectory) {
  struct Case {
    const char* what;
    const char* chosen;
    const char* trap;  // the name made into something else
    char kind;         // 'l' link to ../victim, 'p' FIFO, 'd' directory
  };
  const Case cases[] = {
      {"piece 2 a link", "report.doc", "report.doc.2", 'l'},
      {"piece 1 a link", "report.doc", "report.doc.1", 'l'},
      {"the record a link", "report.doc", "report.doc.crc", 'l'},
      {"piece 2 a FIFO", "report.doc", "report.doc.2", 'p'},
      {"the joined file a link", "j.1", "j", 'l'},
      {"the joined file a FIFO", "j.1", "j", 'p'},
      {"the joined file a directory", "j.1", "j", 'd'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir outer;
    stdfs::create_directory("work");
    writeFile("victim", "victim's bytes");
    ASSERT_EQ(::chmod("victim", 0600), 0);
    stdfs::current_path("work");
    writeFile("report.doc", pattern(2 * kPieceSize12 + 5));
    ASSERT_EQ(::chmod("report.doc", 0755), 0);
    writeFile("j.1", "abc");
    if (c.kind == 'l') stdfs::create_symlink("../victim", c.trap);
    if (c.kind == 'p') {
      ASSERT_EQ(::mkfifo(c.trap, 0644), 0);
    }
    if (c.kind == 'd') stdfs::create_directory(c.trap);
    const auto before = filesHere();
    RecordingFileServices fs;
    RecordingUi ui;
    ui.size = kPieceSize12;
    ui.answerNo = kAnswerYes;  // agrees to replace ordinary files
    proc1(fs, ui, c.chosen);
    EXPECT_EQ(ui.events, std::vector<std::string>{"message:" + text::notRegularFile(c.trap)});
    EXPECT_EQ(filesHere(), before);
    EXPECT_EQ(readFile("../victim"), "victim's bytes");
    EXPECT_EQ(modeOf("../victim"), 0600u);
    for (const auto& call : fs.log) {
      EXPECT_TRUE(call.rfind("fileLen", 0) == 0 || call.rfind("fileDateTime", 0) == 0 ||
                  call.rfind("getAttr", 0) == 0)
          << call;
    }
  }
}

// A piece that is not a regular file stops the join at once.
TEST(HostileNames, APieceThatIsNotARegularFileStopsTheJoin) {
  struct Case {
    const char* what;
    char kind;
  };
  for (const Case c : {Case{"a FIFO", 'p'}, Case{"a link to /dev/zero", 'z'}, Case{"a directory", 'd'},
                       Case{"a link to a FIFO", 'q'}}) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    writeFile("p.1", "abc");
    writeFile("p.3", "g");
    if (c.kind == 'p') {
      ASSERT_EQ(::mkfifo("p.2", 0644), 0);
    }
    if (c.kind == 'z') stdfs::create_symlink("/dev/zero", "p.2");
    if (c.kind == 'd') stdfs::create_directory("p.2");
    if (c.kind == 'q') {
      ASSERT_EQ(::mkfifo("fifo", 0644), 0);
      stdfs::create_symlink("fifo", "p.2");
    }
    const auto before = filesHere();
    RecordingFileServices fs;
    RecordingUi ui;
    proc1(fs, ui, "p.1");
    EXPECT_EQ(ui.events, std::vector<std::string>{"message:" + text::notRegularFile("p.2")});
    EXPECT_EQ(filesHere(), before);
  }
  // The file services themselves never wait on a FIFO either.
  TempDir dir;
  ASSERT_EQ(::mkfifo("f", 0644), 0);
  auto system = makeSystemFileServices();
  for (const bool write : {false, true}) {
    try {
      if (write) {
        system->openWrite("f", 1, true);
      } else {
        system->openRead("f", 1);
      }
      ADD_FAILURE() << "a FIFO was opened";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), err::PathFileAccess);
    }
  }
  EXPECT_EQ(system->kind("f", false), FileKind::Other);
  stdfs::create_symlink("f", "l");
  EXPECT_EQ(system->kind("l", false), FileKind::Link);
  EXPECT_EQ(system->kind("l", true), FileKind::Other);
  EXPECT_EQ(system->kind(std::string(300, 'n'), true), FileKind::Missing);  // too long
  try {
    system->createNew("l", 1);
    ADD_FAILURE() << "created over a link";
  } catch (const RuntimeError& e) {
    EXPECT_EQ(e.number(), err::FileAlreadyExists);
  }
}

// Only the permission bits travel: never set-user-ID, set-group-ID, sticky.
TEST(HostileNames, OnlyPermissionBitsAreCarriedOver) {
  TempDir dir;
  writeFile("tool", pattern(kPieceSize12 + 1));
  ASSERT_EQ(::chmod("tool", 06755), 0);
  if (modeOf("tool") != 06755u) GTEST_SKIP() << "the set-ID bits cannot be set here";
  RecordingFileServices fs;
  RecordingUi ui;
  ui.size = kPieceSize12;
  proc1(fs, ui, "tool");
  for (const char* name : {"tool.1", "tool.2", "tool.crc"}) EXPECT_EQ(modeOf(name), 0755u) << name;
  stdfs::remove("tool");
  ASSERT_EQ(::chmod("tool.2", 01755), 0);
  proc1(fs, ui, "tool.1");
  EXPECT_EQ(modeOf("tool"), 0755u);
}

// A name of 255 bytes: the split makes pieces .1 to .9 and says that the set
// has no record (its name is too long); the join stops at .10, a name the
// file system refuses as too long, as at a missing piece.
TEST(HostileNames, PieceNamesAtTheLengthLimit) {
  TempDir dir;
  const std::string name(253, 'n');
  const std::string original = pattern(850, 4);
  writeFile(name, original);
  RecordingFileServices fs;
  RecordingUi ui;
  ui.size = 100;
  proc1(fs, ui, name);
  ASSERT_EQ(ui.messages().size(), 1u);
  EXPECT_TRUE(ui.messages()[0].starts_with("分割完了\n")) << ui.messages()[0];
  EXPECT_TRUE(ui.messages()[0].ends_with(name + ".crc は名前が長すぎて作れなかったので，分割ファイルの記録はありません．"));
  EXPECT_TRUE(exists(name + ".9"));
  EXPECT_EQ(filesHere().size(), 10u);  // no record: its name is too long
  stdfs::rename(name, "original");
  ui.events.clear();
  proc1(fs, ui, name + ".9");
  EXPECT_EQ(ui.headlines(), std::vector<std::string>{"結合完了"});
  EXPECT_EQ(readFile(name), original);
}

// A split killed at any point leaves nothing a join takes as a whole set;
// a killed join leaves an existing file of the joined name as it was.
TEST(HostileNames, AKilledRequestLeavesNoSetThatLooksWhole) {
  struct Case {
    const char* op;
    int nth;
    const char* name;
  };
  const Case splits[] = {
      {"write", 1, "~k.dat.1"},           {"write", 1, "k.dat.3"},               {"close", 1, "k.dat.3"},
      {"createTemporary", 1, "~k.dat.crc"}, {"nameTemporary", 1, "k.dat.crc"}, {"nameTemporary", 1, "k.dat.1"},
  };
  const std::string original = pattern(2 * kPieceSize12 + 77, 9);
  for (const Case& c : splits) {
    SCOPED_TRACE(std::string("split killed at ") + c.op + " " + c.name);
    TempDir dir;
    writeFile("k.dat", original);
    killedAt("k.dat", c.op, c.nth, c.name, kPieceSize12);
    stdfs::rename("k.dat", "kept");
    RecordingFileServices fs;
    RecordingUi ui;
    ui.answerNo = kAnswerYes;
    proc1(fs, ui, "k.dat.2");
    // Either piece 1 is missing or the record does not fit: nothing joined.
    EXPECT_FALSE(exists("k.dat"));
    ASSERT_FALSE(ui.messages().empty());
    EXPECT_NE(ui.headlines().front(), "結合完了");
  }
  for (const int nth : {1, 30, 60}) {
    SCOPED_TRACE("join killed at write " + std::to_string(nth));
    TempDir dir;
    writeFile("k.1", pattern(kPieceSize12, 1));
    writeFile("k.2", pattern(500, 2));
    writeFile("k", "older");
    killedAt("k.1", "write", nth, "~k", kPieceSize12);
    EXPECT_EQ(readFile("k"), "older");
  }
}
