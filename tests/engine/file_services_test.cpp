// The system file services: the end-of-file rule, positions, file numbers
// and the error numbers of failures.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "doubles.h"
#include "block_copy.h"
#include "engine.h"
#include "file_services.h"

using namespace vexo;
using namespace vexo::test;
namespace stdfs = std::filesystem;

namespace {

int errorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const RuntimeError& e) {
    return e.number();
  }
  return 0;
}

}  // namespace

TEST(FileServices, EndOfFileRule) {
  TempDir dir;
  writeFile("two", pattern(60000));
  auto fs = makeSystemFileServices();
  std::vector<char> buf(30000);
  fs->openRead("two", 1);
  EXPECT_FALSE(fs->eof(1));
  EXPECT_EQ(fs->loc(1), 1);
  EXPECT_EQ(fs->read(1, buf.data(), 30000), 30000u);
  EXPECT_FALSE(fs->eof(1));
  EXPECT_EQ(fs->read(1, buf.data(), 30000), 30000u);
  EXPECT_FALSE(fs->eof(1));  // ended exactly on the last byte
  EXPECT_EQ(fs->loc(1), 60001);
  EXPECT_EQ(std::string(buf.data(), 30000), pattern(60000).substr(30000));
  EXPECT_EQ(fs->read(1, buf.data(), 30000), 0u);
  EXPECT_TRUE(fs->eof(1));
  // A read at a position fills from there and moves the position on.
  EXPECT_EQ(fs->read(1, buf.data(), 10, 59991), 10u);
  EXPECT_FALSE(fs->eof(1));
  EXPECT_EQ(fs->loc(1), 60001);
  EXPECT_EQ(std::string(buf.data(), 10), pattern(60000).substr(59990));
  EXPECT_EQ(fs->read(1, buf.data(), 11, 59991), 10u);
  EXPECT_TRUE(fs->eof(1));
  fs->close(1);

  writeFile("empty", "");
  fs->openRead("empty", 1);
  EXPECT_EQ(fs->read(1, buf.data(), 30000), 0u);
  EXPECT_TRUE(fs->eof(1));
  fs->close(1);
}

TEST(FileServices, FileNumbersAndWriting) {
  TempDir dir;
  writeFile("old", "0123456789");
  auto fs = makeSystemFileServices();
  EXPECT_EQ(fs->freeFile(), 1);
  fs->openWrite("old", 1, false);
  EXPECT_EQ(fs->freeFile(), 2);
  fs->write(1, "ab", 2);
  EXPECT_EQ(fs->loc(1), 3);
  EXPECT_EQ(errorOf([&] { fs->openRead("old", 1); }), err::FileAlreadyOpen);
  fs->openWrite("new", 2, true);
  fs->write(2, "xyz", 3);
  fs->closeAll();
  EXPECT_EQ(fs->freeFile(), 1);
  EXPECT_EQ(readFile("old"), "ab23456789");  // written over, not shortened
  EXPECT_EQ(readFile("new"), "xyz");
  fs->openWrite("old", 3, true);
  fs->close(3);
  EXPECT_EQ(readFile("old"), "");
  fs->openWrite("new", 1, false);
  fs->truncate(1);
  fs->write(1, "q", 1);
  fs->close(1);
  EXPECT_EQ(readFile("new"), "q");
  EXPECT_EQ(fs->fileLen("new"), 1);
  EXPECT_EQ(errorOf([&] { fs->close(1); }), err::BadFileNameOrNumber);
  EXPECT_EQ(errorOf([&] { fs->loc(9); }), err::BadFileNameOrNumber);
}

