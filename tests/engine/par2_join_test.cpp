// Recovery data with a split and a join: the split writes a PAR2 set over
// its pieces, or nothing when it is stopped or fails; a join of a damaged
// set rebuilds the joined file through it, leaving the pieces as they are.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "crc32.h"
#include "doubles.h"
#include "engine.h"
#include "messages.h"
#include "par2_pieces.h"
#include "par2_test_support.h"

using namespace vexo;
using namespace vexo::test;

namespace {

// Answers the repair question and the deletion question each its own way.
class RepairUi : public RecordingUi {
 public:
  int repairAnswer = kAnswerYes;
  int question(const std::string& text) override {
    const int a = RecordingUi::question(text);
    return text.find(text::kRepairQuestion) != std::string::npos ? repairAnswer : a;
  }
};

constexpr std::int64_t kSize = 3 * 100000 + 51234;

Job splitJob(int percent) {
  Job job;
  job.chosen = "data.bin";
  job.pieceSize = 100000;
  job.recoveryPercent = percent;
  return job;
}

bool contains(const std::vector<std::string>& events, const std::string& part) {
  for (const auto& e : events)
    if (e.find(part) != std::string::npos) return true;
  return false;
}

// Splits data.bin with 30 % recovery data, its pieces numbered with at
// least that many digits, and sets the source aside.
std::string splitAside(int digits = 1) {
  const std::string source = pattern(kSize, 4);
  writeFile("data.bin", source);
  RecordingFileServices fs;
  RecordingUi ui;
  Job split = splitJob(30);
  split.digits = digits;
  vexo::proc1(fs, ui, split);
  EXPECT_EQ(ui.headlines(), std::vector<std::string>{text::kSplitDone});
  std::filesystem::rename("data.bin", "data.bin.orig");
  return source;
}

}  // namespace

// The set par2 accepts, beside the pieces; none of it after a stop or a
// failure; an older set of that name replaced.
TEST(Par2Split, WrittenStoppedFailedAndReplaced) {
  const struct {
    const char* what;
    int stopAt;         // poll that stops (0: none)
    const char* fail;   // operation that fails with disk full (nullptr: none)
    int nth;
    bool olderSet;      // a recovery set of that name is there before
    std::vector<std::string> messages;
    bool setWritten;
  } cases[] = {
      {"stopped while the recovery data is made", 14, nullptr, 0, false, {text::kStopped}, false},
      {"disk full in a recovery volume", 0, "createTemporary", 3, false, {"エラーです．エラー番号:61"}, false},
      {"a new set", 0, nullptr, 0, false, {text::kSplitDone}, true},
      {"an older set replaced", 0, nullptr, 0, true, {text::kSplitDone}, true},
  };
  // Pieces of 500 blocks of 200 bytes, the last of 257; 176 recovery blocks.
  const std::vector<std::string> set{"data.bin.par2",           "data.bin.vol000+01.par2", "data.bin.vol001+02.par2",
                                     "data.bin.vol003+04.par2", "data.bin.vol007+08.par2", "data.bin.vol015+16.par2",
                                     "data.bin.vol031+32.par2", "data.bin.vol063+64.par2", "data.bin.vol127+49.par2"};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    writeFile("data.bin", pattern(kSize, 4));
    if (c.olderSet) {
      writeFile("data.bin.par2", "old");
      writeFile("data.bin.vol000+99.par2", "old");
    }
    RecordingFileServices fs;
    if (c.fail) fs.failOn(c.fail, c.nth, err::DiskFull);
    RecordingUi ui;
    ui.stopAtPoll = c.stopAt;
    ui.answerNo = kAnswerYes;  // replace the older set
    vexo::proc1(fs, ui, splitJob(10));
    ASSERT_FALSE(ui.messages().empty());
    EXPECT_EQ(ui.messages()[0].substr(0, c.messages[0].size()), c.messages[0]);
    if (c.setWritten) {
      EXPECT_EQ(setFilesHere(), set);  // the older set's other volume gone
      EXPECT_EQ(filesHere().size(), set.size() + 6);  // the source, 4 pieces, the record
      EXPECT_TRUE(contains(ui.events, "status:" + text::kRecovering + "data.bin.par2"));
      EXPECT_EQ(contains(ui.events, "questionNo:"), c.olderSet);
      if (havePar2()) {
        EXPECT_EQ(runPar2("verify -q data.bin.par2"), 0);
      }
    } else {
      EXPECT_EQ(filesHere(), std::vector<std::string>{"data.bin"});
    }
    EXPECT_EQ(fs.openFiles(), 0);
  }
}

