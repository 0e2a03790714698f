#include "views/bound_box.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QResizeEvent>

namespace views {

BoundBox::BoundBox(bool multiLine, QWidget* parent) : QWidget(parent) {
  if (multiLine) {
    memo_ = new QPlainTextEdit(this);
    memo_->setTabChangesFocus(true);
    memo_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  } else {
    line_ = new QLineEdit(this);
  }
  setFocusProxy(editor());
  setFocusPolicy(Qt::StrongFocus);
}

QWidget* BoundBox::editor() const {
  if (memo_) return memo_;
  return line_;
}

QString BoundBox::text() const {
  if (line_) return line_->text();
  if (!memo_->document()->isModified()) return shown_;
  QString typed = memo_->toPlainText();
  if (shown_.contains(QLatin1String("\r\n"))) typed.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
  return typed;
}

void BoundBox::setText(const QString& text) {
  shown_ = text;
  if (line_) {
    line_->setText(text);
    return;
  }
  memo_->setPlainText(text);
  memo_->document()->setModified(false);
}

bool BoundBox::isReadOnly() const { return line_ ? line_->isReadOnly() : memo_->isReadOnly(); }

void BoundBox::setReadOnly(bool readOnly) {
  if (line_)
    line_->setReadOnly(readOnly);
  else
    memo_->setReadOnly(readOnly);
}

void BoundBox::selectAll() {
  if (line_)
    line_->selectAll();
  else
    memo_->selectAll();
}

void BoundBox::setAccessibleName(const QString& name) {
  QWidget::setAccessibleName(name);
  editor()->setAccessibleName(name);
}

void BoundBox::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  editor()->setGeometry(0, 0, e->size().width(), e->size().height());
}

}  // namespace views
