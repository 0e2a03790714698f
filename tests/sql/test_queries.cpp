// Queries over the fixture databases (made by the product), with expected
// rows worked out by hand from the fixtures' expected dumps.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "jet/database.h"
#include "jet/dump.h"
#include "jet/error.h"
#include "sql/engine.h"
#include "sql/parser.h"
#include "support/test_support.h"

using jet::Value;

namespace {

std::unique_ptr<jet::Database> openFixture(const std::string& rel) {
  return jet::Database::open(testsupport::fixture(rel));
}

// Header line then rows, cells in the dump format joined by TAB.
std::vector<std::string> rows(jet::Database& db, const std::string& stmt, const sql::Params& p = {}) {
  std::string text = sql::runToText(db, stmt, p);
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    out.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return out;
}

std::vector<std::string> body(jet::Database& db, const std::string& stmt, const sql::Params& p = {}) {
  auto r = rows(db, stmt, p);
  r.erase(r.begin());
  return r;
}

int errorOf(jet::Database& db, const std::string& stmt, const sql::Params& p = {}) {
  try {
    auto rs = sql::openRecordset(db, stmt, p);
    rs->fetchAll();
  } catch (const jet::Error& e) {
    return e.number();
  }
  return 0;
}

using Lines = std::vector<std::string>;

}  // namespace

class IndexTestDb : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_SHARED();
    db = openFixture("jet4/indexTestV2000.mdb");
  }
  std::unique_ptr<jet::Database> db;
};

TEST_F(IndexTestDb, JoinsOfEachKind) {
  EXPECT_EQ(rows(*db, "SELECT t1.id, t3.data FROM Table1 AS t1 INNER JOIN Table3 AS t3 ON t1.otherfk2 = t3.id ORDER BY t1.id"),
            (Lines{"id\tdata", "0\tbar10", "1\tbar11", "2\tbar11", "3\tbar13"}));
  EXPECT_EQ(body(*db, "SELECT Table3.id, Table1.id FROM Table3 LEFT JOIN Table1 ON Table3.id = Table1.otherfk2 "
                      "ORDER BY Table3.id, Table1.id"),
            (Lines{"10\t0", "11\t1", "11\t2", "12\tNULL", "13\t3"}));
  EXPECT_EQ(body(*db, "SELECT Table3.id, Table1.id FROM Table1 RIGHT JOIN Table3 ON Table1.otherfk2 = Table3.id "
                      "ORDER BY Table3.id, Table1.id"),
            (Lines{"10\t0", "11\t1", "11\t2", "12\tNULL", "13\t3"}));
}

TEST_F(IndexTestDb, CommaJoinAndCrossProduct) {
  auto r = body(*db, "SELECT Table1.data, Table2.data FROM Table1, Table2 WHERE Table1.otherfk1 = Table2.id");
  std::sort(r.begin(), r.end());
  EXPECT_EQ(r, (Lines{"baz0\tfoo0", "baz11\tfoo1", "baz11-2\tfoo1", "baz13\tfoo2"}));
  EXPECT_EQ(body(*db, "SELECT Count(*) FROM Table1, Table2, Table3"), (Lines{"48"}));
  // a join condition that is not an equality
  EXPECT_EQ(body(*db, "SELECT Count(*) FROM Table1 INNER JOIN Table2 ON Table1.otherfk1 < Table2.id"), (Lines{"4"}));
  // Nulls never match in a join
  EXPECT_EQ(body(*db, "SELECT Count(*) FROM Table1 AS a INNER JOIN Table1 AS b ON IIf(a.id > 1, Null, a.id) = b.id"),
            (Lines{"2"}));
}

