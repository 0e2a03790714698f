// "Print current Table Structure" and the preview window frmPrint on the
// sample database: nothing chosen, the printout of a table (the same texts
// as glimmer-cli report reads from the catalogue), the index list's current
// cell kept, the same window redrawn by the next printout, a query's banner,
// the zoom choices, printing without and with a printer, Save as PDF, the
// accessible names and Exit.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QMenuBar>
#include <QPrintPreviewWidget>
#include <QToolBar>
#include <QToolButton>
#include <filesystem>
#include <memory>

#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/print_preview.h"
#include "app/program.h"
#include "catalogue/dao.h"
#include "catalogue/recordset.h"
#include "jet/sample.h"
#include "output/report_painter.h"
#include "output/report_tables.h"
#include "support/test_support.h"
#include "tests/app/app_support.h"

using apptest::Asked;

namespace {

struct PrintWindow {
  apptest::ScriptedModal modal;
  std::unique_ptr<app::FrmDatavane> w;
  std::string dir = testsupport::tempDir();
  std::string db = dir + "/sample.mdb";

  PrintWindow() {
    apptest::ensureApp();
    app::setApplicationTitle("Brackwell Glimmer");
    jet::createSampleDatabase(db);
    w = apptest::openWindowOn(db, modal);
  }
  ~PrintWindow() {
    app::setPrinterCheck(nullptr);
    delete app::printWindow();
  }
  void choose(app::Grid* g, const QString& name) {
    int r = apptest::findRow(g, name);
    ASSERT_GT(r, 0);
    apptest::click(g, r);
  }
  void print() {
    QAction* a = w->menuBar()->findChild<QAction*>("mnuPrintStructure");
    ASSERT_NE(a, nullptr);
    a->trigger();
    apptest::pump();
  }
};

// Every text of the pages except the date lines.
std::vector<std::string> textsOf(const std::vector<output::ReportPage>& pages) {
  std::vector<std::string> out;
  for (const auto& p : pages)
    for (const auto& t : p.texts)
      if (t.text.find("Field Definition for") == std::string::npos)
        out.push_back(std::to_string(t.x) + "," + std::to_string(t.y) + " " + t.text);
  return out;
}

bool pageHas(const output::ReportPage& p, const std::string& text) {
  for (const auto& t : p.texts)
    if (t.text == text) return true;
  return false;
}

}  // namespace

TEST(PrintStructure, NothingChosenShowsTheMessageAndNoWindow) {
  PrintWindow x;
  x.print();
  ASSERT_EQ(x.modal.asked.size(), 1u);
  EXPECT_EQ(x.modal.asked[0].text, "You must first select a Table");
  EXPECT_EQ(x.modal.asked[0].title, "Error");
  EXPECT_EQ(app::printWindow(), nullptr);
}

TEST(PrintStructure, TablePrintoutInThePreviewAndTheSameWindowRedrawn) {
  PrintWindow x;
  x.choose(x.w->grdFiles, "Customers");
  // A cell of the index list is current before the printout.
  ASSERT_GE(x.w->grdIndexes->rows(), 3);
  apptest::click(x.w->grdIndexes, 2, 1);
  x.print();
  EXPECT_TRUE(x.modal.asked.empty());
  app::FrmPrint* f = app::printWindow();
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(f->isVisible());
  EXPECT_EQ(f->windowTitle(), "Print Results");
  EXPECT_EQ(f->documentTitle(), "Field Definition for Customers");
  ASSERT_EQ(f->pages().size(), 1u);
  EXPECT_EQ(f->pp1->pageCount(), 1);
  EXPECT_EQ(f->pages()[0].texts[1].text, "Records: 8");
  EXPECT_EQ(x.w->grdIndexes->row(), 2);
  EXPECT_EQ(x.w->grdIndexes->col(), 1);
  EXPECT_FALSE(QApplication::overrideCursor());

  // The window's lists and the catalogue (glimmer-cli report) give the same printout.
  auto db = dao::DBEngine::OpenDatabase(x.db);
  output::QtTextMetrics metrics;
  std::tm when{};
  auto fromCatalogue = output::layoutStructure(output::tableStructure(*db, "Customers"), when, metrics);
  EXPECT_EQ(textsOf(f->pages()), textsOf(fromCatalogue));

  // The next printout redraws the same window.
  x.choose(x.w->grdFiles, "Orders");
  x.print();
  EXPECT_EQ(app::printWindow(), f);
  EXPECT_EQ(f->documentTitle(), "Field Definition for Orders");
  EXPECT_TRUE(pageHas(f->pages()[0], "Records: 20"));
}

