// Which files make a set: what a split writes over and removes, which
// pieces a join takes, and what a set's record proves. Real files in a
// temporary directory.
#include <gtest/gtest.h>

#include <filesystem>

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

using Files = std::vector<std::pair<std::string, std::string>>;

std::uint32_t crcOf(const std::string& bytes) { return crc32Update(0, bytes.data(), bytes.size()); }

std::string recordOf(const std::string& name, const std::string& bytes) {
  return formatRecord(SetRecord{name, static_cast<std::int64_t>(bytes.size()), crcOf(bytes), {}});
}

// The questions and messages only, without the status lines.
// What the user was told or asked (summaries cut to their first line).
std::vector<std::string> said(const RecordingUi& ui) {
  std::vector<std::string> out;
  for (const auto& e : ui.headlineEvents())
    if (e.rfind("message:", 0) == 0 || e.rfind("question", 0) == 0) out.push_back(e);
  return out;
}

void write(const Files& files) {
  for (const auto& [name, bytes] : files) writeFile(name, bytes);
}

std::vector<std::string> sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// Pieces of `whole` at `size` bytes, named base + the number at the width,
// numbered from `first`.
Files piecesOf(const std::string& whole, std::size_t size, const std::string& base, int width, int first) {
  Files out;
  for (std::size_t at = 0, k = static_cast<std::size_t>(first); at < whole.size(); at += size, ++k)
    out.emplace_back(base + pieceNumberText(static_cast<std::int64_t>(k), width), whole.substr(at, size));
  return out;
}

}  // namespace