TEST_F(IndexTestDb, GroupingWithEveryAggregate) {
  EXPECT_EQ(rows(*db, "SELECT otherfk1, Count(*) AS n, Count(data) AS c, Sum(id) AS s, Avg(id) AS a, Min(data) AS mn, "
                      "Max(data) AS mx, First(data) AS f, Last(data) AS l FROM Table1 GROUP BY otherfk1"),
            (Lines{"otherfk1\tn\tc\ts\ta\tmn\tmx\tf\tl", "0\t1\t1\t0\t0\tbaz0\tbaz0\tbaz0\tbaz0",
                   "1\t2\t2\t3\t1.5\tbaz11\tbaz11-2\tbaz11\tbaz11-2", "2\t1\t1\t3\t3\tbaz13\tbaz13\tbaz13\tbaz13"}));
  // ids 0..3: mean 1.5, squared deviations 2.25+0.25+0.25+2.25 = 5
  auto r = body(*db, "SELECT Var(id), VarP(id), StDev(id), StDevP(id) FROM Table1");
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0], "1.6666666666666667\t1.25\t1.2909944487358056\t1.1180339887498949");
  EXPECT_EQ(body(*db, "SELECT Var(id), StDev(id) FROM Table1 WHERE id = 2"), (Lines{"NULL\tNULL"}));
  // no rows: Count is 0, the others Null
  EXPECT_EQ(body(*db, "SELECT Count(*), Sum(id), Max(data) FROM Table1 WHERE id > 100"), (Lines{"0\tNULL\tNULL"}));
  EXPECT_EQ(body(*db, "SELECT otherfk1 FROM Table1 GROUP BY otherfk1 HAVING Count(*) > 1"), (Lines{"1"}));
  EXPECT_EQ(errorOf(*db, "SELECT otherfk1, data FROM Table1 GROUP BY otherfk1"), 3122);
  auto rs = sql::openRecordset(*db, "SELECT Count(*) AS n, Sum(id) AS s, otherfk1 & 'x' AS t, id > 1 AS b FROM Table1 "
                                    "GROUP BY otherfk1 & 'x', id > 1");
  EXPECT_EQ(rs->columns()[0].type, jet::DataType::Long);
  EXPECT_EQ(rs->columns()[1].type, jet::DataType::Long);
  EXPECT_EQ(rs->columns()[2].type, jet::DataType::Text);
  EXPECT_EQ(rs->columns()[3].type, jet::DataType::Boolean);
  EXPECT_FALSE(rs->updatable());
}

TEST_F(IndexTestDb, SubqueriesAndExists) {
  EXPECT_EQ(body(*db, "SELECT id FROM Table3 WHERE id In (SELECT otherfk2 FROM Table1) ORDER BY id"),
            (Lines{"10", "11", "13"}));
  EXPECT_EQ(body(*db, "SELECT id FROM Table3 WHERE id Not In (SELECT otherfk2 FROM Table1)"), (Lines{"12"}));
  EXPECT_EQ(body(*db, "SELECT t3.id FROM Table3 AS t3 WHERE Not Exists (SELECT * FROM Table1 WHERE Table1.otherfk2 = t3.id)"),
            (Lines{"12"}));
  EXPECT_EQ(body(*db, "SELECT id, (SELECT Count(*) FROM Table1 WHERE Table1.otherfk2 = Table3.id) AS n FROM Table3"),
            (Lines{"10\t1", "11\t2", "12\t0", "13\t1"}));
  EXPECT_EQ(body(*db, "SELECT data FROM Table2 WHERE id = (SELECT Max(otherfk1) FROM Table1)"), (Lines{"foo2"}));
  EXPECT_EQ(body(*db, "SELECT Count(*) FROM (SELECT DISTINCT otherfk1 FROM Table1) AS d"), (Lines{"3"}));
  EXPECT_EQ(body(*db, "SELECT x.data FROM [SELECT * FROM Table2 WHERE id > 0]. AS x ORDER BY x.data DESC"),
            (Lines{"foo2", "foo1"}));
}