TEST(PrintStructure, QueryBannerNamesTheQueryAndItsRows) {
  PrintWindow x;
  x.choose(x.w->grdFiles, "Orders");
  x.choose(x.w->grdQueries, "Active Customers");
  x.print();
  app::FrmPrint* f = app::printWindow();
  ASSERT_NE(f, nullptr);
  const auto& p = f->pages()[0];
  EXPECT_NE(p.texts[0].text.find("    Field Definition for Active Customers"), std::string::npos);
  auto db = dao::DBEngine::OpenDatabase(x.db);
  dao::Recordset rs(*db, "Select * from [Active Customers]");
  EXPECT_EQ(p.texts[1].text, "Records: " + std::to_string(rs.countAll()));
  EXPECT_TRUE(pageHas(p, "Source Table"));  // all six columns of the list
  EXPECT_TRUE(pageHas(p, "INDEX DETAIL"));
  EXPECT_TRUE(p.boxes.empty());
}

TEST(PrintStructure, ZoomPrintAndPdf) {
  PrintWindow x;
  x.choose(x.w->grdFiles, "Customers");
  x.print();
  app::FrmPrint* f = app::printWindow();
  ASSERT_NE(f, nullptr);
  const char* zooms[4] = {"Whole &Page", "Page &Width", "&Two Pages", "Thumb&nail"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(f->zoom[i]->text(), zooms[i]);
  f->zoom[2]->trigger();
  EXPECT_EQ(f->pp1->viewMode(), QPrintPreviewWidget::FacingPagesView);
  f->zoom[3]->trigger();
  EXPECT_EQ(f->pp1->viewMode(), QPrintPreviewWidget::AllPagesView);
  f->zoom[1]->trigger();
  EXPECT_EQ(f->pp1->zoomMode(), QPrintPreviewWidget::FitToWidth);
  f->zoom[0]->trigger();
  EXPECT_EQ(f->pp1->zoomMode(), QPrintPreviewWidget::FitInView);

  // No printer: a message, no dialog.
  app::setPrinterCheck([] { return false; });
  f->actPrint->trigger();
  ASSERT_EQ(x.modal.asked.size(), 1u);
  EXPECT_EQ(x.modal.asked[0].kind, Asked::Message);
  EXPECT_NE(x.modal.asked[0].text.indexOf("No printer is installed"), -1);

  // A printer: the dialog; cancelled prints nothing, accepted prints.
  app::setPrinterCheck([] { return true; });
  x.modal.clear();
  f->actPrint->trigger();
  ASSERT_EQ(x.modal.asked.size(), 1u);
  EXPECT_EQ(x.modal.asked[0].kind, Asked::Print);
  const std::string printed = x.dir + "/printed.pdf";
  x.modal.printFiles.push_back(QString::fromStdString(printed));
  f->actPrint->trigger();
  EXPECT_TRUE(std::filesystem::exists(printed));
  EXPECT_GT(std::filesystem::file_size(printed), 1000u);

  // Save as PDF: ".pdf" added; cancel writes nothing.
  x.modal.clear();
  f->actPdf->trigger();
  ASSERT_EQ(x.modal.asked.size(), 1u);
  EXPECT_EQ(x.modal.asked[0].kind, Asked::Save);
  x.modal.files.push_back(QString::fromStdString(x.dir + "/report"));
  f->actPdf->trigger();
  ASSERT_TRUE(std::filesystem::exists(x.dir + "/report.pdf"));
  EXPECT_EQ(testsupport::readFile(x.dir + "/report.pdf").rfind("%PDF", 0), 0u);
  // A folder that cannot be written: an error with its number, no file.
  x.modal.clear();
  x.modal.files.push_back(QString::fromStdString(x.dir + "/no/such/folder/r.pdf"));
  f->actPdf->trigger();
  ASSERT_EQ(x.modal.messages().size(), 1u);
  EXPECT_TRUE(x.modal.messages()[0].text.startsWith("Error 3051"));
}

TEST(PrintStructure, EveryControlHasAnAccessibleNameAndExitCloses) {
  PrintWindow x;
  x.choose(x.w->grdFiles, "Customers");
  x.print();
  app::FrmPrint* f = app::printWindow();
  ASSERT_NE(f, nullptr);
  for (QAbstractButton* b : f->findChildren<QAbstractButton*>()) {
    if (b->isVisibleTo(f)) {
      EXPECT_FALSE(b->accessibleName().isEmpty()) << b->objectName().toStdString();
    }
  }
  for (QAction* a : f->findChildren<QAction*>()) {
    if (!a->isSeparator() && a->isVisible() && !a->objectName().isEmpty() && !a->objectName().startsWith("_q")) {
      EXPECT_FALSE(a->text().isEmpty()) << a->objectName().toStdString();
    }
  }
  EXPECT_EQ(f->mnuExit->text(), "E&xit");
  EXPECT_FALSE(f->findChild<QLabel*>("lblPage")->accessibleName().isEmpty());
  f->mnuExit->trigger();
  apptest::pump(50);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(app::printWindow(), nullptr);
  // The next printout creates it again.
  x.print();
  EXPECT_NE(app::printWindow(), nullptr);
}
