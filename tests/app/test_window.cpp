// The main window driven through its real widgets under the offscreen
// platform: opening files (with the password dialogue), the structure lists,
// the tab switch, the grid view and the per-field panels.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QInputDialog>
#include <QPointer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <memory>

#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/modal.h"
#include "app/program.h"
#include "app/settings.h"
#include "catalogue/recordset.h"
#include "jet/create.h"
#include "jet/sample.h"
#include "jet/table_writer.h"
#include "support/test_support.h"
#include "tests/app/app_support.h"

using apptest::Asked;

namespace {

class Window {
 public:
  apptest::ScriptedModal modal;
  std::string ini;
  std::unique_ptr<app::FrmDatavane> w;

  explicit Window(const std::string& iniText = "", const QString& startFile = {}) {
    apptest::ensureApp();
    app::setApplicationTitle("Brackwell Glimmer");
    ini = apptest::tempIni();
    if (!iniText.empty()) testsupport::writeFile(ini, iniText);
    app::initProgram(ini);
    w = std::make_unique<app::FrmDatavane>();
    w->formLoad(startFile);
    w->resize(1280, 800);
    w->show();
    apptest::pump();
  }

  // Chooses path through the browse button and the file dialog.
  void browse(const std::string& path) {
    modal.files.push_back(QString::fromStdString(path));
    w->cmdFindFile->click();
    apptest::pump();
  }
  std::string setting(const std::string& key) {
    return app::ProfileFile(ini).read("Program Settings", key, "NOT FOUND");
  }
  void chooseTable(const QString& name) {
    int r = apptest::findRow(w->grdFiles, name);
    ASSERT_GT(r, 0) << name.toStdString();
    apptest::click(w->grdFiles, r);
  }
  void chooseQuery(const QString& name) {
    int r = apptest::findRow(w->grdQueries, name);
    ASSERT_GT(r, 0) << name.toStdString();
    apptest::click(w->grdQueries, r);
  }
  void tab(int t) {
    w->tab1->setCurrentIndex(t);
    apptest::pump();
  }
};

int rowTopOf(Window& win, int i) { return win.w->fieldRows[i].txt.top; }

// The sample database, a fresh file each time.
std::string sample() {
  std::string path = testsupport::tempDir() + "/sample.mdb";
  jet::createSampleDatabase(path);
  return path;
}
// A file with "Table1" (three rows, no index) and "Empty" (no rows).
std::string plainDatabase() {
  std::string path = testsupport::tempDir() + "/plain.mdb";
  jet::createDatabase(path);
  auto db = jet::Database::open(path);
  jet::createTable(*db, {"Table1",
                         {jet::columnSpec("Label", jet::DataType::Text, 40),
                          jet::columnSpec("Amount", jet::DataType::Long)},
                         {}});
  jet::createTable(*db, {"Empty",
                         {jet::autoNumberSpec("ID"), jet::columnSpec("data", jet::DataType::Text, 20)},
                         {jet::primaryKeySpec("ID")}});
  jet::TableWriter w(*db, "Table1");
  jet::ChangeScope change(*db);
  for (int i = 0; i < 3; ++i) w.insert({jet::Value::text("row " + std::to_string(i)), jet::Value::longInt(i)});
  change.commit();
  return path;
}
// A new file holding only the system tables.
std::string emptyDatabase() {
  std::string path = testsupport::tempDir() + "/empty.mdb";
  jet::createDatabase(path);
  return path;
}
std::string passworded() {
  return testsupport::copyToTemp(testsupport::fixture("jet4/V2000_with-password.mdb"));
}

}  // namespace

// ---------------------------------------------------------------- opening

