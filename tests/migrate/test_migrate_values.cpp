// Values that need more than a plain column in the targets: Currency and
// Decimal past 15 significant digits (exact text in SQLite), Date/Time
// Extended with its 100 ns fraction, and attachment and multi-value columns
// carried as child tables keyed by the parent's primary key, or by a row
// number when the parent has none. SQLite and the tests' PostgreSQL server.
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "jet/complex.h"
#include "jet/create.h"
#include "jet/error.h"
#include "jet/format.h"
#include "jet/table_writer.h"
#include "migrate/migrate.h"
#include "pg_server.h"
#include "readback.h"
#include "support/test_support.h"

using namespace migratetest;

namespace {

std::string q(const std::string& n) { return migrate::quoteIdent(n); }

std::unique_ptr<jet::Database> openRead(const std::string& path) {
  jet::OpenOptions o;
  o.readOnly = true;
  return jet::Database::open(path, o);
}

migrate::Summary migrateTo(jet::Database& db, const std::string& target, const std::string& schema = "") {
  auto t = migrate::openTarget(target, schema);
  return migrate::migrateDatabase(db, *t, {});
}

// Every row of a query, cells as text ("NULL" for Null).
std::vector<std::vector<std::string>> liteRows(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  std::vector<std::vector<std::string>> out;
  sqlite3_stmt* st = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
    ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
  } else {
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::vector<std::string> r;
      for (int i = 0; i < sqlite3_column_count(st); ++i) {
        const char* t = reinterpret_cast<const char*>(sqlite3_column_text(st, i));
        r.push_back(t ? std::string(t, sqlite3_column_bytes(st, i)) : "NULL");
      }
      out.push_back(r);
    }
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return out;
}

// Each carried table's rows (children included) read back from SQLite equal
// what the source holds.
void expectSameRowsLite(jet::Database& db, const std::string& path, const migrate::Plan& plan) {
  sqlite3* lite = nullptr;
  sqlite3_open(path.c_str(), &lite);
  for (const auto& t : plan.tables) {
    std::string cols;
    for (size_t i = 0; i < t.columns.size(); ++i) cols += (i ? ", " : "") + q(t.columns[i].name);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(lite, ("SELECT " + cols + " FROM " + q(t.name)).c_str(), -1, &st, nullptr), SQLITE_OK)
        << sqlite3_errmsg(lite);
    std::vector<std::string> got;
    while (sqlite3_step(st) == SQLITE_ROW) {
      std::vector<jet::Value> row;
      for (size_t i = 0; i < t.columns.size(); ++i) {
        int k = static_cast<int>(i);
        const jet::Column& c = *t.columns[i].column;
        bool null = sqlite3_column_type(st, k) == SQLITE_NULL;
        bool blob = c.type == jet::DataType::Binary || c.type == jet::DataType::OLE;
        const char* txt = null ? nullptr
                          : blob ? static_cast<const char*>(sqlite3_column_blob(st, k))
                                 : reinterpret_cast<const char*>(sqlite3_column_text(st, k));
        if (!txt && !null) txt = "";
        row.push_back(fromText(c, txt, static_cast<size_t>(sqlite3_column_bytes(st, k)), false));
      }
      got.push_back(dumpRow(row));
    }
    sqlite3_finalize(st);
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expectedRows(db, t)) << "table " << t.name;
  }
  sqlite3_close(lite);
}

void expectSameRowsPg(jet::Database& db, const std::string& conninfo, const std::string& schema,
                      const migrate::Plan& plan) {
  PGconn* c = PQconnectdb(conninfo.c_str());
  for (const auto& t : plan.tables) {
    std::string cols;
    for (size_t i = 0; i < t.columns.size(); ++i) cols += (i ? ", " : "") + q(t.columns[i].name);
    PGresult* r = PQexec(c, ("SELECT " + cols + " FROM " + q(schema) + "." + q(t.name)).c_str());
    ASSERT_EQ(PQresultStatus(r), PGRES_TUPLES_OK) << PQresultErrorMessage(r);
    std::vector<std::string> got;
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
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expectedRows(db, t)) << "table " << t.name;
  }
  PQfinish(c);
}

