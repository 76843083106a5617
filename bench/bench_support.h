// What the benchmarks share: a request run without a window, the wait for a
// timed child process, and the median of the runs.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "engine.h"
#include "file_services.h"
#include "user_interface.h"

namespace bench {

using Clock = std::chrono::steady_clock;

// The user interface of one request without a window: remembers the
// messages, answers Yes to a question that holds yesTo and No to any other
// (the deletion of the pieces is declined).
class HeadlessUi final : public vexo::UserInterface {
 public:
  explicit HeadlessUi(std::string yesTo = {}) : yesTo_(std::move(yesTo)) {}
  std::vector<std::string> messages;
  void statusText(const std::string&) override {}
  void clearStatus() override {}
  void message(const std::string& text) override { messages.push_back(text); }
  int question(const std::string& text) override {
    return !yesTo_.empty() && text.find(yesTo_) != std::string::npos ? vexo::kAnswerYes : 7;
  }
  int questionNo(const std::string&) override { return 7; }
  void refreshFileList() override {}
  std::optional<std::string> askExtension(const std::string&) override { return std::nullopt; }

 private:
  std::string yesTo_;
};

// Runs the request in the current directory: 0 when it ended with the
// completion message (its first line) and nothing else.
inline int runRequest(const vexo::Job& job, const std::string& yesTo = {}) {
  auto fs = vexo::makeSystemFileServices();
  HeadlessUi ui(yesTo);
  vexo::proc1(*fs, ui, job);
  const std::string first = ui.messages.empty() ? "" : ui.messages[0].substr(0, ui.messages[0].find('\n'));
  if (ui.messages.size() == 1 && (first == "分割完了" || first == "結合完了")) return 0;
  for (const auto& m : ui.messages) std::cerr << "vexo: " << m << "\n";
  return 1;
}

// A child process's wall time from start to its exit, its peak resident
// memory and whether it exited with 0.
struct Timed {
  double seconds = 0;
  long peakKiB = 0;
  bool ok = false;
  rusage usage{};
};

inline Timed waitTimed(pid_t pid, Clock::time_point start) {
  Timed t;
  int status = 0;
  while (::wait4(pid, &status, 0, &t.usage) < 0)
    if (errno != EINTR) return t;
  t.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  t.peakKiB = t.usage.ru_maxrss;
  t.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return t;
}

inline double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace bench