TEST(Opening, FileWithoutPasswordFillsBothListsAndIsRemembered) {
  Window win;
  std::string file = sample();
  win.browse(file);
  ASSERT_EQ(win.modal.asked.size(), 1u);
  EXPECT_EQ(win.modal.asked[0].kind, Asked::Open);
  ASSERT_GE(win.modal.asked[0].filters.size(), 2);
  EXPECT_EQ(win.modal.asked[0].filters[0], "Microsoft Access (*.mdb)");
  EXPECT_TRUE(win.modal.asked[0].filters.join(";").contains("*.accdb"));
  app::Grid* files = win.w->grdFiles;
  EXPECT_EQ(files->textMatrix(0, 0), "Table Name");
  EXPECT_EQ(files->textMatrix(0, 1), "Record Count");
  int r = apptest::findRow(files, "Customers");
  ASSERT_GT(r, 0);
  EXPECT_EQ(files->textMatrix(r, 1), "8");
  EXPECT_GT(apptest::findRow(files, "MSysObjects"), 0);
  EXPECT_EQ(files->rows(), static_cast<int>(win.w->dta1.database()->TableDefs().size()) + 1);
  app::Grid* queries = win.w->grdQueries;
  ASSERT_EQ(queries->rows(), 4);
  EXPECT_EQ(queries->textMatrix(1, 0), "Customers by City");
  EXPECT_EQ(queries->textMatrix(3, 0), "Order Lines");
  EXPECT_EQ(win.w->txtMDBFile->text().toStdString(), file);
  EXPECT_EQ(win.setting("Default File"), file);
  EXPECT_EQ(win.w->dta1.Connect, "Access 2000;");
  EXPECT_EQ(app::applicationTitle(), "Brackwell Glimmer");
  // The settings file: font size first, then the path, in first-written order.
  EXPECT_EQ(testsupport::readFile(win.ini), "[Program Settings]\nFontsize=10\nDefault File=" + file + "\n");
}

TEST(Opening, RememberedFileOpensAtStartAndAGoneOneShowsTheErrorOnly) {
  std::string file = sample();
  {
    Window win("[Program Settings]\nDefault File=" + file + "\n");
    EXPECT_TRUE(win.modal.asked.empty());
    EXPECT_GT(apptest::findRow(win.w->grdFiles, "Customers"), 0);
  }
  std::string gone = testsupport::tempDir() + "/gone.mdb";
  Window win("[Program Settings]\nDefault File=" + gone + "\n");
  auto msgs = win.modal.messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_TRUE(msgs[0].text.startsWith("Error 3024 - ")) << msgs[0].text.toStdString();
  EXPECT_EQ(msgs[0].title, "Error");
  EXPECT_TRUE(win.modal.prompts().empty());
  EXPECT_EQ(win.w->grdFiles->rows(), 1);
  EXPECT_EQ(win.w->txtMDBFile->text().toStdString(), gone);
  EXPECT_EQ(win.setting("Default File"), gone);  // unchanged, not rewritten
}

TEST(Opening, FileGivenOnTheCommandLineOpensAsIfChosen) {
  std::string file = sample();
  Window win("", QString::fromStdString(file));
  EXPECT_GT(apptest::findRow(win.w->grdFiles, "Customers"), 0);
  EXPECT_EQ(win.setting("Default File"), file);
}

TEST(Opening, RightPasswordAtTheFirstPrompt) {
  SKIP_WITHOUT_SHARED();
  Window win;
  std::string file = passworded();
  win.modal.inputs.push_back("password");
  win.browse(file);
  auto prompts = win.modal.prompts();
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_EQ(prompts[0].text.toStdString(),
            "This file (" + file + ") requires a password.  Please enter it now:");
  EXPECT_EQ(prompts[0].title, "Password Required");
  EXPECT_TRUE(prompts[0].masked);
  EXPECT_TRUE(win.modal.messages().empty());
  EXPECT_EQ(win.w->dta1.Connect, "MS Access;pwd=password");
  EXPECT_GT(apptest::findRow(win.w->grdFiles, "Table1"), 0);
  EXPECT_EQ(win.setting("Default File"), file);
  EXPECT_EQ(app::applicationTitle(), "Password Required");
  // Its structure is readable too: the second connection carries the password.
  win.chooseTable("Table1");
  EXPECT_TRUE(win.modal.messages().empty());
  EXPECT_EQ(win.w->grdFields->rows(), 3);
}

