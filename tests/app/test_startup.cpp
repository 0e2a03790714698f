// Start-up: the splash window's life, the captions, and the data grid's
// two-way binding to the data control.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTabBar>
#include <QTimer>

#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/program.h"
#include "app/welcome.h"
#include "catalogue/recordset.h"
#include "jet/sample.h"
#include "support/test_support.h"
#include "tests/app/app_support.h"

TEST(StartUp, SplashShowsTheTitleAndUnloadsAtItsFirstTick) {
  apptest::ensureApp();
  apptest::ScriptedModal modal;
  app::StartOptions opts;
  opts.iniPath = apptest::tempIni();
  app::FrmDatavane* main = app::startProgram(opts);
  QPointer<app::FrmWelcome> splash;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* s = qobject_cast<app::FrmWelcome*>(w)) splash = s;
  ASSERT_FALSE(splash.isNull());
  EXPECT_TRUE(splash->isVisible());
  EXPECT_EQ(splash->windowTitle(), app::program().strAppTitle);
  EXPECT_EQ(splash->Label2[1]->text(), app::program().strAppTitle);
  EXPECT_EQ(splash->Label2[0]->text(), "Loading....");
  EXPECT_EQ(splash->Timer1->interval(), 2000);
  EXPECT_EQ(main->windowTitle(), app::program().strAppTitle);
  EXPECT_TRUE(main->isVisible());
  EXPECT_TRUE(main->tab1->isVisible());
  EXPECT_EQ(main->tab1->count(), 4);
  EXPECT_EQ(main->tab1->tabText(3), "Filter && Sort");
  EXPECT_EQ(main->geo.tab1.left, 50);
  EXPECT_EQ(main->geo.tab1.top, 900);
  apptest::pump(1500);
  EXPECT_FALSE(splash.isNull());
  apptest::pump(900);
  EXPECT_TRUE(splash.isNull());  // closed and deleted
  EXPECT_TRUE(main->isVisible());
  delete main;
}

TEST(GridBinding, ClickMakesTheRecordCurrentAndMovesFollowInTheGrid) {
  apptest::ensureApp();
  apptest::ScriptedModal modal;
  app::initProgram(apptest::tempIni());
  app::FrmDatavane w;
  const std::string file = testsupport::tempDir() + "/sample.mdb";
  jet::createSampleDatabase(file);
  w.formLoad(QString::fromStdString(file));
  w.resize(1280, 800);
  w.show();
  apptest::pump();
  apptest::click(w.grdFiles, apptest::findRow(w.grdFiles, "Order Details"));
  w.tab1->setCurrentIndex(2);
  w.tab1->setCurrentIndex(1);
  apptest::pump();
  dao::Recordset* rs = w.dta1.recordset();
  ASSERT_NE(rs, nullptr);
  apptest::click(w.grdData, 5, 1);
  EXPECT_EQ(rs->AbsolutePosition(), 4);
  EXPECT_EQ(w.fieldRows[1].txtField->text(), w.grdData->textMatrix(5, 1));
  rs->MoveLast();
  apptest::pump();
  EXPECT_EQ(w.grdData->currentIndex().row(), 38);
  // Ctrl+End on the grid reaches the true last record.
  rs->MoveFirst();
  w.grdData->setFocus();
  QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
  QApplication::sendEvent(w.grdData, &end);
  EXPECT_EQ(w.grdData->currentIndex().row(), 38);
  EXPECT_TRUE(modal.messages().empty());
}
