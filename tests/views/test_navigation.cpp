// The six record and filter buttons on a database the test builds: the
// statement the filter applies (worked example, quotes in values, names with
// blanks and reserved words), moves at both ends and on an empty result, and
// the messages each failure shows.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QKeyEvent>
#include <QToolButton>

#include "app/grid/grid.h"
#include "catalogue/recordset.h"
#include "tests/views/views_support.h"
#include "views/filter_statement.h"

using viewstest::Window;

namespace {
void key(QWidget* w, int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, k, mods);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, k, mods);
  QApplication::sendEvent(w, &release);
}
}  // namespace

TEST(FilterStatement, ClauseKeepsTheShapeAndTypedTextCannotChangeItsMeaning) {
  const QString none[3] = {"", "", ""};
  EXPECT_EQ(views::filterClause({}, none), "");
  const QString sort[3] = {"City", "Age", ""};
  EXPECT_EQ(views::plainStatement("People") +
                views::filterClause({{"City", "=", "Paris"}, {"Name", "=", ""}, {"Age", ">", "30"}}, sort),
            "Select * from [People] WHERE [City] = 'Paris' and [Age] > '30' ORDER BY [City], [Age]");
  // The third key is used when the second is empty; none without the first.
  const QString firstThird[3] = {"City", "", "Age"};
  EXPECT_EQ(views::filterClause({}, firstThird), " ORDER BY [City], [Age]");
  const QString thirdOnly[3] = {"", "", "Age"};
  EXPECT_EQ(views::filterClause({}, thirdOnly), "");
  EXPECT_EQ(views::filterClause({{"Name", "<>", "x' or 'a'='a"}}, none),
            " WHERE [Name] <> 'x'' or ''a''=''a'");
  EXPECT_EQ(views::quoteValue("''"), "''''''");
}

TEST(Navigation, WorkedExampleQuotedValuesAndOddNamesFilterTheGridAndRecordPanel) {
  Window win(viewstest::peopleDatabase());
  win.chooseTable("People");
  win.tab(3);
  ASSERT_EQ(win.w->fieldRows.size(), 6u);
  win.filterOn("City", "Paris");
  win.filterOn("Age", "30", ">");
  win.w->cboSearch[0]->setCurrentText("City");
  win.w->cboSearch[1]->setCurrentText("Age");
  win.w->cmdRecord[5]->click();
  EXPECT_TRUE(win.modal.messages().empty());
  const QString applied =
      "Select * from [People] WHERE [City] = 'Paris' and [Age] > '30' ORDER BY [City], [Age]";
  EXPECT_EQ(QString::fromStdString(win.w->dta1.RecordSource), applied);
  EXPECT_EQ(win.w->txtValueToSearch->text(), applied);
  EXPECT_TRUE(win.w->txtValueToSearch->isVisibleTo(win.w->pic1[2]));
  EXPECT_FALSE(win.w->txtValueToSearch->isEnabled());
  ASSERT_EQ(win.w->grdData->rows(), 3);  // heading, Anne 41, Denis 52
  EXPECT_EQ(win.w->grdData->textMatrix(1, 1), "Anne");
  EXPECT_EQ(win.w->grdData->textMatrix(2, 1), "Denis");
  EXPECT_EQ(win.w->fieldRows[1].txtField->text(), "Anne");

  // A quote inside the value finds only the row holding exactly that text.
  win.filterOn("City", "");
  win.filterOn("Age", "");
  win.w->cboSearch[0]->setCurrentText("");
  win.w->cboSearch[1]->setCurrentText("");
  win.filterOn("Name", "x' or 'a'='a");
  win.w->cmdRecord[5]->click();
  EXPECT_TRUE(win.modal.messages().empty());
  ASSERT_EQ(win.w->grdData->rows(), 2);
  EXPECT_EQ(win.w->grdData->textMatrix(1, 1), "x' or 'a'='a");

  // Nothing matches: the message, the empty result stays; Clear Filter brings all back.
  win.filterOn("Name", "Zoe");
  win.w->cmdRecord[5]->click();
  auto msgs = win.modal.messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].text, "No records meet these resctictions");
  EXPECT_EQ(msgs[0].title, "No Records Returned");
  EXPECT_EQ(win.w->grdData->rows(), 1);
  EXPECT_EQ(win.w->txtValueToSearch->text().toStdString(),
            "Select * from [People] WHERE [Name] = 'x'' or ''a''=''a'");
  win.w->cmdRecord[4]->click();
  EXPECT_EQ(win.w->dta1.RecordSource, "Select * from [People]");
  EXPECT_EQ(win.w->grdData->rows(), 8);

  // A rejected statement: "Error N description", the text stays in RecordSource.
  win.modal.clear();
  win.filterOn("Name", "");
  win.w->cboSearch[0]->setCurrentText("NoSuchField");
  win.w->cmdRecord[5]->click();
  msgs = win.modal.messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_TRUE(msgs[0].text.startsWith("Error 3")) << msgs[0].text.toStdString();
  EXPECT_FALSE(msgs[0].text.startsWith("Error  "));
  EXPECT_EQ(msgs[0].title, "Brackwell Glimmer");
  EXPECT_EQ(win.w->dta1.RecordSource, "Select * from [People] ORDER BY [NoSuchField]");
}

