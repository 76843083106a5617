// How quickly the main window is there, and what it costs: the time from the
// program's start to its first painted window, its resident memory once it
// has started, and the time to show a directory of 20,000 files.
//
// The window comes up in a child process started the way the program starts
// (the same application setup as app/main.cpp), timed by the parent from the
// moment it starts the child to the moment the child says that the window
// has been painted. The child measures the rest itself and reports it on its
// standard output. Settings go to a throw-away directory.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "directory_list.h"
#include "file_list.h"
#include "file_services.h"
#include "form_metrics.h"
#include "main_window.h"
#include "settings.h"
#include "volumes.h"

extern char** environ;

namespace stdfs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kFiles = 20000;

// Resident memory of this process, in KiB.
long residentKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

void say(const std::string& line) {
  std::cout << line << std::endl;  // flushed: the parent times the lines
}

// Reports the first paint of the window it watches.
class FirstPaint : public QObject {
 public:
  bool painted = false;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!painted && event->type() == QEvent::Paint) {
      painted = true;
      // After this paint has been done, not before.
      QTimer::singleShot(0, [] { say("painted"); });
    }
    return QObject::eventFilter(watched, event);
  }
};

// Child: the program's start-up, then the measurements. argv: the directory
// with the files, an empty directory.
int child(int argc, char** argv, const std::string& many, const std::string& empty) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(vexo::kAppTitle);
  QApplication::setDesktopFileName(QStringLiteral("vexo"));
  QApplication::setFont(vexo::formFont());
  std::unique_ptr<vexo::FileServices> files = vexo::makeSystemFileServices();
  vexo::StorageVolumes volumes;
  vexo::Main window(*files, volumes);
  FirstPaint first;
  window.installEventFilter(&first);
  window.show();

  // Once the window has been painted and the start-up has settled.
  QTimer::singleShot(0, [&] {
    QElapsedTimer wait;
    wait.start();
    while (!first.painted && wait.elapsed() < 10000) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QApplication::processEvents();
    QTimer::singleShot(500, [&] {
      say("rss " + std::to_string(residentKiB()));
      // Opening the directory as the directory list does, until the window
      // has been painted with it; then back to an empty one, five times.
      for (int i = 0; i < 5; ++i) {
        QElapsedTimer t;
        t.start();
        window.Dir_name->setPath(QString::fromStdString(many));
        window.repaint();
        const qint64 ns = t.nsecsElapsed();
        if (window.FIle_list->listCount() != kFiles) {
          say("error: the file list shows " + std::to_string(window.FIle_list->listCount()) + " files");
          break;
        }
        say("directory " + std::to_string(ns));
        window.Dir_name->setPath(QString::fromStdString(empty));
        window.repaint();
      }
      say("rss-after " + std::to_string(residentKiB()));
      QApplication::quit();
    });
  });
  return QApplication::exec();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--child") return child(argc, argv, argv[2], argv[3]);

  int runs = 5;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--runs" && i + 1 < argc) {
      runs = std::atoi(argv[++i]);
    } else {
      std::cerr << "usage: window_bench [--runs N]\n";
      return a == "--help" || a == "-h" ? 0 : 2;
    }
  }
  const std::string self = stdfs::canonical("/proc/self/exe").string();
  const char* tmp = std::getenv("TMPDIR");
  std::string root = std::string(tmp ? tmp : "/tmp") + "/vexo-window-bench-XXXXXX";
  if (!::mkdtemp(root.data())) {
    std::perror("mkdtemp");
    return 2;
  }
  const std::string many = root + "/many", empty = root + "/empty", config = root + "/config";
  stdfs::create_directories(many);
  stdfs::create_directories(empty);
  stdfs::create_directories(config);
  for (int i = 1; i <= kFiles; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "/report-%05d.doc", i);
    std::ofstream(many + name);
  }
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);  // the settings of these runs go here
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  std::cout << "platform: " << (platform ? platform : "default") << (std::getenv("DISPLAY") ? std::string(", DISPLAY ") + std::getenv("DISPLAY") : "")
            << "\n";

  std::vector<double> starts, rss, dirs, rssAfter;
  bool ok = true;
  for (int run = 0; run <= runs; ++run) {  // run 0 warms the caches up
    int out[2];
    if (::pipe(out) != 0) return 2;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::vector<std::string> args{self, "--child", many, empty};
    std::vector<char*> argvChild;
    for (auto& a : args) argvChild.push_back(a.data());
    argvChild.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid = 0;
    if (posix_spawn(&pid, self.c_str(), &actions, nullptr, argvChild.data(), environ) != 0) return 2;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    FILE* in = ::fdopen(out[0], "r");
    char line[256];
    while (std::fgets(line, sizeof line, in)) {
      const std::string l(line, std::strcspn(line, "\n"));
      if (l == "painted") {
        const double s = std::chrono::duration<double>(Clock::now() - start).count();
        if (run > 0) starts.push_back(s);
      } else if (l.rfind("rss-after ", 0) == 0) {
        if (run > 0) rssAfter.push_back(std::atof(l.c_str() + 10) / 1024);
      } else if (l.rfind("rss ", 0) == 0) {
        if (run > 0) rss.push_back(std::atof(l.c_str() + 4) / 1024);
      } else if (l.rfind("directory ", 0) == 0) {
        if (run > 0) dirs.push_back(std::atof(l.c_str() + 10) / 1e9);
      } else {
        std::cerr << l << "\n";
        ok = false;
      }
    }
    std::fclose(in);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::cerr << "window_bench: the window's process failed\n";
      ok = false;
    }
  }
  stdfs::remove_all(root);

  struct Row {
    const char* what;
    double value;
    const char* unit;
    double target;
  };
  const Row rows[] = {{"start to first painted window", median(starts), "s", 0.3},
                      {"resident memory after start", median(rss), "MiB", 60},
                      {"show a directory of 20,000 files", median(dirs), "s", 0.1}};
  std::printf("\nmain window, median of %d runs (target):\n", runs);
  for (const auto& r : rows)
    std::printf("  %-34s %8.3f %-3s (<= %g) %s\n", r.what, r.value, r.unit, r.target,
                r.value <= r.target ? "met" : "MISSED");
  std::printf("  (resident memory after showing that directory five times: %.1f MiB)\n", median(rssAfter));
  return ok ? 0 : 1;
}
