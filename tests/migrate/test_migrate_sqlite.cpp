// Migrations into SQLite: every fixture and databases made by the engine,
// read back with libsqlite3 and compared value for value with the source;
// indexes, foreign keys, views, auto-number counters; refusal of existing
// tables; a failure part-way leaves the target as it was.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "jet/create.h"
#include "jet/error.h"
#include "jet/sample.h"
#include "jet/table_writer.h"
#include "migrate/errors.h"
#include "migrate/migrate.h"
#include "migrate/translate.h"
#include "readback.h"
#include "support/test_support.h"

using namespace migratetest;

namespace {

struct Lite {
  sqlite3* db = nullptr;
  explicit Lite(const std::string& path) { sqlite3_open(path.c_str(), &db); }
  ~Lite() { sqlite3_close(db); }
  // Every row of a query, cells as text (nullptr-free: "\x01NULL" for Null).
  std::vector<std::vector<std::string>> rows(const std::string& sql, std::string* err = nullptr) {
    std::vector<std::vector<std::string>> out;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      if (err) *err = sqlite3_errmsg(db);
      return out;
    }
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
      std::vector<std::string> r;
      for (int i = 0; i < sqlite3_column_count(st); ++i) {
        const char* t = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
        r.push_back(t ? std::string(t, sqlite3_column_bytes(st, i)) : "\x01NULL");
      }
      out.push_back(r);
    }
    if (rc != SQLITE_DONE && err) *err = sqlite3_errmsg(db);
    sqlite3_finalize(st);
    return out;
  }
  std::string one(const std::string& sql) {
    auto r = rows(sql);
    return r.empty() || r[0].empty() ? "" : r[0][0];
  }
};

std::string q(const std::string& n) { return migrate::quoteIdent(n); }

migrate::Summary toSqlite(jet::Database& db, const std::string& path, migrate::Options o = {}) {
  auto t = migrate::openTarget("sqlite:" + path, "");
  return migrate::migrateDatabase(db, *t, o);
}

std::unique_ptr<jet::Database> openRead(const std::string& path, const std::string& pw = "") {
  jet::OpenOptions o;
  o.readOnly = true;
  o.password = pw;
  return jet::Database::open(path, o);
}

// Each carried table's rows in the target equal the source's, value for value.
void expectSameRows(jet::Database& db, Lite& lite, const migrate::Plan& plan, const std::string& what) {
  for (const auto& t : plan.tables) {
    std::string cols;
    for (size_t i = 0; i < t.columns.size(); ++i) cols += (i ? ", " : "") + q(t.columns[i].name);
    std::vector<std::string> got;
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(lite.db, ("SELECT " + cols + " FROM " + q(t.name)).c_str(), -1, &st, nullptr),
              SQLITE_OK) << what << ": " << sqlite3_errmsg(lite.db);
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::vector<jet::Value> row;
      for (size_t i = 0; i < t.columns.size(); ++i) {
        const jet::Column& c = *t.columns[i].column;
        int k = static_cast<int>(i);
        bool null = sqlite3_column_type(st, k) == SQLITE_NULL;
        jet::DataType ty = c.type;
        if (!null && (ty == jet::DataType::Single || ty == jet::DataType::Double)) {
          double d = sqlite3_column_double(st, k);
          row.push_back(ty == jet::DataType::Single ? jet::Value::single(static_cast<float>(d)) : jet::Value::dbl(d));
          continue;
        }
        const char* txt = null ? nullptr
                          : ty == jet::DataType::Binary || ty == jet::DataType::OLE
                              ? static_cast<const char*>(sqlite3_column_blob(st, k))
                              : reinterpret_cast<const char*>(sqlite3_column_text(st, k));
        size_t len = static_cast<size_t>(sqlite3_column_bytes(st, k));
        if (!txt && !null) txt = "";  // empty, not Null
        row.push_back(fromText(c, txt, len, false));
      }
      got.push_back(dumpRow(row));
    }
    sqlite3_finalize(st);
    std::vector<std::string> want = expectedRows(db, t);
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    ASSERT_EQ(got.size(), want.size()) << what << " table " << t.name;
    for (size_t r = 0; r < got.size(); ++r) {
      if (got[r] == want[r]) continue;
      size_t at = 0;
      while (at < got[r].size() && at < want[r].size() && got[r][at] == want[r][at]) ++at;
      size_t from = at > 60 ? at - 60 : 0;
      ADD_FAILURE() << what << " table " << t.name << " row " << r << " differs at " << at << ": got ..."
                    << got[r].substr(from, 120) << " want ..." << want[r].substr(from, 120);
    }
  }
}

}  // namespace