TEST_F(IndexTestDb, DistinctTopUnion) {
  EXPECT_EQ(body(*db, "SELECT DISTINCT otherfk2 FROM Table1"), (Lines{"10", "11", "13"}));
  EXPECT_EQ(body(*db, "SELECT TOP 2 id FROM Table1 ORDER BY otherfk1"), (Lines{"0", "1", "2"}));  // ties come along
  EXPECT_EQ(body(*db, "SELECT TOP 1 id FROM Table1 ORDER BY otherfk1 DESC, id"), (Lines{"3"}));
  EXPECT_EQ(body(*db, "SELECT TOP 50 PERCENT id FROM Table1 ORDER BY id DESC"), (Lines{"3", "2"}));
  EXPECT_EQ(body(*db, "SELECT id FROM Table2 UNION SELECT otherfk1 FROM Table1"), (Lines{"0", "1", "2"}));
  EXPECT_EQ(body(*db, "SELECT id FROM Table2 UNION ALL SELECT otherfk1 FROM Table1 ORDER BY id DESC"),
            (Lines{"2", "2", "1", "1", "1", "0", "0"}));
  EXPECT_EQ(rows(*db, "SELECT data AS d FROM Table2 WHERE id = 0 UNION SELECT data FROM Table3 WHERE id = 10 ORDER BY d"),
            (Lines{"d", "bar10", "foo0"}));
  EXPECT_EQ(errorOf(*db, "SELECT id FROM Table2 UNION SELECT id, data FROM Table3"), 3307);
}

TEST_F(IndexTestDb, Crosstab) {
  // rows: otherfk1, columns: otherfk2, values: Count(id)
  EXPECT_EQ(rows(*db, "TRANSFORM Count(id) AS n SELECT otherfk1 FROM Table1 GROUP BY otherfk1 PIVOT otherfk2"),
            (Lines{"otherfk1\t10\t11\t13", "0\t1\tNULL\tNULL", "1\tNULL\t2\tNULL", "2\tNULL\tNULL\t1"}));
  EXPECT_EQ(rows(*db, "TRANSFORM Sum(id) SELECT otherfk1, Count(*) AS total FROM Table1 GROUP BY otherfk1 "
                      "PIVOT 'k' & otherfk2 In ('k11', 'k99')"),
            (Lines{"otherfk1\ttotal\tk11\tk99", "0\t1\tNULL\tNULL", "1\t2\t3\tNULL", "2\t1\tNULL\tNULL"}));
}

TEST_F(IndexTestDb, IndexLookupsAndRanges) {
  auto rs = sql::openRecordset(*db, "SELECT * FROM Table3 WHERE id = 12");
  ASSERT_FALSE(rs->planNotes().empty());
  EXPECT_EQ(rs->planNotes()[0].rfind("index", 0), 0u) << rs->planNotes()[0];
  EXPECT_EQ(jet::dumpCell(rs->value(1)), "bar12");
  EXPECT_EQ(body(*db, "SELECT data FROM Table3 WHERE id Between 11 And 12"), (Lines{"bar11", "bar12"}));
  EXPECT_EQ(body(*db, "SELECT data FROM Table3 WHERE id > 11"), (Lines{"bar12", "bar13"}));
  EXPECT_EQ(body(*db, "SELECT data FROM Table3 WHERE id < 11"), (Lines{"bar10"}));
  EXPECT_EQ(body(*db, "SELECT data FROM Table3 WHERE id >= '12' And id <= 12.5"), (Lines{"bar12"}));
  EXPECT_EQ(body(*db, "SELECT data FROM Table1 WHERE otherfk1 = 1 ORDER BY data DESC"), (Lines{"baz11-2", "baz11"}));
  EXPECT_EQ(body(*db, "SELECT data FROM Table3 WHERE id = 99"), (Lines{}));
}

