// A join takes only a whole, checked set, and a split leaves one behind:
// the CRC-32, the record beside the pieces, the checks of a set before
// anything is written, replacing existing files only when the user agrees.
#include <gtest/gtest.h>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include <chrono>
#include <filesystem>
#include <fstream>

#include "crc32.h"
#include "doubles.h"
#include "engine.h"
#include "messages.h"
#include "names.h"
#include "record.h"

using namespace vexo;
using namespace vexo::test;
namespace stdfs = std::filesystem;

namespace {

std::uint32_t crcOf(const std::string& bytes) { return crc32Update(0, bytes.data(), bytes.size()); }

std::string recordOf(const std::string& name, const std::string& bytes) {
  return formatRecord(SetRecord{name, static_cast<std::int64_t>(bytes.size()), crcOf(bytes), {}});
}

bool anyHidden() {
  for (const auto& name : filesHere())
    if (name.rfind(".vexo-", 0) == 0) return true;
  return false;
}

}  // namespace

TEST(Crc32, KnownValuesAndEveryLengthAgainstTheTables) {
  const std::pair<std::string, std::uint32_t> known[] = {
      {"", 0x00000000u},
      {"a", 0xE8B7BE43u},
      {"123456789", 0xCBF43926u},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339u},
      {std::string(100000, '\0'), 0xD411957Du},
  };
  for (const auto& [bytes, crc] : known) {
    EXPECT_EQ(crcOf(bytes), crc) << bytes.size();
    EXPECT_EQ(crc32Tables(0, bytes.data(), bytes.size()), crc) << bytes.size();
  }
  // Every path this processor has against the tables: lengths around the
  // steps of each (16, 32, 64, 128 and 256 bytes), at odd addresses, and
  // continued across calls.
  const std::string data = pattern(70000, 7);
  const std::vector<Crc32Path> paths = crc32Paths();
  for (std::size_t offset : {0, 1, 3, 15}) {
    for (std::size_t n : {0, 1, 15, 16, 17, 31, 32, 33, 63, 64, 65, 79, 80, 127, 128, 129, 159, 160, 161, 255, 256,
                          257, 319, 383, 384, 511, 512, 513, 767, 768, 1000, 30000, 65536 + 5}) {
      const char* p = data.data() + offset;
      const std::uint32_t whole = crc32Tables(0, p, n);
      for (const Crc32Path& path : paths) {
        if (n >= path.minimum) {
          ASSERT_EQ(path.update(0, p, n), whole) << path.name << " " << offset << " " << n;
        }
      }
      ASSERT_EQ(crc32Update(0, p, n), whole) << offset << " " << n;
      ASSERT_EQ(crc32Update(crc32Update(0, p, n / 3), p + n / 3, n - n / 3), whole) << offset << " " << n;
    }
  }
}

