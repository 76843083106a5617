// What a running request tells, and asks, on the command line. Reports go
// to standard output, problems to standard error behind "vexo-cli: ";
// questions are asked on the terminal, or answered No when there is none
// (Yes with --yes); progress is a bar on standard error when that is a
// terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "user_interface.h"

namespace vexo::cli {

struct Answers {
  bool quiet = false;         // --quiet: nothing but problems
  bool yes = false;           // --yes: every question answered Yes
  bool deletePieces = false;  // --delete: the pieces go after a join
};

class CliUi : public UserInterface {
 public:
  explicit CliUi(const Answers& answers);

  void statusText(const std::string& text) override;
  void clearStatus() override;
  void message(const std::string& text) override;
  int question(const std::string& text) override;
  int questionNo(const std::string& text) override;
  void refreshFileList() override {}
  std::optional<std::string> askExtension(const std::string& suggested) override;
  void progress(std::int64_t done, std::int64_t total) override;
  bool stopRequested() override;

  // Lines of a report, to standard output unless --quiet.
  void report(const std::string& line);
  // A problem, to standard error behind "vexo-cli: ".
  void problem(const std::string& text);
  // Takes the progress bar off the terminal.
  void endProgress();

  // How the request ended: with its completion message, stopped, or neither.
  bool done() const { return done_; }
  bool stopped() const { return stopped_; }

 private:
  int ask(const std::string& text, bool yesIsDefault);
  void drawProgress(std::int64_t done, std::int64_t total);

  Answers answers_;
  bool bar_;  // progress is drawn
  bool done_ = false;
  bool stopped_ = false;
  std::string status_;
  bool barShown_ = false;
  bool started_ = false;  // start_ holds when progress began
  std::chrono::steady_clock::time_point start_{};
  std::chrono::steady_clock::time_point lastDraw_{};
};

// The line the progress bar shows: the status text (shortened to fit),
// a bar, the percentage, the rate and the time left, at most `columns`
// terminal columns wide.
std::string progressLine(const std::string& status, std::int64_t done, std::int64_t total, double seconds,
                         int columns);

// Terminal columns the UTF-8 text takes (East Asian wide characters two).
int displayWidth(const std::string& text);

}  // namespace vexo::cli
