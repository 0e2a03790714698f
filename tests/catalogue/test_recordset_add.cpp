// Records added, changed and removed through a recordset: afterwards it
// stands on the record stored (or, after a removal, where it was) and gives, by every move and by position, exactly the rows that
// opening the statement again gives. A table read in stored order keeps the
// rows it holds and places the new one among them; these cases check that
// place against a fresh reading (and the rows kept after a change or a
// removal), including rows landing on a page in the
// middle of the table and changes made behind the recordset's back.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "catalogue/dao.h"
#include "catalogue/recordset.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/table_writer.h"
#include "sql/action.h"
#include "sql/recordset.h"
#include "support/test_support.h"

namespace {

// A table T (ID counter, Name text, Qty long) of rows rows; names nameLen
// characters long, so that long names give few rows a page.
std::string makeTable(int rows, size_t nameLen) {
  const std::string path = testsupport::tempDir() + "/added.mdb";
  jet::createDatabase(path);
  auto db = jet::Database::open(path);
  jet::createTable(*db, {"T",
                         {jet::autoNumberSpec("ID"), jet::columnSpec("Name", jet::DataType::Text, 255),
                          jet::columnSpec("Qty", jet::DataType::Long)},
                         {jet::primaryKeySpec("ID")}});
  jet::TableWriter w(*db, "T");
  jet::ChangeScope change(*db);
  for (int i = 0; i < rows; ++i) {
    std::string name = "row" + std::to_string(i);
    name.resize(std::max(name.size(), nameLen), static_cast<char>('a' + i % 26));
    w.insert({jet::Value(), jet::Value::text(name), jet::Value::longInt(i % 100)});
  }
  change.commit();
  return path;
}

// The current record as text: its address, then every value shown.
std::string currentText(dao::Recordset& rs) {
  std::string s = std::to_string(rs.cursor().rowId().packed());
  for (int c = 0; c < rs.fieldCount(); ++c) s += "|" + dao::displayText(rs.value(c));
  return s;
}

std::vector<std::string> forward(dao::Recordset& rs) {
  std::vector<std::string> out;
  if (rs.BOF() && rs.EOF_()) return out;
  for (rs.MoveFirst(); !rs.EOF_(); rs.MoveNext()) out.push_back(currentText(rs));
  return out;
}

std::vector<std::string> backward(dao::Recordset& rs) {
  std::vector<std::string> out;
  if (rs.BOF() && rs.EOF_()) return out;
  for (rs.MoveLast(); !rs.BOF(); rs.MovePrevious()) out.push_back(currentText(rs));
  std::reverse(out.begin(), out.end());
  return out;
}

// The rows as the data grid reads them, by position.
std::vector<std::string> byPosition(dao::Recordset& rs) {
  std::vector<std::string> out;
  for (int64_t i = 0; rs.rowExists(i); ++i) {
    std::string s = std::to_string(rs.cursor().rowIdAt(static_cast<size_t>(i)).packed());
    for (int c = 0; c < rs.fieldCount(); ++c) s += "|" + dao::displayText(rs.valueAt(i, c));
    out.push_back(s);
  }
  return out;
}

// Stores a new record named name; checks that the recordset stands on it.
// Returns its position.
int64_t saveNew(dao::Recordset& rs, const std::string& name, int qty) {
  rs.AddNew();
  rs.setValue(rs.fieldIndex("Name"), jet::Value::text(name));
  rs.setValue(rs.fieldIndex("Qty"), jet::Value::longInt(qty));
  rs.Update();
  EXPECT_FALSE(rs.LastModified().empty());
  EXPECT_EQ(rs.Bookmark(), rs.LastModified());
  EXPECT_EQ(dao::displayText(rs.value(rs.fieldIndex("Name"))), name);
  return rs.AbsolutePosition();
}

// The recordset gives the rows of the statement opened afresh, by every way
// of reading them, and still stands where it stood.
void expectFresh(dao::Database& db, dao::Recordset& rs, const std::string& why) {
  SCOPED_TRACE(why);
  const std::string at = rs.hasCurrent() ? rs.Bookmark() : std::string();
  dao::Recordset fresh(db, rs.source());
  const auto want = forward(fresh);
  EXPECT_EQ(rs.countAll(), static_cast<int64_t>(want.size()));
  EXPECT_EQ(rs.RecordCount(), static_cast<int64_t>(want.size()));
  EXPECT_EQ(byPosition(rs), want);
  EXPECT_EQ(forward(rs), want);
  EXPECT_EQ(backward(rs), want);
  if (!at.empty()) rs.setBookmark(at);
}

}  // namespace