std::string pgOne(const std::string& conninfo, const std::string& sql) {
  PGconn* c = PQconnectdb(conninfo.c_str());
  PGresult* r = PQexec(c, sql.c_str());
  std::string out = PQresultStatus(r) == PGRES_TUPLES_OK && PQntuples(r) ? PQgetvalue(r, 0, 0) : "";
  if (PQresultStatus(r) != PGRES_TUPLES_OK) ADD_FAILURE() << sql << ": " << PQresultErrorMessage(r);
  PQclear(r);
  PQfinish(c);
  return out;
}

// The definition page of a table in a file, to be changed in place: the
// engine creates tables only in Jet 4 files, where some types do not exist.
struct TdefPatch {
  std::string path;
  std::string page;
  uint64_t at = 0;
  jet::Format format{};
  const jet::Format* fmt = &format;
  TdefPatch(const std::string& file, const std::string& table) : path(file) {
    auto db = openRead(file);
    format = db->format();
    at = uint64_t(db->find(table)->tdefPage) * fmt->pageSize;
    std::ifstream in(file, std::ios::binary);
    page.resize(fmt->pageSize);
    in.seekg(static_cast<std::streamoff>(at));
    in.read(page.data(), static_cast<std::streamsize>(page.size()));
  }
  uint32_t u32(size_t off) const {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(page[off + i]);
    return v;
  }
  size_t columnDesc(size_t i) const {
    return fmt->offTdefRealIdxStart + u32(fmt->offTdefRealIdxCount) * fmt->sizeRealIdxRowCount + i * fmt->sizeColumnDesc;
  }
  void write() {
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(at));
    out.write(page.data(), static_cast<std::streamsize>(page.size()));
  }
};

}  // namespace

TEST(MigrateValues, CurrencyAndDecimalBeyondFifteenDigitsReadBackExactly) {
  std::string dir = testsupport::tempDir();
  std::string path = dir + "/big.mdb";
  jet::createDatabase(path);
  {
    auto db = jet::Database::open(path, {});
    jet::TableSpec t;
    t.name = "Money";
    t.columns = {jet::autoNumberSpec("ID"), jet::columnSpec("Cash", jet::DataType::Currency),
                 jet::columnSpec("D28", jet::DataType::Decimal), jet::columnSpec("D0", jet::DataType::Decimal)};
    t.columns[2].precision = 28;
    t.columns[2].scale = 10;
    t.columns[3].precision = 28;
    t.columns[3].scale = 0;
    t.indexes = {jet::primaryKeySpec("ID"), jet::indexSpec("Cash", {{"Cash", true}}, false, true)};
    jet::createTable(*db, t);
    jet::TableWriter w(*db, t.name);
    auto dec = [](__int128 m, uint8_t scale) {
      jet::Decimal d;
      d.mantissa = m;
      d.scale = scale;
      d.precision = 28;
      return jet::Value::decimal(d);
    };
    __int128 nines = 0;
    for (int i = 0; i < 28; ++i) nines = nines * 10 + 9;
    __int128 mixed = 0;
    for (int i = 0; i < 28; ++i) mixed = mixed * 10 + (i % 9 + 1);
    w.insert({jet::Value(), jet::Value::currency(INT64_MAX), dec(nines, 10), dec(nines, 0)});
    w.insert({jet::Value(), jet::Value::currency(INT64_MIN), dec(-nines, 10), dec(-mixed, 0)});
    w.insert({jet::Value(), jet::Value::currency(1234567890123456789LL), dec(mixed, 10), dec(1, 0)});
    w.insert({jet::Value(), jet::Value::currency(-1), dec(-1, 10), jet::Value()});
  }
  auto db = openRead(path);
  migrate::Plan plan = migrate::buildPlan(*db, {});
  migrate::Summary sum = migrateTo(*db, "sqlite:" + dir + "/big.db");
  EXPECT_EQ(migrate::summaryText(sum).find("not carried"), std::string::npos) << migrate::summaryText(sum);
  expectSameRowsLite(*db, dir + "/big.db", plan);
  auto rows = liteRows(dir + "/big.db", "SELECT Cash, D28, D0, typeof(Cash) FROM Money ORDER BY ID");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"922337203685477.5807", "999999999999999999.9999999999",
                                               "9999999999999999999999999999", "text"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"-922337203685477.5808", "-999999999999999999.9999999999",
                                               "-1234567891234567891234567891", "text"}));
  EXPECT_EQ(rows[2][0], "123456789012345.6789");
  EXPECT_EQ(rows[2][1], "123456789123456789.1234567891");
  EXPECT_EQ(rows[3], (std::vector<std::string>{"-0.0001", "-0.0000000001", "NULL", "text"}));
  // The unique index holds: the texts are canonical, so equal values are equal texts.
  EXPECT_EQ(liteRows(dir + "/big.db", "SELECT count(DISTINCT Cash) FROM Money")[0][0], "4");

  std::string why;
  std::string conninfo = pgDatabase(&why);
  if (conninfo.empty()) GTEST_SKIP() << "no PostgreSQL: " << why;
  migrateTo(*db, conninfo, "money");
  expectSameRowsPg(*db, conninfo, "money", plan);
  EXPECT_EQ(pgOne(conninfo, "SELECT \"D28\"::text FROM money.\"Money\" WHERE \"ID\" = 2"), "-999999999999999999.9999999999");
}