TEST(Record, WrittenTextAndWhatIsReadAsARecord) {
  EXPECT_EQ(formatRecord(SetRecord{"report.doc", 3000000, 0x1A2B3C4D, {}}),
            "filename=report.doc\r\nfilenameutf8=report.doc\r\nsize=3000000\r\ncrc32=1A2B3C4D\r\n");
  // A name that is not UTF-8 is not given as one.
  EXPECT_EQ(formatRecord(SetRecord{"\x95\xF1.doc", 1, 2, {}}), "filename=\x95\xF1.doc\r\nsize=1\r\ncrc32=00000002\r\n");
  const SetRecord r{"a.b", 12, 0x00ABCDEF, {}};
  const struct {
    const char* text;
    bool isRecord;
  } cases[] = {
      {"filename=a.b\r\nsize=12\r\ncrc32=00ABCDEF\r\n", true},
      {"filename=a.b\nsize=12\ncrc32=00abcdef", true},                 // LF, lower case, no final newline
      {"FILENAME=a.b\r\nSIZE=12\r\nCRC32=00ABCDEF\r\n", true},         // keys in upper case
      {"\xEF\xBB\xBF" "filename=a.b\nsize=12\ncrc32=00ABCDEF\n", true},  // a byte-order mark
      {"filename=a.b\nnote=x\nsize=12\ncrc32=00ABCDEF\n", true},       // other lines are ignored
      {"filename = a.b \r size= 12\t\rcrc32 =00ABCDEF  \r", true},     // blanks, CR lines
      {"Filename=a.b\r\n\r\nSize=12\r\nCrc32=00ABCDEF", true},        // mixed case, an empty line
      {"filename=a.b\nsize=12\nsize=12\ncrc32=00ABCDEF\n", true},     // a key twice, the same
      {"filename=a.b\nsize=12\nsize=13\ncrc32=00ABCDEF\n", false},    // ... or not
      {"", false},
      {"filename=a.b\ncrc32=00ABCDEF\n", false},                       // no size
      {"filename=a.b\nsize=12\n", false},                              // no CRC
      {"filename=a.b\nsize=12\ncrc32=0ABCDEF\n", false},               // 7 digits
      {"filename=a.b\nsize=12\ncrc32=00ABCDEG\n", false},
      {"filename=a.b\nsize=-12\ncrc32=00ABCDEF\n", false},
      {"filename=a.b\nsize=\ncrc32=00ABCDEF\n", false},
      {"just some text", false},
  };
  for (const auto& c : cases) {
    const auto parsed = parseRecord(c.text);
    EXPECT_EQ(parsed.has_value(), c.isRecord) << c.text;
    if (parsed) {
      EXPECT_EQ(*parsed, r) << c.text;
    }
  }
  EXPECT_FALSE(parseRecord("size=1\ncrc32=00000000\n" + std::string(5000, '#')));
  EXPECT_EQ(recordedExtension(SetRecord{"x.tar.gz", 0, 0, {}}), "gz");
  EXPECT_EQ(recordedExtension(SetRecord{"README", 0, 0, {}}), "");
  // filenameutf8= is preferred.
  const auto both = parseRecord("filename=\x93\xfa.txt\r\nfilenameutf8=日.md\r\nsize=1\r\ncrc32=00000000\r\n");
  ASSERT_TRUE(both);
  EXPECT_EQ(recordedName(*both), "日.md");
  EXPECT_EQ(recordedExtension(*both), "md");
}

TEST(Record, ASplitWritesItAndTheJoinChecksAndDeletesIt) {
  TempDir dir;
  const std::string original = pattern(2 * kPieceSize144 + 777, 3);
  writeFile("report.doc", original);
  RecordingFileServices fs;
  RecordingUi ui;
  proc1(fs, ui, "report.doc");
  EXPECT_EQ(readFile("report.doc.crc"), recordOf("report.doc", original));
  EXPECT_EQ(filesHere(), (std::vector<std::string>{"report.doc", "report.doc.1", "report.doc.2", "report.doc.3",
                                                   "report.doc.crc"}));
  stdfs::rename("report.doc", "kept.doc");
  proc1(fs, ui, "report.doc.3");
  EXPECT_EQ(readFile("report.doc"), original);
  EXPECT_EQ(filesHere(), (std::vector<std::string>{"kept.doc", "report.doc"}));  // record deleted too
}