#ifndef _WIN32
// A split killed while it writes the recovery set leaves no file of the set,
// named or hidden and abandoned; the next request removes what the hidden
// way leaves.
TEST(Par2Split, KilledWhileWritingTheSetLeavesNoneOfIt) {
  for (const bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed temporaries" : "hidden temporaries");
    TempDir dir;
    writeFile("data.bin", pattern(kSize, 4));
    SystemFileOptions options;
    options.unnamedTemporaries = unnamed;
    // Killed as the third volume is made: two are written by then.
    ASSERT_TRUE(killedAt(splitJob(10), options, "createTemporary", 1, "~data.bin.vol003+04.par2"));
    const std::vector<std::string> pieces{"data.bin", "data.bin.1", "data.bin.2", "data.bin.3", "data.bin.4"};
    std::vector<std::string> hidden;
    for (const auto& n : filesHere())
      if (n.rfind(".vexo-", 0) == 0) hidden.push_back(n);
    EXPECT_EQ(hidden.size(), unnamed ? 0u : 2u);
    EXPECT_TRUE(setFilesHere().empty());

    // A join of the pieces clears the abandoned ones away.
    RecordingFileServices fs(makeSystemFileServices(options));
    RecordingUi ui;
    ui.answer = 7;  // keep the pieces
    Job join;
    join.chosen = "data.bin.1";
    std::filesystem::rename("data.bin", "data.bin.orig");
    vexo::proc1(fs, ui, join);
    EXPECT_EQ(filesHere(), (std::vector<std::string>{"data.bin", "data.bin.1", "data.bin.2", "data.bin.3",
                                                     "data.bin.4", "data.bin.orig"}));
  }
}
#endif

