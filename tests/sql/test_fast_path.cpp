// Recordsets over a whole table that find their rows by walking the table's
// data pages: they must give the same rows, RowIds, counts, bookmarks and
// moves as the same statement read through its plan, on real files with
// moved (overflow) rows and deleted rows, and on a created table larger than
// the cache of decoded rows.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "jet/create.h"
#include "jet/database.h"
#include "jet/dump.h"
#include "jet/error.h"
#include "jet/table_writer.h"
#include "sql/engine.h"
#include "sql/parser.h"
#include "support/test_support.h"

using jet::DataType;
using jet::Value;

using testsupport::errorOf;

namespace {

std::unique_ptr<sql::Recordset> openWith(jet::Database& db, const std::string& stmt, bool walk) {
  sql::QueryP q = sql::parseStatement(stmt);
  sql::Plan p = sql::planQuery(db, *q, {});
  return std::make_unique<sql::Recordset>(db, std::move(p), sql::Recordset::kDefaultKeepBytes, walk);
}

std::string line(std::span<const Value> r) {
  std::string s;
  for (size_t i = 0; i < r.size(); ++i) {
    if (i) s.push_back('|');
    s += jet::dumpCell(r[i]);
  }
  return s;
}

// Every row, RowId and count agree between the page walk and the plan.
// Adds the number of rows to *total when given.
void expectSameRows(jet::Database& db, const std::string& stmt, size_t* total = nullptr) {
  SCOPED_TRACE(stmt);
  auto plan = openWith(db, stmt, false);
  auto walk = openWith(db, stmt, true);
  ASSERT_FALSE(plan->walksPages());
  ASSERT_TRUE(walk->walksPages());
  ASSERT_EQ(walk->fieldCount(), plan->fieldCount());
  EXPECT_EQ(walk->bof(), plan->bof());
  EXPECT_EQ(walk->eof(), plan->eof());
  EXPECT_EQ(walk->recordCount(), plan->recordCount());
  size_t n = plan->fetchAll();
  ASSERT_EQ(walk->fetchAll(), n);
  for (size_t i = 0; i < n; ++i) {
    ASSERT_EQ(line(walk->row(i)), line(plan->row(i))) << "row " << i;
    ASSERT_EQ(walk->rowIdAt(i), plan->rowIdAt(i)) << "row " << i;
  }
  // and again from the end, after the cache has been used
  for (size_t i = n; i-- > 0;) EXPECT_EQ(line(walk->row(i)), line(plan->row(i))) << "row " << i;
  if (total) *total += n;
}

// Moves, positions and bookmarks agree between the two.
void expectSameMoves(jet::Database& db, const std::string& stmt) {
  SCOPED_TRACE(stmt);
  auto plan = openWith(db, stmt, false);
  auto walk = openWith(db, stmt, true);
  auto same = [&](const char* where) {
    SCOPED_TRACE(where);
    EXPECT_EQ(walk->bof(), plan->bof());
    EXPECT_EQ(walk->eof(), plan->eof());
    EXPECT_EQ(walk->position(), plan->position());
    EXPECT_EQ(walk->recordCount(), plan->recordCount());
    EXPECT_EQ(walk->fullyFetched(), plan->fullyFetched());
    if (!plan->bof() && !plan->eof()) {
      EXPECT_EQ(line(walk->current()), line(plan->current()));
      EXPECT_EQ(walk->bookmark(), plan->bookmark());
      EXPECT_EQ(walk->rowId(), plan->rowId());
    } else {
      EXPECT_EQ(errorOf([&] { walk->current(); }), 3021);
    }
  };
  same("opened");
  if (plan->bof() && plan->eof()) {
    EXPECT_EQ(errorOf([&] { walk->moveFirst(); }), 3021);
    EXPECT_EQ(errorOf([&] { walk->moveLast(); }), 3021);
    EXPECT_EQ(errorOf([&] { walk->moveNext(); }), 3021);
    return;
  }
  plan->moveNext();
  walk->moveNext();
  same("moveNext");
  plan->moveLast();
  walk->moveLast();
  same("moveLast");
  auto mark = walk->bookmark();
  plan->moveNext();
  walk->moveNext();
  same("past the last row");
  EXPECT_EQ(errorOf([&] { walk->moveNext(); }), 3021);
  plan->movePrevious();
  walk->movePrevious();
  same("back to the last row");
  plan->moveFirst();
  walk->moveFirst();
  same("moveFirst");
  plan->movePrevious();
  walk->movePrevious();
  same("before the first row");
  EXPECT_EQ(errorOf([&] { walk->movePrevious(); }), 3021);
  walk->setBookmark(mark);
  plan->setBookmark(mark);
  same("bookmark of the last row");
  EXPECT_EQ(errorOf([&] { walk->setBookmark(static_cast<int64_t>(walk->recordCount())); }), 3159);
  EXPECT_EQ(errorOf([&] { walk->setBookmark(-1); }), 3159);
}

// RowIds whose bytes live on another page (rows moved when they grew).
size_t movedRows(jet::Database& db, sql::Recordset& rs) {
  size_t moved = 0;
  for (size_t i = 0; rs.fetchTo(i + 1); ++i) {
    jet::RowId id = rs.rowIdAt(i);
    jet::PageRef holder;
    jet::ByteView bytes;
    if (jet::readRow(db.pager(), *rs.baseDef(), id, holder, bytes) && holder != db.pager().page(id.page)) ++moved;
  }
  return moved;
}

// Row slots on the table's pages that hold no live row.
size_t emptySlots(jet::Database& db, sql::Recordset& rs) {
  std::map<uint32_t, size_t> live;
  rs.fetchAll();
  for (size_t i = 0; i < rs.recordCount(); ++i) ++live[rs.rowIdAt(i).page];
  size_t empty = 0;
  for (const auto& [page, n] : live) empty += jet::view(db.pager().page(page)).u16(db.format().offDataRowCount) - n;
  return empty;
}

}  // namespace