TEST(Opening, WrongPasswordThenOkThenTheRightOne) {
  SKIP_WITHOUT_SHARED();
  Window win;
  win.modal.inputs = {"wrong", "password"};
  win.modal.answers = {app::Answer::Ok};
  win.browse(passworded());
  ASSERT_EQ(win.modal.asked.size(), 4u);  // dialog, prompt, incorrect, prompt
  EXPECT_EQ(win.modal.asked[1].kind, Asked::Input);
  EXPECT_EQ(win.modal.asked[2].kind, Asked::Message);
  EXPECT_EQ(win.modal.asked[2].text, "Incorrect password.  Please click OK and try again.");
  EXPECT_EQ(win.modal.asked[2].title, "Incorrect password");
  EXPECT_EQ(win.modal.asked[2].buttons, app::Buttons::OkCancel);
  EXPECT_EQ(win.modal.asked[3].kind, Asked::Input);
  EXPECT_GT(apptest::findRow(win.w->grdFiles, "Table1"), 0);
}

TEST(Opening, WrongPasswordThenCancelOrAnEmptyAnswerGivesUp) {
  SKIP_WITHOUT_SHARED();
  for (bool cancelOnMessage : {true, false}) {
    Window win;
    std::string first = sample();
    win.browse(first);
    if (cancelOnMessage) {
      win.modal.inputs = {"wrong"};
      win.modal.answers = {app::Answer::Cancel};
    }
    win.modal.clear();
    win.browse(passworded());
    auto msgs = win.modal.messages();
    EXPECT_EQ(msgs.size(), cancelOnMessage ? 1u : 0u);
    EXPECT_EQ(win.modal.prompts().size(), 1u);
    EXPECT_EQ(win.w->dta1.DatabaseName, "");
    EXPECT_EQ(win.w->grdFiles->rows(), 1);
    EXPECT_EQ(win.w->grdQueries->rows(), 1);
    EXPECT_EQ(win.setting("Default File"), first);
  }
}

TEST(Opening, NotADatabaseShowsTheErrorAndKeepsWhatWasOpen) {
  Window win;
  std::string first = sample();
  win.browse(first);
  win.chooseTable("Customers");
  int tables = win.w->grdFiles->rows();
  std::string dir = testsupport::tempDir();
  for (std::string content : {std::string(), std::string(8192, 'z')}) {
    std::string bad = dir + "/bad" + std::to_string(content.size()) + ".mdb";
    testsupport::writeFile(bad, content);
    win.modal.clear();
    win.browse(bad);
    EXPECT_TRUE(win.modal.prompts().empty());
    auto msgs = win.modal.messages();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_TRUE(msgs[0].text.startsWith("Error ")) << msgs[0].text.toStdString();
    EXPECT_TRUE(msgs[0].text.contains(" - "));
    EXPECT_EQ(msgs[0].title, "Error");
    // The previous file is still open and listed, its path back in the box.
    EXPECT_EQ(win.w->grdFiles->rows(), tables);
    EXPECT_EQ(win.w->txtMDBFile->text().toStdString(), first);
    EXPECT_EQ(win.w->dta1.DatabaseName, first);
    EXPECT_GT(win.w->grdFields->rows(), 1);
    EXPECT_EQ(win.setting("Default File"), first);
  }
}

TEST(Opening, CancellingTheFileDialogKeepsEverything) {
  Window win;
  std::string first = sample();
  win.browse(first);
  win.chooseTable("Customers");
  int tables = win.w->grdFiles->rows(), fields = win.w->grdFields->rows();
  dao::Database* db = win.w->dta1.database();
  win.modal.clear();
  win.w->cmdFindFile->click();  // no file queued: the dialog is cancelled
  apptest::pump();
  EXPECT_EQ(win.modal.asked.size(), 1u);
  EXPECT_EQ(win.w->grdFiles->rows(), tables);
  EXPECT_EQ(win.w->grdFields->rows(), fields);
  EXPECT_EQ(win.w->dta1.database(), db);
  EXPECT_EQ(win.w->txtMDBFile->text().toStdString(), first);
}

