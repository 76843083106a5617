// Faults the system really makes, not injected: a file system that fills up
// in the middle of a file, a directory the user may not write to, and files
// that vanish between two calls. Some need a child process: one with its own
// mounts, or one that has given up the rights of root.
#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>

#include "doubles.h"
#include "engine.h"
#include "messages.h"
#include "system_errors.h"

using namespace vexo;
using namespace vexo::test;
namespace stdfs = std::filesystem;

namespace {

// Thrown in a child to skip the test, with the reason.
struct Skip {
  std::string reason;
};

struct ChildResult {
  bool skipped = false;
  std::string text;  // what the child reported, or why it skipped
};

// Runs body in a forked child; returns its text. The child never returns
// into the test program.
ChildResult inChild(const std::function<std::string()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) return {true, "no pipe"};
  const pid_t pid = ::fork();
  if (pid < 0) return {true, "cannot fork"};
  if (pid == 0) {
    ::close(fds[0]);
    std::string out;
    int code = 0;
    try {
      out = body();
    } catch (const Skip& skip) {
      out = skip.reason;
      code = 77;
    } catch (const std::exception& e) {
      out = std::string("exception: ") + e.what();
    }
    for (std::size_t done = 0; done < out.size();) {
      const ssize_t n = ::write(fds[1], out.data() + done, out.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::_exit(code);
  }
  ::close(fds[1]);
  ChildResult result;
  char buf[4096];
  for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) result.text.append(buf, static_cast<std::size_t>(n));
  ::close(fds[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status)) return {false, "child died: " + result.text};
  result.skipped = WEXITSTATUS(status) == 77;
  return result;
}

// What a request left: the user's messages, then the files here.
std::string outcome(const RecordingUi& ui, const RecordingFileServices& fs) {
  std::string text;
  for (const auto& m : ui.messages()) text += m + "\n";
  text += "files:";
  for (const auto& name : filesHere()) text += " " + name;
  if (fs.openFiles() != 0) text += "\nstill open: " + std::to_string(fs.openFiles());
  return text;
}

// Makes the current directory a small file system of its own (in this
// child's own mount namespace, so it goes away with the child).
void smallFileSystemHere(std::size_t pages) {
  const std::string here = stdfs::current_path().string();
  if (::unshare(CLONE_NEWNS) != 0) throw Skip{"cannot have mounts of its own (needs root or a user namespace)"};
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) throw Skip{"cannot make the mounts private"};
  const std::string size = "size=" + std::to_string(pages * 4) + "k";
  if (::mount("tmpfs", here.c_str(), "tmpfs", 0, size.c_str()) != 0) throw Skip{"cannot mount a tmpfs"};
  stdfs::current_path(here);  // into the new file system
}

// Gives up the rights of root for good, if the process has them; afterwards
// a directory owned by root with mode 0755 is one it may not write to.
void becomeOrdinaryUser() {
  if (::geteuid() != 0) return;
  const passwd* nobody = ::getpwnam("nobody");
  if (!nobody) throw Skip{"running as root, and there is no user 'nobody' to become"};
  if (::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
    throw Skip{"running as root, and cannot become the user 'nobody'"};
}

}  // namespace

// The disk fills up within the second piece, after pwrite has written part
// of a block: the split reports it and the space of its pieces is free again.
TEST(RealFaults, AFileSystemThatFillsUpDuringASplit) {
  TempDir dir;
  const ChildResult r = inChild([] {
    // 725 pages: the source (367) and piece 1 (356) fit, piece 2 (11) not.
    smallFileSystemHere(725);
    const std::string original = pattern(1500000);
    writeFile("big.dat", original);
    struct statvfs before {};
    ::statvfs(".", &before);
    const int descriptors = openDescriptors();
    RecordingFileServices fs;
    RecordingUi ui;
    // First the free space is checked: too little, nothing is written.
    proc1(fs, ui, "big.dat");
    std::string text = outcome(ui, fs) + "\n";
    ui.events.clear();
    // Where it cannot be told, the disk fills up within piece 2.
    fs.free = std::optional<std::int64_t>();
    proc1(fs, ui, "big.dat");
    struct statvfs after {};
    ::statvfs(".", &after);
    text += outcome(ui, fs);
    if (readFile("big.dat") != original) text += "\nsource changed";
    if (after.f_bfree != before.f_bfree) text += "\nspace not given back";
    if (openDescriptors() != descriptors) text += "\ndescriptors left open";
    return text;
  });
  if (r.skipped) GTEST_SKIP() << r.text;
  const std::string noSpace = "ディスクの空き容量が足りません．1,500,000 バイト必要ですが，空きは ";
  EXPECT_EQ(r.text.substr(0, noSpace.size()), noSpace);
  EXPECT_NE(r.text.find(" バイトです．\nfiles: big.dat\n" + text::errorText(61, "big.dat.2", errnoReason(ENOSPC)) + "\nfiles: big.dat"),
            std::string::npos)
      << r.text;
}

