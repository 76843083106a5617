// The Windows file services against the real file system (run under Wine on
// the build machine). Files are made and inspected with the wide-character
// Win32 API directly, so the checks do not lean on the code under test.
#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "file_services.h"
#include "win32_test_support.h"

namespace vexo {
namespace {

using wintest::TempDirFixture;
using wintest::writeFileW;
using wintest::readFileW;
using wintest::lastWriteW;
using wintest::expectError;

class Win32FileServices : public TempDirFixture {};

TEST_F(Win32FileServices, JapaneseNamesWorkWhateverTheCodePage) {
  // "分割データ・一覧.bin" and a directory "作業フォルダ".
  const std::string dir = "作業フォルダ";
  const std::string name = "分割データ・一覧.bin";
  ASSERT_TRUE(CreateDirectoryW(L"作業フォルダ", nullptr));
  fs->chDir(dir);
  EXPECT_EQ(fs->curDir(), tempDirUtf8() + "\\" + dir);

  const int f = fs->freeFile();
  fs->openWrite(name, f, true);
  fs->write(f, "\x00\xff""abc", 5);
  fs->close(f);

  // The name on disk is the UTF-16 name, not a code-page rendering of it.
  EXPECT_EQ(readFileW(L"分割データ・一覧.bin"), std::string("\x00\xff""abc", 5));
  EXPECT_EQ(fs->fileLen(name), 5);
  const auto id = fs->identity(name);
  ASSERT_TRUE(id.has_value());
  EXPECT_EQ(fs->identity(tempDirUtf8() + "\\" + dir + "\\" + name), id);

  fs->openRead(name, f);
  char buf[8] = {};
  EXPECT_EQ(fs->read(f, buf, 5), 5u);
  EXPECT_EQ(std::string(buf, 5), std::string("\x00\xff""abc", 5));
  fs->close(f);

  fs->kill(name);
  EXPECT_EQ(GetFileAttributesW(L"分割データ・一覧.bin"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Win32FileServices, ReadFollowsTheEndOfFileRule) {
  writeFileW(L"two.bin", "abcdef");
  writeFileW(L"empty.bin", "");
  const int f = fs->freeFile();
  char buf[3];

  fs->openRead("two.bin", f);
  EXPECT_EQ(fs->loc(f), 1);
  EXPECT_EQ(fs->read(f, buf, 3), 3u);
  EXPECT_FALSE(fs->eof(f));
  EXPECT_EQ(fs->read(f, buf, 3), 3u);
  EXPECT_EQ(std::string(buf, 3), "def");
  EXPECT_FALSE(fs->eof(f)) << "a read ending on the last byte leaves end-of-file false";
  EXPECT_EQ(fs->loc(f), 7);
  EXPECT_EQ(fs->read(f, buf, 3), 0u);
  EXPECT_TRUE(fs->eof(f));

  // A read at an explicit 1-based position; a short one advances by what it read.
  EXPECT_EQ(fs->read(f, buf, 3, 2), 3u);
  EXPECT_EQ(std::string(buf, 3), "bcd");
  EXPECT_FALSE(fs->eof(f));
  EXPECT_EQ(fs->read(f, buf, 3, 5), 2u);
  EXPECT_EQ(std::string(buf, 2), "ef");
  EXPECT_TRUE(fs->eof(f));
  EXPECT_EQ(fs->loc(f), 7);
  fs->close(f);

  fs->openRead("empty.bin", f);
  EXPECT_EQ(fs->read(f, buf, 1), 0u);
  EXPECT_TRUE(fs->eof(f));
  fs->closeAll();
}

TEST_F(Win32FileServices, OpenForWritingShortensOnlyWhenAsked) {
  writeFileW(L"old.bin", "0123456789");
  const int f = fs->freeFile();
  fs->openWrite("old.bin", f, false);
  fs->write(f, "ab", 2);
  EXPECT_EQ(fs->loc(f), 3);
  fs->close(f);
  EXPECT_EQ(readFileW(L"old.bin"), "ab23456789");

  fs->openWrite("old.bin", f, false);
  fs->write(f, "xyz", 3);
  fs->truncate(f);
  EXPECT_EQ(fs->loc(f), 1);
  fs->write(f, "q", 1);
  fs->close(f);
  EXPECT_EQ(readFileW(L"old.bin"), "q");

  // A hidden, system file is opened in place and keeps its bits.
  const DWORD hs = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
  ASSERT_TRUE(SetFileAttributesW(L"old.bin", hs));
  fs->openWrite("old.bin", f, true);
  fs->write(f, "new", 3);
  fs->close(f);
  EXPECT_EQ(readFileW(L"old.bin"), "new");
  EXPECT_EQ(GetFileAttributesW(L"old.bin") & 0x27, hs);

  fs->openWrite("fresh.bin", f, false);
  fs->close(f);
  EXPECT_EQ(readFileW(L"fresh.bin"), "");
}

TEST_F(Win32FileServices, AttributeBitsAreReadAndSetUnchanged) {
  writeFileW(L"attr.bin", "x");
  const DWORD bits[] = {
      FILE_ATTRIBUTE_READONLY,
      FILE_ATTRIBUTE_HIDDEN,
      FILE_ATTRIBUTE_SYSTEM,
      FILE_ATTRIBUTE_ARCHIVE,
      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
          FILE_ATTRIBUTE_ARCHIVE,
      FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE,
  };
  for (DWORD b : bits) {
    ASSERT_TRUE(SetFileAttributesW(L"attr.bin", b));
    EXPECT_EQ(fs->getAttr("attr.bin"), GetFileAttributesW(L"attr.bin")) << b;
    EXPECT_EQ(fs->getAttr("attr.bin") & 0x27, wintest::shownAttributes(b)) << b;
  }
  for (DWORD b : bits) {
    fs->setAttr("attr.bin", b);
    EXPECT_EQ(GetFileAttributesW(L"attr.bin") & 0x27, wintest::shownAttributes(b)) << b;
  }
  // What one file reports, handed to another, gives the same bits.
  writeFileW(L"copy.bin", "y");
  fs->setAttr("attr.bin", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  fs->setAttr("copy.bin", fs->getAttr("attr.bin"));
  EXPECT_EQ(GetFileAttributesW(L"copy.bin"), GetFileAttributesW(L"attr.bin"));
  fs->setAttr("attr.bin", FILE_ATTRIBUTE_NORMAL);
  fs->setAttr("copy.bin", FILE_ATTRIBUTE_NORMAL);
}

TEST_F(Win32FileServices, ErrorNumbersMatchTheOtherSystems) {
  expectError(err::FileNotFound, [&] { fs->fileLen("missing.bin"); });
  expectError(err::FileNotFound, [&] { fs->fileDateTime("missing.bin"); });
  expectError(err::FileNotFound, [&] { fs->getAttr("missing.bin"); });
  expectError(err::FileNotFound, [&] { fs->openRead("missing.bin", 1); });
  expectError(err::FileNotFound, [&] { fs->kill("missing.bin"); });
  expectError(err::PathNotFound, [&] { fs->fileLen("no-dir\\missing.bin"); });
  expectError(err::PathNotFound, [&] { fs->openWrite("no-dir\\new.bin", 1, true); });
  EXPECT_FALSE(fs->identity("missing.bin").has_value());

  // A read-only file is not written; it is deleted only when asked to be
  // (the callers delete only what the user agreed to).
  writeFileW(L"ro.bin", "keep");
  ASSERT_TRUE(SetFileAttributesW(L"ro.bin", FILE_ATTRIBUTE_READONLY));
  expectError(err::PermissionDenied, [&] { fs->openWrite("ro.bin", 1, true); });
  EXPECT_EQ(readFileW(L"ro.bin"), "keep");
  fs->kill("ro.bin");
  EXPECT_FALSE(wintest::existsW(L"ro.bin"));

  // File numbers: one in use cannot be opened again; one not open cannot be read.
  writeFileW(L"a.bin", "a");
  const int f = fs->freeFile();
  EXPECT_EQ(f, 1);
  fs->openRead("a.bin", f);
  EXPECT_EQ(fs->freeFile(), 2);
  expectError(err::FileAlreadyOpen, [&] { fs->openRead("a.bin", f); });
  char c;
  expectError(err::BadFileNameOrNumber, [&] { fs->read(5, &c, 1); });
  expectError(err::BadFileMode, [&] { fs->write(f, "x", 1); });
  fs->close(f);
  EXPECT_EQ(fs->freeFile(), 1);
}

TEST_F(Win32FileServices, DateTimeIsTheExactWriteTimeAndOnlyLastWriteIsSet) {
  writeFileW(L"stamp.bin", "s");
  const FILETIME createdBefore = wintest::creationW(L"stamp.bin");
  const FILETIME accessed = wintest::fromTicks(wintest::ticks(createdBefore) - 36'000'000'000);
  {
    wintest::Handle h(CreateFileW(L"stamp.bin", FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                  0, nullptr));
    ASSERT_TRUE(SetFileTime(h.get(), nullptr, &accessed, nullptr));
  }

  // 2001-02-03 03:05:06.1234567 UTC, in 100 ns steps.
  const FileDateTime dt{981'169'506, 123'456'700};
  ASSERT_TRUE(fs->setFileDateTime("stamp.bin", dt));
  EXPECT_EQ(fs->fileDateTime("stamp.bin"), dt);
  EXPECT_EQ(wintest::ticks(lastWriteW(L"stamp.bin")), (981'169'506 + 11'644'473'600) * 10'000'000 + 1'234'567);
  EXPECT_EQ(wintest::ticks(wintest::lastAccessW(L"stamp.bin")), wintest::ticks(accessed));
  if (!wintest::underWine()) {
    EXPECT_EQ(wintest::ticks(wintest::creationW(L"stamp.bin")), wintest::ticks(createdBefore));
  }

  // A local calendar time is the kernel's conversion of it.
  SYSTEMTIME st{2001, 2, 0, 3, 4, 5, 6, 0};
  FILETIME local{}, universal{};
  ASSERT_TRUE(SystemTimeToFileTime(&st, &local));
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &universal));
  const FileDateTime calendar = localDateTime(2001, 2, 3, 4, 5, 6);
  EXPECT_EQ((calendar.seconds + 11'644'473'600) * 10'000'000 + calendar.nanoseconds / 100, wintest::ticks(universal));
}

TEST_F(Win32FileServices, StampingNeedsTheFileForItselfAndWritable) {
  writeFileW(L"held.bin", "h");
  writeFileW(L"ro.bin", "r");
  const FileDateTime dt = localDateTime(1999, 12, 31, 23, 59, 58);
  const auto heldBefore = wintest::ticks(lastWriteW(L"held.bin"));

  {
    // Open elsewhere without sharing: cannot be opened, nothing changes.
    wintest::Handle other(CreateFileW(L"held.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(other.valid());
    EXPECT_FALSE(fs->setFileDateTime("held.bin", dt));
    expectError(err::PermissionDenied, [&] { fs->openRead("held.bin", 1); });
    // Its name, length and identity can still be had.
    EXPECT_EQ(fs->fileLen("held.bin"), 1);
    EXPECT_TRUE(fs->identity("held.bin").has_value());
  }
  EXPECT_EQ(wintest::ticks(lastWriteW(L"held.bin")), heldBefore);

  ASSERT_TRUE(SetFileAttributesW(L"ro.bin", FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(fs->setFileDateTime("ro.bin", dt));
  ASSERT_TRUE(SetFileAttributesW(L"ro.bin", FILE_ATTRIBUTE_NORMAL));

  EXPECT_FALSE(fs->setFileDateTime("missing.bin", dt));
  EXPECT_EQ(GetFileAttributesW(L"missing.bin"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Win32FileServices, IdentityTellsFilesApart) {
  writeFileW(L"one.bin", "1");
  writeFileW(L"two.bin", "2");
  const auto one = fs->identity("one.bin");
  ASSERT_TRUE(one.has_value());
  EXPECT_EQ(fs->identity(".\\ONE.BIN"), one) << "names are case-blind on Windows";
  EXPECT_NE(fs->identity("two.bin"), one);
}

// The free space counted is that of the volume holding the folder a request
// works in (asked of that folder, so that a volume mounted in a folder
// counts), not that of the current drive. Under Wine, Z:\dev\shm is a
// memory file system with room of its own.
TEST_F(Win32FileServices, FreeSpaceIsThatOfTheFolder) {
  const std::wstring other = L"Z:\\dev\\shm";
  if (GetFileAttributesW(other.c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "no second volume here";
  ULARGE_INTEGER there{}, here{}, total{}, free{};
  ASSERT_TRUE(GetDiskFreeSpaceExW((other + L"\\").c_str(), &there, &total, &free));
  ASSERT_TRUE(GetDiskFreeSpaceExW(nullptr, &here, &total, &free));
  if (here.QuadPart / (64 << 20) == there.QuadPart / (64 << 20)) GTEST_SKIP() << "the volumes have equal room";
  const int d = fs->openFolder(wintest::toUtf8(other));
  fs->selectFolder(d);
  const auto counted = fs->freeSpace();
  fs->closeFolder(d);
  ASSERT_TRUE(counted.has_value());
  // Within 64 MiB: other programs write meanwhile.
  EXPECT_LT(std::llabs(*counted - static_cast<std::int64_t>(there.QuadPart)), std::int64_t{64} << 20);
  EXPECT_GT(std::llabs(*counted - static_cast<std::int64_t>(here.QuadPart)), std::int64_t{64} << 20);
  expectError(err::PathNotFound, [&] { fs->openFolder("no such folder"); });
}

TEST_F(Win32FileServices, EachDriveKeepsItsOwnCurrentDirectory) {
  const std::string here = fs->curDir();
  ASSERT_GE(here.size(), 2u);
  const char home = here[0];

  // Find a fixed drive other than this one, and a letter that is no drive.
  const DWORD drives = GetLogicalDrives();
  char other = 0, none = 0;
  for (char c = 'C'; c <= 'Z'; ++c) {
    const bool present = drives & (1u << (c - 'A'));
    const wchar_t root[] = {static_cast<wchar_t>(c), L':', L'\\', L'\0'};
    if (present && c != home && !other && GetDriveTypeW(root) == DRIVE_FIXED) other = c;
    if (!present && !none) none = c;
  }
  ASSERT_NE(none, 0);
  expectError(err::DeviceUnavailable, [&] { fs->chDrive(std::string{none, ':'}); });
  expectError(err::DeviceUnavailable, [&] { fs->chDrive("??"); });
  EXPECT_EQ(fs->curDir(), here);

  if (!other) GTEST_SKIP() << "only one drive";
  fs->chDrive(std::string{other, ':'});
  const std::string there = fs->curDir();
  EXPECT_EQ(there[0], other);
  fs->chDrive(std::string{home, ':'});
  EXPECT_EQ(fs->curDir(), here);

  // A directory named on another drive becomes that drive's directory; the
  // current drive does not change.
  fs->chDir(std::string{other, ':', '\\'});
  EXPECT_EQ(fs->curDir(), here);
  fs->chDrive(std::string{static_cast<char>(other + 32), ':', ' ', '[', 'x', ']'});
  const std::string otherRoot{other, ':', '\\'};
  EXPECT_EQ(fs->curDir(), otherRoot);
  fs->chDrive(std::string{home, ':'});
  EXPECT_EQ(fs->curDir(), here);
}

// Going back and forth between drives whose directories have long names,
// and naming a directory relative to another drive's own ("C:.."). Nothing
// may write past a buffer on the way: the process heap stays sound and the
// C runtime's environment stays readable.
TEST_F(Win32FileServices, DriveDirectoriesWithLongNames) {
  const std::string top = fs->curDir();
  const char home = top[0];
  char other = 0;
  const DWORD drives = GetLogicalDrives();
  for (char c = 'C'; c <= 'Z' && !other; ++c) {
    const wchar_t root[] = {static_cast<wchar_t>(c), L':', L'\\', L'\0'};
    if ((drives & (1u << (c - 'A'))) && c != home && GetDriveTypeW(root) == DRIVE_FIXED) other = c;
  }
  if (!other) GTEST_SKIP() << "only one drive";

  const std::string longName(60, 'd');
  std::string deep = top;
  for (int i = 0; i < 2; ++i) {
    deep += "\\" + longName + std::to_string(i);
    ASSERT_TRUE(CreateDirectoryW(wintest::toWide(deep).c_str(), nullptr)) << deep;
  }
  fs->chDir(deep);
  const std::string parent = deep.substr(0, deep.rfind('\\'));
  for (int round = 0; round < 4; ++round) {
    fs->chDrive(std::string{other, ':'});
    EXPECT_EQ(fs->curDir()[0], other);
    EXPECT_NE(std::getenv("PATH"), nullptr);
    fs->chDrive(std::string{home, ':'});
    EXPECT_EQ(fs->curDir(), deep) << "round " << round;
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, nullptr)) << "round " << round;
    EXPECT_NE(std::getenv("PATH"), nullptr);
  }

  // From the other drive, "C:.." moves the home drive's directory up one
  // level without leaving the other drive.
  fs->chDrive(std::string{other, ':'});
  const std::string there = fs->curDir();
  fs->chDir(std::string{home, ':', '.', '.'});
  EXPECT_EQ(fs->curDir(), there);
  fs->chDrive(std::string{home, ':'});
  EXPECT_EQ(fs->curDir(), parent);
  fs->chDir(top);
}

// A removable or CD drive without a disc is there but not ready. The Wine
// test run sets one up and names it in VEXO_TEST_EMPTY_DRIVE.
TEST_F(Win32FileServices, ADriveWithoutADiscIsNotReady) {
  const char* drive = std::getenv("VEXO_TEST_EMPTY_DRIVE");
  if (!drive || !*drive) GTEST_SKIP() << "no empty drive named in VEXO_TEST_EMPTY_DRIVE";
  const std::string here = fs->curDir();
  expectError(err::DiskNotReady, [&] { fs->chDrive(drive); });
  EXPECT_EQ(fs->curDir(), here);
}

}  // namespace
}  // namespace vexo

#endif  // _WIN32