TEST(Opening, SecondFileOpensAlthoughThePreviousObjectIsNotInIt) {
  Window win;
  win.browse(sample());
  win.chooseTable("Customers");
  win.tab(1);
  EXPECT_EQ(win.w->grdData->rows(), 9);
  win.tab(0);
  win.modal.clear();
  std::string second = plainDatabase();
  win.browse(second);
  EXPECT_TRUE(win.modal.prompts().empty());
  EXPECT_TRUE(win.modal.messages().empty());
  EXPECT_GT(apptest::findRow(win.w->grdFiles, "Table1"), 0);
  EXPECT_EQ(apptest::findRow(win.w->grdFiles, "Customers"), -1);
  // No rows of the first file's object linger in the grid.
  EXPECT_EQ(win.w->grdData->rows(), 1);
  EXPECT_EQ(win.w->grdFields->rows(), 1);
  EXPECT_EQ(win.setting("Default File"), second);
}

TEST(Opening, DatabaseWithoutQueriesListsOnlyTables) {
  Window win;
  win.browse(emptyDatabase());
  EXPECT_EQ(win.w->grdQueries->rows(), 1);
  EXPECT_GT(win.w->grdFiles->rows(), 1);
  EXPECT_GT(apptest::findRow(win.w->grdFiles, "MSysObjects"), 0);
}

TEST(Opening, RealPasswordPromptShowsAStarForEveryCharacter) {
  apptest::ensureApp();
  std::unique_ptr<QInputDialog> dlg(
      app::createInputDialog(nullptr, "This file (x) requires a password.  Please enter it now:",
                             "Password Required", QString(), true));
  dlg->show();
  apptest::pump();
  auto* edit = dlg->findChild<QLineEdit*>();
  ASSERT_NE(edit, nullptr);
  edit->setFocus();
  edit->insert("s3cret");
  EXPECT_EQ(edit->text(), "s3cret");
  EXPECT_EQ(edit->displayText(), "******");
  EXPECT_EQ(dlg->windowTitle(), "Password Required");
  EXPECT_EQ(dlg->labelText(), "This file (x) requires a password.  Please enter it now:");
}

// ---------------------------------------------------------------- structure

TEST(Structure, TableClickShowsColumnsAndIndexes) {
  Window win;
  win.browse(sample());
  win.chooseTable("Customers");
  app::Grid* f = win.w->grdFields;
  ASSERT_EQ(f->cols(), 4);
  EXPECT_EQ(f->textMatrix(0, 0), "Name");
  EXPECT_EQ(f->textMatrix(0, 1), "Type");
  EXPECT_EQ(f->textMatrix(0, 2), "Size");
  EXPECT_EQ(f->textMatrix(0, 3), "Required");
  ASSERT_EQ(f->rows(), 9);
  EXPECT_EQ(f->textMatrix(1, 0), "CustomerID");
  EXPECT_EQ(f->textMatrix(1, 1), "dbLong");
  EXPECT_EQ(f->textMatrix(1, 2), "4");
  EXPECT_EQ(f->textMatrix(1, 3), "False");
  EXPECT_EQ(f->textMatrix(2, 1), "dbText");
  EXPECT_EQ(f->textMatrix(2, 2), "60");
  EXPECT_EQ(f->textMatrix(2, 3), "True");
  EXPECT_EQ(f->textMatrix(5, 1), "dbDate");
  EXPECT_EQ(f->textMatrix(6, 1), "dbBoolean");
  EXPECT_EQ(f->textMatrix(7, 1), "dbCurrency");
  EXPECT_EQ(f->textMatrix(8, 1), "dbMemo");
  EXPECT_EQ(f->textMatrix(8, 2), "0");
  app::Grid* ix = win.w->grdIndexes;
  ASSERT_EQ(ix->rows(), 4);
  EXPECT_EQ(ix->textMatrix(0, 1), "Fields within Index");
  const int pk = apptest::findRow(ix, "PrimaryKey");
  ASSERT_GT(pk, 0);
  EXPECT_EQ(ix->textMatrix(pk, 1), "+CustomerID");
  EXPECT_EQ(ix->textMatrix(pk, 2), "True");
  EXPECT_EQ(ix->textMatrix(pk, 3), "True");
  EXPECT_EQ(ix->textMatrix(pk, 4), "True");
  const int both = apptest::findRow(ix, "NameCity");
  ASSERT_GT(both, 0);
  EXPECT_EQ(ix->textMatrix(both, 1), "+Name;+City");
  EXPECT_EQ(ix->textMatrix(both, 3), "False");
  EXPECT_TRUE(win.w->blnIsTable);
  EXPECT_TRUE(win.w->blnRefillGrid);
  // The same row again reads the same structure.
  win.chooseTable("Customers");
  EXPECT_EQ(f->rows(), 9);
  EXPECT_EQ(ix->rows(), 4);
  EXPECT_EQ(f->textMatrix(8, 0), "Notes");
}