TEST(PageWalk, ChosenForPlainReadsOfOneTableOnly) {
  SKIP_WITHOUT_SHARED();
  auto db = jet::Database::open(testsupport::fixture("jet4/indexTestV2000.mdb"));
  auto walks = [&](const std::string& stmt) { return sql::openRecordset(*db, stmt)->walksPages(); };
  EXPECT_TRUE(walks("Select * from [Table1]"));
  EXPECT_TRUE(walks(sql::selectAllFrom("Table1")));
  EXPECT_TRUE(walks("SELECT data, id FROM Table1"));
  EXPECT_TRUE(walks("SELECT t.id AS Ident, t.* FROM Table1 AS t"));
  EXPECT_FALSE(walks("SELECT * FROM Table1 WHERE id > 1"));
  EXPECT_FALSE(walks("SELECT * FROM Table1 ORDER BY data"));
  EXPECT_FALSE(walks("SELECT TOP 2 * FROM Table1"));
  EXPECT_FALSE(walks("SELECT DISTINCT data FROM Table1"));
  EXPECT_FALSE(walks("SELECT id * 2 FROM Table1"));
  EXPECT_FALSE(walks("SELECT Count(*) FROM Table1"));
  EXPECT_FALSE(walks("SELECT data FROM Table1 GROUP BY data"));
  EXPECT_FALSE(walks("SELECT Table1.id FROM Table1 INNER JOIN Table2 ON Table1.otherfk1 = Table2.id"));
  EXPECT_FALSE(walks("SELECT * FROM (SELECT * FROM Table1) AS d"));
  EXPECT_FALSE(walks("SELECT * FROM Table1 UNION SELECT * FROM Table1"));
}

TEST(PageWalk, SameRowsAndMovesAsThePlanOnRealFiles) {
  SKIP_WITHOUT_SHARED();
  struct Case {
    const char* file;
    const char* table;
  };
  for (const Case& c : {Case{"jet4/overflowTestV2000.mdb", "Table1"}, Case{"jet3/delTestV1997.mdb", "Table"},
                        Case{"jet4/delTestV2000.mdb", "Table"}, Case{"jet4/testV2000.mdb", ""},
                        Case{"jet3/testV1997.mdb", ""}, Case{"jet4/delColTestV2000.mdb", ""},
                        Case{"jet4/bigIndexTestV2000.mdb", ""}}) {
    SCOPED_TRACE(c.file);
    auto db = jet::Database::open(testsupport::fixture(c.file));
    std::vector<std::string> names;
    if (*c.table) names.push_back(c.table);
    else
      for (const auto* e : db->tables(false))
        if (e->kind == jet::ObjectKind::Table) names.push_back(e->name);
    ASSERT_FALSE(names.empty());
    for (const auto& name : names) {
      size_t rows = 0;
      expectSameRows(*db, sql::selectAllFrom(name), &rows);
      if (*c.table) {
        EXPECT_GT(rows, 0u);
      }
      expectSameMoves(*db, sql::selectAllFrom(name));
    }
  }
}