TEST(MigrateSqlite, EveryFixtureReadsBackEqual) {
  SKIP_WITHOUT_SHARED();
  int migrated = 0;
  for (const auto& rel : testsupport::allFixtures()) {
    std::string pw = rel.find("with-password") != std::string::npos ? "password" : "";
    std::unique_ptr<jet::Database> db;
    try {
      db = openRead(testsupport::fixture(rel), pw);
    } catch (const jet::Error& e) {
      continue;  // formats the engine cannot open yet are the reader's tests' business
    }
    std::string out = testsupport::tempDir() + "/out.db";
    migrate::Summary sum;
    ASSERT_NO_THROW(sum = toSqlite(*db, out)) << rel;
    ++migrated;
    migrate::Plan plan = migrate::buildPlan(*db, {});
    Lite lite(out);
    expectSameRows(*db, lite, plan, rel);
    size_t fks = 0, indexes = 0;
    for (const auto& t : plan.tables) {
      fks += lite.rows("PRAGMA foreign_key_list(" + q(t.name) + ")").size();
      // Named indexes plus the primary key (kept as the row id or the table's key).
      for (const auto& r : lite.rows("PRAGMA index_list(" + q(t.name) + ")")) indexes += r[3] != "pk";
      if (t.primaryIndex >= 0) ++indexes;
    }
    EXPECT_EQ(indexes, sum.indexes) << rel;
    size_t fkColumns = 0;
    for (const auto& fk : plan.foreignKeys) fkColumns += fk.columns.size();
    EXPECT_EQ(fks, fkColumns) << rel;
    EXPECT_EQ(lite.one("PRAGMA foreign_key_check"), "") << rel;
    auto views = lite.rows("SELECT name FROM sqlite_master WHERE type = 'view'");
    EXPECT_EQ(views.size(), sum.views) << rel;
    for (const auto& v : views) {
      std::string err;
      lite.rows("SELECT * FROM " + q(v[0]), &err);
      EXPECT_EQ(err, "") << rel << " view " << v[0];
    }
  }
  EXPECT_GT(migrated, 30);
}