TEST(Structure, QueryClickShowsSourceColumnsAndSqlAndATableClickSwitchesBack) {
  Window win;
  win.browse(sample());
  win.chooseTable("Customers");
  win.chooseQuery("Order Lines");
  app::Grid* f = win.w->grdFields;
  ASSERT_EQ(f->cols(), 6);
  const char* heads[6] = {"Source Table", "Source Field", "Name", "Type", "Size", "Required"};
  for (int c = 0; c < 6; ++c) EXPECT_EQ(f->textMatrix(0, c), heads[c]);
  ASSERT_EQ(f->rows(), 6);
  EXPECT_EQ(f->textMatrix(1, 0), "Orders");
  EXPECT_EQ(f->textMatrix(1, 1), "OrderID");
  EXPECT_EQ(f->textMatrix(1, 2), "OrderID");
  EXPECT_EQ(f->textMatrix(1, 3), "dbLong");
  EXPECT_EQ(f->textMatrix(3, 0), "Products");
  EXPECT_EQ(f->textMatrix(5, 0), "");  // [Quantity]*[Order Details].[UnitPrice] AS LineTotal
  EXPECT_EQ(f->textMatrix(5, 1), "");
  EXPECT_EQ(f->textMatrix(5, 2), "LineTotal");
  EXPECT_EQ(win.w->grdIndexes->rows(), 1);
  EXPECT_TRUE(win.w->txtQuery->toPlainText().startsWith("SELECT Orders.OrderID, Orders.OrderDate"));
  EXPECT_FALSE(win.w->blnIsTable);
  QString sql = win.w->txtQuery->toPlainText();
  win.chooseTable("Customers");
  EXPECT_EQ(f->cols(), 4);
  EXPECT_EQ(win.w->txtQuery->toPlainText(), sql);
  EXPECT_TRUE(win.modal.messages().empty());
}

TEST(Structure, TableWithoutIndexesKeepsOnlyTheHeadings) {
  Window win;
  win.browse(plainDatabase());
  win.chooseTable("Table1");
  EXPECT_GT(win.w->grdFields->rows(), 1);
  EXPECT_EQ(win.w->grdIndexes->rows(), 1);
  EXPECT_EQ(win.w->grdIndexes->cols(), 5);
}

// ---------------------------------------------------------------- tabs

TEST(Tabs, DataTabsAreRefusedUntilAnObjectIsChosenAndTheTimerReturnsToFiles) {
  Window win;
  win.browse(sample());
  win.modal.clear();
  for (int t = 1; t <= 3; ++t) {
    win.tab(t);
    auto msgs = win.modal.messages();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].text, "Please select a Table or Query first");
    EXPECT_EQ(msgs[0].title, "Please select a Table or Query");
    EXPECT_EQ(msgs[0].buttons, app::Buttons::Ok);
    // Until the timer ticks, the files page stays shown.
    EXPECT_TRUE(win.w->pic1[0]->isVisible());
    EXPECT_FALSE(win.w->pic1[t]->isVisible());
    EXPECT_TRUE(win.w->Timer1->isActive());
    apptest::pump(700);
    EXPECT_EQ(win.w->tab1->currentIndex(), 0);
    EXPECT_FALSE(win.w->Timer1->isActive());
    EXPECT_TRUE(win.w->pic1[0]->isVisible());
    EXPECT_EQ(win.modal.messages().size(), 1u);
    win.modal.clear();
  }
}