TEST(RecordsetAdd, NewRecordsAtTheEndOfATableInStoredOrder) {
  const std::string path = makeTable(300, 0);
  auto db = dao::DBEngine::OpenDatabase(path);
  dao::Recordset rs(*db, "Select * from [T]");
  ASSERT_TRUE(rs.cursor().walksPages());
  rs.MoveLast();
  const sql::Recordset* held = &rs.cursor();
  for (int i = 0; i < 6; ++i) {
    const int64_t at = saveNew(rs, "added " + std::to_string(i), 1000 + i);
    EXPECT_EQ(at, 300 + i);
    EXPECT_EQ(rs.RecordCount(), 301 + i);
    expectFresh(*db, rs, "after record " + std::to_string(i));
  }
  // The rows were kept and the new ones placed, not read again.
  EXPECT_EQ(&rs.cursor(), held);
  // and they are in the file
  db.reset();
  auto again = dao::DBEngine::OpenDatabase(path);
  dao::Recordset check(*again, "Select * from [T] WHERE [Name] Like 'added*'");
  EXPECT_EQ(check.countAll(), 6);
}

TEST(RecordsetAdd, NewRecordOnAPageFreedInTheMiddle) {
  // Long names: a few rows a page, so that the table spans many pages.
  const std::string path = makeTable(300, 200);
  auto db = dao::DBEngine::OpenDatabase(path);
  dao::Recordset rs(*db, "Select * from [T]");
  ASSERT_TRUE(rs.cursor().walksPages());
  // Empty a page in the middle: it leaves the table and becomes free.
  const uint32_t middle = rs.cursor().rowIdAt(150).page;
  ASSERT_NE(middle, rs.cursor().rowIdAt(299).page);
  int removed = 0;
  for (int64_t i = 0; rs.rowExists(i);) {
    if (rs.cursor().rowIdAt(static_cast<size_t>(i)).page != middle) {
      ++i;
      continue;
    }
    rs.setAbsolutePosition(i);
    rs.Delete();
    ++removed;
  }
  ASSERT_GT(removed, 1);
  expectFresh(*db, rs, "after the deletes");
  rs.MoveLast();
  const std::string longName(200, 'n');
  bool inMiddle = false;
  for (int i = 0; i < 40; ++i) {
    const int64_t at = saveNew(rs, longName + std::to_string(i), i);
    inMiddle = inMiddle || at < rs.RecordCount() - 1;
    EXPECT_EQ(rs.RecordCount(), 300 - removed + i + 1);
    expectFresh(*db, rs, "after record " + std::to_string(i));
  }
  // The freed page was taken again by a new record.
  EXPECT_TRUE(inMiddle);
}

TEST(RecordsetAdd, FilteredAndSortedRecordsets) {
  const std::string path = makeTable(300, 0);
  auto db = dao::DBEngine::OpenDatabase(path);
  struct Case {
    const char* statement;
    int kept, leftOut;  // a Qty the result shows, one it does not
  };
  for (const Case& c : {Case{"Select * from [T] WHERE [Qty] < 20 ORDER BY [Name] DESC", 5, 70},
                        Case{"Select * from [T] ORDER BY [Qty], [ID]", 5, 70},
                        Case{"Select * from [T] WHERE [Qty] >= 50", 60, 7}}) {
    SCOPED_TRACE(c.statement);
    dao::Recordset rs(*db, c.statement);
    rs.MoveLast();
    saveNew(rs, "m kept", c.kept);
    expectFresh(*db, rs, "kept record");
    // A record the filter leaves out: the recordset stands near where it was.
    rs.AddNew();
    rs.setValue(rs.fieldIndex("Name"), jet::Value::text("m left out"));
    rs.setValue(rs.fieldIndex("Qty"), jet::Value::longInt(c.leftOut));
    rs.Update();
    expectFresh(*db, rs, "record left out");
  }
}

TEST(RecordsetAdd, ChangesBehindTheRecordsetAreSeen) {
  const std::string path = makeTable(300, 0);
  auto db = dao::DBEngine::OpenDatabase(path);
  dao::Recordset rs(*db, "Select * from [T]");
  rs.MoveLast();
  {
    // Another recordset removes a row and adds one.
    dao::Recordset other(*db, "Select * from [T]");
    other.setAbsolutePosition(100);
    other.Delete();
    other.MoveLast();
    saveNew(other, "from elsewhere", 1);
  }
  saveNew(rs, "mine", 2);
  expectFresh(*db, rs, "after the other recordset's changes");
  // A change left open around the save: the rows are read again.
  rs.MoveLast();
  {
    jet::ChangeScope outer(db->engine());
    saveNew(rs, "inside a change", 3);
    outer.commit();
  }
  expectFresh(*db, rs, "after the enclosing change");
  saveNew(rs, "after it", 4);
  expectFresh(*db, rs, "after a later record");
}

