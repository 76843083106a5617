// The window's message boxes: the application's title, plain text, and the
// buttons and icon of a message style (an OK button only, or Yes and No
// with either as the default). Each box is wide enough for its title bar
// to show the title beside the frame's buttons.
#pragma once

#include <QString>

class QMessageBox;
class QWidget;

namespace vexo {

// Sets up a box for a style (kStyleOkOnly, kStyleYesNoQuestion or
// kStyleYesNoQuestionNoDefault) with the application's title.
void setUpMessageBox(QMessageBox& box, int style, const QString& text);

// Shows a box modally and returns the answer: kAnswerOk, kAnswerYes or
// kAnswerNo.
int execMessageBox(QWidget* parent, int style, const QString& text);

// The least width, in pixels, of a box whose title bar shows `title`: the
// title in the title bar's font with room on either side, and the frame's
// buttons (close, and the others some window managers add).
int messageBoxMinimumWidth(const QMessageBox& box, const QString& title);

}  // namespace vexo
