// How long recovery data takes, next to par2cmdline (`par2 create`):
//   - a split at 1.44M that also writes 10 % recovery data, against
//     `par2 create -r10` alone over the same pieces;
//   - our recovery set alone over those pieces, against the same;
//   - a join with one piece missing, rebuilt through the recovery set,
//     against the plain join of the whole set.
//
//   par2_bench [--size MiB] [--runs N] [--percent P] [--dir DIR]
//
// The source is generated once under DIR and stays cached. Each run does
// every measurement once, in turn (paired), each as a child process timed
// from its start to its exit. Prints every run, the medians, their ratios,
// and the peak memory (resident set) of each child.
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
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "par2.h"
#include "par2_gf.h"
#include "par2_pieces.h"

namespace stdfs = std::filesystem;

namespace {

constexpr std::int64_t kPiece = vexo::kPieceSize144;

int request(const vexo::Job& job) { return bench::runRequest(job, vexo::text::kRepairQuestion); }

// Runs body in a child process; its wall time and peak memory.
bench::Timed inChild(const std::function<int()>& body) {
  std::fflush(stdout);
  const auto start = bench::Clock::now();
  const pid_t pid = fork();
  if (pid == 0) _exit(body());
  const bench::Timed t = bench::waitTimed(pid, start);
  if (!t.ok) {
    std::cerr << "par2_bench: a run failed\n";
    std::exit(2);
  }
  return t;
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

  const std::int64_t size = mib << 20;
  {
    std::mt19937_64 rng(1);
    std::vector<std::uint64_t> buf(1 << 17);
    std::ofstream out("data.bin", std::ios::binary);
    for (std::int64_t at = 0; at < size; at += 1 << 20) {
      for (auto& w : buf) w = rng();
      out.write(reinterpret_cast<const char*>(buf.data()), static_cast<std::streamsize>(std::min<std::int64_t>(1 << 20, size - at)));
    }
  }
  const std::int64_t pieces = (size - 1) / kPiece + 1;
  std::vector<vexo::par2::Input> inputs;
  std::string names;
  for (std::int64_t k = 1; k <= pieces; ++k) {
    const std::string name = "data.bin." + std::to_string(k);
    inputs.push_back({name, name});
    names += " " + name;
  }
  std::cout << "par2: " << mib << " MiB in " << pieces << " pieces of 1.44M, " << percent
            << " % recovery data; ours with " << vexo::par2::kernelName(vexo::par2::kernel()) << " on "
            << std::thread::hardware_concurrency() << " threads\n";

  vexo::Job split;
  split.chosen = "data.bin";
  split.recoveryPercent = percent;
  vexo::Job join;
  join.chosen = "data.bin.1";
  const std::string par2Create = "par2 create -q -q -r" + std::to_string(percent) + " data.bin.par2" + names;

  std::map<std::string, std::vector<double>> t;
  std::map<std::string, long> peak;
  auto record = [&](const std::string& what, const bench::Timed& x) {
    t[what].push_back(x.seconds);
    peak[what] = std::max(peak[what], x.peakKiB);
  };
  for (int run = 0; run < runs; ++run) {
    record("split with recovery data", inChild([&] { return request(split); }));
    stdfs::rename("data.bin", "data.src");
    record("plain join", inChild([&] { return request(join); }));
    stdfs::remove("data.bin");
    stdfs::rename("data.bin.2", "data.hidden");
    record("join rebuilding a missing piece", inChild([&] { return request(join); }));
    if (static_cast<std::int64_t>(stdfs::file_size("data.bin")) != size) {
      std::cerr << "par2_bench: the repaired join is not whole\n";
      return 2;
    }
    stdfs::remove("data.bin");
    stdfs::rename("data.hidden", "data.bin.2");
    removeSet(dir);
    record("our recovery set alone", inChild([&] {
             auto fs = vexo::makeSystemFileServices();
             vexo::par2::create(*fs, 1, inputs, "data.bin", percent, 0644);
             return 0;
           }));
    removeSet(dir);
    record("par2 create", inChild([&] { return std::system(par2Create.c_str()) == 0 ? 0 : 1; }));
    removeSet(dir);
    for (const auto& in : inputs) stdfs::remove(in.path);
    stdfs::remove("data.bin.crc");
    stdfs::rename("data.src", "data.bin");
    std::printf("  run %d:", run + 1);
    for (const auto& [what, v] : t) std::printf(" %s %.2f s;", what.c_str(), v.back());
    std::printf("\n");
  }
  for (const auto& [what, v] : t)
    std::printf("%-34s median %7.2f s, peak memory %4ld MiB\n", what.c_str(), bench::median(v), peak[what] / 1024);
  const double par2 = bench::median(t["par2 create"]);
  std::printf("ratios: split with recovery data / par2 create %.2f (goal <= 0.25); recovery set alone / par2 create "
              "%.2f; repairing join / plain join %.2f (goal <= 2)\n",
              bench::median(t["split with recovery data"]) / par2, bench::median(t["our recovery set alone"]) / par2,
              bench::median(t["join rebuilding a missing piece"]) / bench::median(t["plain join"]));
  stdfs::current_path(base);
  stdfs::remove_all(dir);
  return 0;
}