TEST(MigrateValues, DateTimeExtendedKeepsItsHundredNanoseconds) {
  std::string dir = testsupport::tempDir();
  std::string path = dir + "/ext.mdb";
  jet::createDatabase(path);
  {
    auto db = jet::Database::open(path, {});
    jet::TableSpec t;
    t.name = "Times";
    t.columns = {jet::columnSpec("N", jet::DataType::Long), jet::columnSpec("At", jet::DataType::Binary, 42)};
    jet::createTable(*db, t);
  }
  {
    // The engine writes Date/Time Extended columns of existing tables; a
    // Jet 4 file has no such type, so the Binary column is turned into one.
    TdefPatch p(path, "Times");
    bool done = false;
    for (size_t i = 0; i < 2; ++i) {
      size_t d = p.columnDesc(i) + p.fmt->offColType;
      if (static_cast<uint8_t>(p.page[d]) == jet::coltype::kBinary) {
        p.page[d] = static_cast<char>(jet::coltype::kExtDateTime);
        done = true;
      }
    }
    ASSERT_TRUE(done);
    p.write();
  }
  const char* values[] = {"2024-02-29 13:45:30.1234567", "0001-01-01 00:00:00", "9999-12-31 23:59:59.9999999",
                          "1899-12-30 00:00:00.0000001", "2000-01-01 12:00:00.5"};
  {
    auto db = jet::Database::open(path, {});
    ASSERT_EQ(db->table(*db->find("Times"))->columns[1].type, jet::DataType::ExtDateTime);
    jet::TableWriter w(*db, "Times");
    int n = 0;
    for (const char* v : values) w.insert({jet::Value::longInt(++n), jet::Value::text(v)});
    w.insert({jet::Value::longInt(++n), jet::Value()});
  }
  auto db = openRead(path);
  migrate::Plan plan = migrate::buildPlan(*db, {});
  migrateTo(*db, "sqlite:" + dir + "/ext.db");
  expectSameRowsLite(*db, dir + "/ext.db", plan);
  auto rows = liteRows(dir + "/ext.db", "SELECT At FROM Times ORDER BY At");  // text order is date order
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[0][0], "NULL");
  EXPECT_EQ(rows[1][0], "0001-01-01 00:00:00.0000000");
  EXPECT_EQ(rows[2][0], "1899-12-30 00:00:00.0000001");
  EXPECT_EQ(rows[3][0], "2000-01-01 12:00:00.5000000");
  EXPECT_EQ(rows[4][0], "2024-02-29 13:45:30.1234567");
  EXPECT_EQ(rows[5][0], "9999-12-31 23:59:59.9999999");

  std::string why;
  std::string conninfo = pgDatabase(&why);
  if (conninfo.empty()) GTEST_SKIP() << "no PostgreSQL: " << why;
  migrateTo(*db, conninfo, "ext");
  expectSameRowsPg(*db, conninfo, "ext", plan);
  // The text casts to a timestamp, to the microsecond.
  EXPECT_EQ(pgOne(conninfo, "SELECT \"At\"::timestamp::text FROM ext.\"Times\" WHERE \"N\" = 1"),
            "2024-02-29 13:45:30.123457");
}