TEST(MigrateSqlite, RelationshipsBecomeForeignKeysWithTheirRules) {
  SKIP_WITHOUT_SHARED();
  auto db = openRead(testsupport::fixture("jet4/indexTestV2000.mdb"));
  std::string out = testsupport::tempDir() + "/fk.db";
  migrate::Summary sum = toSqlite(*db, out);
  EXPECT_EQ(sum.foreignKeys, 2u);
  Lite lite(out);
  std::string all;
  for (const auto& t : lite.rows("SELECT name FROM sqlite_master WHERE type = 'table'"))
    for (const auto& r : lite.rows("PRAGMA foreign_key_list(" + q(t[0]) + ")"))
      all += t[0] + "->" + r[2] + "(" + r[3] + "=" + r[4] + ") " + r[5] + "/" + r[6] + ";";
  // One relationship cascades updates, the other deletes.
  EXPECT_EQ(all, "Table1->Table3(otherfk2=id) CASCADE/NO ACTION;Table1->Table2(otherfk1=id) NO ACTION/CASCADE;");
  EXPECT_EQ(lite.one("PRAGMA foreign_key_check"), "");
  // The constraints work once a connection turns them on.
  sqlite3_exec(lite.db, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
  EXPECT_NE(sqlite3_exec(lite.db, "INSERT INTO Table1 (otherfk1) VALUES (987654)", nullptr, nullptr, nullptr), SQLITE_OK);
}

TEST(MigrateSqlite, SampleCarriesKeysCountersDefaultsAndViews) {
  std::string dir = testsupport::tempDir();
  jet::createSampleDatabase(dir + "/s.mdb");
  auto db = openRead(dir + "/s.mdb");
  migrate::Summary sum = toSqlite(*db, dir + "/s.db");
  EXPECT_EQ(sum.tables, 4u);
  EXPECT_EQ(sum.rows, 73u);
  EXPECT_EQ(sum.views, 3u);
  migrate::Plan plan = migrate::buildPlan(*db, {});
  Lite lite(dir + "/s.db");
  expectSameRows(*db, lite, plan, "sample");
  // Types, keys, directions.
  EXPECT_NE(lite.one("SELECT sql FROM sqlite_master WHERE name = 'Customers'").find("\"CustomerID\" INTEGER PRIMARY KEY AUTOINCREMENT"),
            std::string::npos);
  EXPECT_NE(lite.one("SELECT sql FROM sqlite_master WHERE name = 'Order Details'").find("PRIMARY KEY (\"OrderID\", \"ProductID\")"),
            std::string::npos);
  EXPECT_EQ(lite.one("SELECT \"unique\" FROM pragma_index_list('Products') WHERE name = 'Products_ProductName'"), "1");
  EXPECT_EQ(lite.one("SELECT desc FROM pragma_index_xinfo('Orders_OrderDate') WHERE cid >= 0"), "1");
  // The counter continues from the source's next value.
  const auto& customers = *std::find_if(plan.tables.begin(), plan.tables.end(),
                                        [](const auto& t) { return t.name == "Customers"; });
  EXPECT_EQ(lite.one("SELECT seq FROM sqlite_sequence WHERE name = 'Customers'"),
            std::to_string(customers.lastAutoNumber));
  // Views run and give the source query's rows.
  EXPECT_EQ(lite.rows("SELECT * FROM \"Order Lines\"").size(), 39u);
  EXPECT_EQ(lite.one("SELECT count(*) FROM \"Active Customers\""),
            lite.one("SELECT count(*) FROM Customers WHERE Active"));
}

TEST(MigrateSqlite, ExistingTablesAreRefusedUnlessReplaced) {
  std::string dir = testsupport::tempDir();
  jet::createSampleDatabase(dir + "/s.mdb");
  auto db = openRead(dir + "/s.mdb");
  {
    Lite lite(dir + "/t.db");
    sqlite3_exec(lite.db, "CREATE TABLE Orders (x); INSERT INTO Orders VALUES (42); CREATE TABLE Mine (y)", nullptr,
                 nullptr, nullptr);
  }
  try {
    toSqlite(*db, dir + "/t.db");
    FAIL() << "migrating over an existing table succeeded";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), migrate::err::kTableExists);
    EXPECT_NE(std::string(e.what()).find("Orders"), std::string::npos);
  }
  {
    Lite lite(dir + "/t.db");
    EXPECT_EQ(lite.one("SELECT group_concat(name) FROM sqlite_master"), "Orders,Mine");
    EXPECT_EQ(lite.one("SELECT x FROM Orders"), "42");
  }
  migrate::Options o;
  o.replace = true;
  migrate::Summary sum = toSqlite(*db, dir + "/t.db", o);
  Lite lite(dir + "/t.db");
  EXPECT_EQ(lite.one("SELECT count(*) FROM Orders"), "20");
  EXPECT_EQ(lite.one("SELECT count(*) FROM sqlite_master WHERE name = 'Mine'"), "1");
  // Again with --replace: the views are replaced too.
  EXPECT_NO_THROW(toSqlite(*db, dir + "/t.db", o));
}

TEST(MigrateSqlite, FailurePartWayLeavesTargetAsItWas) {
  std::string dir = testsupport::tempDir();
  jet::createSampleDatabase(dir + "/s.mdb");
  auto db = openRead(dir + "/s.mdb");
  {
    Lite lite(dir + "/t.db");
    sqlite3_exec(lite.db, "CREATE TABLE Mine (y); INSERT INTO Mine VALUES ('kept')", nullptr, nullptr, nullptr);
  }
  migrate::Options o;
  o.beforeRow = [](const std::string& table, uint64_t row) {
    if (table == "Orders" && row == 7) throw jet::Error(migrate::err::kValueRefused, "injected");
  };
  EXPECT_THROW(toSqlite(*db, dir + "/t.db", o), jet::Error);
  Lite lite(dir + "/t.db");
  EXPECT_EQ(lite.one("SELECT group_concat(name) FROM sqlite_master"), "Mine");
  EXPECT_EQ(lite.one("SELECT y FROM Mine"), "kept");
  EXPECT_EQ(lite.one("PRAGMA integrity_check"), "ok");
}

