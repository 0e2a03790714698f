// The editing buttons on databases the test builds: button states and each
// handler's message form, Add / Save New / Update / Delete stored through the
// journal, a refused Save New keeping what was typed, read-only files and
// results, and unchanged saves leaving every value as it was.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <filesystem>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#include <tuple>

#include "app/grid/grid.h"
#include "catalogue/field_text.h"
#include "catalogue/recordset.h"
#include "jet/database.h"
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
bool browsing(Window& win) {
  return !win.w->cmdAddNew->isHidden() && win.w->cmdSaveNew->isHidden() && !win.w->cmdUpdate->isHidden() &&
         !win.w->cmdDelete->isHidden();
}
bool adding(Window& win) {
  return win.w->cmdAddNew->isHidden() && !win.w->cmdSaveNew->isHidden() && win.w->cmdUpdate->isHidden() &&
         win.w->cmdDelete->isHidden();
}
int64_t countRows(const std::string& file, const std::string& where) {
  auto db = dao::DBEngine::OpenDatabase(file);
  dao::Recordset rs(*db, "Select * from [People]" + where);
  return rs.countAll();
}
}  // namespace

TEST(FieldText, TypedTextBecomesTheFieldsTypeAndBadTextIsRefusedWithItsNumber) {
  using jet::DataType;
  EXPECT_TRUE(dao::valueFromText("", static_cast<int16_t>(DataType::Long)).isNull());
  EXPECT_TRUE(dao::valueFromText("  ", static_cast<int16_t>(DataType::Double)).isNull());
  EXPECT_EQ(dao::valueFromText("42", static_cast<int16_t>(DataType::Long)).asInt(), 42);
  EXPECT_EQ(dao::displayText(dao::valueFromText("Yes", static_cast<int16_t>(DataType::Boolean))), "True");
  EXPECT_EQ(dao::displayText(dao::valueFromText("False", static_cast<int16_t>(DataType::Boolean))), "False");
  EXPECT_EQ(dao::displayText(dao::valueFromText("12.3456", static_cast<int16_t>(DataType::Currency))), "12.3456");
  EXPECT_EQ(dao::displayText(dao::valueFromText("-1.50", static_cast<int16_t>(DataType::Decimal))), "-1.5");
  EXPECT_EQ(dao::valueFromText(" a b ", static_cast<int16_t>(DataType::Text)).bytes(), " a b ");
  auto d = dao::valueFromText("3/4/2021 10:11:12 PM", static_cast<int16_t>(DataType::DateTime));
  EXPECT_EQ(dao::displayText(d), "3/4/2021 10:11:12 PM");
  for (auto [text, type, number] : {std::tuple{"abc", DataType::Long, 3421}, {"99999", DataType::Integer, 3349},
                                   {"maybe", DataType::Boolean, 3421}, {"1.2.3", DataType::Decimal, 3421},
                                   {"not a date", DataType::DateTime, 3421}}) {
    try {
      dao::valueFromText(text, static_cast<int16_t>(type));
      ADD_FAILURE() << text;
    } catch (const dao::Error& e) {
      EXPECT_EQ(e.number(), number) << text;
    }
  }
}

TEST(Editing, AddSaveUpdateDeleteStoreThroughTheRecordPanelWithTheirButtonStates) {
  std::string file = viewstest::peopleDatabase();
  {
    Window win(file);
    win.chooseTable("People");
    win.tab(2);
    ASSERT_TRUE(browsing(win));
    EXPECT_TRUE(box(win, "ID")->isReadOnly());
    EXPECT_EQ(win.w->cmdDelete->accessibleName(), "Delete Record");
    win.w->cmdAddNew->click();
    EXPECT_TRUE(adding(win));
    EXPECT_EQ(box(win, "Name")->text(), "");
    box(win, "Name")->setText("Zoé");
    box(win, "City")->setText("Nice");
    box(win, "Age")->setText("abc");  // refused: the typed values stay
    win.w->cmdSaveNew->click();
    auto msgs = win.modal.messages();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].text, "Error  3421 Data type conversion error.");
    EXPECT_EQ(msgs[0].title, "Brackwell Glimmer");
    EXPECT_TRUE(adding(win));
    EXPECT_EQ(box(win, "Name")->text(), "Zoé");
    box(win, "Age")->setText("33");
    win.modal.clear();
    win.w->cmdSaveNew->click();
    EXPECT_TRUE(win.modal.messages().empty()) << win.modal.messages()[0].text.toStdString();
    EXPECT_TRUE(browsing(win));
    EXPECT_EQ(box(win, "Name")->text(), "Zoé");
    EXPECT_EQ(box(win, "Age")->text(), "33");
    EXPECT_EQ(box(win, "ID")->text(), "8");
    EXPECT_EQ(win.w->grdData->rows(), 9);
    EXPECT_EQ(win.w->grdData->textMatrix(win.w->grdData->row(), 1), "Zoé");

    // A memo keeps the line breaks typed into its box.
    ASSERT_TRUE(box(win, "Notes")->isMultiLine());
    EXPECT_EQ(box(win, "Notes")->text(), "");
    box(win, "Notes")->setText("first\nsecond");
    win.w->cmdUpdate->click();
    EXPECT_TRUE(win.modal.messages().empty());
    EXPECT_EQ(box(win, "Notes")->text(), "first\nsecond");

    // Update Changes: only the edited box is written.
    box(win, "City")->setText("Nice Ville");
    win.w->cmdUpdate->click();
    EXPECT_TRUE(win.modal.messages().empty());
    EXPECT_EQ(box(win, "City")->text(), "Nice Ville");
    EXPECT_EQ(win.w->grdData->textMatrix(win.w->grdData->row(), 2), "Nice Ville");

    // Delete Record: at once; a second one without moving is refused.
    win.w->cmdRecord[0]->click();
    win.w->cmdDelete->click();
    EXPECT_TRUE(win.modal.messages().empty());
    EXPECT_EQ(win.w->grdData->rows(), 8);
    win.w->cmdDelete->click();
    msgs = win.modal.messages();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].text, "Error  3021 - No current record.");
    win.modal.clear();
    win.w->cmdRecord[2]->click();  // the record after the deleted one
    EXPECT_EQ(box(win, "Name")->text(), "Bruno");
  }
  // Stored for good: another opening sees the same rows, the file checks clean.
  EXPECT_EQ(countRows(file, ""), 7);
  EXPECT_EQ(countRows(file, " WHERE [City] = 'Nice Ville' and [Age] = 33"), 1);
  EXPECT_EQ(countRows(file, " WHERE [Notes] = 'first' & Chr(10) & 'second'"), 1);
  EXPECT_EQ(countRows(file, " WHERE [Name] = 'Anne'"), 0);
  std::string cli = testsupport::binDir() + "/glimmer-cli";
  if (std::filesystem::exists(cli)) {
    EXPECT_EQ(std::system((cli + " check '" + file + "' >/dev/null 2>&1").c_str()), 0);
  }
}

