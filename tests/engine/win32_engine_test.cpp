// Split and join on Windows with the real file services: Japanese names,
// the read-only, hidden, system and archive bits, read-only pieces and
// products held open by another program.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "doubles.h"
#include "engine.h"
#include "messages.h"
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
  for (const wchar_t* piece : {L"報告書.doc.1", L"報告書.doc.2"}) {
    EXPECT_EQ(bitsOf(piece), shownAttributes(bits)) << wintest::toUtf8(piece);
    EXPECT_EQ(stampOf(piece), sourceStamp) << wintest::toUtf8(piece);
  }

  ASSERT_TRUE(SetFileAttributesW(L"報告書.doc", FILE_ATTRIBUTE_NORMAL));
  ASSERT_TRUE(DeleteFileW(L"報告書.doc"));
  RecordingUi joinUi;  // answers Yes: the pieces go
  proc1(*fs, joinUi, "報告書.doc.2");
  EXPECT_EQ(joinUi.headlineEvents(),
            (std::vector<std::string>{"status:結合中 報告書.doc (1/2)", "status:結合中 報告書.doc (2/2)",
                                      "status:ディスクに書き込み中…", "clear", "message:結合完了",
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

TEST_F(Win32Engine, ReadOnlyPieceIsNotDeletedAfterAJoin) {
  writeFileW(L"set.bin.1", "first-");
  writeFileW(L"set.bin.2", "secnd-");  // as long as piece 1
  writeFileW(L"set.bin.3", "third");
  ASSERT_TRUE(SetFileAttributesW(L"set.bin.2", FILE_ATTRIBUTE_READONLY));

  RecordingUi ui;  // answers Yes
  proc1(*fs, ui, "set.bin.1");
  EXPECT_EQ(ui.headlineEvents(),
            (std::vector<std::string>{"status:結合中 set.bin (1/3)", "status:結合中 set.bin (2/3)",
                                      "status:結合中 set.bin (3/3)", "status:ディスクに書き込み中…",
                                      "clear", "message:結合完了",
                                      "refresh", "question:分割ファイルを削除しますか？",
                                      "status:ディスクに書き込み中…", "clear",
                                      "message:" + text::errorText(70, "set.bin.2")}));
  // The joined file is whole; piece 1 went, the read-only piece and the one
  // after it stay.
  EXPECT_EQ(readFileW(L"set.bin"), "first-secnd-third");
  EXPECT_FALSE(existsW(L"set.bin.1"));
  EXPECT_EQ(readFileW(L"set.bin.2"), "secnd-");
  EXPECT_EQ(readFileW(L"set.bin.3"), "third");
  // Nothing is left open: the pieces that stay can be removed.
  ASSERT_TRUE(SetFileAttributesW(L"set.bin.2", FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(DeleteFileW(L"set.bin.2"));
  EXPECT_TRUE(DeleteFileW(L"set.bin.3"));
  EXPECT_TRUE(DeleteFileW(L"set.bin"));
}

TEST_F(Win32Engine, PieceHeldOpenElsewhereIsReportedAndStillGetsItsBits) {
  const std::string data = pattern(kPieceSize144 + 5, 9);
  writeFileW(L"held.bin", data);
  const FileDateTime dt = localDateTime(2010, 10, 10, 10, 10, 10);
  wintest::stampW(L"held.bin", dt);
  ASSERT_TRUE(SetFileAttributesW(L"held.bin", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));

  // Another program opens the last piece without sharing just after it is
  // written, and keeps it open. (Piece 1 is written under a hidden name.)
  RecordingFileServices recording(makeSystemFileServices());
  std::unique_ptr<wintest::Handle> other;
  recording.beforeCall = [&](const std::string& op, const std::string& name) {
    if (op == "stamp" && name == "held.bin.2" && !other)
      other = std::make_unique<wintest::Handle>(CreateFileW(
          L"held.bin.2", GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  };
  RecordingUi ui;
  proc1(recording, ui, "held.bin");
  ASSERT_TRUE(other && other->valid());

  EXPECT_EQ(ui.headlineEvents(), (std::vector<std::string>{"status:分割中 held.bin.1 (1/2)", "status:分割中 held.bin.2 (2/2)",
                                                 "message:SetFileDateTime Error File=held.bin.2", "clear",
                                                 "message:分割完了", "refresh"}));
  EXPECT_NE(fs->fileDateTime("held.bin.2"), dt);
  EXPECT_EQ(fs->getAttr("held.bin.2"), fs->getAttr("held.bin"));
  EXPECT_EQ(fs->fileDateTime("held.bin.1"), dt);
  EXPECT_EQ(fs->getAttr("held.bin.1"), fs->getAttr("held.bin"));
  other.reset();
  EXPECT_EQ(readFileW(L"held.bin.2"), data.substr(kPieceSize144));
}

}  // namespace
}  // namespace vexo

#endif  // _WIN32
