#include "tests/app/app_support.h"

#include <QPrinter>

#include <QElapsedTimer>
#include <QMouseEvent>
#include <QThread>
#include <QToolButton>
#include <cstdlib>

#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/program.h"
#include "support/test_support.h"

namespace apptest {

void ensureApp() {
  if (QApplication::instance()) return;
  if (!std::getenv("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "app_tests";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);
}

void pump(int ms) {
  QElapsedTimer t;
  t.start();
  do {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
    if (ms > 0) QThread::msleep(2);
  } while (t.elapsed() < ms);
}

namespace {
void mouse(QWidget* w, QEvent::Type type, QPoint pos) {
  QPointF local(pos);
  QPointF global(w->mapToGlobal(pos));
  QMouseEvent e(type, local, global, Qt::LeftButton,
                type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

QPoint cellCentre(app::Grid* g, int r, int c) {
  QModelIndex ix = g->model()->index(r - 1, c);
  g->scrollTo(ix);
  return g->visualRect(ix).center();
}
}  // namespace

void click(app::Grid* g, int r, int c) {
  QPoint p = cellCentre(g, r, c);
  mouse(g->viewport(), QEvent::MouseButtonPress, p);
  mouse(g->viewport(), QEvent::MouseButtonRelease, p);
  pump();
}

void doubleClick(app::Grid* g, int r, int c) {
  QPoint p = cellCentre(g, r, c);
  mouse(g->viewport(), QEvent::MouseButtonPress, p);
  mouse(g->viewport(), QEvent::MouseButtonRelease, p);
  mouse(g->viewport(), QEvent::MouseButtonDblClick, p);
  mouse(g->viewport(), QEvent::MouseButtonRelease, p);
  pump();
}

int findRow(app::Grid* g, const QString& text) {
  for (int r = 1; r < g->rows(); ++r)
    if (g->textMatrix(r, 0) == text) return r;
  return -1;
}

app::Answer ScriptedModal::message(QWidget*, const QString& text, const QString& title,
                                   app::Buttons buttons, app::Icon) {
  asked.push_back({Asked::Message, text, title.isEmpty() ? app::applicationTitle() : title, buttons,
                   false, {}});
  if (answers.empty()) return app::Answer::Ok;
  app::Answer a = answers.front();
  answers.pop_front();
  return a;
}

QString ScriptedModal::input(QWidget*, const QString& prompt, const QString& title, const QString&,
                             bool masked) {
  asked.push_back({Asked::Input, prompt, title, app::Buttons::OkCancel, masked, {}});
  if (inputs.empty()) return {};
  QString s = inputs.front();
  inputs.pop_front();
  return s;
}

QString ScriptedModal::openFile(QWidget*, const QString& title, const QStringList& filters,
                                const QString&) {
  asked.push_back({Asked::Open, QString(), title, app::Buttons::OkCancel, false, filters});
  if (files.empty()) return {};
  QString s = files.front();
  files.pop_front();
  return s;
}

bool ScriptedModal::printDialog(QWidget*, QPrinter& printer) {
  asked.push_back({Asked::Print, QString(), QString(), app::Buttons::OkCancel, false, {}});
  if (printFiles.empty()) return false;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(printFiles.front());
  printFiles.pop_front();
  return true;
}

QString ScriptedModal::saveFile(QWidget*, const QString& title, const QStringList& filters,
                                const QString&) {
  asked.push_back({Asked::Save, QString(), title, app::Buttons::OkCancel, false, filters});
  if (files.empty()) return {};
  QString s = files.front();
  files.pop_front();
  return s;
}

namespace {
class ScriptedProgress : public app::Progress {
 public:
  explicit ScriptedProgress(int cancelAt) : cancelAt_(cancelAt) {}
  void setValue(int) override {
    if (++steps_ == cancelAt_) cancelled_ = true;
  }
  bool wasCanceled() const override { return cancelled_; }

 private:
  int cancelAt_;
  int steps_ = 0;
  bool cancelled_ = false;
};
}  // namespace

std::unique_ptr<app::Progress> ScriptedModal::progress(QWidget*, const QString& label, const QString&,
                                                       int, int) {
  progressLabels.push_back(label);
  return std::make_unique<ScriptedProgress>(cancelAtStep);
}

std::vector<Asked> ScriptedModal::messages() const {
  std::vector<Asked> out;
  for (const auto& a : asked)
    if (a.kind == Asked::Message) out.push_back(a);
  return out;
}

std::vector<Asked> ScriptedModal::prompts() const {
  std::vector<Asked> out;
  for (const auto& a : asked)
    if (a.kind == Asked::Input) out.push_back(a);
  return out;
}

std::string tempIni() { return testsupport::tempDir() + "/MDBGlimmer.ini"; }

std::unique_ptr<app::FrmDatavane> openWindowOn(const std::string& path, ScriptedModal& modal) {
  app::initProgram(tempIni());
  auto w = std::make_unique<app::FrmDatavane>();
  w->formLoad();
  w->show();
  pump();
  modal.files.push_back(QString::fromStdString(path));
  w->cmdFindFile->click();
  pump();
  modal.clear();
  return w;
}

}  // namespace apptest
