// Helpers of the desktop program's tests: the application object, a modal
// interface that answers from a script, real mouse clicks on grid cells, and
// waiting on the event loop.
#pragma once

#include <QApplication>
#include <QString>
#include <QStringList>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/modal.h"

namespace app {
class Grid;
class FrmDatavane;
}  // namespace app

namespace apptest {

// Creates the QApplication once (offscreen platform unless one is set).
void ensureApp();

// Lets the event loop run for ms milliseconds.
void pump(int ms = 0);

// A real mouse click (press and release) / double click on cell (r, c) of a
// grid; r >= 1 (row 0 is the heading).
void click(app::Grid* g, int r, int c = 0);
void doubleClick(app::Grid* g, int r, int c = 0);
// Finds the row whose column 0 reads text; -1 when absent.
int findRow(app::Grid* g, const QString& text);

struct Asked {
  enum Kind { Message, Input, Open, Save, Print } kind;
  QString text;   // message text or prompt
  QString title;
  app::Buttons buttons = app::Buttons::Ok;
  bool masked = false;
  QStringList filters;
};

// Answers from queues; records everything asked. An empty queue answers Ok,
// the empty string and a cancelled dialog.
class ScriptedModal : public app::Modal {
 public:
  ScriptedModal() { app::installModal(this); }
  ~ScriptedModal() override { app::installModal(nullptr); }

  std::deque<app::Answer> answers;
  std::deque<QString> inputs;
  std::deque<QString> files;
  std::vector<Asked> asked;

  app::Answer message(QWidget*, const QString& text, const QString& title, app::Buttons buttons,
                      app::Icon) override;
  QString input(QWidget*, const QString& prompt, const QString& title, const QString&,
                bool masked) override;
  QString openFile(QWidget*, const QString& title, const QStringList& filters,
                   const QString&) override;
  QString saveFile(QWidget*, const QString& title, const QStringList& filters,
                   const QString&) override;
  // The print dialog: the next entry of printFiles makes the printer write
  // that PDF file; none left cancels.
  std::deque<QString> printFiles;
  bool printDialog(QWidget*, QPrinter& printer) override;

  // Progress windows: the labels of those asked for, and the step at which
  // the next one answers Cancel (counting its setValue calls from 1; 0 never).
  std::vector<QString> progressLabels;
  int cancelAtStep = 0;
  std::unique_ptr<app::Progress> progress(QWidget*, const QString& label, const QString& cancel,
                                          int maximum, int minimumMs) override;

  std::vector<Asked> messages() const;
  std::vector<Asked> prompts() const;
  void clear() { asked.clear(); }
};

// A settings file path in a fresh temporary folder.
std::string tempIni();

// The main window, shown, with fresh settings and the database at path
// opened through its Find File button (modal answers the file dialog; its
// record of questions is cleared afterwards).
std::unique_ptr<app::FrmDatavane> openWindowOn(const std::string& path, ScriptedModal& modal);

}  // namespace apptest