TEST(MigrateValues, AttachmentAndMultiValueColumnsBecomeChildTables) {
  SKIP_WITHOUT_SHARED();
  std::string dir = testsupport::tempDir();
  std::string why;
  std::string conninfo = pgDatabase(&why);
  for (const char* rel : {"ace/attachmentsV2016.accdb", "ace/complexDataTestV2010.accdb"}) {
    SCOPED_TRACE(rel);
    auto db = openRead(testsupport::fixture(rel));
    migrate::Plan plan = migrate::buildPlan(*db, {});
    std::string out = dir + "/" + std::filesystem::path(rel).stem().string() + ".db";
    migrate::Summary sum = migrateTo(*db, "sqlite:" + out);
    EXPECT_EQ(migrate::summaryText(sum).find("not carried"), std::string::npos) << migrate::summaryText(sum);
    expectSameRowsLite(*db, out, plan);
    size_t children = 0;
    for (const auto& t : plan.tables) {
      if (!t.child) continue;
      ++children;
      // The key refers to the parent's primary key and follows it.
      auto fk = liteRows(out, "PRAGMA foreign_key_list(" + q(t.name) + ")");
      ASSERT_EQ(fk.size(), 1u);
      EXPECT_EQ(fk[0][2], t.child->parent);
      EXPECT_EQ(fk[0][5] + "/" + fk[0][6], "CASCADE/CASCADE");
    }
    EXPECT_TRUE(liteRows(out, "PRAGMA foreign_key_check").empty());
    if (!conninfo.empty()) {
      std::string schema = std::filesystem::path(rel).stem().string();
      migrateTo(*db, conninfo, schema);
      expectSameRowsPg(*db, conninfo, schema, plan);
      EXPECT_EQ(pgOne(conninfo, "SELECT count(*) FROM information_schema.table_constraints WHERE table_schema = '" +
                                    schema + "' AND constraint_type = 'FOREIGN KEY'"),
                std::to_string(children));
    }
    EXPECT_GE(children, 1u);
  }
  // The files themselves, inflated.
  auto rows = liteRows(dir + "/attachmentsV2016.db",
                       "SELECT ID, FileName, FileType, length(FileData) FROM Table1_Attachments ORDER BY ID, FileName");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"2", "attachment1.txt", "txt", "12"}));
  EXPECT_EQ(rows[3], (std::vector<std::string>{"3", "attachment3.txt", "txt", "12"}));
  auto mv = liteRows(dir + "/complexDataTestV2010.db",
                     "SELECT id, group_concat(Value, ',') FROM (SELECT * FROM \"Table1_multi-value-data\" ORDER BY id, "
                     "Value) GROUP BY id");
  EXPECT_EQ(mv, (std::vector<std::vector<std::string>>{{"row2", "value1,value4"}, {"row3", "value1,value2,value3,value4"}}));
}

