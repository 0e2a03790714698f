// Window benchmark: opens FILE, chooses TABLE (default: the first user
// table), and times the switch to "Grid View" up to the first painted
// screen, the jump to the last row, and the switches to the record and
// filter pages. Reports the peak memory of the process.
//   bench_gui FILE [TABLE]
#include <sys/resource.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTabBar>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/grid/recordset_model.h"
#include "app/modal.h"
#include "app/program.h"
#include "catalogue/recordset.h"

using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

long peakKb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

class Quiet : public app::Modal {
 public:
  app::Answer message(QWidget*, const QString& text, const QString&, app::Buttons, app::Icon) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
    return app::Answer::Ok;
  }
  QString input(QWidget*, const QString&, const QString&, const QString&, bool) override { return {}; }
  QString openFile(QWidget*, const QString&, const QStringList&, const QString&) override { return {}; }
  QString saveFile(QWidget*, const QString&, const QStringList&, const QString&) override { return {}; }
};

// Runs pending events and paints the window once.
void paint(QWidget* w) {
  QApplication::processEvents();
  w->repaint();
  QApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_gui FILE [TABLE]\n");
    return 2;
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication qapp(argc, argv);
  QTemporaryDir dir;
  app::initProgram((dir.path() + "/MDBGlimmer.ini").toStdString());
  Quiet quiet;
  app::installModal(&quiet);

  auto t0 = Clock::now();
  app::FrmDatavane w;
  w.formLoad(QString::fromLocal8Bit(argv[1]));
  w.resize(1280, 800);
  w.show();
  paint(&w);
  std::printf("open and list:            %8.1f ms\n", msSince(t0));

  int row = -1;
  for (int r = 1; r < w.grdFiles->rows(); ++r) {
    QString name = w.grdFiles->textMatrix(r, 0);
    if (argc > 2 ? name == QString::fromLocal8Bit(argv[2]) : !name.startsWith("MSys")) {
      row = r;
      break;
    }
  }
  if (row < 0) {
    std::fprintf(stderr, "no such table\n");
    return 1;
  }
  std::printf("table:                    %s (%s rows)\n", qPrintable(w.grdFiles->textMatrix(row, 0)),
              qPrintable(w.grdFiles->textMatrix(row, 1)));
  t0 = Clock::now();
  w.grdFiles->clickCell(row, 0);
  paint(&w);
  std::printf("choose (structure):       %8.1f ms\n", msSince(t0));

  t0 = Clock::now();
  w.tab1->setCurrentIndex(1);
  paint(&w);
  std::printf("Grid View, first screen:  %8.1f ms (peak memory so far %.1f MB)\n", msSince(t0),
              peakKb() / 1024.0);

  if (std::getenv("BENCH_ENGINE_FIRST")) {
    t0 = Clock::now();
    long long n = w.dta1.recordset()->countAll();
    std::printf("engine reads every row:   %8.1f ms (%lld rows, peak memory %.1f MB)\n", msSince(t0), n,
                peakKb() / 1024.0);
  }
  t0 = Clock::now();
  w.grdData->setFocus();
  QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
  QApplication::sendEvent(w.grdData, &end);
  paint(&w);
  std::printf("jump to the last row:     %8.1f ms (row %d of %d)\n", msSince(t0),
              w.grdData->currentIndex().row() + 1, w.grdData->rows() - 1);

  t0 = Clock::now();
  w.dta1.recordset()->MoveLast();
  paint(&w);
  std::printf("MoveLast (all rows read): %8.1f ms (%lld records)\n", msSince(t0),
              static_cast<long long>(w.dta1.recordset()->RecordCount()));

  for (int t : {2, 3, 1, 0}) {
    t0 = Clock::now();
    w.tab1->setCurrentIndex(t);
    paint(&w);
    std::printf("switch to tab %d:          %8.1f ms\n", t, msSince(t0));
  }
  std::printf("peak memory:              %8.1f MB\n", peakKb() / 1024.0);
  app::installModal(nullptr);
  return 0;
}