// What a join does with sets that are not whole or not what their record
// says: nothing is written, and the user is told why or asked first.
TEST(SetCheck, SetsThatAreNotWholeAreNotJoinedSilently) {
  const std::string a = pattern(1000, 1), b = pattern(1000, 2), c = pattern(400, 3);
  const std::string whole = a + b + c;
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;
    std::string chosen;
    int answerNo;                          // answer to a question whose default is No
    std::vector<std::string> events;       // what the user sees
    std::string joined;                    // bytes of "s" afterwards ("-" when absent)
  };
  const std::string rec = recordOf("s", whole);
  const Case cases[] = {
      {"piece 1 missing", {{"s.2", b}, {"s.3", c}}, "s.3", 7,
       {"message:分割ファイル s.1 が見つかりません．"}, "-"},
      {"a short middle piece, No", {{"s.1", a}, {"s.2", c}, {"s.3", c}}, "s.1", 7,
       {"questionNo:" + text::oddLengthQuestion("s.2", "s.1")}, "-"},
      {"a short middle piece, Yes", {{"s.1", a}, {"s.2", c}, {"s.3", c}}, "s.1", kAnswerYes,
       {"questionNo:" + text::oddLengthQuestion("s.2", "s.1"), "status:結合中 s (1/1)", "clear", "message:結合完了",
        "refresh", "question:分割ファイルを削除しますか？"},
       a},
      {"a last piece longer than piece 1", {{"s.1", c}, {"s.2", a}}, "s.2", 7,
       {"questionNo:" + text::oddLengthQuestion("s.2", "s.1")}, "-"},
      {"the last piece lost, with a record", {{"s.1", a}, {"s.2", b}, {"s.crc", rec}}, "s.1", kAnswerYes,
       {"message:分割ファイル s.3 が見つかりません．\n" + text::sizeMismatch("s.crc", 2000, 2400)}, "-"},
      {"a piece of an older set, with a record", {{"s.1", a}, {"s.2", b}, {"s.3", c}, {"s.4", c}, {"s.crc", rec}},
       "s.1", kAnswerYes, {"message:" + text::sizeMismatch("s.crc", 2800, 2400)}, "-"},
      {"a changed byte, with a record", {{"s.1", a}, {"s.2", b.substr(0, 999) + "!"}, {"s.3", c}, {"s.crc", rec}},
       "s.1", kAnswerYes,
       {"status:結合中 s (1/3)", "status:結合中 s (2/3)", "status:結合中 s (3/3)", "clear",
        "message:" + text::crcMismatch("s.crc", crcOf(a + b.substr(0, 999) + "!" + c), crcOf(whole)), "refresh"},
       "-"},
      {"a record in upper case with LF lines", {{"s.1", a}, {"s.2", b}, {"s.3", c},
       {"s.CRC", "filename=s\nsize=2400\ncrc32=" + text::hex8(crcOf(whole)) + "\n"}}, "s.2", 7,
       {"status:結合中 s (1/3)", "status:結合中 s (2/3)", "status:結合中 s (3/3)", "clear", "message:結合完了", "refresh", "question:分割ファイルを削除しますか？"}, whole},
      {"a file of the record's name that is not one", {{"s.1", a}, {"s.2", b}, {"s.3", c}, {"s.crc", "hello"}},
       "s.1", 7, {"questionNo:" + text::unreadableRecordQuestion("s.crc")}, "-"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    TempDir dir;
    std::vector<std::string> before;
    for (const auto& [name, bytes] : k.files) writeFile(name, bytes);
    before = filesHere();
    RecordingFileServices fs;
    RecordingUi ui;
    ui.answer = 7;
    ui.answerNo = k.answerNo;
    proc1(fs, ui, k.chosen);
    EXPECT_EQ(ui.headlineEvents(), k.events);
    if (k.joined == "-") {
      EXPECT_EQ(filesHere(), before);  // nothing created, changed or deleted
      for (const auto& [name, bytes] : k.files) EXPECT_EQ(readFile(name), bytes) << name;
    } else {
      EXPECT_EQ(readFile("s"), k.joined);
    }
    EXPECT_FALSE(anyHidden());
    EXPECT_EQ(fs.openFiles(), 0);
  }
}

TEST(SetCheck, AnExistingJoinedFileIsReplacedOnlyOnYesAndKeptOnAnyFailure) {
  TempDir dir;
  writeFile("j.1", "abc");
  writeFile("j.2", "d");
  writeFile("j.crc", recordOf("j", "abcX"));  // says the last byte is X
  writeFile("j", "precious");
  RecordingFileServices fs;
  RecordingUi ui;
  ui.answerNo = kAnswerYes;
  proc1(fs, ui, "j.1");
  // Asked first; then the CRC does not match: j is as it was.
  EXPECT_EQ(ui.events.front(), "questionNo:j は既にあります．上書きしますか？");
  EXPECT_EQ(ui.messages(), std::vector<std::string>{text::crcMismatch("j.crc", crcOf("abcd"), crcOf("abcX"))});
  EXPECT_EQ(readFile("j"), "precious");
  EXPECT_FALSE(anyHidden());
  // With the right record it is replaced in one step.
  writeFile("j.crc", recordOf("j", "abcd"));
  ui.events.clear();
  proc1(fs, ui, "j.1");
  EXPECT_EQ(readFile("j"), "abcd");
  EXPECT_EQ(ui.headlines(), std::vector<std::string>{"結合完了"});
}