TEST(RecordsetAdd, FixtureTablesWithDeletedAndMovedRows) {
  SKIP_WITHOUT_SHARED();
  struct Case {
    const char* file;
    const char* table;
  };
  for (const Case& c : {Case{"jet4/overflowTestV2000.mdb", "Table1"}, Case{"jet3/delTestV1997.mdb", "Table"},
                        Case{"jet4/delTestV2000.mdb", "Table"}}) {
    SCOPED_TRACE(c.file);
    const std::string path = testsupport::copyToTemp(testsupport::fixture(c.file));
    auto db = dao::DBEngine::OpenDatabase(path);
    dao::Recordset rs(*db, std::string("Select * from [") + c.table + "]");
    int text = -1;
    for (int i = 0; i < rs.fieldCount() && text < 0; ++i)
      if (rs.fieldUpdatable(i) && rs.Fields()[static_cast<size_t>(i)].Type == 10) text = i;
    ASSERT_GE(text, 0);
    rs.MoveLast();
    const int64_t before = rs.RecordCount();
    for (int i = 0; i < 4; ++i) {
      rs.AddNew();
      rs.setValue(text, jet::Value::text("n" + std::to_string(i)));
      rs.Update();
      EXPECT_EQ(rs.Bookmark(), rs.LastModified());
      EXPECT_EQ(dao::displayText(rs.value(text)), "n" + std::to_string(i));
      EXPECT_EQ(rs.RecordCount(), before + i + 1);
      expectFresh(*db, rs, "after record " + std::to_string(i));
    }
  }
}

TEST(RecordsetAdd, ChangedAndRemovedRecordsKeepTheRowsInStoredOrder) {
  const std::string path = makeTable(300, 200);
  auto db = dao::DBEngine::OpenDatabase(path);
  dao::Recordset rs(*db, "Select * from [T]");
  rs.MoveLast();
  const sql::Recordset* held = &rs.cursor();
  const int name = rs.fieldIndex("Name");
  // Longer names move rows out of their full pages, shorter ones keep them.
  for (int64_t row : {0, 150, 151, 299, 7}) {
    rs.setAbsolutePosition(row);
    rs.Edit();
    const std::string changed = std::string(row % 2 ? 250 : 3, 'c') + std::to_string(row);
    rs.setValue(name, jet::Value::text(changed));
    rs.Update();
    EXPECT_EQ(rs.AbsolutePosition(), row);
    EXPECT_EQ(rs.Bookmark(), rs.LastModified());
    EXPECT_EQ(dao::displayText(rs.value(name)), changed);
    expectFresh(*db, rs, "changed row " + std::to_string(row));
  }
  // Removals: first, middle, last; the recordset stands where the record was.
  for (int64_t row : {0, 120, 297}) {
    rs.setAbsolutePosition(row);
    rs.Delete();
    EXPECT_EQ(testsupport::errorOf([&] { rs.value(name); }), 3021);
    rs.MoveNext();
    expectFresh(*db, rs, "removed row " + std::to_string(row));
    EXPECT_EQ(rs.AbsolutePosition(), std::min<int64_t>(row, rs.RecordCount() - 1));
    rs.MoveLast();
  }
  EXPECT_EQ(rs.RecordCount(), 297);
  EXPECT_EQ(&rs.cursor(), held);
  saveNew(rs, "after the changes", 1);
  expectFresh(*db, rs, "record after the changes");
  // Every record removed, one at a time.
  dao::Recordset all(*db, "Select * from [T]");
  while (all.countAll() > 0) {
    all.MoveLast();
    all.Delete();
  }
  EXPECT_TRUE(all.BOF() && all.EOF_());
  expectFresh(*db, all, "empty table");
  saveNew(all, "alone", 1);
  expectFresh(*db, all, "one record");
}

TEST(RecordsetAdd, CascadeToTheTablesOwnRows) {
  // Removing a parent removes its children in the same table: the rows are
  // read again rather than one dropped.
  const std::string path = testsupport::tempDir() + "/self.mdb";
  jet::createDatabase(path);
  {
    auto db = jet::Database::open(path);
    sql::runAction(*db, "CREATE TABLE P (ID LONG PRIMARY KEY, Parent LONG REFERENCES P (ID) ON DELETE CASCADE, "
                        "Name TEXT(50))");
    sql::runAction(*db, "INSERT INTO P VALUES (1, Null, 'root')");
    for (int i = 2; i <= 40; ++i)
      sql::runAction(*db, "INSERT INTO P VALUES (" + std::to_string(i) + ", " + std::to_string(i % 3 ? 1 : i - 1) +
                              ", 'n" + std::to_string(i) + "')");
  }
  auto db = dao::DBEngine::OpenDatabase(path);
  dao::Recordset rs(*db, "Select * from [P]");
  rs.MoveLast();
  rs.setAbsolutePosition(4);
  ASSERT_EQ(dao::displayText(rs.value(0)), "5");  // the parent of 6
  rs.Delete();
  rs.MoveNext();
  expectFresh(*db, rs, "after the cascade");
  EXPECT_EQ(rs.RecordCount(), 38);
  rs.MoveFirst();
  rs.Delete();
  expectFresh(*db, rs, "after removing the root");
  EXPECT_EQ(rs.RecordCount(), 0);
}
