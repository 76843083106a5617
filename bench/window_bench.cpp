// How quickly the main window is there, and what it costs: the time from the
// program's start to its first painted window, its resident memory once it
// has started, and the time to show a directory of 20,000 files. Then a
// split and a join of a large file through the window, from the Enter key
// on "決　定" to the painted completion message, side by side in one run
// with GNU split and cat on the same file, and with the engine alone.
//
// The window comes up in a child process started the way the program starts
// (the same application setup as app/main.cpp), timed by the parent from the
// moment it starts the child to the moment the child says that the window
// has been painted. The child measures the rest itself and reports it on its
// standard output. Settings go to a throw-away directory.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

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
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "directory_list.h"
#include "engine.h"
#include "file_list.h"
#include "file_services.h"
#include "form_metrics.h"
#include "main_window.h"
#include "settings.h"
#include "translations.h"
#include "user_interface.h"
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
  std::unique_ptr<vexo::SettingsStore> settings = vexo::makeUserSettingsStore();
  vexo::Main window(*files, volumes, *settings);
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

// ---- Splitting and joining through the window ----

constexpr std::int64_t kPiece = 1457664;  // "1.44M(DOS/V)"

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Runs a program to its end, its standard output into `out` when given;
// returns the seconds it took, or -1 when it failed.
double timeProgram(std::vector<std::string> args, const std::string& out = {}) {
  ::sync();  // no writing back of earlier runs during this one
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!out.empty())
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto start = Clock::now();
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  const double s = secondsSince(start);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? s : -1;
}

// The engine with nothing to show: the same request without a window.
class QuietUi : public vexo::UserInterface {
 public:
  void statusText(const std::string&) override {}
  void clearStatus() override {}
  void message(const std::string& text) override { last = text; }
  int question(const std::string&) override { return 7; }
  int questionNo(const std::string&) override { return 7; }
  void refreshFileList() override {}
  std::optional<std::string> askExtension(const std::string&) override { return std::nullopt; }
  std::string last;
};

// Watches the message boxes and the status line: records when the first
// box after `armed` has been painted and its text, answers every box (OK,
// or No to a question), and counts the status line's paints.
class BoxWatcher : public QObject {
 public:
  QLabel* status = nullptr;
  int statusPaints = 0;
  bool armed = false;
  Clock::time_point shownAt;
  QString firstText;

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      if (watched == status) ++statusPaints;
      auto* box = qobject_cast<QMessageBox*>(watched);
      if (box && !answered_.contains(box)) {
        answered_.append(box);
        QTimer::singleShot(0, box, [this, box] {  // once the paint is done
          if (armed) {
            armed = false;
            shownAt = Clock::now();
            firstText = box->text();
          }
          answered_.removeAll(box);
          box->done(box->standardButtons() & QMessageBox::No ? QMessageBox::No : QMessageBox::Ok);
        });
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QList<QMessageBox*> answered_;
};

// Where the files of earlier rounds go instead of being deleted. Some file
// systems (ext4 without a journal, as on the machine these figures come
// from) make every new file step over each inode freed in the last minute,
// or six while it is not yet on the disk: with the 2,200 pieces of each
// round deleted, a split's 737 new files took half a second more, for GNU
// split as for ours, and the figures told more about that than about
// moving bytes. Here a file is renamed into `dir` and emptied, which gives
// back its space but keeps its inode in use; they all go at the end.
class Spent {
 public:
  explicit Spent(std::string dir) : dir_(std::move(dir)) { stdfs::create_directories(dir_); }

  // Everything in a directory, which stays.
  void takeInside(const std::string& dir) {
    std::vector<std::string> inside;
    for (const auto& e : stdfs::directory_iterator(dir)) inside.push_back(e.path().string());
    for (const auto& p : inside) take(p);
  }