TEST(PageWalk, MovedRowsAndDeletedRowsOfTheFixtures) {
  SKIP_WITHOUT_SHARED();
  {
    auto db = jet::Database::open(testsupport::fixture("jet4/overflowTestV2000.mdb"));
    auto rs = sql::openRecordset(*db, "Select * from [Table1]");
    ASSERT_TRUE(rs->walksPages());
    EXPECT_GT(movedRows(*db, *rs), 0u) << "the file was chosen for its moved rows";
  }
  {
    auto db = jet::Database::open(testsupport::fixture("jet3/delTestV1997.mdb"));
    auto rs = sql::openRecordset(*db, "Select * from [Table]");
    ASSERT_TRUE(rs->walksPages());
    // the independent reader sees as many rows
    if (testsupport::haveCommand("mdb-export")) {
      std::string out;
      ASSERT_EQ(testsupport::run("mdb-export -H '" + testsupport::fixture("jet3/delTestV1997.mdb") + "' Table",
                                 &out), 0);
      size_t lines = 0;
      for (char ch : out) lines += ch == '\n';
      EXPECT_EQ(rs->fetchAll(), lines);
    }
  }
}

TEST(PageWalk, CreatedTableLargerThanTheRowCache) {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"Many",
                         {jet::autoNumberSpec("ID"), jet::columnSpec("Name", DataType::Text, 255),
                          jet::columnSpec("Note", DataType::Memo)},
                         {}});
  jet::createTable(*db, {"Empty", {jet::autoNumberSpec("ID")}, {}});

  std::vector<jet::RowId> ids;
  {
    jet::TableWriter w(*db, "Many");
    for (int i = 0; i < 9000; ++i)
      ids.push_back(w.insert({Value(), Value::text("n" + std::to_string(i)),
                              i % 10 == 0 ? Value::memo(std::string(300 + i % 7, 'm')) : Value()}));
    for (size_t i = 0; i < ids.size(); i += 7) w.remove(ids[i]);
    // rows that grow past their page's free space move elsewhere
    for (size_t i = 1; i < 400; i += 3)
      if (i % 7 != 0)
        w.update(ids[i], {Value(), Value::text(std::string(250, 'g') + std::to_string(i)), Value()});
  }
  expectSameRows(*db, "Select * from [Many]");
  expectSameRows(*db, "SELECT Note, ID FROM Many");
  expectSameMoves(*db, "Select * from [Many]");
  expectSameMoves(*db, "Select * from [Empty]");

  auto rs = sql::openRecordset(*db, "Select * from [Many]");
  ASSERT_TRUE(rs->walksPages());
  EXPECT_EQ(rs->recordCount(), 1u) << "rows are found as they are needed";
  rs->moveLast();
  EXPECT_EQ(rs->recordCount(), 9000u - (9000u + 6) / 7);
  EXPECT_GT(movedRows(*db, *rs), 0u);
  EXPECT_GT(emptySlots(*db, *rs), 0u);
  auto empty = sql::openRecordset(*db, "Select * from [Empty]");
  EXPECT_TRUE(empty->walksPages());
  EXPECT_TRUE(empty->bof() && empty->eof());
  EXPECT_EQ(empty->recordCount(), 0u);
}

TEST(PageWalk, EveryTableOfEveryFixture) {
  SKIP_WITHOUT_SHARED();
  size_t tables = 0;
  for (const auto& rel : testsupport::allFixtures()) {
    SCOPED_TRACE(rel);
    auto db = testsupport::openFixture(rel);
    if (!db) continue;
    for (const auto* e : db->tables(false)) {
      if (e->kind != jet::ObjectKind::Table) continue;
      const std::string stmt = sql::selectAllFrom(e->name);
      int planError = errorOf([&] { openWith(*db, stmt, false)->fetchAll(); });
      int walkError = errorOf([&] { openWith(*db, stmt, true)->fetchAll(); });
      EXPECT_EQ(walkError, planError) << e->name;
      if (planError) continue;
      expectSameRows(*db, stmt);
      ++tables;
    }
  }
  EXPECT_GT(tables, 20u);
}
