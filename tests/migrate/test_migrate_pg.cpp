// Migrations into a real PostgreSQL server started by the tests themselves:
// rows read back equal, keys and foreign keys in information_schema, views
// that run, identity counters that continue, refusal of existing tables and
// a refused value part-way that leaves the database as it was.
#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <algorithm>

#include "jet/create.h"
#include "jet/error.h"
#include "jet/sample.h"
#include "jet/table_writer.h"
#include "migrate/errors.h"
#include "migrate/migrate.h"
#include "pg_server.h"
#include "readback.h"
#include "support/test_support.h"

using namespace migratetest;

namespace {

struct Pg {
  PGconn* c = nullptr;
  explicit Pg(const std::string& conninfo) { c = PQconnectdb(conninfo.c_str()); }
  ~Pg() { PQfinish(c); }
  std::vector<std::vector<std::string>> rows(const std::string& sql, std::string* err = nullptr) {
    std::vector<std::vector<std::string>> out;
    PGresult* r = PQexec(c, sql.c_str());
    if (PQresultStatus(r) != PGRES_TUPLES_OK && PQresultStatus(r) != PGRES_COMMAND_OK) {
      if (err) *err = PQresultErrorMessage(r);
    } else {
      for (int i = 0; i < PQntuples(r); ++i) {
        std::vector<std::string> row;
        for (int j = 0; j < PQnfields(r); ++j) row.push_back(PQgetisnull(r, i, j) ? "\x01NULL" : PQgetvalue(r, i, j));
        out.push_back(row);
      }
    }
    PQclear(r);
    return out;
  }
  std::string one(const std::string& sql) {
    auto r = rows(sql);
    return r.empty() || r[0].empty() ? "" : r[0][0];
  }
};

#define NEED_SERVER(conninfo)                                   \
  std::string why;                                              \
  std::string conninfo = pgDatabase(&why);                      \
  if (conninfo.empty()) GTEST_SKIP() << "no PostgreSQL: " << why

std::string q(const std::string& n) { return migrate::quoteIdent(n); }

std::unique_ptr<jet::Database> openRead(const std::string& path, const std::string& pw = "") {
  jet::OpenOptions o;
  o.readOnly = true;
  o.password = pw;
  return jet::Database::open(path, o);
}

migrate::Summary toPg(jet::Database& db, const std::string& conninfo, const std::string& schema,
                      migrate::Options o = {}) {
  auto t = migrate::openTarget(conninfo, schema);
  return migrate::migrateDatabase(db, *t, o);
}

void expectSameRows(jet::Database& db, Pg& pg, const std::string& schema, const std::string& what) {
  migrate::Plan plan = migrate::buildPlan(db, {});
  for (const auto& t : plan.tables) {
    std::string cols;
    for (size_t i = 0; i < t.columns.size(); ++i) cols += (i ? ", " : "") + q(t.columns[i].name);
    PGresult* r = PQexec(pg.c, ("SELECT " + cols + " FROM " + q(schema) + "." + q(t.name)).c_str());
    ASSERT_EQ(PQresultStatus(r), PGRES_TUPLES_OK) << what << ": " << PQresultErrorMessage(r);
    std::vector<std::string> got, want;
    for (int i = 0; i < PQntuples(r); ++i) {
      std::vector<jet::Value> row;
      for (size_t j = 0; j < t.columns.size(); ++j) {
        int k = static_cast<int>(j);
        row.push_back(fromText(*t.columns[j].column, PQgetisnull(r, i, k) ? nullptr : PQgetvalue(r, i, k),
                               static_cast<size_t>(PQgetlength(r, i, k)), true));
      }
      got.push_back(dumpRow(row));
    }
    PQclear(r);
    want = expectedRows(db, t);
    std::sort(got.begin(), got.end());
    ASSERT_EQ(got.size(), want.size()) << what << " table " << t.name;
    for (size_t i = 0; i < got.size(); ++i)
      EXPECT_EQ(got[i].substr(0, 300), want[i].substr(0, 300)) << what << " table " << t.name;
    EXPECT_EQ(got, want) << what << " table " << t.name;
  }
}

}  // namespace