TEST_F(IndexTestDb, ResultColumnsAndUpdatability) {
  auto rs = sql::openRecordset(*db, "SELECT t.id AS Ident, data, id * 2 FROM Table1 AS t");
  const auto& c = rs->columns();
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0].name, "Ident");
  EXPECT_EQ(c[0].sourceTable, "Table1");
  EXPECT_EQ(c[0].sourceField, "id");
  EXPECT_EQ(c[0].type, jet::DataType::Long);
  EXPECT_EQ(c[0].size, 4);
  EXPECT_EQ(c[1].size, 50);
  EXPECT_EQ(c[2].name, "Expr1002");  // named after its place in the list
  EXPECT_EQ(c[2].sourceTable, "");
  EXPECT_EQ(c[2].type, jet::DataType::Long);
  EXPECT_FALSE(rs->updatable());  // a computed column
  EXPECT_THROW(rs->rowId(), jet::Error);

  auto plain = sql::openRecordset(*db, "Select * from [Table1] WHERE data Like 'baz1*' ORDER BY data");
  EXPECT_TRUE(plain->updatable());
  EXPECT_EQ(plain->baseTable(), "Table1");
  EXPECT_TRUE(plain->rowId().valid());
  auto join = sql::openRecordset(*db, "SELECT Table1.id FROM Table1 INNER JOIN Table2 ON Table1.otherfk1 = Table2.id");
  EXPECT_FALSE(join->updatable());
  try {
    join->rowId();
    FAIL();
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), 3027);
  }
  // duplicate names are qualified with their table
  auto both = sql::openRecordset(*db, "SELECT * FROM Table2 INNER JOIN Table3 ON Table2.id + 10 = Table3.id");
  ASSERT_EQ(both->columns().size(), 4u);
  EXPECT_EQ(both->columns()[0].name, "Table2.id");
  EXPECT_EQ(both->columns()[3].name, "Table3.data");
}

TEST_F(IndexTestDb, CursorMoves) {
  auto rs = sql::openRecordset(*db, "SELECT id FROM Table3 ORDER BY id");
  EXPECT_FALSE(rs->bof());
  EXPECT_FALSE(rs->eof());
  EXPECT_EQ(rs->value(0).asInt(), 10);
  rs->movePrevious();  // not an error: moves to BOF
  EXPECT_TRUE(rs->bof());
  try {
    rs->movePrevious();
    FAIL() << "a second step before the first record";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), 3021);
    EXPECT_STREQ(e.what(), "No current record.");
  }
  EXPECT_THROW(rs->current(), jet::Error);
  rs->moveNext();
  EXPECT_EQ(rs->value(0).asInt(), 10);
  auto mark = rs->bookmark();
  rs->moveLast();
  EXPECT_EQ(rs->value(0).asInt(), 13);
  EXPECT_EQ(rs->recordCount(), 4u);
  rs->moveNext();
  EXPECT_TRUE(rs->eof());
  EXPECT_THROW(rs->moveNext(), jet::Error);
  rs->movePrevious();
  EXPECT_EQ(rs->value(0).asInt(), 13);
  rs->setBookmark(mark);
  EXPECT_EQ(rs->value(0).asInt(), 10);
  rs->moveFirst();
  EXPECT_EQ(rs->value(0).asInt(), 10);

  auto empty = sql::openRecordset(*db, "SELECT id FROM Table3 WHERE id < 0");
  EXPECT_TRUE(empty->bof());
  EXPECT_TRUE(empty->eof());
  EXPECT_EQ(empty->recordCount(), 0u);
  for (auto move : {&sql::Recordset::moveFirst, &sql::Recordset::moveLast, &sql::Recordset::moveNext,
                    &sql::Recordset::movePrevious}) {
    try {
      ((*empty).*move)();
      FAIL();
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.number(), 3021);
    }
  }
}

class AssetDb : public ::testing::Test {
 protected:
  void SetUp() override {
    SKIP_WITHOUT_SHARED();
    db = openFixture("ace/ASampleDatabase.accdb");
  }
  std::unique_ptr<jet::Database> db;
};

