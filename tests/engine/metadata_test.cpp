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

TEST(Metadata, PiecesAndJoinedFileCarryTheExactTimeAndTheMode) {
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
    EXPECT_EQ(st.st_mtim.tv_nsec, 987654321) << piece;
    EXPECT_EQ(st.st_mode & 07777, 0444u) << piece;
  }
  // Time first, attributes second, on every piece.
  std::vector<std::string> metadataCalls;
  for (const auto& call : fs.log)
    if (call.rfind("stamp", 0) == 0 || call.rfind("setAttr", 0) == 0) metadataCalls.push_back(call);
  // Piece 1 and the record are written as temporaries, stamped before they have names.
  EXPECT_EQ(metadataCalls, (std::vector<std::string>{"stamp ~photo.raw.1", "setAttr ~photo.raw.1 444",
                                                     "stamp photo.raw.2", "setAttr photo.raw.2 444",
                                                     "stamp photo.raw.3", "setAttr photo.raw.3 444",
                                                     "stamp ~photo.raw.crc", "setAttr ~photo.raw.crc 444"}));
  EXPECT_EQ(statOf("photo.raw.crc").st_mtim.tv_sec, when);
  EXPECT_EQ(statOf("photo.raw.crc").st_mtim.tv_nsec, 987654321);
  EXPECT_EQ(statOf("photo.raw.crc").st_mode & 07777, 0444u);

  // The join takes the last piece's time and mode.
  ASSERT_EQ(::chmod("photo.raw.3", 0640), 0);
  setMtime("photo.raw.3", when + 3600, 5);
  ::unlink("photo.raw");
  ui.answer = 7;
  proc1(fs, ui, "photo.raw.1");
  const auto st = statOf("photo.raw");
  EXPECT_EQ(st.st_mtim.tv_sec, when + 3600);
  EXPECT_EQ(st.st_mtim.tv_nsec, 5);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(fs.log[fs.log.size() - 4], "stamp ~photo.raw");
  EXPECT_EQ(fs.log[fs.log.size() - 3], "setAttr ~photo.raw 640");
  EXPECT_EQ(fs.log[fs.log.size() - 2], "name #1 photo.raw");
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

// Times go from file to file as they are, never through local time: the
// instant inside the hour that a change back from summer time repeats
// (Europe/Berlin, 2024-10-27 02:30 comes twice), to the nanosecond.
TEST(Metadata, TimesAreCarriedExactlyAcrossADaylightSavingChange) {
  ZoneScope zone("Europe/Berlin");
  TempDir dir;
  auto services = makeSystemFileServices();
  // A local calendar time names the instant the zone gives it.
  EXPECT_EQ(localDateTime(2024, 7, 1, 12, 30, 45), (FileDateTime{1719829845, 0}));  // CEST, UTC+2
  EXPECT_EQ(localDateTime(2024, 1, 15, 8, 0, 1), (FileDateTime{1705302001, 0}));    // CET, UTC+1
  const FileDateTime stamps[] = {{1729989000, 123456789},   // 02:30 CEST, the first of the two
                                 {1729992600, 999999999},   // 02:30 CET, the second
                                 {1719829845, 1}};
  for (const FileDateTime& stamp : stamps) {
    SCOPED_TRACE(stamp.seconds);
    writeFile("t", pattern(kPieceSize12 + 7));
    setMtime("t", static_cast<time_t>(stamp.seconds), stamp.nanoseconds);
    EXPECT_EQ(services->fileDateTime("t"), stamp);
    RecordingFileServices fs;
    RecordingUi ui;
    ui.size = kPieceSize12;
    proc1(fs, ui, "t");
    for (const char* product : {"t.1", "t.2", "t.crc"}) {
      EXPECT_EQ(statOf(product).st_mtim.tv_sec, stamp.seconds) << product;
      EXPECT_EQ(statOf(product).st_mtim.tv_nsec, stamp.nanoseconds) << product;
    }
    ::unlink("t");
    proc1(fs, ui, "t.1");  // and deletes the pieces
    EXPECT_EQ(statOf("t").st_mtim.tv_sec, stamp.seconds);
    EXPECT_EQ(statOf("t").st_mtim.tv_nsec, stamp.nanoseconds);
  }
}

TEST(Metadata, StampingOnlyChangesTheLastWriteTime) {
  TempDir dir;
  writeFile("t", "abc");
  struct timespec times[2] = {{1000000000, 0}, {1100000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, "t", times, 0), 0);
  auto services = makeSystemFileServices();
  ASSERT_TRUE(services->setFileDateTime("t", {1583020798, 250}));
  const auto st = statOf("t");
  EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
  EXPECT_EQ(st.st_mtim.tv_sec, 1583020798);
  EXPECT_EQ(st.st_mtim.tv_nsec, 250);
  EXPECT_EQ(readFile("t"), "abc");
  EXPECT_FALSE(services->setFileDateTime("missing", {1577836800, 0}));
}

#endif  // !_WIN32

TEST(Metadata, AFailedStampIsReportedAndTheSplitGoesOn) {
  TempDir dir;
  writeFile("s.bin", pattern(2 * kPieceSize144 + 5));
  RecordingFileServices fs;
  fs.failOn("stamp", 1, 0, "s.bin.2");
  RecordingUi ui;
  proc1(fs, ui, "s.bin");
  EXPECT_EQ(ui.headlineEvents(), (std::vector<std::string>{"status:分割中 s.bin.1 (1/3)", "status:分割中 s.bin.2 (2/3)",
                                                 "message:SetFileDateTime Error File=s.bin.2",
                                                 "status:分割中 s.bin.3 (3/3)", "clear", "message:分割完了",
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
  fs.failOn("stamp", 1, 0, "~j");
  RecordingUi ui;
  ui.answer = 7;
  proc1(fs, ui, "j.1");
  // Named as the file it becomes.
  EXPECT_EQ(ui.headlines(), (std::vector<std::string>{"SetFileDateTime Error File=j", "結合完了"}));
  EXPECT_EQ(fs.log[fs.log.size() - 3].rfind("setAttr ~j ", 0), 0u);
  EXPECT_EQ(readFile("j"), "a");
}
