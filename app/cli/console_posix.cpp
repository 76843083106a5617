// The terminal on POSIX systems.
#ifndef _WIN32
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <climits>
#include <vector>

#include "console.h"

namespace vexo::cli {
namespace {

volatile std::sig_atomic_t stopFlag = 0;

extern "C" void onStopSignal(int) { stopFlag = 1; }

void writeAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return;  // a closed pipe or a full disk: nothing left to tell it with
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

}  // namespace

bool inputIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }
bool errorIsTerminal() { return ::isatty(STDERR_FILENO) == 1; }

int errorColumns() {
  winsize ws{};
  if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

void writeOut(std::string_view text) { writeAll(STDOUT_FILENO, text); }
void writeErr(std::string_view text) { writeAll(STDERR_FILENO, text); }

std::optional<std::string> readLine() {
  std::string line;
  for (;;) {
    if (stopFlag) return std::nullopt;
    char c = 0;
    const ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n < 0 && errno == EINTR) continue;  // the flag tells whether to go on
    if (n <= 0) return line.empty() ? std::nullopt : std::optional<std::string>(line);
    if (c == '\n') break;
    line += c;
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void installStopHandlers() {
  struct sigaction sa {};
  sa.sa_handler = onStopSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = 0;  // no SA_RESTART: a question waiting for input sees the stop
  ::sigaction(SIGINT, &sa, nullptr);
  ::sigaction(SIGTERM, &sa, nullptr);
  // A closed output pipe shows as a failed write, not as the end of the program.
  std::signal(SIGPIPE, SIG_IGN);
}

bool stopAsked() { return stopFlag != 0; }

std::string absolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::vector<char> buf(PATH_MAX);
  while (::getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE) return path;
    buf.resize(buf.size() * 2);
  }
  std::string cwd(buf.data());
  if (path.empty() || path == ".") return cwd;
  return cwd + (cwd.back() == '/' ? "" : "/") + path;
}

void splitPath(const std::string& path, std::string& folder, std::string& name) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) {
    folder.clear();
    name = path;
    return;
  }
  folder = slash == 0 ? "/" : path.substr(0, slash);
  name = path.substr(slash + 1);
}

}  // namespace vexo::cli
#endif
