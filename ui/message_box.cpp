#include "message_box.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QSpacerItem>
#include <QStyle>

#include <algorithm>

#include "main_window.h"
#include "texts.h"

namespace vexo {

namespace {

// Title bars run up to four buttons (menu, minimise, maximise, close), each
// about as wide as the bar is high.
constexpr int kFrameButtons = 4;
constexpr int kLeastButtonPixels = 24;
constexpr int kTitleMarginPixels = 24;  // each side of the title

}  // namespace

int messageBoxMinimumWidth(const QMessageBox& box, const QString& title) {
  // Window managers draw the title in a bold face of about the
  // application's size.
  QFont font = QApplication::font("QMdiSubWindowTitleBar");
  font.setBold(true);
  const int titleWidth = QFontMetrics(font).horizontalAdvance(title);
  const int button = std::max(box.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &box),
                              kLeastButtonPixels);
  return titleWidth + 2 * kTitleMarginPixels + kFrameButtons * button;
}

void setUpMessageBox(QMessageBox& box, int style, const QString& text) {
  box.setWindowTitle(QString::fromLatin1(text::kAppTitle));
  box.setTextFormat(Qt::PlainText);
  box.setText(text);
  if (style == kStyleYesNoQuestion || style == kStyleYesNoQuestionNoDefault) {
    box.setIcon(QMessageBox::Question);
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(style == kStyleYesNoQuestion ? QMessageBox::Yes : QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
  } else {
    // The style's icon bits say the kind of a message with an OK button.
    switch (style & kStyleIconMask) {
      case kStyleInformation: box.setIcon(QMessageBox::Information); break;
      case kStyleWarning: box.setIcon(QMessageBox::Warning); break;
      case kStyleCritical: box.setIcon(QMessageBox::Critical); break;
      default: box.setIcon(QMessageBox::NoIcon); break;
    }
    box.setStandardButtons(QMessageBox::Ok);
  }
  // QMessageBox fixes its own size from its layout when shown, so the least
  // width goes in as a spacer across the bottom row of that layout.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    grid->addItem(new QSpacerItem(messageBoxMinimumWidth(box, QString::fromLatin1(text::kAppTitle)), 0, QSizePolicy::Minimum,
                                  QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
}

int execMessageBox(QWidget* parent, int style, const QString& text) {
  QMessageBox box(parent);
  setUpMessageBox(box, style, text);
  const int result = box.exec();
  if (style == kStyleYesNoQuestion || style == kStyleYesNoQuestionNoDefault)
    return result == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
  return kAnswerOk;
}

}  // namespace vexo