// Splitting again: only the older set's own files go, the question counts
// exactly them, and the file being split is never among them.
TEST(Sets, ASplitRemovesOnlyItsOwnOlderSet) {
  const std::string older = pattern(5010, 1), source = pattern(2003, 2);
  const Files olderSet = piecesOf(older, 1000, "report.doc.", 1, 1);  // .1 to .6
  const std::string olderRecord = recordOf("report.doc", older);
  struct Case {
    const char* what;
    Files files;
    std::string chosen;
    bool shortNaming;
    int digits;
    std::vector<std::string> said;
    std::vector<std::string> after;  // the directory afterwards
    std::vector<std::string> kept;   // files left as they were
  };
  Files withDated = olderSet;
  withDated.insert(withDated.end(), {{"report.doc", source}, {"report.doc.crc", olderRecord},
                                     {"report.doc.20240101", "a dated copy"}});
  Files withGap = olderSet;
  withGap.erase(withGap.begin() + 4);  // .5 missing: .6 is not the older set's
  withGap.insert(withGap.end(), {{"report.doc", source}, {"report.doc.crc", olderRecord}});
  const Case cases[] = {
      {"an older, longer set and a dated copy", withDated, "report.doc", false, 1,
       {"questionNo:" + text::piecesExistQuestion("report.doc.1", "report.doc.crc", 7), "message:分割完了"},
       {"report.doc", "report.doc.1", "report.doc.2", "report.doc.20240101", "report.doc.3", "report.doc.crc"},
       {"report.doc", "report.doc.20240101"}},
      {"a gap ends the older set", withGap, "report.doc", false, 1,
       {"questionNo:" + text::piecesExistQuestion("report.doc.1", "report.doc.crc", 5), "message:分割完了"},
       {"report.doc", "report.doc.1", "report.doc.2", "report.doc.3", "report.doc.6", "report.doc.crc"},
       {"report.doc", "report.doc.6"}},
      {"16bit: the neighbour backup.2023", {{"backup.2024", source}, {"backup.2023", "last year"}}, "backup.2024",
       true, 1, {"message:分割完了"},
       {"backup.1", "backup.2", "backup.2023", "backup.2024", "backup.3", "backup.crc"}, {"backup.2023", "backup.2024"}},
      {"16bit: the source is the record's name", {{"report.crc", source}}, "report.crc", true, 1,
       {"message:" + text::kRecordWouldBeSource}, {"report.crc"}, {"report.crc"}},
      {"a record shared with the other numbering", {{"report.doc", source}, {"report.doc.1", older.substr(0, 1000)},
       {"report.doc.2", older.substr(1000)}, {"report.doc.crc", olderRecord}}, "report.doc", false, 3,
       {"questionNo:" + text::recordShared("report.doc.crc", "report.doc.1") + "\n" +
        text::piecesExistQuestion("report.doc.crc", "report.doc.crc", 1)},
       {"report.doc", "report.doc.1", "report.doc.2", "report.doc.crc"},
       {"report.doc", "report.doc.1", "report.doc.2", "report.doc.crc"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    write(c.files);
    RecordingFileServices fs;
    RecordingUi ui;
    ui.size = 1000;
    ui.check = c.shortNaming;
    ui.digits = c.digits;
    ui.answerNo = c.digits == 3 ? 7 : kAnswerYes;  // the shared record: No
    proc1(fs, ui, c.chosen);
    EXPECT_EQ(said(ui), c.said);
    EXPECT_EQ(filesHere(), c.after);
    for (const auto& [name, bytes] : c.files)
      if (std::find(c.kept.begin(), c.kept.end(), name) != c.kept.end()) {
        EXPECT_EQ(readFile(name), bytes) << name;
      }
  }
}

TEST(Sets, ASplitNeverRemovesItsSourceUnderAnotherName) {
  TempDir dir;
  const std::string source = pattern(2500, 3);
  writeFile("report.doc", source);
  for (int k = 1; k <= 3; ++k) writeFile("report.doc." + std::to_string(k), "old");
  stdfs::create_hard_link("report.doc", "report.doc.4");  // would follow piece 3
  RecordingFileServices fs;
  RecordingUi ui;
  ui.size = 1000;
  ui.answerNo = kAnswerYes;
  proc1(fs, ui, "report.doc");
  EXPECT_EQ(said(ui), std::vector<std::string>{"message:" + text::kWouldRemoveSource});
  EXPECT_EQ(readFile("report.doc"), source);
  EXPECT_EQ(readFile("report.doc.1"), "old");
}

// A file of the record's name that is not a record asks, No by default,
// before anything is written; a record in any of the forms other programs
// write is read and checked.
TEST(Sets, WhatAJoinTakesForARecord) {
  const std::string whole = pattern(1400, 5);
  const Files pieces = piecesOf(whole, 1000, "s.", 1, 1);
  const std::string crc = text::hex8(crcOf(whole));
  std::string utf16;
  for (char c : recordOf("s", whole)) utf16 += std::string{c, '\0'};
  struct Case {
    const char* what;
    std::string name;
    std::string text;
    bool readable;
  };
  const Case cases[] = {
      {"CRLF", "s.crc", recordOf("s", whole), true},
      {"blanks, a mark, CR lines", "s.crc", "\xEF\xBB\xBF filename = s \r SIZE =1400 \rcrc32= " + crc + "\t\r", true},
      {"LF lines, upper-case extension", "s.CRC", "filename=s\nsize=1400\ncrc32=" + crc + "\n", true},
      {"mixed-case extension", "s.Crc", "size=1400\r\nCrc32=" + crc, true},
      {"empty", "s.crc", "", false},
      {"binary", "s.crc", pattern(300, 9), false},
      {"UTF-16", "s.crc", utf16, false},
      {"no size", "s.crc", "filename=s\r\ncrc32=" + crc + "\r\n", false},
      {"no CRC", "s.crc", "filename=s\r\nsize=1400\r\n", false},
      {"a size that is no number", "s.crc", "size=1,400\r\ncrc32=" + crc + "\r\n", false},
  };
  for (const Case& c : cases) {
    for (const int answer : {7, kAnswerYes}) {
      if (c.readable && answer == 7) continue;
      SCOPED_TRACE(std::string(c.what) + (answer == 7 ? ", No" : ", Yes"));
      TempDir dir;
      write(pieces);
      writeFile(c.name, c.text);
      RecordingFileServices fs;
      RecordingUi ui;
      ui.answerNo = answer;
      proc1(fs, ui, "s.2");
      std::vector<std::string> expected;
      if (!c.readable) expected.push_back("questionNo:" + text::unreadableRecordQuestion(c.name));
      if (answer == kAnswerYes) expected.insert(expected.end(), {"message:結合完了", "question:" + text::kDeleteQuestion});
      EXPECT_EQ(said(ui), expected);
      if (answer == 7) {
        EXPECT_EQ(filesHere(), sorted({"s.1", "s.2", c.name}));
        continue;
      }
      EXPECT_EQ(readFile("s"), whole);
      // The record goes with the pieces only when it was checked against them.
      EXPECT_EQ(filesHere(), c.readable ? std::vector<std::string>{"s"} : sorted({"s", c.name}));
    }
  }
  // A readable record is checked: a wrong CRC in a generous form is found.
  TempDir dir;
  write(pieces);
  writeFile("s.CRC", "size = 1400\ncrc32 = 00000000\n");
  RecordingFileServices fs;
  RecordingUi ui;
  proc1(fs, ui, "s.1");
  EXPECT_EQ(said(ui), std::vector<std::string>{"message:" + text::crcMismatch("s.CRC", crcOf(whole), 0)});
  EXPECT_FALSE(exists("s"));
}

// Sets numbered from 0 (split -d writes f.00, f.01 ...; some write .000)
// join whole from any of their pieces; piece 0 beside a set from 1 is never
// silently left out.
TEST(Sets, SetsNumberedFromZero) {
  const std::string whole = pattern(2530, 6);
  const std::string odd = "not a piece";
  struct Case {
    const char* what;
    Files files;
    std::vector<std::string> chosen;
    std::vector<std::string> said;
    std::string joined;              // "s" afterwards, "-" when not made
    std::vector<std::string> after;  // after a Yes to deleting the pieces
  };
  Files fromOneWithZero = piecesOf(whole, 1000, "s.", 2, 1);
  fromOneWithZero.emplace_back("s.00", odd);
  Files provenFromOne = fromOneWithZero;
  provenFromOne.emplace_back("s.crc", recordOf("s", whole));
  Files provenFromZero = piecesOf(whole, 1000, "s.", 2, 0);
  provenFromZero.emplace_back("s.crc", recordOf("s", whole));
  const std::vector<std::string> done{"message:結合完了", "question:" + text::kDeleteQuestion};
  const Case cases[] = {
      {"width 2", piecesOf(whole, 1000, "s.", 2, 0), {"s.00", "s.01", "s.02"}, done, whole, {"s"}},
      {"width 3", piecesOf(whole, 1000, "s.", 3, 0), {"s.000", "s.001", "s.002"}, done, whole, {"s"}},
      {"width 1 with a piece 0 that fits", piecesOf(whole, 1000, "s.", 1, 0), {"s.1", "s.2"}, done, whole, {"s"}},
      {"with a record", provenFromZero, {"s.00", "s.02"}, done, whole, {"s"}},
      {"piece 0 that does not fit, no record", fromOneWithZero, {"s.00", "s.01", "s.03"},
       {"message:" + text::ambiguousStart("s.00", "s.01")}, "-", {}},
      {"piece 0 beside a set its record proves from 1", provenFromOne, {"s.00", "s.03"}, done, whole,
       {"s", "s.00"}},
  };
  for (const Case& c : cases) {
    for (const std::string& chosen : c.chosen) {
      SCOPED_TRACE(std::string(c.what) + ": " + chosen);
      TempDir dir;
      write(c.files);
      const auto before = filesHere();
      RecordingFileServices fs;
      RecordingUi ui;
      proc1(fs, ui, chosen);
      EXPECT_EQ(said(ui), c.said);
      if (c.joined == "-") {
        EXPECT_EQ(filesHere(), before);
        continue;
      }
      EXPECT_EQ(readFile("s"), c.joined);
      EXPECT_EQ(filesHere(), c.after);
      if (c.after.size() > 1) {
        EXPECT_EQ(readFile("s.00"), odd);
      }
    }
  }
}

// A number far past the set (a date) is another file: no gap is asked
// about, and it is not deleted with the pieces. One near the set is a gap.
TEST(Sets, FarNumbersAreNotPiecesNearOnesAreGaps) {
  const std::string whole = pattern(2500, 7);
  Files dated = piecesOf(whole, 1000, "report.doc.", 1, 1);
  dated.insert(dated.end(), {{"report.doc.202401011230", "dated"}, {"report.doc.20240101", "dated"}});
  Files gap = piecesOf(whole, 1000, "report.doc.", 1, 1);
  gap.emplace_back("report.doc.6", "x");
  struct Case {
    const char* what;
    Files files;
    std::vector<std::string> said;
    std::vector<std::string> after;
  };
  const Case cases[] = {
      {"dated copies", dated, {"message:結合完了", "question:" + text::kDeleteQuestion},
       {"report.doc", "report.doc.20240101", "report.doc.202401011230"}},
      {"a gap", gap, {"questionNo:" + text::gapQuestion({"report.doc.4", "report.doc.5"}, 0, "report.doc.3")},
       sorted({"report.doc.1", "report.doc.2", "report.doc.3", "report.doc.6"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    write(c.files);
    RecordingFileServices fs;
    RecordingUi ui;
    proc1(fs, ui, "report.doc.2");
    EXPECT_EQ(said(ui), c.said);
    EXPECT_EQ(filesHere(), c.after);
  }
  // Many missing numbers are counted, not named one by one.
  EXPECT_EQ(text::gapQuestion({"a.4", "a.5", "a.6"}, 993, "a.3"),
            "分割ファイル a.4，a.5，a.6 ほか 993 個 が見つかりません．\na.3 までの分割ファイルだけを結合しますか？");
}

// Other file managers write movie.001, movie.002 ... and movie.crc naming
// the file: the set joins under that name, when it is a plain file name.
TEST(Sets, ARecordNamesTheJoinedFile) {
  const std::string whole = pattern(1500, 8);
  const std::string tail = "size=1500\r\ncrc32=" + text::hex8(crcOf(whole)) + "\r\n";
  struct Case {
    std::string lines;   // before size= and crc32=
    std::string joined;  // the name of the joined file
    std::string named;   // the name ignored, with a note ("" for none)
  };
  const Case cases[] = {
      {"filename=movie.avi\r\n", "movie.avi", ""},
      {"filename=x.avi\r\nfilenameutf8=映画.avi\r\n", "映画.avi", ""},
      {"filename=movie\r\n", "movie", ""},
      {"filename=../movie.avi\r\n", "movie", "../movie.avi"},
      {"filename=sub/movie.avi\r\n", "movie", "sub/movie.avi"},
      {"filename=c:\\movie.avi\r\n", "movie", "c:\\movie.avi"},
      {"filename=movie.002\r\n", "movie", "movie.002"},
      {"filename=movie.crc\r\n", "movie", "movie.crc"},
      {"filename=..\r\n", "movie", ".."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lines);
    TempDir dir;
    write(piecesOf(whole, 1000, "movie.", 3, 1));
    writeFile("movie.crc", c.lines + tail);
    RecordingFileServices fs;
    RecordingUi ui;
    ui.answer = 7;
    proc1(fs, ui, "movie.001");
    std::vector<std::string> expected{"message:結合完了", "question:" + text::kDeleteQuestion};
    if (!c.named.empty()) expected.insert(expected.begin(), "message:" + text::recordedNameIgnored("movie.crc", c.named, "movie"));
    EXPECT_EQ(said(ui), expected);
    EXPECT_EQ(readFile(c.joined), whole);
  }
  // Under short naming the user chooses the extension; the record suggests it.
  TempDir dir;
  write(piecesOf(whole, 1000, "movie.", 3, 1));
  writeFile("movie.crc", "filename=movie.avi\r\n" + tail);
  RecordingFileServices fs;
  RecordingUi ui;
  ui.check = 1;
  ui.extension = "mkv";
  ui.answer = 7;
  proc1(fs, ui, "movie.002");
  EXPECT_EQ(ui.events.front(), "suggest:avi");
  EXPECT_EQ(readFile("movie.mkv"), whole);
}

#ifndef _WIN32
// Names are bytes: names that are not UTF-8 split and join like any other,
// and the record gives no filenameutf8= for them.
TEST(Sets, NamesThatAreNotUtf8RoundTrip) {
  for (const std::string& name : {std::string("bad\xff.bin"), std::string("\x95\xf1\x8d\x90.doc")}) {
    TempDir dir;
    const std::string original = pattern(2500, 9);
    writeFile(name, original);
    RecordingFileServices fs;
    RecordingUi ui;
    ui.size = 1000;
    proc1(fs, ui, name);
    ASSERT_EQ(ui.headlines(), std::vector<std::string>{"分割完了"});
    EXPECT_EQ(readFile(name + ".crc"), "filename=" + name + "\r\nsize=2500\r\ncrc32=" + text::hex8(crcOf(original)) + "\r\n");
    stdfs::rename(name, "original");
    proc1(fs, ui, name + ".2");
    EXPECT_EQ(readFile(name), original);
    EXPECT_EQ(filesHere(), sorted({"original", name}));
  }
}
#endif