// Sets numbered with leading zeros, as other splitters write them.
TEST(SetCheck, ZeroPaddedSetsJoinAndDeleteUnderTheirOwnNames) {
  TempDir dir;
  std::string whole;
  for (int k = 1; k <= 11; ++k) {
    const std::string bytes = pattern(k == 11 ? 10 : 50, static_cast<unsigned>(k));
    writeFile("movie.avi." + pieceNumberText(k, 3), bytes);
    whole += bytes;
  }
  writeFile("movie.avi.1", "not of the set");
  RecordingFileServices fs;
  RecordingUi ui;
  proc1(fs, ui, "movie.avi.007");
  EXPECT_EQ(readFile("movie.avi"), whole);
  EXPECT_EQ(ui.headlines(), std::vector<std::string>{"結合完了"});
  EXPECT_EQ(filesHere(), (std::vector<std::string>{"movie.avi", "movie.avi.1"}));
}

TEST(SetCheck, NamesWithLettersAfterTheDigitsAreSplit) {
  for (const char* name : {"clip.3gp", "archive.7z"}) {
    TempDir dir;
    writeFile("clip.1", "x");
    writeFile("clip.2", "y");
    writeFile(name, pattern(kPieceSize12 + 1));
    RecordingFileServices fs;
    RecordingUi ui;
    ui.size = kPieceSize12;
    proc1(fs, ui, name);
    EXPECT_EQ(ui.headlines(), std::vector<std::string>{"分割完了"}) << name;
    EXPECT_TRUE(exists(std::string(name) + ".2")) << name;
    EXPECT_FALSE(exists("clip")) << name;
  }
}

// Short naming: the record says what the joined file's extension was.
TEST(SetCheck, TheRecordSuggestsTheExtensionUnderShortNaming) {
  TempDir dir;
  const std::string original = pattern(kPieceSize12 + 50);
  writeFile("report.doc", original);
  RecordingFileServices fs;
  RecordingUi ui;
  ui.check = 1;
  ui.size = kPieceSize12;
  proc1(fs, ui, "report.doc");
  EXPECT_EQ(readFile("report.crc"), recordOf("report.doc", original));
  stdfs::remove("report.doc");
  ui.events.clear();
  ui.extension = "doc";  // as the user leaves it
  ui.answer = 7;
  proc1(fs, ui, "report.2");
  EXPECT_EQ(std::vector<std::string>(ui.events.begin(), ui.events.begin() + 2),
            (std::vector<std::string>{"suggest:doc", "prompt"}));
  EXPECT_EQ(readFile("report.doc"), original);
}

// Splitting again over an older set: asked once; on Yes no piece of the
// older set is left to be joined with the new one.
TEST(SetCheck, SplittingAgainOverAnOlderSetReplacesAllOfIt) {
  TempDir dir;
  const std::string first = pattern(5 * 1000 + 10, 1), second = pattern(2 * 1000 + 3, 2);
  writeFile("report.doc", first);
  RecordingFileServices fs;
  RecordingUi ui;
  ui.size = 1000;
  proc1(fs, ui, "report.doc");
  ASSERT_TRUE(exists("report.doc.6"));
  writeFile("report.doc", second);
  ui.events.clear();
  proc1(fs, ui, "report.doc");  // No, the default
  EXPECT_EQ(ui.events, std::vector<std::string>{"questionNo:" + text::piecesExistQuestion("report.doc.1", "report.doc.crc", 7)});
  EXPECT_EQ(readFile("report.doc.crc"), recordOf("report.doc", first));
  ui.answerNo = kAnswerYes;
  ui.events.clear();
  proc1(fs, ui, "report.doc");
  EXPECT_EQ(ui.headlines(), std::vector<std::string>{"分割完了"});
  EXPECT_EQ(filesHere(), (std::vector<std::string>{"report.doc", "report.doc.1", "report.doc.2", "report.doc.3",
                                                   "report.doc.crc"}));
  EXPECT_EQ(readFile("report.doc.crc"), recordOf("report.doc", second));
  stdfs::remove("report.doc");
  proc1(fs, ui, "report.doc.1");
  EXPECT_EQ(readFile("report.doc"), second);
}

// Short naming with the extension "crc": the joined file would be the
// record, and deleting the pieces would take it along.
TEST(SetCheck, TheJoinedFileIsNeverTheRecord) {
  TempDir dir;
  const std::string original = pattern(kPieceSize12 + 50);
  writeFile("r.doc", original);
  RecordingFileServices fs;
  RecordingUi ui;
  ui.check = 1;
  ui.size = kPieceSize12;
  proc1(fs, ui, "r.doc");
  const std::string record = readFile("r.crc");
  ui.events.clear();
  ui.extension = "crc";
  ui.answerNo = kAnswerYes;
  proc1(fs, ui, "r.1");
  EXPECT_EQ(ui.messages(), std::vector<std::string>{text::kJoinedIsRecord});
  EXPECT_EQ(readFile("r.crc"), record);
  EXPECT_EQ(filesHere(), (std::vector<std::string>{"r.1", "r.2", "r.crc", "r.doc"}));
}