TEST(MigrateValues, AParentWithoutPrimaryKeyGetsARowNumber) {
  SKIP_WITHOUT_SHARED();
  std::string dir = testsupport::tempDir();
  std::string path = dir + "/nokey.accdb";
  std::filesystem::copy_file(testsupport::fixture("ace/attachmentsV2016.accdb"), path);
  {
    // The primary key becomes a plain unique index.
    TdefPatch p(path, "Table1");
    auto db = openRead(path);
    const auto& indexes = db->table(*db->find("Table1"))->indexes;
    for (size_t i = 0; i < indexes.size(); ++i)
      if (indexes[i].primary()) {
        // The logical index entry: its number, its b-tree's number, type 1.
        int found = 0;
        for (size_t at = p.columnDesc(0); at + p.fmt->sizeLogicalIdxDesc <= p.page.size(); ++at) {
          if (p.u32(at + p.fmt->offLogIdxNumber) != static_cast<uint32_t>(indexes[i].number) ||
              p.u32(at + p.fmt->offLogIdxRealNumber) != static_cast<uint32_t>(indexes[i].realIndex) ||
              p.page[at + p.fmt->offLogIdxType] != 1)
            continue;
          p.page[at + p.fmt->offLogIdxType] = 0;
          ++found;
        }
        ASSERT_EQ(found, 1);
      }
    p.write();
  }
  auto db = openRead(path);
  migrate::Plan plan = migrate::buildPlan(*db, {});
  ASSERT_EQ(plan.tables.size(), 2u);
  ASSERT_EQ(plan.tables[0].columns.back().name, "RowNumber");
  ASSERT_TRUE(plan.tables[1].child && plan.tables[1].child->keySources.empty());
  migrateTo(*db, "sqlite:" + dir + "/nokey.db");
  expectSameRowsLite(*db, dir + "/nokey.db", plan);
  EXPECT_NE(liteRows(dir + "/nokey.db", "SELECT sql FROM sqlite_master WHERE name = 'Table1'")[0][0].find(
                "PRIMARY KEY (\"RowNumber\")"),
            std::string::npos);
  // Each file's row number leads to its parent row.
  EXPECT_EQ(liteRows(dir + "/nokey.db",
                     "SELECT group_concat(k, ' ') FROM (SELECT t.ID || ':' || a.FileName AS k FROM Table1_Attachments a "
                     "JOIN Table1 t ON t.RowNumber = a.RowNumber ORDER BY k)")[0][0],
            "2:attachment1.txt 3:attachment1.txt 3:attachment2.txt 3:attachment3.txt");
  EXPECT_TRUE(liteRows(dir + "/nokey.db", "PRAGMA foreign_key_check").empty());
  std::string why;
  std::string conninfo = pgDatabase(&why);
  if (conninfo.empty()) GTEST_SKIP() << "no PostgreSQL: " << why;
  migrateTo(*db, conninfo, "nokey");
  expectSameRowsPg(*db, conninfo, "nokey", plan);
}

TEST(MigrateValues, DataOnlyIntoTablesOfOtherTypesGoesAsText) {
  std::string why;
  std::string conninfo = pgDatabase(&why);
  if (conninfo.empty()) GTEST_SKIP() << "no PostgreSQL: " << why;
  std::string dir = testsupport::tempDir();
  std::string path = dir + "/d.mdb";
  jet::createDatabase(path);
  {
    auto db = jet::Database::open(path, {});
    jet::TableSpec t;
    t.name = "T";
    t.columns = {jet::columnSpec("ID", jet::DataType::Long), jet::columnSpec("Price", jet::DataType::Currency),
                 jet::columnSpec("When", jet::DataType::DateTime)};
    jet::createTable(*db, t);
    jet::TableWriter w(*db, "T");
    w.insert({jet::Value::longInt(7), jet::Value::currency(12345), jet::Value::dateTime(45000.75)});
    w.insert({jet::Value::longInt(-8), jet::Value::currency(-5), jet::Value::dateTime(-1.5)});
  }
  // The user's own table, with types of its own choosing.
  PGconn* c = PQconnectdb(conninfo.c_str());
  PQclear(PQexec(c, "CREATE TABLE \"T\" (\"ID\" text, \"Price\" double precision, \"When\" text)"));
  PQfinish(c);
  auto db = openRead(path);
  auto target = migrate::openTarget(conninfo, "");
  migrate::Options o;
  o.dataOnly = true;
  EXPECT_EQ(migrate::migrateDatabase(*db, *target, o).rows, 2u);
  EXPECT_EQ(pgOne(conninfo, "SELECT string_agg(\"ID\" || '|' || \"Price\" || '|' || \"When\", ' ' ORDER BY \"ID\") FROM \"T\""),
            "-8|-0.0005|1899-12-29 12:00:00 7|1.2345|2023-03-15 18:00:00");
}
