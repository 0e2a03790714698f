// The data grid beyond its first form: heading clicks sort through the
// engine, Ctrl+C copies cells with their headings; every control carries an
// accessible name.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

#include "app/grid/grid.h"
#include "jet/create.h"
#include "jet/table_writer.h"
#include "support/test_support.h"
#include "catalogue/recordset.h"
#include "tests/views/views_support.h"

using viewstest::Window;

TEST(GridFeatures, HeadingClicksSortAscendingThenDescendingAndKeepTheFilter) {
  Window win(viewstest::peopleDatabase());
  win.chooseTable("People");
  win.tab(1);
  QHeaderView* head = win.w->grdData->horizontalHeader();
  emit head->sectionClicked(3);  // Age
  apptest::pump();
  EXPECT_EQ(win.w->dta1.RecordSource, "Select * from [People] ORDER BY [Age]");
  EXPECT_EQ(win.w->txtValueToSearch->text(), "Select * from [People] ORDER BY [Age]");
  EXPECT_EQ(win.w->grdData->textMatrix(1, 1), "Nobody");  // Null first
  EXPECT_EQ(win.w->grdData->textMatrix(2, 1), "Emile");
  emit head->sectionClicked(3);
  apptest::pump();
  EXPECT_EQ(win.w->dta1.RecordSource, "Select * from [People] ORDER BY [Age] DESC");
  EXPECT_EQ(win.w->grdData->textMatrix(1, 1), "Denis");
  // With a filter applied the sort keeps it.
  win.tab(3);
  win.filterOn("City", "Lyon");
  win.w->cmdRecord[5]->click();
  win.tab(1);
  emit head->sectionClicked(1);
  apptest::pump();
  EXPECT_EQ(win.w->dta1.RecordSource, "Select * from [People] WHERE [City] = 'Lyon' ORDER BY [Name]");
  ASSERT_EQ(win.w->grdData->rows(), 3);
  EXPECT_EQ(win.w->grdData->textMatrix(1, 1), "Bruno");
  EXPECT_TRUE(win.modal.messages().empty());
}

