// Long work on the database (filters, sorts, reading to the last record)
// runs off the user-interface thread: the event loop keeps running (timers
// fire, the window repaints), the busy cursor shows after 200 ms, input and
// closing the window wait, and the results are those of the engine alone.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <chrono>
#include <thread>

#include "app/grid/grid.h"
#include "app/long_work.h"
#include "catalogue/recordset.h"
#include "sql/engine.h"
#include "sql/recordset.h"
#include "tests/views/views_support.h"

using viewstest::Window;

namespace {

// Counts the ticks of a 10 ms timer while an operation runs and whether the
// busy cursor was up at any of them; makes every long work last 300 ms.
struct Watch {
  QTimer timer;
  int ticks = 0;
  bool busyCursor = false;
  bool paintedMeanwhile = false;
  bool closeRefused = false;
  QWidget* window = nullptr;
  explicit Watch(QWidget* w) : window(w) {
    app::setLongWorkHook([] { std::this_thread::sleep_for(std::chrono::milliseconds(300)); });
    timer.setInterval(10);
    QObject::connect(&timer, &QTimer::timeout, [this] {
      ++ticks;
      if (QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor)
        busyCursor = true;
      if (app::engineBusy()) {
        window->repaint();  // paints from what the grid read before
        paintedMeanwhile = true;
        if (!closeRefused) closeRefused = !window->close() && window->isVisible();
      }
    });
  }
  ~Watch() { app::setLongWorkHook({}); }
  void start() {
    ticks = 0;
    busyCursor = paintedMeanwhile = false;
    timer.start();
  }
  void stop() { timer.stop(); }
};

// Every cell of the data grid equals the engine's own result of statement.
void expectGridIsEngineResult(app::FrmDatavane& w, const std::string& statement) {
  auto rs = sql::openRecordset(w.dta1.database()->engine(), statement);
  size_t n = rs->fetchAll();
  ASSERT_EQ(static_cast<size_t>(w.grdData->rows() - 1), n) << statement;
  for (size_t r = 0; r < n; ++r)
    for (size_t c = 0; c < rs->fieldCount(); ++c)
      EXPECT_EQ(w.grdData->textMatrix(static_cast<int>(r) + 1, static_cast<int>(c)).toStdString(),
                dao::displayText(rs->row(r)[c]))
          << statement << " row " << r << " column " << c;
}

}  // namespace

TEST(LongWork, FilterSortAndLastRecordKeepTheEventLoopRunning) {
  Window win(viewstest::peopleDatabase());
  win.chooseTable("People");
  Watch watch(win.w.get());

  watch.start();
  win.tab(1);  // Grid View reads the table
  watch.stop();
  EXPECT_GE(watch.ticks, 10);
  EXPECT_TRUE(watch.busyCursor);
  EXPECT_TRUE(watch.paintedMeanwhile);
  EXPECT_TRUE(watch.closeRefused);
  EXPECT_TRUE(win.w->isVisible());
  expectGridIsEngineResult(*win.w, "Select * from [People]");

  watch.start();
  emit win.w->grdData->horizontalHeader()->sectionClicked(1);  // Name
  apptest::pump();
  watch.stop();
  EXPECT_GE(watch.ticks, 10);
  EXPECT_TRUE(watch.busyCursor);
  EXPECT_EQ(win.w->dta1.RecordSource, "Select * from [People] ORDER BY [Name]");
  expectGridIsEngineResult(*win.w, win.w->dta1.RecordSource);

  win.tab(3);
  win.filterOn("City", "Paris");
  watch.start();
  win.w->cmdRecord[5]->click();  // Apply Filter & Order By
  watch.stop();
  EXPECT_GE(watch.ticks, 10);
  EXPECT_TRUE(watch.busyCursor);
  EXPECT_EQ(win.w->dta1.RecordSource, "Select * from [People] WHERE [City] = 'Paris'");
  win.tab(1);
  expectGridIsEngineResult(*win.w, win.w->dta1.RecordSource);

  win.tab(2);
  watch.start();
  win.w->cmdRecord[3]->click();  // Last Record
  watch.stop();
  EXPECT_GE(watch.ticks, 10);
  EXPECT_EQ(win.w->dta1.recordset()->AbsolutePosition(), 2);
  EXPECT_EQ(win.w->dta1.recordset()->RecordCount(), 3);
  EXPECT_FALSE(QApplication::overrideCursor());
  EXPECT_FALSE(app::engineBusy());
  EXPECT_TRUE(win.modal.messages().empty());
}

TEST(LongWork, ARefusedStatementIsReportedAsBeforeAndTheWindowStaysUsable) {
  Window win(viewstest::peopleDatabase());
  win.chooseTable("People");
  win.tab(1);
  Watch watch(win.w.get());
  // The error of the worker reaches the caller with its number.
  try {
    app::runLongWork([] { throw dao::Error(3075, "Syntax error."); });
    FAIL() << "no error";
  } catch (const dao::Error& e) {
    EXPECT_EQ(e.number(), 3075);
  }
  EXPECT_FALSE(app::engineBusy());
  EXPECT_FALSE(QApplication::overrideCursor());
  // A failed refresh leaves the recordset shown before in place.
  win.w->dta1.RecordSource = "Select * from [No Such Table]";
  EXPECT_THROW(win.w->dta1.Refresh(app::runLongWork), dao::Error);
  ASSERT_TRUE(win.w->dta1.recordset());
  EXPECT_EQ(win.w->dta1.recordset()->source(), "Select * from [People]");
  EXPECT_EQ(win.w->grdData->textMatrix(1, 1), "Anne");
  EXPECT_TRUE(win.w->close());
}
