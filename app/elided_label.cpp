#include "app/elided_label.h"

#include <QPainter>
#include <QStyle>

namespace app {

void ElidedLabel::setCaption(const QString& text) {
  setText(text);
  setToolTip(text);
}

void ElidedLabel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QRect r = contentsRect();
  QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, r.width());
  style()->drawItemText(&p, r, static_cast<int>(alignment()), palette(), isEnabled(), shown,
                        foregroundRole());
}

}  // namespace app