TEST(MigratePostgres, FixturesOfEachFormatReadBackWithKeysAndViews) {
  SKIP_WITHOUT_SHARED();
  NEED_SERVER(conninfo);
  Pg pg(conninfo);
  int n = 0;
  for (const auto& rel : testsupport::allFixtures()) {
    std::string pw = rel.find("with-password") != std::string::npos ? "password" : "";
    std::unique_ptr<jet::Database> db;
    try {
      db = openRead(testsupport::fixture(rel), pw);
    } catch (const jet::Error&) {
      continue;
    }
    std::string schema = "f" + std::to_string(++n);
    migrate::Summary sum;
    ASSERT_NO_THROW(sum = toPg(*db, conninfo, schema)) << rel;
    expectSameRows(*db, pg, schema, rel);
    migrate::Plan plan = migrate::buildPlan(*db, {});
    size_t pks = 0;
    for (const auto& t : plan.tables) pks += t.primaryIndex >= 0;
    std::string base = "SELECT count(*) FROM information_schema.table_constraints WHERE table_schema = '" + schema + "'";
    EXPECT_EQ(pg.one(base + " AND constraint_type = 'PRIMARY KEY'"), std::to_string(pks)) << rel;
    EXPECT_EQ(pg.one(base + " AND constraint_type = 'FOREIGN KEY'"), std::to_string(sum.foreignKeys)) << rel;
    auto views = pg.rows("SELECT table_name FROM information_schema.views WHERE table_schema = '" + schema + "'");
    EXPECT_EQ(views.size(), sum.views) << rel;
    for (const auto& v : views) {
      std::string err;
      pg.rows("SELECT * FROM " + q(schema) + "." + q(v[0]), &err);
      EXPECT_EQ(err, "") << rel << " view " << v[0];
    }
  }
  EXPECT_GT(n, 30);
}

TEST(MigratePostgres, SampleKeepsTypesCountersAndRefusesExistingTables) {
  NEED_SERVER(conninfo);
  std::string dir = testsupport::tempDir();
  jet::createSampleDatabase(dir + "/s.mdb");
  auto db = openRead(dir + "/s.mdb");
  migrate::Summary sum = toPg(*db, conninfo, "");
  EXPECT_EQ(sum.rows, 73u);
  EXPECT_EQ(sum.views, 3u);
  Pg pg(conninfo);
  expectSameRows(*db, pg, "public", "sample");
  EXPECT_EQ(pg.one("SELECT data_type FROM information_schema.columns WHERE table_name = 'Products' AND column_name = 'Price'"),
            "numeric");
  EXPECT_EQ(pg.one("SELECT data_type FROM information_schema.columns WHERE table_name = 'Products' AND column_name = 'Code'"),
            "uuid");
  EXPECT_EQ(pg.one("SELECT is_identity FROM information_schema.columns WHERE table_name = 'Customers' AND column_name = 'CustomerID'"),
            "YES");
  // The identity continues after the source's last number.
  migrate::Plan plan = migrate::buildPlan(*db, {});
  const auto& customers = *std::find_if(plan.tables.begin(), plan.tables.end(),
                                        [](const auto& t) { return t.name == "Customers"; });
  EXPECT_EQ(pg.one("INSERT INTO \"Customers\" (\"Name\") VALUES ('new') RETURNING \"CustomerID\""),
            std::to_string(customers.lastAutoNumber + 1));
  EXPECT_EQ(pg.rows("SELECT * FROM \"Order Lines\"").size(), 39u);
  // A second run is refused and changes nothing; --replace carries it again.
  try {
    toPg(*db, conninfo, "");
    FAIL() << "migrating over existing tables succeeded";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), migrate::err::kTableExists);
  }
  EXPECT_EQ(pg.one("SELECT count(*) FROM \"Customers\""), "9");
  migrate::Options o;
  o.replace = true;
  // A view of the user's own on a table to be replaced is not dropped with it.
  pg.rows("CREATE VIEW mine AS SELECT \"Name\" FROM \"Customers\"");
  try {
    toPg(*db, conninfo, "", o);
    FAIL() << "--replace dropped a view it does not replace";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), migrate::err::kTargetFailed);
    EXPECT_NE(std::string(e.what()).find("mine"), std::string::npos) << e.what();
  }
  EXPECT_EQ(pg.one("SELECT count(*) FROM mine"), "9");
  pg.rows("DROP VIEW mine");
  // Our own views depend on the tables and on each other: replaced all the same.
  toPg(*db, conninfo, "", o);
  EXPECT_EQ(pg.one("SELECT count(*) FROM \"Customers\""), "8");
  EXPECT_EQ(pg.rows("SELECT * FROM \"Order Lines\"").size(), 39u);
}

TEST(MigratePostgres, RefusedValuePartWayLeavesDatabaseAsItWas) {
  NEED_SERVER(conninfo);
  std::string dir = testsupport::tempDir();
  std::string path = dir + "/bad.mdb";
  jet::createDatabase(path);
  {
    auto db = jet::Database::open(path, {});
    for (const char* name : {"First", "Second"}) {
      jet::TableSpec t;
      t.name = name;
      t.columns = {jet::autoNumberSpec("ID"), jet::columnSpec("Word", jet::DataType::Text, 20)};
      t.indexes = {jet::primaryKeySpec("ID")};
      jet::createTable(*db, t);
      jet::TableWriter w(*db, name);
      for (int i = 0; i < 50; ++i) {
        // PostgreSQL text cannot hold a NUL character.
        std::string word = std::string(name) == "Second" && i == 30 ? std::string("a\0b", 3) : "w" + std::to_string(i);
        w.insert({jet::Value(), jet::Value::text(word)});
      }
    }
  }
  Pg pg(conninfo);
  pg.rows("CREATE TABLE mine (x int); INSERT INTO mine VALUES (7)");
  auto db = openRead(path);
  try {
    toPg(*db, conninfo, "");
    FAIL() << "a value PostgreSQL refuses was carried";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), migrate::err::kTargetFailed);
    EXPECT_NE(std::string(e.what()).find("Second"), std::string::npos) << e.what();
  }
  EXPECT_EQ(pg.one("SELECT string_agg(table_name, ',') FROM information_schema.tables WHERE table_schema = 'public'"),
            "mine");
  EXPECT_EQ(pg.one("SELECT x FROM mine"), "7");
  // Into a schema of its own: the schema is not left behind either.
  EXPECT_THROW(toPg(*db, conninfo, "elsewhere"), jet::Error);
  EXPECT_EQ(pg.one("SELECT count(*) FROM information_schema.schemata WHERE schema_name = 'elsewhere'"), "0");
}