// A file written behind and flushed holds exactly what was written, in
// writes and copied runs taken in turn, that do and do not meet the steps
// at which it goes to the disk or the size of the buffers it is written
// from; the space set aside for more than came adds nothing to its length.
TEST(FileServices, WrittenBehindAndFlushed) {
  TempDir dir;
  auto fs = makeSystemFileServices();
  const std::string bytes = pattern(std::size_t{21} << 20, 7);
  writeFile("src", bytes);
  fs->openRead("src", 2);
  fs->openWrite("joined", 1, true);
  fs->writeBehind(1, static_cast<std::int64_t>(bytes.size()) + (std::int64_t{3} << 20));
  EXPECT_EQ(fs->fileLen("joined"), 0);
  std::vector<char> buffer(std::size_t{1} << 20);
  bool copied = false;
  for (std::size_t at = 0, n = 1; at < bytes.size(); at += n, n = n * 3 % 4'000'000 + 1, copied = !copied) {
    n = std::min(n, bytes.size() - at);
    if (copied) {
      std::vector<std::size_t> blocks(n / 300'000, 300'000);
      if (n % 300'000 != 0) blocks.push_back(n % 300'000);
      ASSERT_EQ(fs->copyBlocks(2, 1, blocks, buffer, static_cast<std::int64_t>(at) + 1), static_cast<std::int64_t>(n));
    } else {
      fs->write(1, bytes.data() + at, n);
    }
    ASSERT_EQ(fs->loc(1), static_cast<std::int64_t>(at + n) + 1);
  }
  EXPECT_EQ(fs->openFileState(1).size, static_cast<std::int64_t>(bytes.size()));
  fs->flush(1);
  fs->close(1);
  EXPECT_EQ(readFile("joined"), bytes);
  EXPECT_EQ(errorOf([&] { fs->flush(1); }), err::BadFileNameOrNumber);
}

