// How long recovery data takes to make: our PAR2 set over the pieces of a
// split against par2cmdline's `par2 create` over the same pieces, with the
// same share of recovery data and its default of 2,000 blocks.
//
//   par2_bench [--size MiB] [--runs N] [--percent P] [--dir DIR]
//
// The pieces (1,457,664 bytes each, the last one shorter) are generated
// once in a temporary directory under DIR and stay cached. Each run makes
// the set with both in turn (paired), each as a child process timed from
// its start to its exit, and removes it again. Prints every pair, the
// medians, their ratio, and the peak memory (resident set) of each.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <thread>
#include <string>
#include <vector>

#include "engine.h"
#include "file_services.h"
#include "par2.h"
#include "par2_gf.h"

namespace stdfs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr std::int64_t kPiece = vexo::kPieceSize144;

struct Timed {
  double seconds = 0;
  long peakKiB = 0;
  int status = 0;
};

// Runs body in a child process; its wall time, peak memory and exit status.
Timed inChild(const std::function<int()>& body) {
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  Timed t;
  t.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  t.peakKiB = usage.ru_maxrss;
  t.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return t;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

void removeSet(const stdfs::path& dir) {
  for (const auto& e : stdfs::directory_iterator(dir))
    if (vexo::par2::isSetFile(e.path().filename().string())) stdfs::remove(e.path());
}

}  // namespace

int main(int argc, char** argv) {
  std::int64_t mib = 1024;
  int runs = 3, percent = 10;
  std::string base = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--size") mib = std::atoll(argv[i + 1]);
    else if (a == "--runs") runs = std::atoi(argv[i + 1]);
    else if (a == "--percent") percent = std::atoi(argv[i + 1]);
    else if (a == "--dir") base = argv[i + 1];
  }
  if (std::system("command -v par2 >/dev/null 2>&1") != 0) {
    std::cout << "par2: par2cmdline is not installed; skipped\n";
    return 0;
  }
  const stdfs::path dir = stdfs::path(base) / ("vexo-par2-bench-" + std::to_string(getpid()));
  stdfs::create_directories(dir);
  stdfs::current_path(dir);

  // The pieces of a split of mib MiB at 1.44M.
  const std::int64_t size = mib << 20;
  std::vector<vexo::par2::Input> inputs;
  std::string names;
  {
    std::mt19937_64 rng(1);
    std::vector<std::uint64_t> buf(static_cast<std::size_t>(kPiece / 8 + 1));
    for (std::int64_t at = 0, k = 1; at < size; at += kPiece, ++k) {
      const std::string name = "data.bin." + std::to_string(k);
      for (auto& w : buf) w = rng();
      std::ofstream(name, std::ios::binary)
          .write(reinterpret_cast<const char*>(buf.data()), static_cast<std::streamsize>(std::min(kPiece, size - at)));
      inputs.push_back({name, name});
      names += " " + name;
    }
  }
  std::cout << "par2: " << inputs.size() << " pieces of 1.44M, " << mib << " MiB, " << percent
            << " % recovery data; ours with " << vexo::par2::kernelName(vexo::par2::kernel()) << " on "
            << std::thread::hardware_concurrency() << " threads\n";

  std::vector<double> ours, theirs;
  long oursPeak = 0, theirsPeak = 0;
  for (int run = 0; run < runs; ++run) {
    const Timed a = inChild([&] {
      auto fs = vexo::makeSystemFileServices();
      vexo::par2::create(*fs, 1, inputs, "", "data.bin", percent);
      return 0;
    });
    removeSet(dir);
    const std::string command = "par2 create -q -q -r" + std::to_string(percent) + " data.bin.par2" + names;
    const Timed b = inChild([&] { return std::system(command.c_str()) == 0 ? 0 : 1; });
    removeSet(dir);
    if (a.status != 0 || b.status != 0) {
      std::cerr << "a run failed\n";
      return 1;
    }
    ours.push_back(a.seconds);
    theirs.push_back(b.seconds);
    oursPeak = std::max(oursPeak, a.peakKiB);
    theirsPeak = std::max(theirsPeak, b.peakKiB);
    std::printf("  run %d: ours %.2f s, par2 create %.2f s (%.2f)\n", run + 1, a.seconds, b.seconds,
                a.seconds / b.seconds);
  }
  std::printf("median: ours %.2f s, par2 create %.2f s, ratio %.2f; peak memory ours %ld MiB, par2 %ld MiB\n",
              median(ours), median(theirs), median(ours) / median(theirs), oursPeak / 1024, theirsPeak / 1024);
  stdfs::current_path(base);
  stdfs::remove_all(dir);
  return 0;
}