TEST(MigrateSqlite, OddNamesValuesAndTypesOfAnEngineMadeDatabase) {
  std::string dir = testsupport::tempDir();
  std::string path = dir + "/odd.mdb";
  jet::createDatabase(path);
  {
    jet::OpenOptions oo;
    auto db = jet::Database::open(path, oo);
    jet::TableSpec t;
    t.name = "Sélect \"Odd\" Table";
    t.columns = {jet::autoNumberSpec("Order"), jet::columnSpec("Group", jet::DataType::Text, 20),
                 jet::columnSpec("Money", jet::DataType::Currency),
                 jet::columnSpec("Dec", jet::DataType::Decimal), jet::columnSpec("F", jet::DataType::Single),
                 jet::columnSpec("D", jet::DataType::Double), jet::columnSpec("When", jet::DataType::DateTime),
                 jet::columnSpec("Bytes", jet::DataType::Binary, 16), jet::columnSpec("Id", jet::DataType::GUID),
                 jet::columnSpec("Yes", jet::DataType::Boolean), jet::columnSpec("Long text", jet::DataType::Memo),
                 jet::columnSpec("B", jet::DataType::Byte)};
    t.columns[3].precision = 28;
    t.columns[3].scale = 6;
    t.indexes = {jet::primaryKeySpec("Order"), jet::indexSpec("two", {{"Group", true}, {"When", false}})};
    jet::createTable(*db, t);
    jet::TableWriter w(*db, t.name);
    jet::Decimal dec;
    dec.mantissa = static_cast<__int128>(123456789012345678LL) * 1000;
    dec.scale = 6;
    dec.precision = 28;
    std::array<uint8_t, 16> g{};
    for (int i = 0; i < 16; ++i) g[i] = static_cast<uint8_t>(i * 17);
    w.insert({jet::Value(), jet::Value::text("a'b\"c\t\\"),
              jet::Value::currency(9223372036854775807LL), jet::Value::decimal(dec), jet::Value::single(0.1f),
              jet::Value::dbl(444.555), jet::Value::dateTime(-657434.5), jet::Value::binary(std::string("\0\1\xff", 3)),
              jet::Value::guid(g), jet::Value::boolean(true), jet::Value::memo(std::string(100000, 'x') + "é"),
              jet::Value::byte(255)});
    w.insert({jet::Value(), jet::Value::text(""), jet::Value::currency(-1), jet::Value(),
              jet::Value::single(-3.4e38f), jet::Value::dbl(1e-300), jet::Value::dateTime(2958465.99998843),
              jet::Value::binary(""), jet::Value(), jet::Value::boolean(false), jet::Value::memo(""), jet::Value()});
  }
  auto db = openRead(path);
  migrate::Summary sum = toSqlite(*db, dir + "/odd.db");
  EXPECT_EQ(sum.rows, 2u);
  migrate::Plan plan = migrate::buildPlan(*db, {});
  Lite lite(dir + "/odd.db");
  expectSameRows(*db, lite, plan, "odd");
  EXPECT_EQ(lite.one("SELECT \"Group\" FROM \"Sélect \"\"Odd\"\" Table\" WHERE \"Order\" = 2"), "");
  EXPECT_EQ(lite.one("SELECT typeof(\"Group\") FROM \"Sélect \"\"Odd\"\" Table\" WHERE \"Order\" = 2"), "text");
  EXPECT_EQ(lite.one("SELECT \"Money\" || ' ' || typeof(\"Money\") FROM \"Sélect \"\"Odd\"\" Table\" WHERE \"Order\" = 1"),
            "922337203685477.5807 text");
  EXPECT_EQ(lite.one("SELECT \"When\" FROM \"Sélect \"\"Odd\"\" Table\" WHERE \"Order\" = 2"), "9999-12-31 23:59:59");
}