TEST(Editing, AddNewAndUpdateOnAResultThatCannotBeUpdatedAreRefusedAndNothingChanges) {
  std::string file = viewstest::peopleDatabase();
  std::string before = testsupport::readFile(file);
  {
    Window win(file);
    win.chooseQuery("qryCities");
    win.tab(2);
    ASSERT_FALSE(win.w->fieldRows.empty());
    win.w->cmdAddNew->click();
    auto msgs = win.modal.messages();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_TRUE(msgs[0].text.startsWith("Error 3027 ")) << msgs[0].text.toStdString();
    EXPECT_TRUE(browsing(win));
    win.modal.clear();
    win.w->fieldRows[0].txtField->setText("Rome");
    win.w->cmdUpdate->click();
    msgs = win.modal.messages();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_TRUE(msgs[0].text.startsWith("Error  3027 ")) << msgs[0].text.toStdString();
    win.modal.clear();
    win.w->cmdDelete->click();
    msgs = win.modal.messages();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_TRUE(msgs[0].text.startsWith("Error  3027 - ")) << msgs[0].text.toStdString();
  }
  EXPECT_EQ(testsupport::readFile(file), before);
}

TEST(Editing, UpdateWithoutAnEditLeavesEveryValueAsItWas) {
  std::string file = viewstest::peopleDatabase();
  auto dumpOf = [&] {
    auto db = dao::DBEngine::OpenDatabase(file);
    dao::Recordset rs(*db, "Select * from [People]");
    std::string out;
    for (int64_t r = 0; rs.rowExists(r); ++r)
      for (int c = 0; c < rs.fieldCount(); ++c) out += dao::displayText(rs.valueAt(r, c)) + "|";
    return out;
  };
  const std::string before = dumpOf();
  {
    Window win(file);
    win.chooseTable("People");
    win.tab(2);
    for (int i = 0; i < 7; ++i) {
      win.w->cmdUpdate->click();
      win.w->cmdRecord[2]->click();
    }
    EXPECT_TRUE(win.modal.messages().empty()) << win.modal.messages()[0].text.toStdString();
  }
  EXPECT_EQ(dumpOf(), before);
}

namespace {
// Add New and Update Changes on a database the engine holds read-only: both
// report 3027, the buttons stay in the browse state and the file is unchanged.
void expectRefusedEdits(const std::string& file) {
  const std::string before = testsupport::readFile(file);
  {
    Window win(file);
    win.chooseTable("People");
    win.tab(2);
    ASSERT_FALSE(win.w->fieldRows.empty());
    win.w->cmdAddNew->click();
    auto msgs = win.modal.messages();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_TRUE(msgs[0].text.startsWith("Error 3027 ")) << msgs[0].text.toStdString();
    EXPECT_TRUE(browsing(win));
    win.modal.clear();
    box(win, "City")->setText("Rome");
    win.w->cmdUpdate->click();
    msgs = win.modal.messages();
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_TRUE(msgs[0].text.startsWith("Error  3027 ")) << msgs[0].text.toStdString();
    EXPECT_TRUE(browsing(win));
  }
  EXPECT_EQ(testsupport::readFile(file), before);
}
}  // namespace

TEST(Editing, AReadOnlyFileRefusesAddNewAndUpdateWithoutWriting) {
  std::string file = viewstest::peopleDatabase();
  std::filesystem::permissions(file, std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                         std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
  // Also as a user the system lets write it anyway (root): the mode is kept.
  expectRefusedEdits(file);
}

TEST(Editing, AFileLockedByAnotherWriterRefusesAddNewAndUpdateWithoutWriting) {
  std::string file = viewstest::peopleDatabase();
  // Another program holds the file open for writing (a child process, so the
  // lock is another process's).
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(fds[0]);
    auto db = jet::Database::open(file);
    const char ready = db->readOnly() ? 'r' : 'w';
    if (::write(fds[1], &ready, 1) != 1) ::_exit(2);
    ::pause();
    ::_exit(0);
  }
  ::close(fds[1]);
  char ready = 0;
  ASSERT_EQ(::read(fds[0], &ready, 1), 1);
  ::close(fds[0]);
  EXPECT_EQ(ready, 'w');
  expectRefusedEdits(file);
  ::kill(child, SIGTERM);
  ::waitpid(child, nullptr, 0);
}