  // A file, or a directory with everything in it. A second name of a file
  // (a hard link to the master) is only removed: that frees nothing.
  void take(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
      takeInside(path);
      stdfs::remove(path);
      return;
    }
    if (!S_ISREG(st.st_mode) || st.st_nlink > 1) {
      stdfs::remove(path);
      return;
    }
    const std::string to = dir_ + "/" + std::to_string(++count_);
    stdfs::rename(path, to);
    if (::truncate(to.c_str(), 0) != 0) stdfs::remove(to);
  }

 private:
  std::string dir_;
  long count_ = 0;
};

// Child: the window on `dir`, then rounds of: split `master` through the
// window, GNU split, the engine alone; join through the window, cat, the
// engine alone, each after a sync. One line per figure on standard output.
int ioChild(int argc, char** argv, const std::string& dir, const std::string& master, int runs) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(vexo::kAppTitle);
  QApplication::setDesktopFileName(QStringLiteral("vexo"));
  QApplication::setFont(vexo::formFont());
  vexo::installJapaneseTranslations(app);
  std::unique_ptr<vexo::FileServices> files = vexo::makeSystemFileServices();
  if (::chdir(dir.c_str()) != 0) return 2;
  vexo::StorageVolumes volumes;
  std::unique_ptr<vexo::SettingsStore> settings = vexo::makeUserSettingsStore();
  vexo::Main window(*files, volumes, *settings);
  BoxWatcher watcher;
  watcher.status = window.Label2;
  app.installEventFilter(&watcher);
  window.show();

  const std::string name = "data.bin";
  const std::string gnu = dir + "/gnu";
  stdfs::create_directories(gnu);
  Spent spent(stdfs::path(dir).parent_path().string() + "/spent");
  auto clean = [&] {
    std::vector<std::string> files;
    for (const auto& e : stdfs::directory_iterator(dir))
      if (e.is_regular_file()) files.push_back(e.path().string());
    for (const auto& f : files) spent.take(f);
    spent.takeInside(gnu);
  };
  // Chooses a file as a click in the list does, then presses Enter and
  // waits for the painted completion message.
  auto throughWindow = [&](const QString& file, const char* expected) -> double {
    window.FIle_list->refresh();
    const int row = static_cast<int>(window.FIle_list->entries().indexOf(file));
    window.FIle_list->setListIndex(row);
    if (window.File_Name->text() != file) return -1;
    QApplication::processEvents();
    ::sync();  // no writing back of earlier rounds during this one
    watcher.armed = true;
    watcher.statusPaints = 0;
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    const auto start = Clock::now();
    QApplication::sendEvent(&window, &enter);  // returns when the request has ended
    // The completion message's first line; a summary follows it.
    if (watcher.armed || watcher.firstText.section(u'\n', 0, 0) != QString::fromUtf8(expected)) {
      say("error: the window showed \"" + watcher.firstText.toStdString() + "\"");
      return -1;
    }
    return std::chrono::duration<double>(watcher.shownAt - start).count();
  };
  auto engineAlone = [&](const std::string& file, const char* expected) -> double {
    QuietUi quiet;
    ::sync();
    const auto start = Clock::now();
    vexo::Job job;
    job.chosen = file;
    job.pieceSize = kPiece;
    vexo::proc1(*files, quiet, job);
    const double s = secondsSince(start);
    return quiet.last.substr(0, quiet.last.find('\n')) == expected ? s : -1;
  };

  QTimer::singleShot(300, [&] {
    // What one status line costs: the text of each piece of a split, set and
    // repainted as the engine does it, without any file work.
    {
      constexpr int kTexts = 1000;
      const auto start = Clock::now();
      for (int i = 1; i <= kTexts; ++i) window.form().statusText("分割中 " + name + "." + std::to_string(i));
      say("status-repaint " + std::to_string(secondsSince(start) / kTexts));
      window.form().clearStatus();
    }
    // Each round the three splits, then the three joins, take turns in
    // another order, so that none always runs just after the same other one
    // (what the one before left to the file system and to the memory
    // weighs on the next).
    for (int round = 0; round <= runs; ++round) {  // round 0 warms the caches up
      auto report = [&](const char* what, double s) {
        if (round > 0) say(std::string(what) + " " + std::to_string(s));
      };
      clean();
      std::vector<std::string> pieces;
      const std::function<void()> splits[] = {
          [&] {
            stdfs::create_hard_link(master, dir + "/" + name);
            report("split-window", throughWindow(QString::fromStdString(name), "分割完了"));
            report("split-status-paints", watcher.statusPaints);
            stdfs::remove(dir + "/" + name);  // the source: the pieces are joined back
            for (const auto& e : stdfs::directory_iterator(dir))
              if (e.path().filename().string().rfind(name + ".", 0) == 0) pieces.push_back(e.path().string());
            std::sort(pieces.begin(), pieces.end(), [](const std::string& a, const std::string& b) {
              return a.size() != b.size() ? a.size() < b.size() : a < b;
            });
            report("split-pieces", static_cast<double>(pieces.size()));
          },
          [&] {
            report("split-gnu", timeProgram({"split", "-b", std::to_string(kPiece), "-d", "-a", "3", master,
                                             gnu + "/" + name + "."}));
            spent.takeInside(gnu);
          },
          [&] {
            stdfs::create_directories(dir + "/alone");
            stdfs::create_hard_link(master, dir + "/alone/" + name);
            files->chDir(dir + "/alone");
            report("split-engine", engineAlone(name, "分割完了"));
            spent.takeInside(dir + "/alone");
            files->chDir(dir);
          }};
      // The pieces the window wrote, joined back each time into a file that
      // goes before the next.
      const std::function<void()> joins[] = {
          [&] {
            report("join-window", throughWindow(QString::fromStdString(name + ".1"), "結合完了"));
            report("join-status-paints", watcher.statusPaints);
            if (stdfs::file_size(dir + "/" + name) != stdfs::file_size(master)) say("error: joined size");
            spent.take(dir + "/" + name);
          },
          [&] {
            std::vector<std::string> cat{"cat"};
            cat.insert(cat.end(), pieces.begin(), pieces.end());
            report("join-cat", timeProgram(cat, gnu + "/joined"));
            spent.take(gnu + "/joined");
          },
          [&] {
            report("join-engine", engineAlone(name + ".1", "結合完了"));
            spent.take(dir + "/" + name);
          }};
      for (int i = 0; i < 3; ++i) splits[(i + round) % 3]();
      for (int i = 0; i < 3; ++i) joins[(i + round) % 3]();
    }
    clean();
    QApplication::quit();
  });
  return QApplication::exec();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