// Currency and Decimal stay exact decimal text in SQLite; a view compares,
// sorts, sums and computes with them as numbers, so each view gives the rows
// the engine gives for the same saved query (numbers equal as numbers,
// columns only selected equal as text).
TEST(MigrateSqlite, ViewsCompareCurrencyAndDecimalAsNumbers) {
  std::string dir = testsupport::tempDir();
  std::string path = dir + "/money.mdb";
  jet::createDatabase(path);
  {
    auto db = jet::Database::open(path, {});
    jet::TableSpec t;
    t.name = "Items";
    t.columns = {jet::autoNumberSpec("ID"), jet::columnSpec("Name", jet::DataType::Text, 20),
                 jet::columnSpec("Price", jet::DataType::Currency), jet::columnSpec("Amount", jet::DataType::Decimal)};
    t.columns[3].precision = 12;
    t.columns[3].scale = 3;
    t.indexes = {jet::primaryKeySpec("ID")};
    jet::createTable(*db, t);
    jet::TableWriter w(*db, t.name);
    // As text "5.0000" > "25.0000" > "100.5000" > "-3.2500": every text
    // comparison and sort below would go wrong.
    struct R { const char* name; long long price; long long amount; } rows[] = {
        {"a", 50000, 5500}, {"b", 1005000, 12250}, {"c", 250000, -3000}, {"d", 99900, 100000},
        {"e", 10000000, 125}, {"f", -32500, 99999}, {"g", 2000000, 7}};
    for (const auto& r : rows) {
      jet::Decimal d;
      d.mantissa = r.amount;
      d.scale = 3;
      d.precision = 12;
      w.insert({jet::Value(), jet::Value::text(r.name), jet::Value::currency(r.price), jet::Value::decimal(d)});
    }
    w.insert({jet::Value(), jet::Value::text("n"), jet::Value(), jet::Value()});
    jet::QuerySpec dear;
    dear.name = "Dear";
    dear.tables = {"Items"};
    dear.columns = {{"Items.Name", ""}, {"Items.Price", ""}};
    dear.where = "Items.Price > 20";
    dear.orderBy = {{"Items.Price", true}};
    jet::createQuery(*db, dear);
    jet::QuerySpec totals;
    totals.name = "Totals";
    totals.tables = {"Items"};
    totals.columns = {{"Sum(Items.Price)", "Total"}, {"Max(Items.Amount)", "Most"}, {"Min(Items.Price)", "Least"},
                      {"Count(Items.Price)", "N"}};
    totals.where = "Items.Amount < 100";
    jet::createQuery(*db, totals);
    jet::QuerySpec twice;
    twice.name = "Twice";
    twice.tables = {"Items"};
    twice.columns = {{"Items.Name", ""}, {"Items.Price*2", "Double Price"}, {"Items.Amount", ""}};
    twice.where = "Items.Amount >= 10 OR Items.Price BETWEEN 9 AND 30";
    twice.orderBy = {{"Items.Amount", false}};
    jet::createQuery(*db, twice);
    // A view of a view: its Price is still exact text and still compared as a number.
    jet::QuerySpec onView;
    onView.name = "Dear but not too dear";
    onView.tables = {"Dear"};
    onView.columns = {{"Dear.Name", ""}, {"Dear.Price", ""}};
    onView.where = "Dear.Price < 500";
    onView.orderBy = {{"Dear.Price", false}};
    jet::createQuery(*db, onView);
  }
  auto db = openRead(path);
  migrate::Summary sum = toSqlite(*db, dir + "/money.db");
  ASSERT_EQ(sum.views, 4u) << migrate::summaryText(sum);
  Lite lite(dir + "/money.db");
  EXPECT_EQ(lite.one("SELECT typeof(\"Price\") || ' ' || \"Price\" FROM \"Items\" WHERE \"Name\" = 'b'"), "text 100.5000");

  auto number = [](const std::string& s, double& d) {
    char* end = nullptr;
    d = std::strtod(s.c_str(), &end);
    return !s.empty() && end == s.c_str() + s.size();
  };
  std::string cli = testsupport::binDir() + "/glimmer-cli";
  for (std::string name : {"Dear", "Totals", "Twice", "Dear but not too dear"}) {
    std::string out;
    ASSERT_EQ(testsupport::run(cli + " sql " + path + " --query \"" + name + "\"", &out), 0) << name;
    std::vector<std::vector<std::string>> want;
    size_t at = 0;
    while (at < out.size()) {
      size_t nl = out.find('\n', at);
      if (nl == std::string::npos) nl = out.size();
      std::vector<std::string> cells;
      std::string line = out.substr(at, nl - at);
      size_t c = 0;
      for (;;) {
        size_t tab = line.find('\t', c);
        cells.push_back(line.substr(c, tab == std::string::npos ? std::string::npos : tab - c));
        if (tab == std::string::npos) break;
        c = tab + 1;
      }
      want.push_back(cells);
      at = nl + 1;
    }
    ASSERT_FALSE(want.empty()) << name;
    want.erase(want.begin());  // the column names
    std::string err;
    auto got = lite.rows("SELECT * FROM " + q(name), &err);
    ASSERT_EQ(err, "") << name;
    ASSERT_EQ(got.size(), want.size()) << name << ":\n" << out;
    for (size_t r = 0; r < got.size(); ++r) {
      ASSERT_EQ(got[r].size(), want[r].size()) << name << " row " << r;
      for (size_t k = 0; k < got[r].size(); ++k) {
        std::string g = got[r][k] == "\x01NULL" ? "" : got[r][k];
        const std::string& e = want[r][k];
        double a, b;
        bool exactColumn = name != "Totals" && k == 1 && name != "Twice";
        if (exactColumn || !number(g, a) || !number(e, b))
          EXPECT_EQ(g, e) << name << " row " << r << " column " << k;
        else
          EXPECT_NEAR(a, b, 1e-9 * std::max(1.0, std::fabs(b))) << name << " row " << r << " column " << k;
      }
    }
  }
}

