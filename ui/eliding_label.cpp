#include "eliding_label.h"

#include <QPainter>
#include <QStyle>

namespace vexo {

ElidingLabel::ElidingLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  // As wide as the layout makes it, however long the text.
  setMinimumWidth(1);
}

void ElidingLabel::setText(const QString& text) {
  QLabel::setText(text);
  setToolTip(text);
}

QString ElidingLabel::shownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

void ElidingLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  style()->drawItemText(&painter, contentsRect(), alignment(), palette(), isEnabled(),
                        shownText(), foregroundRole());
}

}  // namespace vexo
