// Time stamps and attribute bits carried from the source to every product.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "doubles.h"
#include "engine.h"

using namespace vexo;
using namespace vexo::test;

// The checks through stat, utimensat and TZ are for POSIX systems; the
// Windows tests check the same on the Windows file system.
#ifndef _WIN32
namespace {

struct stat statOf(const std::string& name) {
  struct stat st {};
  EXPECT_EQ(::stat(name.c_str(), &st), 0) << name;
  return st;
}

void setMtime(const std::string& name, time_t seconds, long nanoseconds) {
  struct timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(::utimensat(AT_FDCWD, name.c_str(), times, 0), 0);
}

// Runs the body with TZ set to the zone, restoring the previous zone after.
class ZoneScope {
 public:
  explicit ZoneScope(const char* zone) {
    if (const char* old = std::getenv("TZ")) previous_ = old, hadPrevious_ = true;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~ZoneScope() {
    if (hadPrevious_)
      ::setenv("TZ", previous_.c_str(), 1);
    else
      ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::string previous_;
  bool hadPrevious_ = false;
};

}  // namespace

TEST(Metadata, PiecesAndJoinedFileCarryTheWholeSecondAndTheMode) {
  TempDir dir;
  writeFile("photo.raw", pattern(2 * kPieceSize144 + 99));
  const time_t when = 1700000000;  // 2023-11-14
  setMtime("photo.raw", when, 987654321);
  ASSERT_EQ(::chmod("photo.raw", 0444), 0);
  RecordingFileServices fs;
  RecordingUi ui;
  proc1(fs, ui, "photo.raw");
  for (const char* piece : {"photo.raw.1", "photo.raw.2", "photo.raw.3"}) {
    const auto st = statOf(piece);
    EXPECT_EQ(st.st_mtim.tv_sec, when) << piece;
    EXPECT_EQ(st.st_mtim.tv_nsec, 0) << piece;
    EXPECT_EQ(st.st_mode & 07777, 0444u) << piece;
  }
  // Time first, attributes second, on every piece.
  std::vector<std::string> metadataCalls;
  for (const auto& call : fs.log)
    if (call.rfind("stamp", 0) == 0 || call.rfind("setAttr", 0) == 0) metadataCalls.push_back(call);
  // Piece 1 and the record are written under hidden names.
  EXPECT_EQ(metadataCalls, (std::vector<std::string>{"stamp .vexo-split-1.tmp", "setAttr .vexo-split-1.tmp 444",
                                                     "stamp photo.raw.2", "setAttr photo.raw.2 444",
                                                     "stamp photo.raw.3", "setAttr photo.raw.3 444",
                                                     "stamp .vexo-record-1.tmp", "setAttr .vexo-record-1.tmp 444"}));
  EXPECT_EQ(statOf("photo.raw.crc").st_mtim.tv_sec, when);
  EXPECT_EQ(statOf("photo.raw.crc").st_mode & 07777, 0444u);

  // The join takes the last piece's time and mode.
  ASSERT_EQ(::chmod("photo.raw.3", 0640), 0);
  setMtime("photo.raw.3", when + 3600, 5);
  ::unlink("photo.raw");
  ui.answer = 7;
  proc1(fs, ui, "photo.raw.1");
  const auto st = statOf("photo.raw");
  EXPECT_EQ(st.st_mtim.tv_sec, when + 3600);
  EXPECT_EQ(st.st_mtim.tv_nsec, 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(fs.log[fs.log.size() - 3], "stamp .vexo-join-1.tmp");
  EXPECT_EQ(fs.log[fs.log.size() - 2], "setAttr .vexo-join-1.tmp 640");
  EXPECT_EQ(fs.log.back(), "replace .vexo-join-1.tmp photo.raw");
}

TEST(Metadata, ReadOnlySourceGivesReadOnlyPiecesAndJoinedFile) {
  TempDir dir;
  writeFile("ro.bin", pattern(kPieceSize12 + 3));
  ASSERT_EQ(::chmod("ro.bin", 0444), 0);
  RecordingFileServices fs;
  RecordingUi ui;
  ui.size = kPieceSize12;
  proc1(fs, ui, "ro.bin");
  EXPECT_EQ(statOf("ro.bin.1").st_mode & 07777, 0444u);
  EXPECT_EQ(statOf("ro.bin.2").st_mode & 07777, 0444u);
  ::unlink("ro.bin");
  ui.answer = 7;
  proc1(fs, ui, "ro.bin.2");
  EXPECT_EQ(statOf("ro.bin").st_mode & 07777, 0444u);
  EXPECT_EQ(readFile("ro.bin").size(), static_cast<std::size_t>(kPieceSize12 + 3));
}

TEST(Metadata, LocalTimeAndDaylightSavingFollowTheTimeZone) {
  ZoneScope zone("Europe/Berlin");
  TempDir dir;
  writeFile("t", "x");
  auto services = makeSystemFileServices();
  // A summer time (CEST, UTC+2) and a winter time (CET, UTC+1).
  const std::pair<FileDateTime, time_t> cases[] = {
      {{2024, 7, 1, 12, 30, 45}, 1719829845},
      {{2024, 1, 15, 8, 0, 1}, 1705302001},
  };
  for (const auto& [local, utc] : cases) {
    ASSERT_TRUE(services->setFileDateTime("t", local));
    EXPECT_EQ(statOf("t").st_mtim.tv_sec, utc);
    EXPECT_EQ(services->fileDateTime("t"), local);
  }
  // Reading drops the fraction of a second.
  setMtime("t", 1719829845, 999999999);
  EXPECT_EQ(services->fileDateTime("t"), (FileDateTime{2024, 7, 1, 12, 30, 45}));
}

TEST(Metadata, StampingOnlyChangesTheLastWriteTime) {
  TempDir dir;
  writeFile("t", "abc");
  struct timespec times[2] = {{1000000000, 0}, {1100000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, "t", times, 0), 0);
  auto services = makeSystemFileServices();
  ASSERT_TRUE(services->setFileDateTime("t", {2020, 2, 29, 23, 59, 58}));
  const auto st = statOf("t");
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
  EXPECT_EQ(readFile("t"), "abc");
  EXPECT_FALSE(services->setFileDateTime("missing", {2020, 1, 1, 0, 0, 0}));
}

#endif  // !_WIN32

TEST(Metadata, AFailedStampIsReportedAndTheSplitGoesOn) {
  TempDir dir;
  writeFile("s.bin", pattern(2 * kPieceSize144 + 5));
  RecordingFileServices fs;
  fs.failOn("stamp", 1, 0, "s.bin.2");
  RecordingUi ui;
  proc1(fs, ui, "s.bin");
  EXPECT_EQ(ui.events, (std::vector<std::string>{"status:分割中 s.bin.1", "status:分割中 s.bin.2",
                                                 "message:SetFileDateTime Error File=s.bin.2",
                                                 "status:分割中 s.bin.3", "clear", "message:分割完了",
                                                 "refresh"}));
  // The attributes are still applied after the failed stamp.
  auto it = std::find(fs.log.begin(), fs.log.end(), "stamp s.bin.2");
  ASSERT_NE(it, fs.log.end());
  EXPECT_EQ(std::next(it)->rfind("setAttr s.bin.2 ", 0), 0u);
  EXPECT_TRUE(exists("s.bin.3"));
}

TEST(Metadata, AFailedStampOfTheJoinedFileIsReported) {
  TempDir dir;
  writeFile("j.1", "a");
  RecordingFileServices fs;
  fs.failOn("stamp", 1, 0, ".vexo-join-1.tmp");
  RecordingUi ui;
  ui.answer = 7;
  proc1(fs, ui, "j.1");
  // Named as the file it becomes.
  EXPECT_EQ(ui.messages(), (std::vector<std::string>{"SetFileDateTime Error File=j", "結合完了"}));
  EXPECT_EQ(fs.log[fs.log.size() - 2].rfind("setAttr .vexo-join-1.tmp ", 0), 0u);
  EXPECT_EQ(readFile("j"), "a");
}
