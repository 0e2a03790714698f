// The five grids follow the font size (row heights and column widths: no
// text is cut at 8, 10 or 12 point), the lists are fitted after every
// opening, the user can widen a column, and a cell whose text is cut shows
// its whole text as a tooltip.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTabBar>
#include <QToolTip>

#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/menus.h"
#include "jet/create.h"
#include "jet/table_writer.h"
#include "support/test_support.h"
#include "tests/app/app_support.h"

namespace {

const char* const kLongName = "Quarterly orders of the northern region warehouses";

// A table with a long name and a six-digit record count, an index, and a
// saved query with a long name.
std::string wideDatabase(const std::string& file) {
  std::string path = testsupport::tempDir() + "/" + file;
  jet::createDatabase(path);
  auto db = jet::Database::open(path);
  jet::createTable(*db, {kLongName,
                         {jet::autoNumberSpec("Order number"), jet::columnSpec("Customer", jet::DataType::Text, 60),
                          jet::columnSpec("Amount", jet::DataType::Long)},
                         {jet::primaryKeySpec("Order number")}});
  jet::TableWriter w(*db, kLongName);
  jet::ChangeScope change(*db);
  for (int i = 0; i < 123456; ++i)
    w.insert({jet::Value(), jet::Value::text(i % 7 ? "Hardware and garden supplies ltd" : "Mo"),
              jet::Value::longInt(i * 37)});
  change.commit();
  jet::QuerySpec q;
  q.name = "Orders of every customer with their amounts";
  q.tables = {kLongName};
  q.columns = {{"Customer", ""}};
  jet::createQuery(*db, q);
  return path;
}

// Every shown cell and heading of g holds its whole text.
void expectNothingCut(app::Grid* g, const char* name, int points) {
  const QFontMetrics fm(g->font());
  const QFontMetrics hfm(g->horizontalHeader()->font());
  const int rows = std::min(g->rows(), 40);
  for (int c = 0; c < g->cols(); ++c) {
    const QString head = g->textMatrix(0, c);
    EXPECT_LE(hfm.horizontalAdvance(head) + 4, g->horizontalHeader()->sectionSize(c))
        << name << " heading " << head.toStdString() << " at " << points;
    EXPECT_LE(hfm.height(), g->horizontalHeader()->height()) << name << " at " << points;
    for (int r = 1; r < rows; ++r) {
      const QRect cell = g->visualRect(g->model()->index(r - 1, c));
      const QString text = g->textMatrix(r, c);
      EXPECT_LE(fm.horizontalAdvance(text) + 4, cell.width())
          << name << " cell " << r << "," << c << " '" << text.toStdString() << "' at " << points;
      EXPECT_LE(fm.height(), cell.height()) << name << " row " << r << " at " << points;
      EXPECT_FALSE(g->cellIsCut(r, c)) << name << " " << r << "," << c << " at " << points;
    }
  }
}

struct Win {
  apptest::ScriptedModal modal;
  std::unique_ptr<app::FrmDatavane> w;
  explicit Win(const std::string& file) {
    apptest::ensureApp();
    w = apptest::openWindowOn(file, modal);
    w->resize(1280, 800);
    apptest::pump();
  }
};

}  // namespace

TEST(GridFit, NoCellOfTheFiveGridsIsCutAtFontSizes8_10And12) {
  Win win(wideDatabase("wide_fonts.mdb"));
  app::FrmDatavane& w = *win.w;
  apptest::click(w.grdFiles, apptest::findRow(w.grdFiles, kLongName));
  apptest::pump();
  w.tab1->setCurrentIndex(1);
  apptest::pump();
  ASSERT_GT(w.grdData->rows(), 40);
  ASSERT_GT(w.grdIndexes->rows(), 1);
  for (int index : {2, 0, 1, 2}) {
    const int points = index == 0 ? 8 : index == 1 ? 10 : 12;
    app::mnuFontSize_Click(w, index);
    apptest::pump();
    for (auto [g, name] : {std::pair{w.grdFiles, "Tables"}, {w.grdQueries, "Queries"}, {w.grdFields, "Columns"},
                           {w.grdIndexes, "Indexes"}, {w.grdData, "Grid View"}}) {
      EXPECT_EQ(g->fontSize(), points);
      expectNothingCut(g, name, points);
    }
    // Row heights follow the font.
    EXPECT_GE(w.grdFiles->rowHeight(0), QFontMetrics(w.grdFiles->font()).height());
  }
  EXPECT_EQ(w.grdFiles->textMatrix(apptest::findRow(w.grdFiles, kLongName), 1), "123456");
}

TEST(GridFit, ListsAreFittedAfterEveryOpeningAndACutCellShowsItsWholeTextAsATooltip) {
  Win win(wideDatabase("wide_first.mdb"));
  app::FrmDatavane& w = *win.w;
  // A second file through the dialog: its longer names are fitted too.
  const std::string second = wideDatabase("wide_second.mdb");
  win.modal.files.push_back(QString::fromStdString(second));
  w.cmdFindFile->click();
  apptest::pump();
  EXPECT_EQ(w.txtMDBFile->text().toStdString(), second);
  expectNothingCut(w.grdFiles, "Tables", 10);
  expectNothingCut(w.grdQueries, "Queries", 10);

  // The user can narrow and widen the columns.
  QHeaderView* head = w.grdQueries->horizontalHeader();
  EXPECT_EQ(head->sectionResizeMode(0), QHeaderView::Interactive);
  head->resizeSection(0, 40);
  EXPECT_EQ(w.grdQueries->columnWidth(0), 40);
  const int row = apptest::findRow(w.grdQueries, "Orders of every customer with their amounts");
  ASSERT_GE(row, 1);
  EXPECT_TRUE(w.grdQueries->cellIsCut(row, 0));
  const QRect cell = w.grdQueries->visualRect(w.grdQueries->model()->index(row - 1, 0));
  QHelpEvent tip(QEvent::ToolTip, cell.center(), w.grdQueries->viewport()->mapToGlobal(cell.center()));
  QApplication::sendEvent(w.grdQueries->viewport(), &tip);
  EXPECT_EQ(QToolTip::text(), "Orders of every customer with their amounts");
  QToolTip::hideText();

  head->resizeSection(0, 600);
  EXPECT_FALSE(w.grdQueries->cellIsCut(row, 0));
  // An uncut cell asks for no tooltip.
  QHelpEvent again(QEvent::ToolTip, cell.center(), w.grdQueries->viewport()->mapToGlobal(cell.center()));
  again.setAccepted(true);
  QApplication::sendEvent(w.grdQueries->viewport(), &again);
  EXPECT_FALSE(again.isAccepted());

  // The data grid's cells too.
  apptest::click(w.grdFiles, apptest::findRow(w.grdFiles, kLongName));
  apptest::pump();
  w.tab1->setCurrentIndex(1);
  apptest::pump();
  w.grdData->horizontalHeader()->resizeSection(1, 30);
  EXPECT_TRUE(w.grdData->cellIsCut(2, 1));
  const QRect data = w.grdData->visualRect(w.grdData->model()->index(1, 1));
  QHelpEvent third(QEvent::ToolTip, data.center(), w.grdData->viewport()->mapToGlobal(data.center()));
  QApplication::sendEvent(w.grdData->viewport(), &third);
  EXPECT_EQ(QToolTip::text(), "Hardware and garden supplies ltd");
  QToolTip::hideText();
}
