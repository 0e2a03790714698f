// "Export to CSV" from the window, on the sample database the engine builds:
// no object chosen, a cancelled Save dialog, the suffix added, the chosen
// object's rows written even before the grid was shown, an existing file
// left untouched by a failed export, and the messages.
#include <gtest/gtest.h>

#include <QMenuBar>
#include <QTabBar>
#include <QToolButton>
#include <filesystem>
#include <memory>
#include <sstream>

#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/menus.h"
#include "app/program.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/sample.h"
#include "jet/table_writer.h"
#include "output/csv_reader.h"
#include "support/test_support.h"
#include "tests/app/app_support.h"

using apptest::Asked;

namespace {

void makeManyRows(const std::string& path, int rows) {
  jet::createDatabase(path);
  auto db = jet::Database::open(path);
  jet::createTable(*db, {"Many",
                         {jet::columnSpec("ID", jet::DataType::Long), jet::columnSpec("Name", jet::DataType::Text, 40)},
                         {jet::primaryKeySpec("ID")}});
  jet::TableWriter w(*db, "Many");
  jet::ChangeScope change(*db);
  for (int i = 1; i <= rows; ++i)
    w.insert({jet::Value::longInt(i), jet::Value::text("Name, \"" + std::to_string(i) + "\"")});
  change.commit();
}

struct ExportWindow {
  apptest::ScriptedModal modal;
  std::unique_ptr<app::FrmDatavane> w;
  std::string dir = testsupport::tempDir();
  std::string db = dir + "/sample.mdb";

  // rows > 0: a database of one table "Many" with that many rows instead of
  // the sample database.
  explicit ExportWindow(int rows = 0) {
    apptest::ensureApp();
    app::setApplicationTitle("Brackwell Glimmer");
    if (rows > 0)
      makeManyRows(db, rows);
    else
      jet::createSampleDatabase(db);
    w = apptest::openWindowOn(db, modal);
  }
  void choose(const QString& table) {
    int r = apptest::findRow(w->grdFiles, table);
    ASSERT_GT(r, 0);
    apptest::click(w->grdFiles, r);
  }
  QAction* item(const char* name) { return w->menuBar()->findChild<QAction*>(name); }
};

std::vector<output::CsvRecord> readCsv(const std::string& path) {
  std::istringstream in(testsupport::readFile(path));
  output::CsvReader r(in);
  std::vector<output::CsvRecord> out;
  output::CsvRecord rec;
  while (r.next(rec)) out.push_back(rec);
  return out;
}

}  // namespace

TEST(Export, NothingChosenCancelAndSuffix) {
  ExportWindow x;
  ASSERT_NE(x.item("mnuExport"), nullptr);
  x.item("mnuExport")->trigger();
  ASSERT_EQ(x.modal.asked.size(), 1u);
  EXPECT_EQ(x.modal.asked[0].text, "You must first select a Table");
  EXPECT_EQ(x.modal.asked[0].title, "Error");

  x.choose("Customers");
  x.modal.clear();
  x.item("mnuExport")->trigger();  // the dialog is cancelled
  ASSERT_EQ(x.modal.asked.size(), 1u);
  EXPECT_EQ(x.modal.asked[0].kind, Asked::Save);
  EXPECT_FALSE(std::filesystem::exists(x.dir + "/*.csv"));
  size_t before = std::distance(std::filesystem::directory_iterator(x.dir), {});

  x.modal.clear();
  x.modal.files.push_back(QString::fromStdString(x.dir + "/customers"));
  x.item("mnuExport")->trigger();
  ASSERT_EQ(x.modal.messages().size(), 1u);
  EXPECT_EQ(x.modal.messages()[0].text, "Save Complete");
  EXPECT_EQ(x.modal.messages()[0].title, "Complete");
  EXPECT_TRUE(std::filesystem::exists(x.dir + "/customers.csv"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(x.dir), {}), static_cast<long>(before) + 1);
  EXPECT_EQ(app::withCsvSuffix("a.txt"), "a.txt");
}