// Whatever is asked of a file written behind sees every run handed over
// before: its length, and a time stamp that no late write moves on. A run
// is handed over just before each question, many times over, so that a
// write still under way would be caught.
TEST(FileServices, AFileWrittenBehindIsMeasuredAndStampedAfterItsLastWrite) {
  TempDir dir;
  const std::string source = pattern(std::size_t{3} << 20, 5);
  writeFile("src", source);
  auto fs = makeSystemFileServices();
  std::vector<char> buffer(std::size_t{1} << 20);
  const std::vector<std::size_t> run(6, 400'000);
  const FileDateTime stamp{1'000'000'000, 123'456'700};  // whole 100 ns, as Windows keeps it
  for (int round = 0; round < 20; ++round) {
    fs->openRead("src", 2);
    fs->openWrite("joined", 1, true);
    fs->writeBehind(1, 6'000'000);
    ASSERT_EQ(fs->copyBlocks(2, 1, run, buffer, 1), 2'400'000);
    ASSERT_EQ(fs->openFileState(1).size, 2'400'000);
    ASSERT_EQ(fs->copyBlocks(2, 1, run, buffer, 1), 2'400'000);
    fs->stampOpen(1, stamp);
    fs->closeAll();
    ASSERT_EQ(fs->fileDateTime("joined"), stamp) << "round " << round;
  }
  EXPECT_EQ(readFile("joined"), source.substr(0, 2'400'000) + source.substr(0, 2'400'000));
}

TEST(FileServices, ErrorNumbers) {
  TempDir dir;
  auto fs = makeSystemFileServices();
  EXPECT_EQ(errorOf([&] { fs->openRead("missing", 1); }), err::FileNotFound);
  EXPECT_EQ(errorOf([&] { fs->fileLen("missing"); }), err::FileNotFound);
  EXPECT_EQ(errorOf([&] { fs->fileDateTime("missing"); }), err::FileNotFound);
  EXPECT_EQ(errorOf([&] { fs->getAttr("missing"); }), err::FileNotFound);
  EXPECT_EQ(errorOf([&] { fs->setAttr("missing", 0644); }), err::FileNotFound);
  EXPECT_EQ(errorOf([&] { fs->kill("missing"); }), err::FileNotFound);
  EXPECT_EQ(errorOf([&] { fs->openWrite("no-such-dir/x", 1, true); }), err::PathNotFound);
  EXPECT_EQ(errorOf([&] { fs->chDir("no-such-dir"); }), err::PathNotFound);
  stdfs::create_directory("sub");
  EXPECT_EQ(errorOf([&] { fs->openRead("sub", 1); }), err::PathFileAccess);
  EXPECT_EQ(errorOf([&] { fs->kill("sub"); }), err::PathFileAccess);
  EXPECT_FALSE(fs->identity("missing"));
  writeFile("a", "1");
  stdfs::create_hard_link("a", "b");
  writeFile("c", "1");
  EXPECT_EQ(fs->identity("a"), fs->identity("b"));
  EXPECT_NE(fs->identity("a"), fs->identity("c"));
  EXPECT_EQ(fs->freeFile(), 1);  // failed opens leave no number taken

  // A device is never opened for writing (nor waited on).
  if (exists("/dev/full")) {
    EXPECT_EQ(errorOf([&] { fs->openWrite("/dev/full", 1, false); }), err::PathFileAccess);
  }
}

TEST(FileServices, CurrentDirectoryAndDrives) {
  TempDir dir;
  auto fs = makeSystemFileServices();
  stdfs::create_directory("sub");
  fs->chDir("sub");
  EXPECT_EQ(fs->curDir(), (stdfs::path(dir.path()) / "sub").string());
  EXPECT_EQ(errorOf([&] { fs->chDrive(dir.path() + "/vanished"); }), err::DeviceUnavailable);
  writeFile("file", "");
  EXPECT_EQ(errorOf([&] { fs->chDrive((stdfs::current_path() / "file").string()); }), err::DeviceUnavailable);
  EXPECT_EQ(fs->curDir(), (stdfs::path(dir.path()) / "sub").string());
}

#ifndef _WIN32
// Each mounted file system keeps its own current directory, as drive letters do.
TEST(FileServices, EachDriveKeepsItsCurrentDirectory) {
  std::error_code ec;
  const auto shm = stdfs::status("/dev/shm", ec);
  struct stat a {}, b {};
  if (ec || !stdfs::is_directory(shm) || ::stat("/dev/shm", &a) != 0 || ::stat("/", &b) != 0 ||
      a.st_dev == b.st_dev || ::access("/dev/shm", W_OK) != 0)
    GTEST_SKIP() << "needs /dev/shm as a separate, writable file system";
  TempDir home;
  struct stat t {};
  if (::stat(home.path().c_str(), &t) != 0 || t.st_dev != b.st_dev)
    GTEST_SKIP() << "needs the temporary directory on the root file system";
  const stdfs::path there = stdfs::path("/dev/shm") / ("vexo-drive-" + std::to_string(::getpid()));
  stdfs::create_directories(there / "deeper");
  auto fs = makeSystemFileServices();
  fs->chDir(home.path());
  fs->chDir((there / "deeper").string());
  fs->chDrive("/");
  EXPECT_EQ(fs->curDir(), home.path());
  fs->chDrive("/dev/shm");
  EXPECT_EQ(fs->curDir(), (there / "deeper").string());
  fs->chDir(home.path());
  stdfs::remove_all(there);
  // The remembered directory is gone: the drive's root instead.
  fs->chDrive("/dev/shm");
  EXPECT_EQ(fs->curDir(), "/dev/shm");
  fs->chDir(home.path());
}
#endif  // !_WIN32

// Runs of blocks: only whole blocks are written, a short one sets the
// end-of-file condition, and the result is the same whether the blocks go
// one by one (the default every file services have) or several at a time
// through a buffer that holds them.
TEST(FileServices, CopyBlocksWritesOnlyWholeBlocks) {
  const std::string source = pattern(100000, 4);
  using Copy = std::function<std::int64_t(FileServices&, std::span<const std::size_t>, std::span<char>,
                                          std::optional<std::int64_t>)>;
  const std::pair<const char*, Copy> ways[] = {
      {"several at a time",
       [](FileServices& fs, auto lengths, auto buffer, auto pos) { return fs.copyBlocks(1, 2, lengths, buffer, pos); }},
      {"one by one", [](FileServices& fs, auto lengths, auto buffer, auto pos) {
         return fs.FileServices::copyBlocks(1, 2, lengths, buffer, pos);
       }}};
  for (const auto& [way, copy] : ways) {
    for (std::size_t capacity : {std::size_t{2} << 20, std::size_t{35000}, std::size_t{0}}) {
      // No capacity: a destination written behind, from buffers of its own.
      const bool behind = capacity == 0;
      if (behind) capacity = 35000;
      SCOPED_TRACE(std::string(way) + ", buffer of " + std::to_string(capacity) + (behind ? ", written behind" : ""));
      TempDir dir;
      writeFile("src", source);
      auto fs = makeSystemFileServices();
      std::vector<char> buffer(capacity);
      fs->openRead("src", 1);
      fs->openWrite("dst", 2, true);
      if (behind) fs->writeBehind(2, 0);
      // Three whole blocks, then one that finds only 10,000 bytes.
      const std::size_t four[] = {30000, 30000, 30000, 30000};
      EXPECT_EQ(copy(*fs, four, buffer, std::nullopt), 100000);
      EXPECT_TRUE(fs->eof(1));
      EXPECT_EQ(fs->loc(2), 90001);
      // Positioned: each block read at its own position; ends exactly on
      // the last byte, so the end-of-file condition is clear again.
      const std::size_t tail[] = {5000, 4000, 1000};
      EXPECT_EQ(copy(*fs, tail, buffer, 90001), 10000);
      EXPECT_FALSE(fs->eof(1));
      EXPECT_EQ(fs->loc(1), 100001);
      // Past the end: nothing found, nothing written.
      EXPECT_EQ(copy(*fs, tail, buffer, 100001), 0);
      EXPECT_TRUE(fs->eof(1));
      fs->closeAll();
      EXPECT_EQ(readFile("dst"), source);

      // Into the middle of an existing file: written over, not shortened.
      writeFile("old", "0123456789");
      fs->openRead("src", 1);
      fs->openWrite("old", 2, false);
      const std::size_t one[] = {4};
      EXPECT_EQ(copy(*fs, one, buffer, std::nullopt), 4);
      fs->closeAll();
      EXPECT_EQ(readFile("old"), source.substr(0, 4) + "456789");
    }
  }
  // A block longer than the buffer is refused rather than overrunning it.
  TempDir dir;
  writeFile("src", source);
  auto fs = makeSystemFileServices();
  std::vector<char> small(1000);
  fs->openRead("src", 1);
  fs->openWrite("dst", 2, true);
  const std::size_t big[] = {30000};
  EXPECT_EQ(errorOf([&] { fs->copyBlocks(1, 2, big, small); }), err::BadFileMode);
  fs->closeAll();
  EXPECT_EQ(readFile("dst"), "");
}

// Long runs have their space set aside before they are written; that must
// never show in a file's length: a run that finds its source short leaves
// the destination as long as the whole blocks written, and a run written
// into the middle of a longer file leaves it as long as it was.
TEST(FileServices, LongRunsLeaveLengthsAsWritten) {
  TempDir dir;
  const std::string source = pattern(500000, 7);
  writeFile("src", source);
  auto fs = makeSystemFileServices();
  std::vector<char> buffer(std::size_t{480} << 10);
  const std::vector<std::size_t> twenty(20, 30000);  // 600,000 bytes asked for

  fs->openRead("src", 1);
  fs->openWrite("dst", 2, true);
  EXPECT_EQ(fs->copyBlocks(1, 2, twenty, buffer), 500000);
  EXPECT_TRUE(fs->eof(1));
  EXPECT_EQ(fs->loc(2), 480001);
  fs->closeAll();
  EXPECT_EQ(fs->fileLen("dst"), 480000);
  EXPECT_TRUE(readFile("dst") == source.substr(0, 480000)) << "bytes of dst differ";

  const std::string old = pattern(1000000, 9);
  writeFile("old", old);
  fs->openRead("src", 1);
  fs->openWrite("old", 2, false);
  const std::vector<std::size_t> ten(10, 30000);
  EXPECT_EQ(fs->copyBlocks(1, 2, ten, buffer), 300000);
  fs->closeAll();
  EXPECT_EQ(fs->fileLen("old"), 1000000);
  EXPECT_TRUE(readFile("old") == source.substr(0, 300000) + old.substr(300000)) << "bytes of old differ";
}

// A source shorter than the length taken at its start (it shrank meanwhile)
// is copied to its real end, both when the shortfall is met within a run of
// normal blocks and within the tail.
TEST(FileServices, BlockStepsStopAtTheRealEndOfAShrunkSource) {
  for (const auto& [actual, taken] : {std::pair<std::int64_t, std::int64_t>{100000, kPieceSize144},
                                      {95001, 100000}, {0, 60000}, {60000, 60001}}) {
    SCOPED_TRACE(std::to_string(actual) + " bytes taken as " + std::to_string(taken));
    TempDir dir;
    writeFile("src", pattern(static_cast<std::size_t>(actual), 6));
    auto fs = makeSystemFileServices();
    fs->openRead("src", 1);
    fs->openWrite("dst", 2, true);
    BlockCopier copier(*fs);
    copier.setLength(kNormalBlock);
    EXPECT_TRUE(copier.blockSteps(1, 2, taken, 48));
    fs->closeAll();
    EXPECT_EQ(readFile("dst"), pattern(static_cast<std::size_t>(actual), 6));
  }
}