TEST_F(AssetDb, FilterStatements) {
  // The worked example's shape: names without brackets, quoted values
  // against numbers and dates, sorted by two keys.
  auto r = body(*db, "Select * from [Asset Items] WHERE Owner = 'sales' and Warranty > '12' ORDER BY Owner, [Asset No]");
  ASSERT_EQ(r.size(), 3u);  // 30071, 30090, 30108: Sales with a 24-month warranty
  EXPECT_EQ(r[0].substr(0, 5), "30071");
  EXPECT_EQ(r[2].substr(0, 5), "30108");
  EXPECT_EQ(errorOf(*db, "Select * from [Asset Items] WHERE Warranty > 'twelve'"), 3464);
  EXPECT_EQ(body(*db, "SELECT Count(*) FROM [Asset Items] WHERE Acquired = '1997-09-02'"), (Lines{"4"}));
  EXPECT_EQ(body(*db, "SELECT Count(*) FROM [Asset Items] WHERE Acquired < #1/1/1998#"), (Lines{"4"}));
  EXPECT_EQ(body(*db, "SELECT Count(*) FROM [Asset Items] WHERE Model Like '220zx'"), body(*db, "SELECT Count(*) FROM [Asset Items] WHERE Model = '220ZX'"));
  EXPECT_EQ(body(*db, "SELECT Count(*) FROM [Asset Items] WHERE Model = '220ZX'"), (Lines{"6"}));  // 220ZX once, 220zx five times
  // a value holding a quote, as the filter writes it (doubled here so it parses)
  EXPECT_EQ(body(*db, "Select * from [Asset Items] WHERE Make = 'O''Neil'"), (Lines{}));
  // the unescaped quote of the filter is a syntax error, reported as such
  EXPECT_EQ(errorOf(*db, "Select * from [Asset Items] WHERE Make = 'O'Neil'"), 3075);
  EXPECT_EQ(errorOf(*db, "Select * from [No Such Table]"), 3078);
  EXPECT_EQ(errorOf(*db, "Select * from [Asset Items] WHERE Colour = 'red'"), 3061);
  EXPECT_EQ(body(*db, "Select Count(*) from [Asset Items] WHERE Colour = 'red' Or True", {{"Colour", Value::text("x")}}),
            (Lines{"65"}));
}

TEST_F(AssetDb, SavedQueriesRun) {
  auto r = rows(*db, "Select * from [qryCostsSummedByOwner]");
  ASSERT_GT(r.size(), 2u);
  EXPECT_EQ(r[0], "Owner\tAsset Category\tSumOfCost");
  auto rs = sql::openRecordset(*db, "Select * from [qryCostsSummedByOwner]");
  EXPECT_EQ(rs->columns()[2].type, jet::DataType::Currency);
  EXPECT_EQ(rs->columns()[0].sourceTable, "Asset Items");
  EXPECT_EQ(rs->columns()[0].sourceField, "Owner");
  EXPECT_EQ(rs->columns()[2].sourceField, "");
  auto gst = sql::openRecordset(*db, "Select * from [qryGSTCalculations]");
  EXPECT_EQ(gst->columns()[5].name, "Ex Tax");
  EXPECT_EQ(gst->columns()[5].type, jet::DataType::Double);
  EXPECT_EQ(gst->columns()[1].sourceTable, "Asset Items");
  auto hw = sql::openRecordset(*db, "Select * from [qryComputerHardwareInOwnerOrder]");
  EXPECT_TRUE(hw->updatable());
  hw->fetchAll();
  std::string prev;
  for (size_t i = 0; i < hw->recordCount(); ++i) {
    std::string owner = hw->row(i)[1].bytes();
    EXPECT_LE(prev, owner);
    prev = owner;
  }
}