TEST(Export, WritesTheChosenObjectsRowsEvenBeforeTheGridIsShown) {
  ExportWindow x;
  x.choose("Customers");
  x.w->tab1->setCurrentIndex(1);  // the grid shows Customers
  apptest::pump();
  x.w->tab1->setCurrentIndex(0);
  apptest::pump();
  x.choose("Orders");  // not shown yet
  std::string out = x.dir + "/orders.csv";
  x.modal.files.push_back(QString::fromStdString(out));
  x.item("mnuExport")->trigger();
  auto recs = readCsv(out);
  ASSERT_FALSE(recs.empty());
  const auto& fields = x.w->dta1.database()->TableDefByName("Orders").Fields();
  ASSERT_EQ(recs[0].fields.size(), fields.size());
  for (size_t i = 0; i < fields.size(); ++i) EXPECT_EQ(recs[0].fields[i], fields[i].Name);
  EXPECT_EQ(static_cast<int64_t>(recs.size()) - 1, x.w->dta1.database()->TableDefByName("Orders").RecordCount());
  // Cells as the grid shows them; CRLF line ends.
  EXPECT_EQ(x.w->grdData->model()->index(0, 0).data().toString().toStdString(), recs[1].fields[0]);
  std::string text = testsupport::readFile(out);
  EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1);
}

TEST(Export, AFailedExportLeavesTheTargetAndNoPartFile) {
  ExportWindow x;
  x.choose("Customers");
  // The target cannot be replaced (a folder of that name holding a file):
  // the rows are written under a temporary name, the rename fails, and the
  // temporary file goes away. This also holds when run with every permission.
  std::string target = x.dir + "/keep.csv";
  std::filesystem::create_directory(target);
  testsupport::writeFile(target + "/inner", "old contents");
  size_t before = std::distance(std::filesystem::directory_iterator(x.dir), {});
  x.modal.files.push_back(QString::fromStdString(target));
  x.item("mnuExport")->trigger();
  ASSERT_EQ(x.modal.messages().size(), 1u);
  EXPECT_TRUE(x.modal.messages()[0].text.startsWith("Error 3051 ")) << x.modal.messages()[0].text.toStdString();
  EXPECT_EQ(x.modal.messages()[0].title, "Brackwell Glimmer");
  EXPECT_EQ(testsupport::readFile(target + "/inner"), "old contents");
  EXPECT_EQ(static_cast<size_t>(std::distance(std::filesystem::directory_iterator(x.dir), {})), before);
  // A folder that does not exist: the error names the file, nothing is made.
  x.modal.clear();
  x.modal.files.push_back(QString::fromStdString(x.dir + "/no/such/out.csv"));
  x.item("mnuExport")->trigger();
  ASSERT_EQ(x.modal.messages().size(), 1u);
  EXPECT_TRUE(x.modal.messages()[0].text.startsWith("Error 3051 "));
  EXPECT_FALSE(std::filesystem::exists(x.dir + "/no"));
}

TEST(Export, CancelledPartWayLeavesTheTargetAndNoPartFile) {
  ExportWindow x(20000);
  x.choose("Many");
  std::string target = x.dir + "/many.csv";
  testsupport::writeFile(target, "old contents");
  size_t before = std::distance(std::filesystem::directory_iterator(x.dir), {});
  // Cancel at the second progress step, with rows already written.
  x.modal.cancelAtStep = 2;
  x.modal.files.push_back(QString::fromStdString(target));
  x.item("mnuExport")->trigger();
  ASSERT_EQ(x.modal.progressLabels.size(), 1u);
  EXPECT_EQ(x.modal.progressLabels[0], "Exporting to CSV...");
  EXPECT_TRUE(x.modal.messages().empty());  // no "Save Complete", no error
  EXPECT_EQ(testsupport::readFile(target), "old contents");
  EXPECT_EQ(static_cast<size_t>(std::distance(std::filesystem::directory_iterator(x.dir), {})), before);

  // Not cancelled: every row through the same progress window, quoted.
  x.modal.clear();
  x.modal.cancelAtStep = 0;
  x.modal.files.push_back(QString::fromStdString(target));
  x.item("mnuExport")->trigger();
  ASSERT_EQ(x.modal.messages().size(), 1u);
  EXPECT_EQ(x.modal.messages()[0].text, "Save Complete");
  auto recs = readCsv(target);
  ASSERT_EQ(recs.size(), 20001u);
  EXPECT_EQ(recs[20000].fields.at(1), "Name, \"20000\"");
  EXPECT_EQ(static_cast<size_t>(std::distance(std::filesystem::directory_iterator(x.dir), {})), before);
}
