#include "form_metrics.h"

#include <QWidget>

namespace vexo {

void placeTwips(QWidget* control, int left, int top, int width, int height) {
  control->setGeometry(twipsRect(left, top, width, height));
}

QFont formFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP"),
                    QStringLiteral("IPAGothic"), QStringLiteral("VL Gothic"),
                    QStringLiteral("Yu Gothic UI"), QStringLiteral("Meiryo UI"),
                    QStringLiteral("MS UI Gothic"), QStringLiteral("sans-serif")});
  font.setPointSize(9);
  return font;
}

}  // namespace vexo
