#include "cli_ui.h"

#include <cstdio>
#include <vector>

#include "console.h"
#include "messages.h"

namespace vexo::cli {
namespace {

constexpr const char kPrefix[] = "vexo-cli: ";
// The bar is redrawn at most this often.
constexpr auto kRedraw = std::chrono::milliseconds(100);
constexpr int kBarCells = 20;

bool startsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

// The code points of UTF-8 text with their byte offsets; an ill-formed
// byte counts as one code point of its own.
struct CodePoint {
  std::size_t offset;
  char32_t value;
};
std::vector<CodePoint> codePoints(const std::string& s) {
  std::vector<CodePoint> out;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    char32_t v = len == 1 ? c : c & (0x3F >> (len - 1));
    bool ok = i + len <= s.size();
    for (std::size_t k = 1; ok && k < len; ++k) {
      const auto b = static_cast<unsigned char>(s[i + k]);
      ok = (b & 0xC0) == 0x80;
      v = (v << 6) | (b & 0x3F);
    }
    if (!ok) {
      out.push_back({i, 0xFFFD});
      ++i;
      continue;
    }
    out.push_back({i, v});
    i += len;
  }
  return out;
}

int widthOf(char32_t c) {
  if (c < 0x20 || c == 0x7F) return 0;
  const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
                    (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                    (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
  return wide ? 2 : 1;
}

// Every line of the text behind the prefix.
std::string prefixed(const std::string& text) {
  std::string out;
  std::size_t start = 0;
  for (;;) {
    const auto end = text.find('\n', start);
    out += kPrefix + text.substr(start, end - start) + "\n";
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return out;
}

std::string clock(std::int64_t seconds) {
  char buf[32];
  if (seconds >= 3600)
    std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  else
    std::snprintf(buf, sizeof buf, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  return buf;
}

}  // namespace

int displayWidth(const std::string& text) {
  int w = 0;
  for (const auto& cp : codePoints(text)) w += widthOf(cp.value);
  return w;
}

std::string progressLine(const std::string& status, std::int64_t done, std::int64_t total, double seconds,
                         int columns) {
  const double part = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 1.0;
  const int filled = static_cast<int>(part * kBarCells);
  char tail[96];
  std::string rate = "--- MB/s", left = "--:--";
  if (seconds >= 0.5 && done > 0) {
    const double perSecond = static_cast<double>(done) / seconds;
    char r[32];
    std::snprintf(r, sizeof r, "%.1f MB/s", perSecond / 1e6);
    rate = r;
    left = clock(static_cast<std::int64_t>(static_cast<double>(total - done) / perSecond + 0.5));
  }
  std::snprintf(tail, sizeof tail, " %3d%% %s 残り %s", static_cast<int>(part * 100), rate.c_str(), left.c_str());
  const std::string bar = "[" + std::string(static_cast<std::size_t>(filled), '#') +
                          std::string(static_cast<std::size_t>(kBarCells - filled), '-') + "]";
  std::string line = bar + tail;
  // The status in front when it fits, shortened at its start (the end
  // names the piece), never into the last column.
  const int room = columns - 1 - displayWidth(line) - 1;
  if (status.empty() || room < 6) return line;
  if (displayWidth(status) <= room) return status + " " + line;
  const auto cps = codePoints(status);
  int w = 1;  // the ellipsis
  std::size_t from = status.size();
  for (auto it = cps.rbegin(); it != cps.rend(); ++it) {
    if (w + widthOf(it->value) > room) break;
    w += widthOf(it->value);
    from = it->offset;
  }
  return "…" + status.substr(from) + " " + line;
}

CliUi::CliUi(const Answers& answers) : answers_(answers), bar_(!answers.quiet && errorIsTerminal()) {}

void CliUi::statusText(const std::string& text) { status_ = text; }

void CliUi::clearStatus() { status_.clear(); }

void CliUi::report(const std::string& line) {
  if (answers_.quiet) return;
  endProgress();
  writeOut(line + "\n");
}

void CliUi::problem(const std::string& text) {
  endProgress();
  writeErr(prefixed(text));
}

void CliUi::message(const std::string& text) {
  if (startsWith(text, text::kSplitDone) || startsWith(text, text::kJoinDone)) {
    done_ = true;
    report(text);
    return;
  }
  if (text == text::kStopped) stopped_ = true;
  problem(text);
}

int CliUi::question(const std::string& text) {
  // Deleting the pieces is what --delete asks for, never a terminal's Enter.
  if (text == text::kDeleteQuestion) return answers_.deletePieces && !stopAsked() ? kAnswerYes : 0;
  return ask(text, true);
}

int CliUi::questionNo(const std::string& text) { return ask(text, false); }

int CliUi::ask(const std::string& text, bool yesIsDefault) {
  endProgress();
  if (stopAsked()) return 0;
  if (answers_.yes) return kAnswerYes;
  if (!inputIsTerminal()) {
    problem(text + "\nいいえ（端末がないので．--yes で「はい」と答えます）");
    return 0;
  }
  for (;;) {
    writeErr(text + (yesIsDefault ? " [Y/n] " : " [y/N] "));
    const std::optional<std::string> line = readLine();
    if (!line) {
      writeErr("\n");
      return 0;
    }
    if (line->empty()) return yesIsDefault ? kAnswerYes : 0;
    const char c = (*line)[0];
    if (c == 'y' || c == 'Y' || *line == "はい") return kAnswerYes;
    if (c == 'n' || c == 'N' || *line == "いいえ") return 0;
  }
}

std::optional<std::string> CliUi::askExtension(const std::string& suggested) {
  endProgress();
  if (stopAsked()) return std::nullopt;
  if (answers_.yes || !inputIsTerminal()) return answers_.yes ? std::optional<std::string>(suggested) : std::nullopt;
  writeErr("結合後の拡張子を入力して下さい" + (suggested.empty() ? std::string() : " [" + suggested + "]") + ": ");
  std::optional<std::string> line = readLine();
  if (!line) {
    writeErr("\n");
    return std::nullopt;
  }
  return line->empty() ? suggested : *line;
}

bool CliUi::stopRequested() { return stopAsked(); }

void CliUi::progress(std::int64_t done, std::int64_t total) {
  if (!bar_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!started_) {
    started_ = true;
    start_ = now;
  } else if (barShown_ && done < total && now - lastDraw_ < kRedraw) {
    return;
  }
  drawProgress(done, total);
  lastDraw_ = now;
}

void CliUi::drawProgress(std::int64_t done, std::int64_t total) {
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  writeErr("\r" + progressLine(status_, done, total, seconds, errorColumns()) + "\x1b[K");
  barShown_ = true;
}

void CliUi::endProgress() {
  if (!barShown_) return;
  writeErr("\r\x1b[K");
  barShown_ = false;
}

}  // namespace vexo::cli
