// Split and join on Windows with the real file services: Japanese names,
// the read-only, hidden, system and archive bits, read-only pieces and
// products held open by another program.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "crc32.h"
#include "doubles.h"
#include "engine.h"
#include "messages.h"
#include "name_rules.h"
#include "record.h"
#include "win32_test_support.h"

namespace vexo {
namespace {

using test::pattern;
using test::RecordingFileServices;
using test::RecordingUi;
using wintest::existsW;
using wintest::readFileW;
using wintest::shownAttributes;
using wintest::writeFileW;

constexpr DWORD kBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                        FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

class Win32Engine : public wintest::TempDirFixture {
 protected:
  DWORD bitsOf(const std::wstring& name) { return GetFileAttributesW(name.c_str()) & kBits; }
  std::int64_t stampOf(const std::wstring& name) { return wintest::ticks(wintest::lastWriteW(name)); }

  // Another program opens `file` (sharing `share`) just before the engine's
  // first `op` on `when`, and keeps it open in `other`.
  void holdOpenAt(RecordingFileServices& recording, const std::string& op, const std::string& when,
                  const wchar_t* file, DWORD share) {
    recording.beforeCall = [=, this](const std::string& o, const std::string& name) {
      if (o == op && name == when && !other)
        other = std::make_unique<wintest::Handle>(
            CreateFileW(file, GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    };
  }
  std::unique_ptr<wintest::Handle> other;
};

TEST_F(Win32Engine, SplitAndJoinCarryBytesTimeAndBitsUnderJapaneseNames) {
  // "報告書.doc", split with long naming into "報告書.doc.1" and "報告書.doc.2".
  const std::string data = pattern(kPieceSize144 + 1000, 7);
  writeFileW(L"報告書.doc", data);
  const FileDateTime dt = localDateTime(2003, 4, 5, 6, 7, 8);
  wintest::stampW(L"報告書.doc", dt);
  const DWORD bits = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  ASSERT_TRUE(SetFileAttributesW(L"報告書.doc", bits));
  const std::int64_t sourceStamp = stampOf(L"報告書.doc");

  RecordingUi ui;
  proc1(*fs, ui, "報告書.doc");
  EXPECT_EQ(ui.headlineEvents(), (std::vector<std::string>{"status:分割中 報告書.doc.1 (1/2)",
                                                 "status:分割中 報告書.doc.2 (2/2)", "clear",
                                                 "message:分割完了", "refresh"}));
  EXPECT_EQ(readFileW(L"報告書.doc.1"), data.substr(0, kPieceSize144));
  EXPECT_EQ(readFileW(L"報告書.doc.2"), data.substr(kPieceSize144));
  // The pieces stay visible: hidden and system are not theirs to carry.
  for (const wchar_t* piece : {L"報告書.doc.1", L"報告書.doc.2"}) {
    EXPECT_EQ(bitsOf(piece), shownAttributes(0)) << wintest::toUtf8(piece);
    EXPECT_EQ(stampOf(piece), sourceStamp) << wintest::toUtf8(piece);
  }

  ASSERT_TRUE(SetFileAttributesW(L"報告書.doc", FILE_ATTRIBUTE_NORMAL));
  ASSERT_TRUE(DeleteFileW(L"報告書.doc"));
  RecordingUi joinUi;  // answers Yes: the pieces go
  proc1(*fs, joinUi, "報告書.doc.2");
  EXPECT_EQ(joinUi.headlineEvents(),
            (std::vector<std::string>{"status:結合中 報告書.doc (1/2)", "status:結合中 報告書.doc (2/2)",
                                      "clear", "message:結合完了",
                                      "refresh", "question:分割ファイルを削除しますか？",
                                      "status:ディスクに書き込み中…", "clear", "refresh"}));
  EXPECT_EQ(readFileW(L"報告書.doc"), data);
  EXPECT_EQ(bitsOf(L"報告書.doc"), shownAttributes(bits));
  EXPECT_EQ(stampOf(L"報告書.doc"), sourceStamp);
  EXPECT_EQ(fs->fileDateTime("報告書.doc"), dt);
  EXPECT_FALSE(existsW(L"報告書.doc.1"));
  EXPECT_FALSE(existsW(L"報告書.doc.2"));
}

TEST_F(Win32Engine, ReadOnlySourceGivesStampedReadOnlyPieces) {
  const std::string data = pattern(kPieceSize12 + 10, 3);
  writeFileW(L"ro.dat", data);
  const FileDateTime dt = localDateTime(1998, 7, 6, 5, 4, 3);
  wintest::stampW(L"ro.dat", dt);
  ASSERT_TRUE(SetFileAttributesW(L"ro.dat", FILE_ATTRIBUTE_READONLY));

  RecordingUi ui;
  ui.size = kPieceSize12;
  ui.check = 1;  // short naming: ro.1, ro.2
  proc1(*fs, ui, "ro.dat");
  EXPECT_EQ(ui.headlines(), std::vector<std::string>{"分割完了"});
  // Stamped before it became read-only, or the stamp could not have been set.
  for (const char* piece : {"ro.1", "ro.2"}) {
    EXPECT_EQ(fs->fileDateTime(piece), dt) << piece;
    EXPECT_EQ(fs->getAttr(piece) & kBits, shownAttributes(FILE_ATTRIBUTE_READONLY)) << piece;
  }
  EXPECT_EQ(readFileW(L"ro.2"), data.substr(kPieceSize12));
}

TEST_F(Win32Engine, ReadOnlyPiecesAreDeletedAsAgreedAndAHeldOneIsNamed) {
  writeFileW(L"set.bin.1", "first-");
  writeFileW(L"set.bin.2", "secnd-");  // as long as piece 1
  writeFileW(L"set.bin.3", "third");
  ASSERT_TRUE(SetFileAttributesW(L"set.bin.1", FILE_ATTRIBUTE_READONLY));
  ASSERT_TRUE(SetFileAttributesW(L"set.bin.3", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

  // Another program holds piece 2 open while the pieces are deleted.
  RecordingFileServices recording(makeSystemFileServices());
  holdOpenAt(recording, "kill", "set.bin.1", L"set.bin.2", FILE_SHARE_READ);
  RecordingUi ui;  // answers Yes
  proc1(recording, ui, "set.bin.1");
  ASSERT_TRUE(other && other->valid());
  EXPECT_EQ(ui.headlineEvents(),
            (std::vector<std::string>{"status:結合中 set.bin (1/3)", "status:結合中 set.bin (2/3)",
                                      "status:結合中 set.bin (3/3)",
                                      "clear", "message:結合完了", "refresh",
                                      "question:分割ファイルを削除しますか？", "status:ディスクに書き込み中…",
                                      "clear", "refresh",
                                      "message:" + text::notDeleted({"set.bin.2：アクセスが拒否されました（他のプログラムが使用中です）"})}));
  // The joined file is whole, with the last piece's bits; the read-only
  // pieces went as agreed, the held one stays as it was.
  EXPECT_EQ(readFileW(L"set.bin"), "first-secnd-third");
  EXPECT_EQ(bitsOf(L"set.bin"), shownAttributes(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
  EXPECT_FALSE(existsW(L"set.bin.1"));
  EXPECT_FALSE(existsW(L"set.bin.3"));
  other.reset();
  EXPECT_EQ(readFileW(L"set.bin.2"), "secnd-");

  // A read-only piece that cannot be deleted keeps its bit.
  ASSERT_TRUE(SetFileAttributesW(L"set.bin.2", FILE_ATTRIBUTE_READONLY));
  {
    wintest::Handle held(CreateFileW(L"set.bin.2", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    try {
      fs->kill("set.bin.2");
      ADD_FAILURE() << "a held piece was deleted";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(e.number(), err::PermissionDenied);
      EXPECT_EQ(e.reason(), text::kInUse);
      EXPECT_EQ(e.file(), "set.bin.2");
    }
  }
  EXPECT_EQ(bitsOf(L"set.bin.2"), shownAttributes(FILE_ATTRIBUTE_READONLY));
  fs->kill("set.bin.2");
  EXPECT_FALSE(existsW(L"set.bin.2"));
}

TEST_F(Win32Engine, APieceGetsItsTimeAndBitsBeforeAnotherProgramCanTakeIt) {
  const std::string data = pattern(kPieceSize144 + 5, 9);
  writeFileW(L"held.bin", data);
  const FileDateTime dt = localDateTime(2010, 10, 10, 10, 10, 10);
  wintest::stampW(L"held.bin", dt);
  ASSERT_TRUE(SetFileAttributesW(L"held.bin", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));

  // Another program tries to open the last piece without sharing once it
  // is written: the split still holds it, stamps it through its own handle
  // and only then lets it go. (Piece 1 is written under a hidden name.)
  RecordingFileServices recording(makeSystemFileServices());
  holdOpenAt(recording, "stamp", "held.bin.2", L"held.bin.2", 0);
  RecordingUi ui;
  proc1(recording, ui, "held.bin");
  ASSERT_TRUE(other);
  EXPECT_FALSE(other->valid());

  EXPECT_EQ(ui.headlineEvents(), (std::vector<std::string>{"status:分割中 held.bin.1 (1/2)", "status:分割中 held.bin.2 (2/2)",
                                                 "clear", "message:分割完了", "refresh"}));
  // Both pieces with the source's time and bits, without the hidden one,
  // which the record keeps.
  for (const char* piece : {"held.bin.1", "held.bin.2"}) {
    EXPECT_EQ(fs->fileDateTime(piece), dt) << piece;
    EXPECT_EQ(fs->getAttr(piece), shownAttributes(FILE_ATTRIBUTE_ARCHIVE)) << piece;
  }
  EXPECT_NE(readFileW(L"held.bin.crc").find("attributes=hidden\r\n"), std::string::npos);
  EXPECT_EQ(readFileW(L"held.bin.2"), data.substr(kPieceSize144));
}

// The names in the current directory, sorted by code units.
std::vector<std::string> namesHere(FileServices& fs) {
  std::vector<std::string> names = fs.listDirectory();
  std::sort(names.begin(), names.end());
  return names;
}

std::string recordOf(const std::string& name, const std::string& bytes) {
  return formatRecord(
      SetRecord{name, static_cast<std::int64_t>(bytes.size()), crc32Update(0, bytes.data(), bytes.size()), {}});
}

TEST_F(Win32Engine, NamesAreComparedAsWindowsComparesThem) {
  const std::string data = pattern(2500, 4);
  const std::string old = pattern(1000, 5);
  {
    // An older set in capitals with its record in yet another case: the
    // split of report.doc asks before it replaces them, and No keeps all.
    writeFileW(L"report.doc", data);
    writeFileW(L"REPORT.DOC.1", old);
    writeFileW(L"REPORT.DOC.2", old.substr(0, 10));
    writeFileW(L"Report.Doc.CRC", recordOf("report.doc", old + old.substr(0, 10)));
    const auto before = namesHere(*fs);
    RecordingUi ui;
    ui.size = 1000;
    ui.answerNo = 7;  // No
    proc1(*fs, ui, "report.doc");
    EXPECT_EQ(ui.events, std::vector<std::string>{"questionNo:" + text::piecesExistQuestion("REPORT.DOC.1", "Report.Doc.CRC", 3)});
    EXPECT_EQ(namesHere(*fs), before);
    EXPECT_EQ(readFileW(L"REPORT.DOC.1"), old);

    // Yes: the older set goes and the new one takes its place.
    ui.events.clear();
    ui.answerNo = kAnswerYes;
    proc1(*fs, ui, "report.doc");
    EXPECT_EQ(ui.headlines(), std::vector<std::string>{"分割完了"});
    EXPECT_EQ(namesHere(*fs), (std::vector<std::string>{"report.doc", "report.doc.1", "report.doc.2",
                                                       "report.doc.3", "report.doc.crc"}));
    EXPECT_EQ(readFileW(L"report.doc.1") + readFileW(L"report.doc.2") + readFileW(L"report.doc.3"), data);
  }
  {
    // Under short naming the record of REPORT.CRC would be REPORT.crc: the
    // source itself, which is never written.
    writeFileW(L"REPORT.CRC", data);
    RecordingUi ui;
    ui.size = 1000;
    ui.check = 1;
    proc1(*fs, ui, "REPORT.CRC");
    EXPECT_EQ(ui.events, std::vector<std::string>{"message:" + text::kRecordWouldBeSource});
    EXPECT_EQ(readFileW(L"REPORT.CRC"), data);
    EXPECT_FALSE(existsW(L"REPORT.1"));
  }
  {
    // A gap is seen whatever the case of the pieces beyond it.
    writeFileW(L"gap.bin.1", "aaaa");
    writeFileW(L"GAP.BIN.2", "bbbb");
    writeFileW(L"Gap.Bin.4", "dddd");
    RecordingUi ui;
    ui.answerNo = 7;  // No
    proc1(*fs, ui, "gap.bin.1");
    EXPECT_EQ(ui.events,
              std::vector<std::string>{"questionNo:" + text::gapQuestion({"gap.bin.3"}, 0, "gap.bin.2")});
    EXPECT_FALSE(existsW(L"gap.bin"));
  }
}

TEST_F(Win32Engine, AShortNameThatReachesAnotherFileIsAskedAbout) {
  // The pieces of a file whose name is another file's short (8.3) name
  // would reach that file's pieces through their short names.
  const std::string theirs = pattern(700, 6);
  writeFileW(L"averylongname.doc.1", theirs);
  wchar_t shortName[MAX_PATH] = {};
  const DWORD n = GetShortPathNameW(L"averylongname.doc.1", shortName, MAX_PATH);
  const std::wstring alias(shortName, n);
  if (n == 0 || alias == L"averylongname.doc.1" || alias.size() < 3 || alias.substr(alias.size() - 2) != L".1")
    GTEST_SKIP() << "no short names on this volume";
  const std::wstring source = alias.substr(0, alias.size() - 2);  // "AVERYL~1"
  ASSERT_TRUE(readFileW(alias) == theirs) << "the short name reaches the file";
  const std::string data = pattern(1500, 7);
  writeFileW(source, data);
  if (!existsW(alias) || readFileW(alias) != theirs) GTEST_SKIP() << "the source took the short name's place";

  RecordingUi ui;
  ui.size = 1000;
  ui.answerNo = 7;  // No
  proc1(*fs, ui, wintest::toUtf8(source));
  EXPECT_EQ(ui.events,
            std::vector<std::string>{"questionNo:" + text::piecesExistQuestion(wintest::toUtf8(alias), wintest::toUtf8(alias), 1)});
  EXPECT_EQ(readFileW(L"averylongname.doc.1"), theirs);
  EXPECT_EQ(readFileW(source), data);
}

TEST_F(Win32Engine, NamesWindowsCannotHoldAreRefusedBeforeAnythingIsWritten) {
  writeFileW(L"report.doc.1", "one");
  writeFileW(L"report. .1", "one");
  writeFileW(L"notes", pattern(2500, 8));  // what "notes." would reach
  const auto before = namesHere(*fs);
  const struct {
    std::string chosen;
    std::string refused;  // the name the message is about
    int check;
    std::string extension;
  } cases[] = {
      {"con", "con", 0, ""},
      {"com1.doc.1", "com1.doc.1", 0, ""},
      {"Lpt9.bin", "Lpt9.bin", 1, ""},
      {"notes.", "notes.", 0, ""},
      {"report.doc:hidden", "report.doc:hidden", 0, ""},
      // The joined file's name: a trailing space, or a dot entered with the extension.
      {"report. .1", "report. ", 0, ""},
      {"report.doc.1", "report.doc.txt.", 1, "txt."},
  };
  for (const auto& c : cases) {
    RecordingUi ui;
    ui.size = 1000;
    ui.check = c.check;
    ui.extension = c.extension;
    proc1(*fs, ui, c.chosen);
    const std::string reason = windowsNameProblem(c.refused);
    ASSERT_FALSE(reason.empty()) << c.refused;
    ASSERT_FALSE(ui.events.empty()) << c.chosen;
    EXPECT_EQ(ui.events.back(), "message:" + text::unusableName(c.refused, reason)) << c.chosen;
    EXPECT_EQ(namesHere(*fs), before) << c.chosen;
  }
}

TEST_F(Win32Engine, SplitAndJoinInAFolderDeeperThanMaxPath) {
  // Each level 100 characters: the folder's path is longer than MAX_PATH,
  // and so are the names of the pieces, the record and the temporaries.
  std::wstring deep = wintest::toWide(tempDirUtf8());
  for (int level = 0; level < 3; ++level) {
    deep += L"\\" + std::wstring(96, static_cast<wchar_t>(L'a' + level)) + L"深さ";
    ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr)) << GetLastError();
  }
  ASSERT_GT(deep.size(), static_cast<std::size_t>(MAX_PATH));
  const std::string data = pattern(2500, 9);
  writeFileW(L"\\\\?\\" + deep + L"\\long.bin", data);
  const FileDateTime dt = localDateTime(2004, 5, 6, 7, 8, 9);
  wintest::stampW(L"\\\\?\\" + deep + L"\\long.bin", dt);

  fs->chDir(wintest::toUtf8(deep));
  EXPECT_EQ(fs->curDir(), wintest::toUtf8(deep));
  RecordingUi ui;
  ui.size = 1000;
  proc1(*fs, ui, "long.bin");
  EXPECT_EQ(ui.headlines(), std::vector<std::string>{"分割完了"});
  EXPECT_EQ(namesHere(*fs),
            (std::vector<std::string>{"long.bin", "long.bin.1", "long.bin.2", "long.bin.3", "long.bin.crc"}));
  EXPECT_EQ(readFileW(L"\\\\?\\" + deep + L"\\long.bin.3"), data.substr(2000));
  EXPECT_EQ(fs->fileDateTime("long.bin.2"), dt);

  fs->kill("long.bin");
  RecordingUi joinUi;  // Yes: the pieces go
  proc1(*fs, joinUi, "long.bin.1");
  EXPECT_EQ(joinUi.headlines(), std::vector<std::string>{"結合完了"});
  EXPECT_EQ(readFileW(L"\\\\?\\" + deep + L"\\long.bin"), data);
  EXPECT_EQ(fs->fileDateTime("long.bin"), dt);
  EXPECT_EQ(namesHere(*fs), std::vector<std::string>{"long.bin"});
  // Out of it again by a short path.
  fs->chDir(tempDirUtf8());
  EXPECT_EQ(fs->curDir(), tempDirUtf8());
  EXPECT_EQ(fs->kind("long.bin", true), FileKind::Missing);

  // The fixture's clean-up reads paths of ordinary length only.
  EXPECT_TRUE(DeleteFileW((L"\\\\?\\" + deep + L"\\long.bin").c_str()));
  for (int level = 0; level < 3; ++level) {
    EXPECT_TRUE(RemoveDirectoryW((L"\\\\?\\" + deep).c_str()));
    deep.resize(deep.rfind(L'\\'));
  }
}

}  // namespace
}  // namespace vexo

#endif  // _WIN32
