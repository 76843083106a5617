// How fast the program moves bytes, next to the tools a user would reach for
// instead: our split at 1.44M with long naming and our join of that set,
// GNU split into pieces of the same size, cat of those pieces into one file,
// and cp of the whole file as the limit of what the disk and the kernel give.
//
// Every measured command runs as a child process (ours too, through a
// headless user interface in this same program), timed from its start to its
// exit, on a warm cache: the source is generated first and stays cached. Each
// run writes into a fresh directory, and the disk is synced before it,
// outside the timing. Medians of several runs are printed in MB/s
// (1 MB = 10^6 bytes) with the ratios of ours to the others.
#include <fcntl.h>
#include <spawn.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "bench_support.h"

extern char** environ;

namespace stdfs = std::filesystem;
using bench::Clock;

namespace {

constexpr std::int64_t kPiece = vexo::kPieceSize144;

// Child mode: one request on a name in the current directory.
int runRequest(const std::string& name) {
  vexo::Job job;
  job.chosen = name;
  return bench::runRequest(job);
}

std::string workDir;  // the temporary directory, removed also on failure

[[noreturn]] void fail(const std::string& what) {
  std::cerr << "move_bench: " << what << "\n";
  std::error_code ec;
  if (!workDir.empty()) stdfs::remove_all(workDir, ec);
  std::exit(2);
}

[[noreturn]] void die(const std::string& what) { fail(what + ": " + std::strerror(errno)); }

// Runs argv in dir (stdout to outFile when given) and returns its wall time.
double timed(const std::vector<std::string>& argv, const std::string& dir, const std::string& outFile = {}) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  if (!outFile.empty())
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const auto start = Clock::now();
  pid_t pid = 0;
  if (int e = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ); e != 0) {
    errno = e;
    die("cannot start " + argv[0]);
  }
  const bench::Timed t = bench::waitTimed(pid, start);
  const rusage& usage = t.usage;
  if (std::getenv("BENCH_CPU"))
    std::cout << "[" << argv[0].substr(argv[0].rfind('/') + 1) << " sys " << usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6
              << " user " << usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 << "]";
  posix_spawn_file_actions_destroy(&actions);
  if (!t.ok) fail(argv[0] + " failed in " + dir);
  return t.seconds;
}

// Writes a file of pseudo-random bytes that no file system can compress or
// deduplicate, and syncs it.
void generate(const std::string& name, std::int64_t size) {
  const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) die("create " + name);
  std::vector<std::uint64_t> block(1 << 17);
  std::uint64_t x = 0x9E3779B97F4A7C15ull;
  for (std::int64_t done = 0; done < size;) {
    for (auto& w : block) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      w = x;
    }
    const auto n = static_cast<std::size_t>(std::min<std::int64_t>(size - done, block.size() * 8));
    if (::write(fd, block.data(), n) != static_cast<ssize_t>(n)) die("write " + name);
    done += static_cast<std::int64_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) die("sync " + name);
}

// Whether the files hold the same bytes.
bool sameBytes(const std::string& a, const std::string& b) {
  const int fa = ::open(a.c_str(), O_RDONLY), fb = ::open(b.c_str(), O_RDONLY);
  if (fa < 0 || fb < 0) die("open for comparison");
  std::vector<char> ba(1 << 20), bb(1 << 20);
  bool same = true;
  for (;;) {
    const ssize_t na = ::read(fa, ba.data(), ba.size()), nb = ::read(fb, bb.data(), bb.size());
    if (na < 0 || nb < 0) die("read for comparison");
    if (na != nb || std::memcmp(ba.data(), bb.data(), static_cast<std::size_t>(na)) != 0) {
      same = false;
      break;
    }
    if (na == 0) break;
  }
  ::close(fa);
  ::close(fb);
  return same;
}