TEST(Navigation, NamesWithBlanksAndReservedWordsFilterAndSort) {
  Window win(viewstest::peopleDatabase());
  win.chooseTable("Odd Names");
  win.tab(3);
  win.filterOn("First Name", "Ann Marie");
  win.w->cboSearch[0]->setCurrentText("Select");
  win.w->cmdRecord[5]->click();
  EXPECT_TRUE(win.modal.messages().empty()) << win.modal.messages()[0].text.toStdString();
  ASSERT_EQ(win.w->grdData->rows(), 2);
  EXPECT_EQ(win.w->grdData->textMatrix(1, 0), "Ann Marie");
}

TEST(Navigation, MovesAtBothEndsAreRefusedByTheEngineWithItsMessage) {
  Window win(viewstest::peopleDatabase());
  win.chooseTable("People");
  win.tab(2);
  dao::Recordset* rs = win.w->dta1.recordset();
  ASSERT_TRUE(rs);
  for (int i = 0; i < 6; ++i) {
    EXPECT_FALSE(win.w->cmdRecord[i]->toolTip().isEmpty());
    EXPECT_EQ(win.w->cmdRecord[i]->accessibleName(), win.w->cmdRecord[i]->toolTip());
  }
  EXPECT_EQ(win.w->cmdRecord[3]->toolTip(), "Last Record");
  win.w->cmdRecord[3]->click();
  EXPECT_EQ(rs->AbsolutePosition(), 6);
  EXPECT_EQ(win.w->fieldRows[1].txtField->text(), "Nobody");
  EXPECT_EQ(win.w->grdData->row(), 7);
  win.w->cmdRecord[2]->click();  // onto EOF
  EXPECT_TRUE(win.modal.messages().empty());
  win.w->cmdRecord[2]->click();  // past it: refused
  auto msgs = win.modal.messages();
  ASSERT_EQ(msgs.size(), 1u);
  EXPECT_EQ(msgs[0].text, "Error 3021 No current record.");
  EXPECT_EQ(msgs[0].title, "Brackwell Glimmer");
  win.modal.clear();
  win.w->cmdRecord[0]->click();
  EXPECT_EQ(rs->AbsolutePosition(), 0);
  EXPECT_EQ(win.w->fieldRows[1].txtField->text(), "Anne");
  win.w->cmdRecord[1]->click();  // onto BOF
  win.w->cmdRecord[1]->click();  // refused
  ASSERT_EQ(win.modal.messages().size(), 1u);
  EXPECT_EQ(win.modal.messages()[0].text, "Error 3021 No current record.");

  // On an empty result First and Last are refused the same way.
  win.modal.clear();
  win.tab(3);
  win.filterOn("Name", "Zoe");
  win.w->cmdRecord[5]->click();
  win.modal.clear();
  win.tab(2);
  win.w->cmdRecord[0]->click();
  win.w->cmdRecord[3]->click();
  msgs = win.modal.messages();
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_EQ(msgs[0].text, "Error 3021 No current record.");
  EXPECT_EQ(msgs[1].text, "Error 3021 No current record.");
}

TEST(Navigation, KeyboardMovesInTheGridMoveTheCurrentRecordAndChooseInTheLists) {
  Window win(viewstest::peopleDatabase());
  // Arrow keys in the table list choose the object as a click does.
  int people = apptest::findRow(win.w->grdFiles, "People");
  int odd = apptest::findRow(win.w->grdFiles, "Odd Names");
  ASSERT_GT(people, 0);
  ASSERT_EQ(odd + 1, people);  // name order
  apptest::click(win.w->grdFiles, odd);
    key(win.w->grdFiles, Qt::Key_Down);
  apptest::pump();
  EXPECT_EQ(win.w->currentObjectName(), "People");
  EXPECT_EQ(win.w->grdFields->textMatrix(1, 0), "ID");
  win.tab(1);
  dao::Recordset* rs = win.w->dta1.recordset();
  ASSERT_TRUE(rs);
  apptest::click(win.w->grdData, 1, 1);
  key(win.w->grdData, Qt::Key_Down);
  key(win.w->grdData, Qt::Key_Down);
  apptest::pump();
  EXPECT_EQ(rs->AbsolutePosition(), 2);
  EXPECT_EQ(dao::displayText(rs->value(1)), "Chloé");
  key(win.w->grdData, Qt::Key_End, Qt::ControlModifier);
  apptest::pump();
  EXPECT_EQ(rs->AbsolutePosition(), 6);
  win.tab(2);
  EXPECT_EQ(win.w->fieldRows[1].txtField->text(), "Nobody");
}