// Splits and joins a file of `sizeMiB` through the window in a child
// process, side by side with GNU split, cat and the engine alone, and
// prints the medians and the window's time as a share of the tools'.
bool ioBench(const std::string& self, const std::string& base, long sizeMiB, int runs) {
  std::string root = base + "/vexo-window-io-XXXXXX";
  if (!::mkdtemp(root.data())) {
    std::perror("mkdtemp");
    return false;
  }
  const std::string master = root + "/master.bin", dir = root + "/work", config = root + "/config";
  stdfs::create_directories(dir);
  stdfs::create_directories(config);
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);  // the window's settings go here
  {
    // Bytes that differ from block to block, written once.
    std::vector<char> block(1 << 20);
    std::ofstream out(master, std::ios::binary);
    for (long m = 0; m < sizeMiB; ++m) {
      for (std::size_t i = 0; i < block.size(); i += 8) std::memcpy(&block[i], &m, sizeof m), block[i + 7] = char(i);
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
  }
  std::cout << "\nsplit and join of " << sizeMiB << " MiB through the window (Enter on \"決　定\" to the"
            << " painted completion message), in " << root << std::endl;
  int out[2];
  if (::pipe(out) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  std::vector<std::string> args{self, "--io-child", dir, master, std::to_string(runs)};
  std::vector<char*> argvChild;
  for (auto& a : args) argvChild.push_back(a.data());
  argvChild.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, self.c_str(), &actions, nullptr, argvChild.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (rc != 0) return false;
  std::map<std::string, std::vector<double>> figures;
  bool ok = true;
  FILE* in = ::fdopen(out[0], "r");
  char line[512];
  while (std::fgets(line, sizeof line, in)) {
    const std::string l(line, std::strcspn(line, "\n"));
    const std::size_t space = l.find(' ');
    const std::string key = l.substr(0, space);
    const double value = space == std::string::npos ? -1 : std::atof(l.c_str() + space + 1);
    if (key == "error:" || value < 0) {
      std::cerr << l << "\n";
      ok = false;
    } else {
      figures[key].push_back(value);
    }
  }
  std::fclose(in);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::cerr << "window_bench: the window's process failed\n";
    ok = false;
  }
  stdfs::remove_all(root);

  auto ratios = [&](const std::string& a, const std::string& b) {
    std::vector<double> r;
    // A failed round (-1) has no ratio.
    for (std::size_t i = 0; i < figures[a].size() && i < figures[b].size(); ++i)
      if (figures[a][i] > 0 && figures[b][i] > 0) r.push_back(figures[a][i] / figures[b][i]);
    return r;
  };
  std::printf("median of %d paired runs:\n", runs);
  for (const char* op : {"split", "join"}) {
    const std::string o = op, tool = o == "split" ? "GNU split" : "cat";
    const std::string w = o + "-window", t = o + (o == "split" ? "-gnu" : "-cat"), e = o + "-engine";
    const std::vector<double> r = ratios(w, t);
    std::printf("  %-5s window %7.3f s, %-9s %7.3f s, engine alone %7.3f s;"
                " window/%s %.2f (range %.2f-%.2f, target <= 0.8) %s\n",
                op, median(figures[w]), tool.c_str(), median(figures[t]), median(figures[e]),
                tool.c_str(), median(r), r.empty() ? 0 : *std::min_element(r.begin(), r.end()),
                r.empty() ? 0 : *std::max_element(r.begin(), r.end()),
                static_cast<int>(r.size()) < runs ? "FAILED ROUNDS" : median(r) <= 0.8 ? "met" : "MISSED");
    std::printf("        rounds (window, %s, engine alone):", tool.c_str());
    for (std::size_t i = 0; i < figures[w].size(); ++i)
      std::printf(" %.3f/%.3f/%.3f", figures[w][i], i < figures[t].size() ? figures[t][i] : 0.0,
                  i < figures[e].size() ? figures[e][i] : 0.0);
    std::printf("\n");
    std::printf("        window/engine %.2f; status line painted %.0f times for %.0f pieces\n",
                median(ratios(w, e)), median(figures[o + "-status-paints"]), median(figures["split-pieces"]));
  }
  std::printf("  one status line set and repainted: %.3f ms\n", median(figures["status-repaint"]) * 1000);
  return ok;
}

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--child") return child(argc, argv, argv[2], argv[3]);
  if (argc == 5 && std::string(argv[1]) == "--io-child")
    return ioChild(argc, argv, argv[2], argv[3], std::atoi(argv[4]));

  int runs = 5;
  long sizeMiB = 1024;
  const char* tmp = std::getenv("TMPDIR");
  std::string ioDir = tmp ? tmp : "/tmp";
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--runs" && i + 1 < argc) {
      runs = std::atoi(argv[++i]);
    } else if (a == "--size" && i + 1 < argc) {
      sizeMiB = std::atol(argv[++i]);
    } else if (a == "--dir" && i + 1 < argc) {
      ioDir = argv[++i];
    } else {
      std::cerr << "usage: window_bench [--runs N] [--size MiB (0: no split or join)] [--dir DIR]\n";
      return a == "--help" || a == "-h" ? 0 : 2;
    }
  }
  const std::string self = stdfs::canonical("/proc/self/exe").string();
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
  if (sizeMiB > 0 && !ioBench(self, ioDir, sizeMiB, runs)) ok = false;
  return ok ? 0 : 1;
}
