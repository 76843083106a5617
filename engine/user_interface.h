// What a running request reports to, or asks of, whoever runs it: the main
// window, the command line, or a test's recorder. The request itself comes
// as a Job (job.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace vexo {

// Answer value of a Yes/No question that means Yes.
inline constexpr int kAnswerYes = 6;

class UserInterface {
 public:
  virtual ~UserInterface() = default;

  // Sets the status line and repaints it at once.
  virtual void statusText(const std::string& text) = 0;
  // Empties the status line without repainting it.
  virtual void clearStatus() = 0;
  // Message box with the text and an OK button only; returns when dismissed.
  virtual void message(const std::string& text) = 0;
  // Yes/No question with the question icon, Yes the default button.
  // Returns kAnswerYes for Yes; any other value means No.
  virtual int question(const std::string& text) = 0;
  // Yes/No question with the question icon and No as the default button
  // (Enter, Esc and closing the box answer No). Returns kAnswerYes for Yes.
  virtual int questionNo(const std::string& text) = 0;
  // Re-reads the directory shown in the file list.
  virtual void refreshFileList() = 0;
  // Asks for the joined file's extension (the extension dialog, shown
  // modally), offering the suggested text (the extension a set's record
  // names; may be empty). Returns the extension, or nothing when the user
  // cancelled.
  virtual std::optional<std::string> askExtension(const std::string& suggested) = 0;

  // How far the running request has got: bytes done of all it will move.
  // Called at the start (done 0), as blocks move, and at the end.
  virtual void progress(std::int64_t done, std::int64_t total) {
    (void)done;
    (void)total;
  }
  // Asked between blocks: true stops the request at that point, which then
  // cleans up as after a failure and reports "中止しました．".
  virtual bool stopRequested() { return false; }
};

}  // namespace vexo
