// A one-line label that shows a text too long for it with its middle left
// out ("long…name.txt"), keeping the start and the extension in sight, and
// the whole text as its tooltip. text() is always the whole text.
#pragma once

#include <QLabel>

namespace vexo {

class ElidingLabel : public QLabel {
  Q_OBJECT

 public:
  explicit ElidingLabel(QWidget* parent = nullptr);

  void setText(const QString& text);
  // What is drawn at the label's present width.
  QString shownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace vexo
