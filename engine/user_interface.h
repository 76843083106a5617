// What the engine needs from the user interface. The main window and the
// extension dialog implement it; the tests implement it with a recorder.
#pragma once

#include <cstdint>
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
  // The chosen piece size in bytes (1457664, 1250304 or a size the user
  // entered).
  virtual std::int64_t pieceSize() = 0;
  // State of the naming check box: 0 clear (long naming), anything else
  // checked (short naming).
  virtual int check1() = 0;
  // Shows the extension dialog modally. Afterwards the engine reads
  // extensionText() and the proceed flag.
  virtual void showExtensionPrompt() = 0;
  // Text of the extension dialog's combo box.
  virtual std::string extensionText() = 0;
  // Offers a text for the extension dialog's combo box before it is shown
  // (the extension a set's record names); the user may still change it.
  virtual void suggestExtension(const std::string& text) { (void)text; }

  // Smallest number of digits in a piece number written by a split: 1 for
  // report.doc.1, 3 for report.doc.001.
  virtual int pieceDigits() { return 1; }

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
