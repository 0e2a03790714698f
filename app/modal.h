// Every modal box, prompt and file dialog of the program goes through one
// Modal object. The program uses QtModal; tests install a scripted one that
// records what was asked and answers from a queue.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class QInputDialog;
class QPrinter;
class QWidget;

namespace app {

enum class Buttons { Ok, OkCancel };
enum class Answer { Ok, Cancel };
enum class Icon { None, Information, Warning, Critical };

// A progress window with a Cancel button for work that may take a while.
// The work reports each step; the window keeps the program repainting.
class Progress {
 public:
  virtual ~Progress() = default;
  // step of the maximum given at creation (maximum 0: the end is not known).
  // Lets pending events run.
  virtual void setValue(int step) = 0;
  // Whether the user has chosen Cancel.
  virtual bool wasCanceled() const = 0;
};

class Modal {
 public:
  virtual ~Modal() = default;
  // A message box. An empty title shows the application title (applicationTitle()).
  virtual Answer message(QWidget* parent, const QString& text, const QString& title,
                         Buttons buttons = Buttons::Ok, Icon icon = Icon::None) = 0;
  // An input prompt; Cancel gives the empty string. masked shows "*" for every
  // character typed.
  virtual QString input(QWidget* parent, const QString& prompt, const QString& title,
                        const QString& initial = {}, bool masked = false) = 0;
  // Open and save file dialogs; filters in the form "Microsoft Access (*.mdb)".
  // Cancel gives the empty string.
  virtual QString openFile(QWidget* parent, const QString& title, const QStringList& filters,
                           const QString& startPath = {}) = 0;
  virtual QString saveFile(QWidget* parent, const QString& title, const QStringList& filters,
                           const QString& startPath = {}) = 0;
  // The desktop's print dialog for printer (its choices are written into
  // it); false when cancelled. Without an override nothing is printed.
  virtual bool printDialog(QWidget* parent, QPrinter& printer) {
    (void)parent;
    (void)printer;
    return false;
  }
  // A progress window with the label and a cancel button captioned cancel,
  // shown only once the work has lasted minimumMs. The real window unless
  // the Modal in use answers it itself.
  virtual std::unique_ptr<Progress> progress(QWidget* parent, const QString& label,
                                             const QString& cancel, int maximum,
                                             int minimumMs = 1000);
};

// The real dialogs.
class QtModal : public Modal {
 public:
  Answer message(QWidget* parent, const QString& text, const QString& title, Buttons buttons,
                 Icon icon) override;
  QString input(QWidget* parent, const QString& prompt, const QString& title,
                const QString& initial, bool masked) override;
  QString openFile(QWidget* parent, const QString& title, const QStringList& filters,
                   const QString& startPath) override;
  QString saveFile(QWidget* parent, const QString& title, const QStringList& filters,
                   const QString& startPath) override;
  bool printDialog(QWidget* parent, QPrinter& printer) override;
};

// The input prompt QtModal shows (not yet shown; the caller owns it).
QInputDialog* createInputDialog(QWidget* parent, const QString& prompt, const QString& title,
                                const QString& initial, bool masked);

// The application title that untitled message boxes show: "Brackwell Glimmer"
// until a password prompt has been shown, "Password Required" after that.
QString applicationTitle();
void setApplicationTitle(const QString& title);

// The Modal in use; a QtModal unless one was installed. install() does not
// take ownership; passing nullptr goes back to the real dialogs.
Modal& modal();
void installModal(Modal* m);

}  // namespace app
