// The record panel's box bound to one field: a one-line box, or for a memo
// field a multi-line box that keeps line breaks. text() gives back exactly
// the text last set while the user has not changed it (a memo's CR LF line
// ends included), so a value shown and saved unchanged is stored unchanged;
// typed line breaks take the form the shown value used.
#pragma once

#include <QString>
#include <QWidget>

class QLineEdit;
class QPlainTextEdit;

namespace views {

class BoundBox : public QWidget {
  Q_OBJECT

 public:
  BoundBox(bool multiLine, QWidget* parent);

  QString text() const;
  void setText(const QString& text);
  void clear() { setText(QString()); }
  bool isReadOnly() const;
  void setReadOnly(bool readOnly);
  bool isMultiLine() const { return memo_ != nullptr; }
  // Selects the whole text (on getting the focus).
  void selectAll();
  // The editing widget inside (it takes the focus and the accessible name).
  QWidget* editor() const;
  void setAccessibleName(const QString& name);

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  QLineEdit* line_ = nullptr;
  QPlainTextEdit* memo_ = nullptr;
  QString shown_;  // the text last set
};

}  // namespace views