TEST(Tabs, GridIsRefilledOnceAfterEachChoice) {
  Window win;
  win.browse(sample());
  int refreshes = 0;
  win.w->dta1.addRefreshListener([&] { ++refreshes; });
  win.chooseTable("Customers");
  win.tab(1);
  EXPECT_EQ(refreshes, 1);
  EXPECT_FALSE(win.w->blnRefillGrid);
  EXPECT_TRUE(win.w->pic1[1]->isVisible());
  EXPECT_FALSE(win.w->pic1[0]->isVisible());
  win.tab(2);
  win.tab(3);
  win.tab(1);
  EXPECT_EQ(refreshes, 1);
  win.tab(0);
  win.chooseQuery("Customers by City");
  win.tab(3);
  EXPECT_EQ(refreshes, 2);
  EXPECT_EQ(win.w->dta1.RecordSource, "Select * from [Customers by City]");
}

TEST(Tabs, ScrollBarsRunFrom1To100AndSwitchGeometryFollowsTheTabControl) {
  Window win;
  for (QScrollBar* s : {win.w->scr1, win.w->scr2}) {
    EXPECT_EQ(s->minimum(), 1);
    EXPECT_EQ(s->maximum(), 100);
    EXPECT_EQ(s->pageStep(), 10);
  }
  win.browse(sample());
  win.chooseTable("Customers");
  win.tab(2);
  const app::MainGeometry& g = win.w->geo;
  EXPECT_EQ(g.grdData.width, g.pic1[2].width - 10);
  EXPECT_EQ(g.grdData.height, g.pic1[2].height - 500);
  EXPECT_EQ(g.scr1.left, g.pic1[2].width - 250);
  EXPECT_EQ(g.scr2.height, g.pic1[2].height - 300);
  EXPECT_EQ(g.picContainer[0].width, g.pic1[2].width - 400);
  // The window's outer size in twips drives the layout.
  win.w->resize(1000, 700);
  apptest::pump();
  int W = app::pixelsToTwips(win.w->frameGeometry().width(), win.w->dpi());
  int H = app::pixelsToTwips(win.w->frameGeometry().height(), win.w->dpi());
  EXPECT_EQ(g.tab1.width, W - 150);
  EXPECT_EQ(g.tab1.height, H - 900 - 500);
  EXPECT_EQ(g.intPaneWidth, app::paneWidthFor(W));
  EXPECT_EQ(win.w->pic1[1]->width(), app::twipsToPixels(W - 250, win.w->dpi()));
  EXPECT_EQ(g.grdData.width, g.pic1[1].width - 150);
}

// ---------------------------------------------------------------- grid view

TEST(GridView, TableRowsAppearUnderTheCaption) {
  Window win;
  win.browse(sample());
  win.chooseTable("Customers");
  win.tab(1);
  EXPECT_EQ(win.w->lblTable->text(), "Current Table: Customers");
  EXPECT_EQ(win.w->dta1.RecordSource, "Select * from [Customers]");
  app::Grid* g = win.w->grdData;
  EXPECT_EQ(g->rows(), 9);
  EXPECT_EQ(g->cols(), 8);
  EXPECT_EQ(g->textMatrix(0, 0), "CustomerID");
  EXPECT_EQ(g->textMatrix(0, 7), "Notes");
  EXPECT_FALSE(g->textMatrix(1, 0).isEmpty());
  EXPECT_EQ(g->palette().color(QPalette::AlternateBase), QColor(0xC0, 0xFF, 0xC0));
  EXPECT_TRUE(g->alternatingRowColors());
  EXPECT_TRUE(win.modal.messages().empty());
}

TEST(GridView, QueryCaptionAndEmptyTableWithoutError) {
  Window win;
  win.browse(sample());
  win.chooseQuery("Active Customers");
  win.tab(1);
  EXPECT_EQ(win.w->lblTable->text(), "Current Query: Active Customers");
  EXPECT_EQ(win.w->grdData->cols(), 8);
  EXPECT_TRUE(win.modal.messages().empty());
  win.tab(0);
  win.browse(plainDatabase());
  win.chooseTable("Empty");
  win.modal.clear();
  win.tab(1);
  EXPECT_TRUE(win.modal.messages().empty());
  EXPECT_EQ(win.w->grdData->rows(), 1);
  EXPECT_EQ(win.w->grdData->cols(), 2);
  EXPECT_EQ(win.w->grdData->textMatrix(0, 1), "data");
}