TEST(GridFeatures, CtrlCCopiesTheSelectedCellsWithAHeadingLine) {
  Window win(viewstest::peopleDatabase());
  win.chooseTable("People");
  win.tab(1);
  app::Grid* g = win.w->grdData;
  g->setSelectionMode(QAbstractItemView::ExtendedSelection);
  g->setSelectionBehavior(QAbstractItemView::SelectItems);
  g->selectionModel()->select(QItemSelection(g->model()->index(0, 1), g->model()->index(1, 2)),
                              QItemSelectionModel::ClearAndSelect);
  QKeyEvent press(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
  QApplication::sendEvent(g, &press);
  EXPECT_EQ(QApplication::clipboard()->text(), "Name\tCity\nAnne\tParis\nBruno\tLyon\n");
}

TEST(Accessibility, EveryControlOfTheMainWindowHasAName) {
  Window win(viewstest::peopleDatabase());
  win.chooseTable("People");
  win.tab(2);
  win.tab(3);
  EXPECT_EQ(win.w->txtMDBFile->accessibleName(), "Table Location");
  EXPECT_EQ(win.w->grdFiles->accessibleName(), "Tables");
  EXPECT_EQ(win.w->grdData->accessibleName(), "Grid View");
  EXPECT_EQ(win.w->fieldRows[1].txtField->accessibleName(), "Name");
  EXPECT_EQ(win.w->fieldRows[1].cboEval->accessibleName(), "Name");
  QStringList unnamed;
  for (QWidget* c : win.w->findChildren<QWidget*>()) {
    const bool control = qobject_cast<QLineEdit*>(c) || qobject_cast<QAbstractButton*>(c) ||
                         qobject_cast<QComboBox*>(c) || qobject_cast<app::Grid*>(c) || qobject_cast<QLabel*>(c);
    // Parts inside a control (a grid's corner button, a list's editor) belong to it.
    QWidget* p = c->parentWidget();
    if (!control || qobject_cast<QLineEdit*>(p) || qobject_cast<QComboBox*>(p) || qobject_cast<app::Grid*>(p))
      continue;
    if (c->accessibleName().isEmpty()) unnamed << c->objectName() + "/" + c->metaObject()->className();
  }
  EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(", ").toStdString();
}

TEST(WindowLayout, RecordBoxesFollowTheWidthBackAndTheCaptionStaysInANarrowWindow) {
  Window win(viewstest::peopleDatabase());
  win.chooseTable("People");
  win.tab(2);
  const int wide = win.w->fieldRows[1].txtField->width();
  win.w->resize(640, 600);
  apptest::pump();
  win.tab(1);
  win.tab(2);
  const int narrow = win.w->fieldRows[1].txtField->width();
  EXPECT_LT(narrow, wide);
  win.w->resize(1280, 800);
  apptest::pump();
  win.tab(1);
  win.tab(2);
  EXPECT_EQ(win.w->fieldRows[1].txtField->width(), wide);
  win.w->resize(560, 600);
  apptest::pump();
  const QRect caption = win.w->lblTable->geometry();
  EXPECT_LE(caption.left() + win.w->lblTable->sizeHint().width(), win.w->centralWidget()->width());
  EXPECT_TRUE(win.w->lblTable->text().startsWith("Current Table: People"));
}

TEST(GridFeatures, CellsEditedInPlaceAreStoredAndARefusedEditKeepsTheStoredValue) {
  std::string file = viewstest::peopleDatabase();
  Window win(file);
  win.chooseTable("People");
  win.tab(1);
  app::Grid* g = win.w->grdData;
  QAbstractItemModel* m = g->model();
  EXPECT_FALSE(m->flags(m->index(0, 0)) & Qt::ItemIsEditable);  // the counter
  ASSERT_TRUE(m->flags(m->index(1, 2)) & Qt::ItemIsEditable);
  EXPECT_TRUE(m->setData(m->index(1, 2), QStringLiteral("Grenoble"), Qt::EditRole));
  apptest::pump(5);
  EXPECT_EQ(g->textMatrix(2, 2), "Grenoble");
  EXPECT_FALSE(m->setData(m->index(1, 3), QStringLiteral("old"), Qt::EditRole));
  auto msgs = win.modal.messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].text, "Error  3421 Data type conversion error.");
  EXPECT_EQ(g->textMatrix(2, 4 - 1), "35");
  auto db = dao::DBEngine::OpenDatabase(file);
  dao::Recordset rs(*db, "Select * from [People] WHERE [City] = 'Grenoble'");
  EXPECT_EQ(rs.countAll(), 1);
}

TEST(GridFeatures, ColumnsWidenForLongerValuesFarFromTheFirstScreen) {
  std::string path = testsupport::tempDir() + "/long_ids.mdb";
  jet::createDatabase(path);
  {
    auto db = jet::Database::open(path);
    jet::createTable(*db, {"T", {jet::columnSpec("Label", jet::DataType::Text, 80)}, {}});
    jet::TableWriter w(*db, "T");
    jet::ChangeScope change(*db);
    for (int i = 0; i < 3000; ++i)
      w.insert({jet::Value::text(i < 2990 ? "a" : "a much longer label than any of the first ones")});
    change.commit();
  }
  Window win(path);
  win.chooseTable("T");
  win.tab(1);
  app::Grid* g = win.w->grdData;
  const int before = g->columnWidth(0);
  g->setFocus();
  QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
  QApplication::sendEvent(g, &end);
  apptest::pump();
  EXPECT_GT(g->columnWidth(0), before);
  EXPECT_GE(g->columnWidth(0), g->fontMetrics().horizontalAdvance("a much longer label than any of the first ones"));
}
