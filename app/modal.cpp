#include "app/modal.h"

#include "app/accessible_names.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QLabel>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QProxyStyle>
#include <memory>

namespace app {
namespace {

QString& titleStore() {
  static QString t = QStringLiteral("Brackwell Glimmer");
  return t;
}

Modal* installed = nullptr;

// Shows every character of a password box as "*".
class StarMaskStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* ret) const override {
    if (hint == QStyle::SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(hint, option, widget, ret);
  }
};

// While a box is open the pointer is the arrow, also during busy work.
struct ArrowWhileOpen {
  bool pushed;
  ArrowWhileOpen() : pushed(QApplication::overrideCursor() != nullptr) {
    if (pushed) QApplication::setOverrideCursor(Qt::ArrowCursor);
  }
  ~ArrowWhileOpen() {
    if (pushed) QApplication::restoreOverrideCursor();
  }
};

// The real progress window: window-modal over its parent, untitled boxes'
// application title.
class QtProgress : public Progress {
 public:
  QtProgress(QWidget* parent, const QString& label, const QString& cancel, int maximum,
             int minimumMs)
      : dlg_(label, cancel, 0, maximum, parent) {
    dlg_.setWindowTitle(applicationTitle());
    dlg_.setAccessibleName(label);
    if (auto* l = dlg_.findChild<QLabel*>()) l->setAccessibleName(label);
    if (auto* b = dlg_.findChild<QPushButton*>()) b->setAccessibleName(QString(cancel).remove(QLatin1Char('&')));
    if (auto* bar = dlg_.findChild<QProgressBar*>()) bar->setAccessibleName(QStringLiteral("Progress"));
    dlg_.setMinimumDuration(minimumMs);
    dlg_.setWindowModality(Qt::WindowModal);
    dlg_.setAutoReset(false);
    dlg_.setAutoClose(false);
    dlg_.setValue(0);
    nameUnnamedControls(&dlg_);
  }
  void setValue(int step) override {
    if (dlg_.maximum() > 0) dlg_.setValue(step);
    QApplication::processEvents();
  }
  bool wasCanceled() const override { return dlg_.wasCanceled(); }

 private:
  QProgressDialog dlg_;
};

}  // namespace

std::unique_ptr<Progress> Modal::progress(QWidget* parent, const QString& label,
                                          const QString& cancel, int maximum, int minimumMs) {
  return std::make_unique<QtProgress>(parent, label, cancel, maximum, minimumMs);
}

QString applicationTitle() { return titleStore(); }
void setApplicationTitle(const QString& title) { titleStore() = title; }

Modal& modal() {
  static QtModal real;
  return installed ? *installed : real;
}

void installModal(Modal* m) { installed = m; }

Answer QtModal::message(QWidget* parent, const QString& text, const QString& title,
                        Buttons buttons, Icon icon) {
  ArrowWhileOpen arrow;
  QMessageBox box(parent);
  box.setWindowTitle(title.isEmpty() ? applicationTitle() : title);
  box.setText(text);
  switch (icon) {
    case Icon::None: box.setIcon(QMessageBox::NoIcon); break;
    case Icon::Information: box.setIcon(QMessageBox::Information); break;
    case Icon::Warning: box.setIcon(QMessageBox::Warning); break;
    case Icon::Critical: box.setIcon(QMessageBox::Critical); break;
  }
  if (buttons == Buttons::OkCancel) {
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
  }
  box.setDefaultButton(QMessageBox::Ok);
  box.setAccessibleName(box.windowTitle());
  nameUnnamedControls(&box);
  return box.exec() == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}

QInputDialog* createInputDialog(QWidget* parent, const QString& prompt, const QString& title,
                                const QString& initial, bool masked) {
  auto* dlg = new QInputDialog(parent);
  dlg->setWindowTitle(title.isEmpty() ? applicationTitle() : title);
  dlg->setInputMode(QInputDialog::TextInput);
  dlg->setLabelText(prompt);
  dlg->setTextValue(initial);
  if (masked) {
    dlg->setTextEchoMode(QLineEdit::Password);
    if (auto* edit = dlg->findChild<QLineEdit*>()) {
      auto* style = new StarMaskStyle();
      style->setParent(dlg);
      edit->setStyle(style);
    }
  }
  if (auto* edit = dlg->findChild<QLineEdit*>()) edit->setAccessibleName(prompt);
  dlg->setAccessibleName(dlg->windowTitle());
  nameUnnamedControls(dlg);
  return dlg;
}

QString QtModal::input(QWidget* parent, const QString& prompt, const QString& title,
                       const QString& initial, bool masked) {
  ArrowWhileOpen arrow;
  std::unique_ptr<QInputDialog> dlg(createInputDialog(parent, prompt, title, initial, masked));
  if (dlg->exec() != QDialog::Accepted) return QString();
  return dlg->textValue();
}

namespace {

// Qt's own file dialog (not the desktop's), whose every control carries a name.
QString runFileDialog(QWidget* parent, const QString& title, const QStringList& filters,
                      const QString& startPath, bool save) {
  ArrowWhileOpen arrow;
  QFileDialog dlg(parent, title, startPath, filters.join(QStringLiteral(";;")));
  dlg.setOption(QFileDialog::DontUseNativeDialog, true);
  dlg.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dlg.setAccessibleName(title);
  nameUnnamedControls(&dlg);
  if (dlg.exec() != QDialog::Accepted) return QString();
  return dlg.selectedFiles().value(0);
}

}  // namespace

QString QtModal::openFile(QWidget* parent, const QString& title, const QStringList& filters,
                          const QString& startPath) {
  return runFileDialog(parent, title, filters, startPath, false);
}

QString QtModal::saveFile(QWidget* parent, const QString& title, const QStringList& filters,
                          const QString& startPath) {
  return runFileDialog(parent, title, filters, startPath, true);
}

bool QtModal::printDialog(QWidget* parent, QPrinter& printer) {
  ArrowWhileOpen arrow;
  QPrintDialog dlg(&printer, parent);
  dlg.setOption(QAbstractPrintDialog::PrintToFile, true);
  dlg.setOption(QAbstractPrintDialog::PrintPageRange, true);
  dlg.setAccessibleName(QStringLiteral("Print"));
  nameUnnamedControls(&dlg);
  return dlg.exec() == QDialog::Accepted;
}

}  // namespace app