TEST(MigrateTranslate, QueriesPrintTheTargetsSql) {
  using migrate::Dialect;
  auto lite = [](const std::string& s) { return migrate::translateQuery(s, Dialect::SQLite).select; };
  auto pg = [](const std::string& s) { return migrate::translateQuery(s, Dialect::PostgreSQL).select; };
  EXPECT_EQ(lite("SELECT TOP 5 [A B], Nz(x, 0) AS y FROM [T 1] WHERE z Like \"a*b?\" ORDER BY [A B] DESC;"),
            "SELECT \"A B\", COALESCE(\"x\", 0) AS \"y\" FROM \"T 1\" WHERE (\"z\" LIKE 'a%b_' ESCAPE '\\') "
            "ORDER BY \"A B\" DESC LIMIT 5");
  EXPECT_EQ(pg("SELECT a & \"-\" & b AS c FROM t WHERE d = True AND e > #1/2/2003#;"),
            "SELECT concat(concat(\"a\", '-'), \"b\") AS \"c\" FROM \"t\" WHERE ((\"d\" = TRUE) AND (\"e\" > TIMESTAMP "
            "'2003-01-02 00:00:00'))");
  EXPECT_EQ(lite("SELECT DISTINCTROW IIf(a > 1, 'x', \"y\") AS k FROM t;"),
            "SELECT (CASE WHEN (\"a\" > 1) THEN 'x' ELSE 'y' END) AS \"k\" FROM \"t\"");
  EXPECT_EQ(lite("SELECT a / b AS r, -1 * a FROM t WHERE b Like '100%_' AND c <> 'it''s'"),
            "SELECT (CAST(\"a\" AS REAL) / \"b\") AS \"r\", ((-1) * \"a\") AS \"Expr1000\" FROM \"t\" WHERE "
            "((\"b\" LIKE '100\\%\\_' ESCAPE '\\') AND (\"c\" <> 'it''s'))");
  // Currency and Decimal columns (exact text in SQLite): cast where compared,
  // computed with, sorted by or aggregated; as they are where selected,
  // grouped by or counted; through aliases, derived tables and unions.
  migrate::SourceColumns known = {{"T", {{"P", true}, {"N", false}}}, {"U", {{"P", false}}}};
  auto exact = [&](const std::string& s) { return migrate::translateQuery(s, Dialect::SQLite, &known); };
  EXPECT_EQ(exact("SELECT p, n, Count(p) AS c, Sum(t.p) AS s FROM t WHERE p > 1 GROUP BY p, n ORDER BY p").select,
            "SELECT \"p\", \"n\", COUNT(\"p\") AS \"c\", SUM(CAST(\"t\".\"p\" AS REAL)) AS \"s\" FROM \"t\" WHERE "
            "(CAST(\"p\" AS REAL) > 1) GROUP BY \"p\", \"n\" ORDER BY CAST(\"p\" AS REAL)");
  migrate::TranslatedQuery aliased = exact("SELECT x.p AS Cost, u.p FROM t AS x, u WHERE u.p = 2 ORDER BY Cost DESC");
  EXPECT_EQ(aliased.select,
            "SELECT \"x\".\"p\" AS \"Cost\", \"u\".\"p\" FROM \"t\" AS \"x\", \"u\" WHERE (\"u\".\"p\" = 2) ORDER BY "
            "CAST(\"Cost\" AS REAL) DESC");
  ASSERT_EQ(aliased.columns.size(), 2u);
  EXPECT_TRUE(aliased.columns[0].second);
  EXPECT_FALSE(aliased.columns[1].second);
  EXPECT_EQ(exact("SELECT d.p FROM (SELECT * FROM t) AS d WHERE d.p < 3").select,
            "SELECT \"d\".\"p\" FROM (SELECT * FROM \"t\") AS \"d\" WHERE (CAST(\"d\".\"p\" AS REAL) < 3)");
  EXPECT_EQ(exact("SELECT p FROM t UNION SELECT p FROM u ORDER BY p").select,
            "SELECT * FROM (SELECT \"p\" FROM \"t\" UNION SELECT \"p\" FROM \"u\") ORDER BY CAST(\"p\" AS REAL)");
  EXPECT_EQ(migrate::translateQuery("SELECT p FROM t WHERE p > 1", Dialect::PostgreSQL, &known).select,
            "SELECT \"p\" FROM \"t\" WHERE (\"p\" > 1)");
  // Refused whole, with the reason.
  for (const char* bad : {"SELECT First(a) FROM t", "SELECT TOP 10 PERCENT a FROM t",
                          "PARAMETERS p Long; SELECT a FROM t WHERE a = p", "SELECT a FROM t WHERE a Like '[ab]*'",
                          "SELECT a Xor b FROM t", "SELECT DISTINCTROW a FROM t, u", "SELECT a INTO x FROM t"}) {
    try {
      lite(bad);
      ADD_FAILURE() << bad << " was translated";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.number(), jet::err::kNotSupported) << bad;
    }
  }
}