TEST(GridView, AFailingStatementLeavesNoRowsOfAnotherObject) {
  Window win;
  win.browse(sample());
  win.chooseTable("Customers");
  win.tab(1);
  ASSERT_EQ(win.w->grdData->rows(), 9);
  win.tab(0);
  // The list names an object the engine does not know.
  win.chooseTable("Customers");
  win.w->grdFiles->setTextMatrix(win.w->grdFiles->row(), 0, "No Such Table");
  win.modal.clear();
  win.tab(1);
  auto msgs = win.modal.messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_TRUE(msgs[0].text.startsWith("Error  3078 ")) << msgs[0].text.toStdString();
  EXPECT_EQ(msgs[0].title, "Brackwell Glimmer");
  EXPECT_EQ(win.w->lblTable->text(), "Current Table: No Such Table");
  EXPECT_EQ(win.w->grdData->rows(), 1);
}

TEST(GridView, ColumnPickRefusesADuplicate) {
  Window win;
  win.browse(sample());
  win.chooseTable("Customers");
  apptest::doubleClick(win.w->grdFields, 2, 0);
  apptest::doubleClick(win.w->grdFields, 3, 1);
  EXPECT_EQ(win.w->grdFieldsSelectedx->rows(), 3);
  EXPECT_EQ(win.w->grdFieldsSelectedx->textMatrix(1, 0), "Name");
  EXPECT_EQ(win.w->grdFieldsSelectedx->textMatrix(2, 0), "dbText");
  EXPECT_TRUE(win.modal.messages().empty());
  apptest::doubleClick(win.w->grdFields, 2, 0);
  auto msgs = win.modal.messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].text, "Field already selected");
  EXPECT_EQ(msgs[0].title, "Already selected");
  EXPECT_EQ(win.w->grdFieldsSelectedx->rows(), 3);
  EXPECT_FALSE(win.w->grdFieldsSelectedx->isVisible());
}

// ---------------------------------------------------------------- panels

TEST(Panels, RowsAreBuiltOnceWithLabelsOperatorsAndSortLists) {
  Window win;
  win.browse(sample());
  win.chooseTable("Customers");
  win.tab(2);
  auto& rows = win.w->fieldRows;
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(win.w->intLastField, 7);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(rows[i].lbl.top, 200 + 350 * i);
    EXPECT_EQ(rows[i].txt2.top, 200 + 350 * i);
    EXPECT_EQ(rows[i].eval.top, 200 + 350 * i);
    EXPECT_EQ(rows[i].txt.left, 2000);
    EXPECT_EQ(rows[i].txt.width, win.w->geo.pic1[2].width - 2300);
    EXPECT_EQ(rows[i].txt2.left, 2700);
    EXPECT_EQ(rows[i].txt2.width, 2000);
    EXPECT_EQ(rows[i].eval.left, 2040);
  }
  // The memo Notes, last, has a taller box that keeps line breaks.
  EXPECT_TRUE(rows[7].txtField->isMultiLine());
  EXPECT_FALSE(rows[1].txtField->isMultiLine());
  EXPECT_EQ(win.w->geo.picContainer[0].height, 200 + 350 * 7 + views::FieldPanels::kMemoHeight + 15);
  EXPECT_EQ(win.w->geo.picContainer[1].height, 200 + 350 * 7 + 300);
  EXPECT_EQ(rows[0].lblField->text(), "CustomerID");
  EXPECT_EQ(rows[7].lblField2->text(), "Notes");
  QStringList ops;
  for (int k = 0; k < rows[3].cboEval->count(); ++k) ops << rows[3].cboEval->itemText(k);
  EXPECT_EQ(ops, QStringList({"=", "<", ">", "<>", ">=", "<="}));
  EXPECT_EQ(rows[3].cboEval->currentText(), "=");
  for (QComboBox* c : win.w->cboSearch) {
    ASSERT_EQ(c->count(), 8);
    EXPECT_EQ(c->itemText(0), "CustomerID");
    EXPECT_EQ(c->currentText(), "");
  }
  // The first record's values; a second visit refreshes without building.
  EXPECT_EQ(rows[0].txtField->text(),
            QString::fromStdString(dao::displayText(win.w->dta1.recordset()->valueAt(0, 0))));
  QWidget* first = rows[0].txtField;
  win.tab(3);
  win.tab(2);
  EXPECT_EQ(win.w->fieldRows.size(), 8u);
  EXPECT_EQ(win.w->fieldRows[0].txtField, first);
  // The bound boxes follow the data control's moves.
  win.w->dta1.recordset()->MoveLast();
  EXPECT_EQ(rows[0].txtField->text(),
            QString::fromStdString(dao::displayText(win.w->dta1.recordset()->valueAt(7, 0))));
  EXPECT_TRUE(win.modal.messages().empty());
}

