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