// The disk fills up while the joined file is written, early on or within
// its very last run: the half-written file goes, the pieces stay.
TEST(RealFaults, AFileSystemThatFillsUpDuringAJoin) {
  // Pieces of 356 and 25 pages; the joined file needs 381.
  const struct {
    const char* when;
    std::size_t pages, free;
  } cases[] = {{"within piece 1", 725, 1409024}, {"within the last run", 751, 1515520}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.when);
    TempDir dir;
    const ChildResult r = inChild([&] {
      smallFileSystemHere(c.pages);
      const std::string one = pattern(kPieceSize144, 1), two = pattern(100000, 2);
      writeFile("j.1", one);
      writeFile("j.2", two);
      const int descriptors = openDescriptors();
      RecordingFileServices fs;
      RecordingUi ui;
      proc1(fs, ui, "j.2");  // too little space: said so, nothing written
      std::string text = outcome(ui, fs) + "\n";
      ui.events.clear();
      fs.free = std::optional<std::int64_t>();  // cannot be told: the disk fills up
      proc1(fs, ui, "j.2");
      text += outcome(ui, fs);
      if (readFile("j.1") != one || readFile("j.2") != two) text += "\npieces changed";
      if (openDescriptors() != descriptors) text += "\ndescriptors left open";
      return text;
    });
    if (r.skipped) GTEST_SKIP() << r.text;
    EXPECT_EQ(r.text, "ディスクの空き容量が足りません．1,557,664 バイト必要ですが，空きは " + text::grouped(c.free) +
                          " バイトです．\nfiles: j.1 j.2\n" + text::errorText(61, "j", errnoReason(ENOSPC)) +
                          "\nfiles: j.1 j.2");
  }
}

// A directory the user may not write to: nothing can be created there. The
// split and the join say so and leave everything as it was, and the program
// still answers the next request.
TEST(RealFaults, ADirectoryThatIsNotWritable) {
  TempDir dir;
  const std::string original = pattern(kPieceSize144 + 5);
  writeFile("s.dat", original);
  writeFile("j.1", "one");
  writeFile("j.2", "two");
  writeFile("small.txt", "x");
  ASSERT_EQ(::chmod(".", 0755), 0);
  const ChildResult r = inChild([&] {
    becomeOrdinaryUser();
    if (::geteuid() != 0 && ::chmod(".", 0555) != 0 && ::access(".", W_OK) == 0)
      throw Skip{"cannot make the directory unwritable"};
    if (::access(".", W_OK) == 0) throw Skip{"the directory stays writable for this user"};
    const int descriptors = openDescriptors();
    RecordingFileServices fs;
    RecordingUi ui;
    proc1(fs, ui, "s.dat");
    std::string text = outcome(ui, fs) + "\n";
    ui.events.clear();
    proc1(fs, ui, "j.2");
    text += outcome(ui, fs) + "\n";
    ui.events.clear();
    proc1(fs, ui, "small.txt");
    text += outcome(ui, fs);
    if (openDescriptors() != descriptors) text += "\ndescriptors left open";
    ::chmod(".", 0755);
    return text;
  });
  ::chmod(".", 0755);
  if (r.skipped) GTEST_SKIP() << r.text;
  EXPECT_EQ(r.text,
            text::errorText(70, "s.dat.1", errnoReason(EACCES)) + "\nfiles: j.1 j.2 s.dat small.txt\n" +
                text::errorText(70, "j", errnoReason(EACCES)) +
                "\nfiles: j.1 j.2 s.dat small.txt\n"
            "ファイルが指定サイズより小さいので分割しませんでした．\nfiles: j.1 j.2 s.dat small.txt");
  EXPECT_EQ(readFile("s.dat"), original);
}

// A file that vanishes between being measured and being opened: the source
// of a split, and a piece of a join (its first or a later one).
TEST(RealFaults, AFileThatVanishesBetweenItsLengthAndItsOpening) {
  struct Case {
    const char* chosen;
    const char* vanishing;
  };
  for (const Case c : {Case{"s", "s"}, Case{"j.2", "j.1"}, Case{"j.2", "j.3"}}) {
    SCOPED_TRACE(c.vanishing);
    TempDir dir;
    writeFile("s", pattern(kPieceSize144 + 1));
    writeFile("j.1", "one");
    writeFile("j.2", "two");
    writeFile("j.3", "3");
    const int descriptors = openDescriptors();
    RecordingFileServices fs;
    fs.beforeCall = [&](const std::string& op, const std::string& name) {
      if (op == "openRead" && name == c.vanishing) stdfs::remove(name);
    };
    RecordingUi ui;
    proc1(fs, ui, c.chosen);
    EXPECT_EQ(ui.messages(), std::vector<std::string>{text::errorText(53, c.vanishing, errnoReason(ENOENT))});
    std::vector<std::string> left{"j.1", "j.2", "j.3", "s"};
    std::erase(left, std::string(c.vanishing));
    EXPECT_EQ(filesHere(), left);  // no pieces, no joined file
    EXPECT_EQ(fs.openFiles(), 0);
    EXPECT_EQ(openDescriptors(), descriptors);
  }
}