TEST(SetCheck, AFileOfTheRecordsNameThatIsNotARecordIsNeverWrittenOver) {
  TempDir dir;
  writeFile("notes.txt", pattern(kPieceSize12 + 1));
  writeFile("notes.txt.crc", "my own notes");
  RecordingFileServices fs;
  RecordingUi ui;
  ui.size = kPieceSize12;
  ui.answerNo = kAnswerYes;
  proc1(fs, ui, "notes.txt");
  EXPECT_EQ(ui.events, std::vector<std::string>{"message:" + text::notARecord("notes.txt.crc")});
  EXPECT_EQ(readFile("notes.txt.crc"), "my own notes");
  EXPECT_EQ(filesHere(), (std::vector<std::string>{"notes.txt", "notes.txt.crc"}));
}

// Not enough room: said with the bytes needed, and nothing is written.
TEST(SetCheck, TooLittleFreeSpaceWritesNothing) {
  TempDir dir;
  writeFile("f.bin", pattern(kPieceSize12 + 9));
  writeFile("g.1", "12345");
  writeFile("g.2", "67");
  RecordingFileServices fs;
  fs.free = std::optional<std::int64_t>(6);
  RecordingUi ui;
  ui.size = kPieceSize12;
  proc1(fs, ui, "f.bin");
  proc1(fs, ui, "g.2");
  EXPECT_EQ(ui.events, (std::vector<std::string>{"message:" + text::noSpace(kPieceSize12 + 9, 6),
                                                 "message:" + text::noSpace(7, 6)}));
  EXPECT_EQ(text::noSpace(1250313, 6),
            "ディスクの空き容量が足りません．1,250,313 バイト必要ですが，空きは 6 バイトです．");
  EXPECT_EQ(filesHere(), (std::vector<std::string>{"f.bin", "g.1", "g.2"}));
}

// A source that changes while it is split: no set is left, however small
// the change: a tenth of a microsecond later, within the same second, with
// the same length, is found out too.
// Sets a file's last-write time while another handle may have it open.
static void setModified(const std::string& name, const FileDateTime& t) {
#ifdef _WIN32
  HANDLE h = CreateFileW(nativePath(name).c_str(), FILE_WRITE_ATTRIBUTES,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  const auto ticks = static_cast<std::uint64_t>((t.seconds + 11'644'473'600) * 10'000'000 + t.nanoseconds / 100);
  FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  EXPECT_TRUE(SetFileTime(h, nullptr, nullptr, &ft));
  CloseHandle(h);
#else
  struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(t.seconds), t.nanoseconds}};
  ASSERT_EQ(::utimensat(AT_FDCWD, name.c_str(), times, 0), 0);
#endif
}

TEST(SetCheck, ASourceThatChangesWhileSplitLeavesNoPieces) {
  enum How { Grows, Touched, SameSecond };
  for (const How how : {Grows, Touched, SameSecond}) {
    SCOPED_TRACE(how);
    TempDir dir;
    writeFile("live.log", pattern(3 * kPieceSize12));
    // Half a second past a whole second.
    const FileDateTime start{1'700'000'000, 500'000'000};
    setModified("live.log", start);
    RecordingFileServices fs;
    int reads = 0;
    fs.beforeCall = [&](const std::string& op, const std::string& name) {
      if (op != "read" || name != "live.log" || ++reads != 50) return;
      if (how == Grows) std::ofstream("live.log", std::ios::app | std::ios::binary) << "more";
      else if (how == Touched) setModified("live.log", {start.seconds + 3600, start.nanoseconds});
      else setModified("live.log", {start.seconds, start.nanoseconds + 100});
    };
    RecordingUi ui;
    ui.size = kPieceSize12;
    proc1(fs, ui, "live.log");
    EXPECT_EQ(ui.messages(), std::vector<std::string>{text::sourceChanged("live.log")});
    EXPECT_EQ(filesHere(), std::vector<std::string>{"live.log"});
  }
}