TEST(FixtureQueries, EverySavedSelectUnionAndCrosstabParsesAndRuns) {
  SKIP_WITHOUT_SHARED();
  int ran = 0, protectedOpened = 0;
  for (const auto& rel : testsupport::allFixtures()) {
    // The protected fixtures open with their password, so their saved
    // queries run too.
    const bool protectedFile = rel.find("with-password") != std::string::npos;
    std::unique_ptr<jet::Database> db;
    try {
      jet::OpenOptions opts;
      if (protectedFile) opts.password = "password";
      db = jet::Database::open(testsupport::fixture(rel), opts);
    } catch (const jet::Error& e) {
      if (protectedFile) ADD_FAILURE() << rel << ": " << e.number() << " " << e.what();
      continue;
    }
    if (protectedFile) {
      ++protectedOpened;
      // These files hold no saved queries: each table's rows through the
      // query engine, as many as its pages hold.
      for (const auto* e : db->tables(false)) {
        if (e->kind != jet::ObjectKind::Table) continue;
        SCOPED_TRACE(rel + ": " + e->name);
        size_t stored = 0;
        for (auto scan = db->scan(e->name); scan->next();) ++stored;
        try {
          auto rs = sql::openRecordset(*db, sql::selectAllFrom(e->name));
          EXPECT_EQ(rs->fetchAll(), stored);
          ++ran;
        } catch (const jet::Error& ex) {
          ADD_FAILURE() << ex.number() << " " << ex.what();
        }
      }
    }
    for (const auto& q : db->queries()) {
      SCOPED_TRACE(rel + ": " + q.name);
      std::string printed;
      try {
        printed = sql::toSql(*sql::parseStatement(q.sql));
        EXPECT_EQ(sql::toSql(*sql::parseStatement(printed)), printed);
      } catch (const jet::Error& e) {
        ADD_FAILURE() << "parse: " << e.what() << "\n" << q.sql << "\nprinted:\n" << printed;
        continue;
      }
      if (q.typeName != "SELECT" && q.typeName != "UNION" && q.typeName != "CROSS_TAB") {
        EXPECT_EQ(errorOf(*db, sql::selectAllFrom(q.name)), jet::err::kNotSupported);
        continue;
      }
      try {
        auto rs = sql::openRecordset(*db, sql::selectAllFrom(q.name));
        rs->fetchAll();
        ++ran;
      } catch (const jet::Error& e) {
        ADD_FAILURE() << e.number() << " " << e.what();
      }
    }
  }
  EXPECT_GE(ran, 10);
  EXPECT_GE(protectedOpened, 3);
}

TEST_F(AssetDb, SortSpillsToDiskAndMergesInOrder) {
  // A memory budget of one byte writes every row to its own run; the merge
  // must give the same order as the in-memory sort, stable for equal keys.
  auto def = db->table("Asset Items");
  int owner = def->findColumn("Owner"), cost = def->findColumn("Cost"), no = def->findColumn("Asset No");
  auto collect = [&](size_t limit) {
    auto op = sql::makeSort(sql::makeTableScan(*db, def, nullptr, std::nullopt),
                            {{static_cast<size_t>(owner), false}, {static_cast<size_t>(cost), true}}, sql::collationOf(db.get()), limit);
    op->open(nullptr);
    std::vector<std::string> out;
    sql::Row r;
    while (op->next(r))
      out.push_back(r.v[static_cast<size_t>(owner)].bytes() + "|" + jet::dumpCell(r.v[static_cast<size_t>(cost)]) + "|" +
                    r.v[static_cast<size_t>(no)].bytes() + "|" + std::to_string(r.rid.page));
    return out;
  };
  auto inMemory = collect(64u << 20);
  auto spilled = collect(1);
  ASSERT_EQ(inMemory.size(), 65u);
  EXPECT_EQ(spilled, inMemory);
  EXPECT_EQ(inMemory.front().substr(0, 17), "Admin & Accounts|");
}

TEST_F(IndexTestDb, ParametersSuppliedByTheCaller) {
  const std::string q = "PARAMETERS [Min Id] Long; SELECT data FROM Table3 WHERE id >= [Min Id] ORDER BY id";
  EXPECT_EQ(errorOf(*db, q), 3061);
  try {
    sql::openRecordset(*db, "SELECT [A] + [B] FROM Table3");
  } catch (const jet::Error& e) {
    EXPECT_STREQ(e.what(), "Too few parameters. Expected 2.");
  }
  // a value given as text is converted to the declared type
  EXPECT_EQ(body(*db, q, {{"Min Id", sql::paramFromText("12")}}), (Lines{"bar12", "bar13"}));
  EXPECT_EQ(body(*db, "SELECT DISTINCTROW data FROM Table3 WHERE data Like [pat]", {{"PAT", sql::paramFromText("*1?")}}),
            (Lines{"bar10", "bar11", "bar12", "bar13"}));
  EXPECT_EQ(body(*db, "SELECT id FROM Table3 WHERE id = [Forms]![Main]![Pick]", {{"Forms!Main!Pick", Value::longInt(11)}}),
            (Lines{"11"}));
}