struct Measure {
  std::string label;
  std::function<void(const std::string& dir)> prepare;  // untimed, may be empty
  std::function<double(const std::string& dir)> run;
  std::function<void(const std::string& dir)> check;  // untimed, may be empty
  std::vector<double> seconds;
};

// Asks the file system to spread the subdirectories of dir over its free
// space, as it does with those of a root directory. Without it every run
// would create its files next to the thousands that earlier runs had just
// deleted, which some file systems make slow to do, and the figures would
// tell more about that than about moving bytes. Where the file system does
// not know the flag, nothing changes.
void spreadSubdirectories(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  int flags = 0;
  if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
    flags |= FS_TOPDIR_FL;
    ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
  }
  ::close(fd);
}

void usage() {
  std::cerr << "usage: move_bench [--size MiB] [--runs N] [--dir DIR]\n"
               "  --size MiB  size of the generated file (default 1024)\n"
               "  --runs N    timed runs of each command (default 7)\n"
               "  --dir DIR   where the temporary directory goes (default $TMPDIR or /tmp)\n"
               "With BENCH_CPU=1 in the environment each run also shows its CPU time.\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--request") return runRequest(argv[2]);

  std::int64_t mib = 1024;
  int runs = 7;
  std::string base = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--size" && i + 1 < argc) mib = std::atoll(argv[++i]);
    else if (a == "--runs" && i + 1 < argc) runs = std::atoi(argv[++i]);
    else if (a == "--dir" && i + 1 < argc) base = argv[++i];
    else {
      usage();
      return a == "--help" || a == "-h" ? 0 : 2;
    }
  }
  if (mib < 2 || runs < 1) {
    usage();
    return 2;
  }
  const std::int64_t size = mib << 20;
  const std::string self = stdfs::canonical("/proc/self/exe").string();

  std::string tmpl = base + "/vexo-bench-XXXXXX";
  if (!::mkdtemp(tmpl.data())) die("mkdtemp in " + base);
  const std::string root = tmpl;
  workDir = root;
  spreadSubdirectories(root);
  const std::string source = root + "/src/data.bin";
  const std::string pieceDir = root + "/pieces";
  stdfs::create_directory(root + "/src");
  stdfs::create_directory(pieceDir);
  std::cout << "Generating " << mib << " MiB in " << root << " ...\n" << std::flush;
  generate(source, size);

  const std::int64_t pieces = size / kPiece + 1;
  auto pieceName = [](std::int64_t k) { return "data.bin." + std::to_string(k); };
  auto linkPieces = [&](const std::string& from, const std::string& to) {
    for (std::int64_t k = 1; k <= pieces; ++k) stdfs::create_hard_link(from + "/" + pieceName(k), to + "/" + pieceName(k));
    // The set's record too: the join checks the CRC-32 of what it wrote.
    stdfs::create_hard_link(from + "/data.bin.crc", to + "/data.bin.crc");
  };
  std::vector<std::string> catArgs{"cat"};
  for (std::int64_t k = 1; k <= pieces; ++k) catArgs.push_back(pieceDir + "/" + pieceName(k));

  // Each run writes into a directory of its own, made before and removed
  // after it, outside the timing. Our split works on a name in that
  // directory (another name of the source); our join on further names of
  // the pieces our first split made, which cat reads too.
  bool ok = true;
  bool checkedPieces = false;
  std::vector<Measure> measures;
  measures.push_back({"vexo split", [&](const std::string& dir) { stdfs::create_hard_link(source, dir + "/data.bin"); },
                      [&](const std::string& dir) { return timed({self, "--request", "data.bin"}, dir); },
                      [&](const std::string& dir) {
                        if (stdfs::is_empty(pieceDir)) linkPieces(dir, pieceDir);
                      },
                      {}});
  measures.push_back({"GNU split", nullptr,
                      [&](const std::string& dir) {
                        return timed({"split", "-b", std::to_string(kPiece), "-d", "-a", "4", source, "data.bin."}, dir);
                      },
                      [&](const std::string& dir) {
                        if (checkedPieces) return;
                        checkedPieces = true;
                        bool same = true;
                        for (std::int64_t k = 1; k <= pieces && same; ++k) {
                          char gnu[32];
                          std::snprintf(gnu, sizeof gnu, "/data.bin.%04lld", static_cast<long long>(k - 1));
                          // GNU split writes no empty last piece for an exact multiple.
                          const std::string ours = pieceDir + "/" + pieceName(k);
                          if (!stdfs::exists(dir + gnu) && stdfs::file_size(ours) == 0) continue;
                          same = sameBytes(ours, dir + gnu);
                        }
                        std::cout << "[pieces equal GNU split's: " << (same ? "yes" : "NO") << "]";
                        ok = ok && same;
                      },
                      {}});
  measures.push_back({"vexo join", [&](const std::string& dir) { linkPieces(pieceDir, dir); },
                      [&](const std::string& dir) { return timed({self, "--request", "data.bin.1"}, dir); },
                      [&](const std::string& dir) {
                        const bool same = sameBytes(source, dir + "/data.bin");
                        if (!same) std::cout << "[joined bytes DIFFER from the source]";
                        ok = ok && same;
                      },
                      {}});
  measures.push_back({"cat", nullptr,
                      [&](const std::string& dir) { return timed(catArgs, dir, dir + "/data.bin"); },
                      [&](const std::string& dir) { ok = ok && sameBytes(source, dir + "/data.bin"); },
                      {}});
  measures.push_back({"cp", nullptr,
                      [&](const std::string& dir) {
                        return timed({"cp", "--reflink=never", source, dir + "/data.bin"}, dir);
                      },
                      nullptr,
                      {}});

  // One round to warm up, then the timed rounds, the commands taking turns.
  // Each round starts with another command, so that none always runs just
  // after the same other one. (Our split makes the pieces our join needs,
  // so it comes first in the warm-up round.)
  for (int round = 0; round <= runs; ++round) {
    std::cout << (round == 0 ? "warm-up round" : "round " + std::to_string(round)) << ":";
    for (std::size_t turn = 0; turn < measures.size(); ++turn) {
      Measure& m = measures[(turn + static_cast<std::size_t>(round)) % measures.size()];
      const std::string dir = root + "/run-" + std::to_string(round) + "-" + std::to_string(&m - measures.data());
      stdfs::create_directory(dir);
      if (m.prepare) m.prepare(dir);
      ::sync();
      const double s = m.run(dir);
      if (round > 0) m.seconds.push_back(s);
      std::cout << " " << m.label << " " << s << " s;" << std::flush;
      if (m.check) m.check(dir);
      stdfs::remove_all(dir);
    }
    std::cout << "\n";
  }
  std::cout << "\njoined bytes equal the source in every run: " << (ok ? "yes" : "NO") << "\n";

  std::cout << "\n" << mib << " MiB, " << pieces << " pieces of " << kPiece << " bytes, median of " << runs
            << " runs:\n";
  std::vector<double> med;
  for (auto& m : measures) {
    med.push_back(bench::median(m.seconds));
    std::printf("  %-11s %8.3f s  %8.1f MB/s\n", m.label.c_str(), med.back(), size / med.back() / 1e6);
  }
  struct Ratio {
    const char* text;
    double value;
    double target;
  };
  const Ratio ratios[] = {{"split / GNU split", med[0] / med[1], 0.8},
                          {"join / cat", med[2] / med[3], 0.8},
                          {"split / cp", med[0] / med[4], 1.2},
                          {"join / cp", med[2] / med[4], 1.2}};
  std::cout << "\nratios of median times (target):\n";
  for (const auto& r : ratios)
    std::printf("  %-18s %5.2f  (<= %.1f) %s\n", r.text, r.value, r.target, r.value <= r.target ? "met" : "MISSED");

  stdfs::remove_all(root);
  return ok ? 0 : 1;
}
