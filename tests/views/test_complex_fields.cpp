// Attachment and multi-value fields in the window: the data grid and the
// record panel show the file names or the values joined by "; ", their
// boxes are read-only, and Update Changes leaves the file's complex data as
// it was; a damaged hidden table shows "#Error" in its cells.
#include <gtest/gtest.h>

#include <QPushButton>
#include <cstring>

#include "app/grid/grid.h"
#include "catalogue/recordset.h"
#include "support/complex_damage.h"
#include "support/test_support.h"
#include "tests/views/views_support.h"

using viewstest::Window;

namespace {
views::BoundBox* box(Window& win, const QString& field) {
  for (auto& r : win.w->fieldRows)
    if (r.dataField == field) return r.txtField;
  ADD_FAILURE() << "no box for " << field.toStdString();
  return nullptr;
}
int column(app::Grid* g, const QString& heading) {
  for (int c = 0; c < g->cols(); ++c)
    if (g->textMatrix(0, c) == heading) return c;
  ADD_FAILURE() << "no column " << heading.toStdString();
  return 0;
}
}  // namespace

TEST(ComplexFieldsWindow, GridAndRecordPanelShowNamesAndValuesJoinedAndReadOnly) {
  SKIP_WITHOUT_SHARED();
  const std::string file = testsupport::copyToTemp(testsupport::fixture("ace/complexDataTestV2010.accdb"));
  const std::string before = testsupport::readFile(file);
  {
    Window win(file);
    win.chooseTable("Table1");
    win.tab(1);
    app::Grid* g = win.w->grdData;
    ASSERT_EQ(g->rows(), 5);
    const int mv = column(g, "multi-value-data"), at = column(g, "attach-data");
    EXPECT_EQ(g->textMatrix(2, mv), "value1; value4");
    EXPECT_EQ(g->textMatrix(2, at), "test_data.txt; test_data2.txt");
    EXPECT_EQ(g->textMatrix(3, mv), "value1; value2; value3; value4");
    EXPECT_EQ(g->textMatrix(3, at), "");
    EXPECT_EQ(g->textMatrix(4, at), "test_data2.txt");
    EXPECT_TRUE(win.modal.messages().empty());

    win.tab(2);
    win.w->dta1.recordset()->setAbsolutePosition(1);
    apptest::pump();
    EXPECT_EQ(box(win, "multi-value-data")->text(), "value1; value4");
    EXPECT_EQ(box(win, "attach-data")->text(), "test_data.txt; test_data2.txt");
    EXPECT_TRUE(box(win, "multi-value-data")->isReadOnly());
    EXPECT_TRUE(box(win, "attach-data")->isReadOnly());
    // Update Changes with nothing typed stores nothing and says nothing.
    win.w->cmdUpdate->click();
    apptest::pump();
    EXPECT_TRUE(win.modal.messages().empty()) << win.modal.messages()[0].text.toStdString();
    EXPECT_EQ(box(win, "attach-data")->text(), "test_data.txt; test_data2.txt");
  }
  EXPECT_TRUE(testsupport::readFile(file) == before);
}

TEST(ComplexFieldsWindow, AttachmentsOfTheSmallFixtureInTheGrid) {
  SKIP_WITHOUT_SHARED();
  Window win(testsupport::copyToTemp(testsupport::fixture("ace/attachmentsV2016.accdb")));
  win.chooseTable("Table1");
  win.tab(1);
  app::Grid* g = win.w->grdData;
  ASSERT_EQ(g->rows(), 4);
  const int at = column(g, "Attachments");
  EXPECT_EQ(g->textMatrix(1, at), "");
  EXPECT_EQ(g->textMatrix(2, at), "attachment1.txt");
  EXPECT_EQ(g->textMatrix(3, at), "attachment1.txt; attachment2.txt; attachment3.txt");
}

TEST(ComplexFieldsWindow, ADamagedHiddenTableShowsErrorCellsAndANumberedMessage) {
  SKIP_WITHOUT_SHARED();
  const std::string file =
      complexdamage::damagedCopy("ace/complexDataTestV2010.accdb", [](std::string& bytes, jet::Database& db) {
        auto flat = complexdamage::flatTableOf(db, "Table1", "attach-data");
        ASSERT_NE(flat.tdefPage, 0u);
        std::memset(complexdamage::page(bytes, flat.tdefPage), 0, 4096);
      });
  Window win(file);
  win.chooseTable("Table1");
  win.tab(1);
  app::Grid* g = win.w->grdData;
  ASSERT_EQ(g->rows(), 5);
  EXPECT_EQ(g->textMatrix(2, column(g, "attach-data")), "#Error");
  EXPECT_EQ(g->textMatrix(2, column(g, "multi-value-data")), "value1; value4");
  win.tab(2);
  win.w->dta1.recordset()->setAbsolutePosition(1);
  apptest::pump();
  EXPECT_EQ(box(win, "multi-value-data")->text(), "value1; value4");
  EXPECT_EQ(box(win, "attach-data")->text(), "");
  // The record panel said why once, with the error's number.
  auto msgs = win.modal.messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_TRUE(msgs[0].text.contains("3049")) << msgs[0].text.toStdString();
}
