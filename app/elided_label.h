// A label that keeps its place: a caption longer than the label is drawn
// shortened with "…" and shown whole in its tooltip. text() is the whole caption.
#pragma once

#include <QLabel>

namespace app {

class ElidedLabel : public QLabel {
  Q_OBJECT

 public:
  using QLabel::QLabel;
  void setCaption(const QString& text);

 protected:
  void paintEvent(QPaintEvent* e) override;
};

}  // namespace app