// Rows enough for many COPY chunks: all arrive, with --data-only too (into
// a table the transaction did not make, so loaded without FREEZE); a failure of our own or a value the
// server refuses after several chunks have gone leaves the database as it
// was, and the connection does not hang.
TEST(MigratePostgres, ManyChunksArriveAndFailuresAfterSomeChunksRollBack) {
  NEED_SERVER(conninfo);
  std::string dir = testsupport::tempDir();
  std::string path = dir + "/many.mdb";
  jet::createDatabase(path);
  const int kRows = 12000;  // about 2.6 MB of COPY data
  {
    auto db = jet::Database::open(path, {});
    jet::ChangeScope change(*db);
    for (const char* name : {"Many", "Broken"}) {
      jet::TableSpec t;
      t.name = name;
      t.columns = {jet::autoNumberSpec("ID"), jet::columnSpec("Word", jet::DataType::Text, 200),
                   jet::columnSpec("Money", jet::DataType::Currency)};
      t.indexes = {jet::primaryKeySpec("ID"), jet::indexSpec("ByWord", {{"Word", true}})};
      jet::createTable(*db, t);
      jet::TableWriter w(*db, name);
      for (int i = 0; i < kRows; ++i) {
        std::string word = "word " + std::to_string(i) + std::string(180, 'x');
        if (std::string(name) == "Broken" && i == 9000) word = std::string("a\0b", 3);
        w.insert({jet::Value(), jet::Value::text(word), jet::Value::currency(i * 12345LL)});
      }
    }
    change.commit();
  }
  auto db = openRead(path);
  Pg pg(conninfo);
  pg.rows("CREATE TABLE mine (x int); INSERT INTO mine VALUES (7)");
  auto untouched = [&](const std::string& what) {
    EXPECT_EQ(pg.one("SELECT string_agg(table_name, ',') FROM information_schema.tables WHERE table_schema = 'public'"),
              "mine") << what;
    EXPECT_EQ(pg.one("SELECT x FROM mine"), "7") << what;
  };

  // The server refuses row 9000 of Broken, some megabytes into the stream.
  try {
    toPg(*db, conninfo, "");
    FAIL() << "a value PostgreSQL refuses was carried";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), migrate::err::kTargetFailed);
    EXPECT_NE(std::string(e.what()).find("Broken"), std::string::npos) << e.what();
  }
  untouched("refused value");

  // A failure of our own while rows of Many are queued.
  migrate::Options o;
  o.tables = {"Many"};
  o.beforeRow = [](const std::string&, uint64_t row) {
    if (row == 10000) throw jet::Error(jet::err::kNotSupported, "injected");
  };
  EXPECT_THROW(toPg(*db, conninfo, "", o), jet::Error);
  untouched("injected failure");

  // Whole, then again rows only into the table it made.
  o.beforeRow = nullptr;
  migrate::Summary s = toPg(*db, conninfo, "", o);
  EXPECT_EQ(s.rows, static_cast<uint64_t>(kRows));
  long long ids = 0, letters = 0;
  for (int i = 0; i < kRows; ++i) {
    ids += i + 1;
    letters += static_cast<long long>(("word " + std::to_string(i)).size()) + 180;
  }
  EXPECT_EQ(pg.one("SELECT count(*) || ' ' || sum(\"ID\") || ' ' || sum(length(\"Word\")) || ' ' || sum(\"Money\") "
                   "FROM \"Many\""),
            std::to_string(kRows) + " " + std::to_string(ids) + " " + std::to_string(letters) + " " +
                jet::formatScaled(static_cast<__int128>(12345) * (ids - kRows), 4));
  o.schemaOnly = true;
  toPg(*db, conninfo, "side", o);
  o.schemaOnly = false;
  o.dataOnly = true;
  s = toPg(*db, conninfo, "side", o);
  EXPECT_EQ(s.rows, static_cast<uint64_t>(kRows));
  EXPECT_EQ(pg.one("SELECT count(*) || ' ' || sum(\"ID\") FROM side.\"Many\""),
            std::to_string(kRows) + " " + std::to_string(ids));
}