TEST(Par2Join, DamagedSetsJoinedThroughTheRecoverySet) {
  const struct {
    const char* what;
    std::function<void()> damage;
    int repairAnswer;
    std::vector<std::string> report;  // lines of the question or message
    bool joined;
    bool deleted = false;  // the pieces deleted after the join: the set goes with them
  } cases[] = {
      {"a piece missing", [] { std::filesystem::remove("data.bin.2"); }, kAnswerYes,
       {"ない分割ファイル：data.bin.2", "壊れたブロック 500 個を復元データで修復できます．"}, true},
      {"a corrupted block in two pieces",
       [] {
         flipByte("data.bin.1", 5);
         flipByte("data.bin.4", 51233);
       },
       kAnswerYes, {"壊れている分割ファイル：data.bin.1 data.bin.4", "壊れたブロック 2 個を復元データで修復できます．"},
       true},
      {"the last piece cut short", [] { std::filesystem::resize_file("data.bin.4", 100); }, kAnswerYes,
       {"壊れている分割ファイル：data.bin.4", "壊れたブロック 257 個を復元データで修復できます．"}, true},
      {"a piece missing and a block corrupted in a piece of the right length",
       [] {
         std::filesystem::remove("data.bin.2");
         flipByte("data.bin.3", 99999);
       },
       kAnswerYes,
       // First only the missing piece is seen; the blocks rebuilt from the
       // damaged piece do not match their checksums, every block is
       // checked, and the user asked again.
       {"ない分割ファイル：data.bin.2", "壊れたブロック 500 個を復元データで修復できます．", "壊れている分割ファイル：data.bin.3",
        "壊れたブロック 501 個を復元データで修復できます．"},
       true},
      {"a piece missing, the pieces deleted after", [] { std::filesystem::remove("data.bin.3"); }, kAnswerYes,
       {"ない分割ファイル：data.bin.3", "壊れたブロック 500 個を復元データで修復できます．"}, true, true},
      {"repair declined", [] { std::filesystem::remove("data.bin.3"); }, 7,
       {"ない分割ファイル：data.bin.3", "壊れたブロック 500 個を復元データで修復できます．"}, false},
      {"more damage than recovery data",
       [] {
         std::filesystem::remove("data.bin.1");
         std::filesystem::remove("data.bin.3");
       },
       kAnswerYes, {"ない分割ファイル：data.bin.1 data.bin.3", text::recoveryShort(1000 - 528)}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string source = splitAside();
    c.damage();
    std::map<std::string, std::string> pieces;
    for (const auto& n : filesHere()) pieces[n] = readFile(n);

    RecordingFileServices fs;
    RepairUi ui;
    ui.answer = c.deleted ? kAnswerYes : 7;
    ui.repairAnswer = c.repairAnswer;
    Job join;
    join.chosen = "data.bin.4";
    if (!exists("data.bin.4")) join.chosen = "data.bin.2";
    vexo::proc1(fs, ui, join);
    for (const auto& line : c.report) EXPECT_TRUE(contains(ui.events, line)) << line;
    const bool asked = contains(ui.events, text::kRepairQuestion);
    EXPECT_EQ(asked, c.report.back().find("修復できます") != std::string::npos);
    EXPECT_EQ(exists("data.bin"), c.joined);
    if (c.joined) {
      EXPECT_TRUE(readFile("data.bin") == source);
      EXPECT_TRUE(contains(ui.events, "message:" + text::kJoinDone));
      EXPECT_TRUE(contains(ui.events, "question:" + text::kDeleteQuestion));
    }
    if (c.deleted) {
      // The pieces, the record and the recovery set, once the joined file is there.
      EXPECT_EQ(filesHere(), (std::vector<std::string>{"data.bin", "data.bin.orig"}));
    } else {
      // The pieces and the set as they were; no hidden file left.
      for (const auto& [name, bytes] : pieces) EXPECT_TRUE(readFile(name) == bytes) << name;
      auto now = filesHere();
      std::erase(now, "data.bin");
      EXPECT_EQ(now.size(), pieces.size());
    }
    EXPECT_EQ(fs.openFiles(), 0);
  }
}

// The status line counts the pieces as a plain join does and says when
// blocks are rebuilt; the summary says how many were.
TEST(Par2Join, StatusLinesAndSummaryOfARepairingJoin) {
  TempDir dir;
  const std::string source = splitAside();
  std::filesystem::remove("data.bin.2");
  RecordingFileServices fs;
  RepairUi ui;
  ui.answer = 7;
  Job join;
  join.chosen = "data.bin.1";
  vexo::proc1(fs, ui, join);
  std::vector<std::string> statuses;
  for (const auto& e : ui.events)
    if (e.rfind("status:", 0) == 0) statuses.push_back(e.substr(7));
  // Piece 2's blocks are rebuilt when the join reaches them.
  EXPECT_EQ(statuses, (std::vector<std::string>{"結合中 data.bin (1/4)", "結合中 data.bin (2/4)",
                                                "修復中 data.bin (ブロック 1-500/500)", "結合中 data.bin (2/4)",
                                                "結合中 data.bin (3/4)", "結合中 data.bin (4/4)"}));
  const std::uint32_t crc = crc32Update(0, source.data(), source.size());
  EXPECT_EQ(ui.messages().front(), "結合完了\n" + fs.curDir() + " に data.bin（351,234 バイト）を分割ファイル 4 個から，"
                                   "壊れたブロック 500 個を復元データで修復して作りました．記録 data.bin.crc と CRC-32 " +
                                   text::hex8(crc) + " 一致．");
}

// A stop while blocks are rebuilt or pieces read leaves no joined file.
TEST(Par2Join, StoppedRepairingJoinLeavesNoJoinedFile) {
  const struct {
    const char* what;
    const char* stopIn;  // the status line the stop comes under
  } cases[] = {
      {"while rebuilding", "status:修復中 "},
      {"while joining after the rebuilding", "status:結合中 data.bin (3/4)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    splitAside();
    std::filesystem::remove("data.bin.2");
    const auto before = filesHere();
    class StoppingUi : public RepairUi {
     public:
      std::string stopIn;
      bool stopRequested() override { return !events.empty() && events.back().rfind(stopIn, 0) == 0; }
    } ui;
    ui.stopIn = c.stopIn;
    RecordingFileServices fs;
    Job join;
    join.chosen = "data.bin.1";
    vexo::proc1(fs, ui, join);
    EXPECT_EQ(ui.messages().back(), text::kStopped);
    EXPECT_EQ(filesHere(), before);
    EXPECT_EQ(fs.openFiles(), 0);
  }
}

// Services of a file system that ignores the case of names.
class CaseBlindFileServices : public RecordingFileServices {
 public:
  bool namesIgnoreCase() override { return true; }
};

// The set beside the pieces under the names other programs give it.
TEST(Par2Join, SetFoundUnderItsNames) {
  const auto capitals = [](std::string n) {
    for (auto& c : n) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return n;
  };
  const struct {
    const char* what;
    std::function<std::string(const std::string&)> rename;  // a set file's new name
    bool ignoreCase;
    bool found;  // where the system's names keep case apart
  } cases[] = {
      {"in capitals where case is ignored", capitals, true, true},
      {"in capitals where case counts", capitals, false, false},
      {"named after the first piece", [](const std::string& n) { return "data.bin.001" + n.substr(8); }, false,
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string source = splitAside(3);
    for (const auto& n : setFilesHere()) std::filesystem::rename(n, c.rename(n));
    std::filesystem::remove("data.bin.002");
    std::unique_ptr<RecordingFileServices> fs =
        c.ignoreCase ? std::make_unique<CaseBlindFileServices>() : std::make_unique<RecordingFileServices>();
    RepairUi ui;
    ui.answer = 7;  // keep the pieces
    Job join;
    join.chosen = "data.bin.001";
    vexo::proc1(*fs, ui, join);
    // Where the system itself ignores case (Windows), every row finds it.
    const bool found = c.found || fs->namesIgnoreCase();
    EXPECT_EQ(contains(ui.events, "ない分割ファイル：data.bin.002"), found);
    EXPECT_EQ(exists("data.bin"), found);
    if (found) {
      EXPECT_TRUE(readFile("data.bin") == source);
    }
  }
}

// A set par2 made over .001 pieces and named after the first, no record: a
// missing piece is a gap, and the set rebuilds it.
TEST(Par2Join, Par2MadeSetOverNumberedPieces) {
  if (!havePar2()) GTEST_SKIP() << "par2 is not installed";
  TempDir dir;
  std::string source;
  for (int k = 1; k <= 4; ++k) {
    const std::string piece = pattern(k < 4 ? 80000 : 3333, static_cast<unsigned>(k));
    writeFile("movie.avi.00" + std::to_string(k), piece);
    source += piece;
  }
  // Named by par2 after the first file: movie.avi.001.par2.
  ASSERT_EQ(runPar2("create -q -q -r40 -b200 movie.avi.001 movie.avi.00?"), 0);
  ASSERT_TRUE(exists("movie.avi.001.par2"));
  std::filesystem::remove("movie.avi.002");
  RecordingFileServices fs;
  RepairUi ui;
  ui.answer = 7;
  Job join;
  join.chosen = "movie.avi.001";
  vexo::proc1(fs, ui, join);
  EXPECT_TRUE(contains(ui.events, "ない分割ファイル：movie.avi.002"));
  ASSERT_TRUE(exists("movie.avi"));
  EXPECT_TRUE(readFile("movie.avi") == source);
  EXPECT_FALSE(exists("movie.avi.002"));
}