TEST(Panels, AnotherChoiceRemovesTheRowsAndTheSortListsHoldTheNewFields) {
  Window win;
  win.browse(sample());
  win.chooseTable("Customers");
  win.tab(3);
  ASSERT_EQ(win.w->fieldRows.size(), 8u);
  QPointer<QWidget> old = win.w->fieldRows[0].txtField;
  win.tab(0);
  win.chooseQuery("Customers by City");
  EXPECT_TRUE(win.w->fieldRows.empty());
  EXPECT_EQ(win.w->intLastField, 0);
  EXPECT_TRUE(old.isNull());
  win.tab(3);
  ASSERT_EQ(win.w->fieldRows.size(), 3u);
  for (QComboBox* c : win.w->cboSearch) {
    ASSERT_EQ(c->count(), 3);
    EXPECT_EQ(c->itemText(2), "Email");
  }
}

TEST(Panels, EmptyTableStillGetsItsRowsForAFirstRecord) {
  Window win;
  win.browse(plainDatabase());
  win.chooseTable("Empty");
  win.tab(2);
  ASSERT_EQ(win.w->fieldRows.size(), 2u);
  EXPECT_EQ(win.w->fieldRows[1].lblField->text(), "data");
  EXPECT_TRUE(win.w->fieldRows[1].txtField->text().isEmpty());
  win.tab(3);
  win.tab(2);
  EXPECT_TRUE(win.modal.messages().empty());
}

TEST(Panels, NoChoiceMeansNoRowsAndTheMessage) {
  Window win;
  win.browse(sample());
  win.w->subLoadTextBoxRecord();
  auto msgs = win.modal.messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].text, "You must first select a file");
  EXPECT_EQ(msgs[0].title, "Error");
  EXPECT_TRUE(win.w->fieldRows.empty());
}

TEST(Panels, ScrollingAndFocusBringTheBoxIntoView) {
  Window win;
  win.browse(sample());
  win.chooseTable("Products");
  win.w->resize(900, 380);  // a short window: the 11 rows do not fit
  apptest::pump();
  win.tab(2);
  const app::MainGeometry& g = win.w->geo;
  const int H = g.pic1[2].height, P = g.picContainer[0].height;
  ASSERT_GT(P, H - 500);
  win.w->scr1->setValue(100);
  EXPECT_EQ(g.picContainer[0].top, app::panelTopForScroll(P, H, 100));
  EXPECT_EQ(g.picContainer[0].top + P, H - 500);
  win.w->scr1->setValue(1);
  EXPECT_EQ(g.picContainer[0].top, app::panelTopForScroll(P, H, 1));
  // Focus on the last box puts it 500 twips above the page's bottom.
  win.w->activateWindow();
  win.w->fieldRows[10].txtField->setFocus();
  apptest::pump();
  EXPECT_EQ(g.picContainer[0].top, H - win.w->fieldRows[10].txt.top - 500);
  // Focus on the first box, above the visible part: one step of 300 down.
  win.w->scr1->setValue(100);
  ASSERT_LT(rowTopOf(win, 0) + g.picContainer[0].top, 0);
  int before = g.picContainer[0].top;
  win.w->fieldRows[0].txtField->setFocus();
  apptest::pump();
  EXPECT_EQ(g.picContainer[0].top, before + 300);
  // A tab switch puts the panels back at the top.
  win.tab(3);
  EXPECT_EQ(g.picContainer[0].top, 100);
  EXPECT_EQ(g.picContainer[1].top, 100);
}