TEST(MigrateCli, SchemaOnlyThenDataOnly) {
  std::string dir = testsupport::tempDir();
  std::string cli = testsupport::binDir() + "/glimmer-cli";
  ASSERT_EQ(testsupport::run(cli + " sample " + dir + "/s.mdb"), 0);
  std::string out;
  ASSERT_EQ(testsupport::run(cli + " migrate " + dir + "/s.mdb sqlite:" + dir + "/s.db --schema-only 2>/dev/null", &out), 0);
  EXPECT_NE(out.find("rows 0, indexes 11"), std::string::npos) << out;
  Lite lite(dir + "/s.db");
  EXPECT_EQ(lite.one("SELECT count(*) FROM Customers"), "0");
  ASSERT_EQ(testsupport::run(cli + " migrate " + dir + "/s.mdb sqlite:" + dir + "/s.db --data-only 2>/dev/null", &out), 0);
  EXPECT_NE(out.find("rows 73, indexes 0"), std::string::npos) << out;
  EXPECT_EQ(lite.one("SELECT count(*) FROM \"Order Details\""), "39");
  EXPECT_NE(testsupport::run(cli + " migrate " + dir + "/s.mdb sqlite:" + dir + "/s.db --schema-only --data-only 2>/dev/null"), 0);
}

TEST(MigrateCli, MigrateCommandPrintsSummaryAndErrors) {
  std::string dir = testsupport::tempDir();
  std::string cli = testsupport::binDir() + "/glimmer-cli";
  ASSERT_EQ(testsupport::run(cli + " sample " + dir + "/s.mdb"), 0);
  std::string out;
  EXPECT_EQ(testsupport::run(cli + " migrate " + dir + "/s.mdb sqlite:" + dir + "/s.db --tables Orders,Customers 2>" +
                                 dir + "/err.txt",
                             &out),
            0);
  EXPECT_NE(out.find("tables 2, rows 28"), std::string::npos) << out;
  EXPECT_NE(testsupport::readFile(dir + "/err.txt").find("Orders: 20 of 20 rows"), std::string::npos);
  EXPECT_NE(testsupport::run(cli + " migrate " + dir + "/s.mdb sqlite:" + dir + "/s.db 2>" + dir + "/err.txt"), 0);
  EXPECT_NE(testsupport::readFile(dir + "/err.txt").find("Error 3010: "), std::string::npos);
  EXPECT_NE(testsupport::run(cli + " migrate " + dir + "/s.mdb nowhere 2>" + dir + "/err.txt"), 0);
  EXPECT_NE(testsupport::readFile(dir + "/err.txt").find("Error 3170: "), std::string::npos);
  EXPECT_NE(testsupport::run(cli + " migrate " + dir + "/s.mdb sqlite:" + dir + "/u.db --tables Nope 2>/dev/null"), 0);
  EXPECT_FALSE(std::filesystem::exists(dir + "/u.db") && std::filesystem::file_size(dir + "/u.db") > 0);
}
