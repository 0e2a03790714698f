// Databases created from nothing: the empty database, a table with a column
// of every type, indexes of every kind and saved queries. Our reader, our
// integrity check and mdbtools (an independent reader) must all read back
// exactly what was written. Also the sample database and CSV import.
#include <gtest/gtest.h>

#include "jet/check.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/dump.h"
#include "jet/error.h"
#include "jet/index.h"
#include "jet/sample.h"
#include "jet/table_writer.h"
#include "support/test_support.h"

using jet::Value;

namespace {

std::string sh(const std::string& cmd) {
  std::string out;
  testsupport::run(cmd, &out);
  return out;
}

jet::TableSpec everyType() {
  using jet::DataType;
  auto c = [](const char* n, DataType ty, int size = 0) { return jet::columnSpec(n, ty, size); };
  jet::ColumnSpec dec = c("Dec", DataType::Decimal);
  dec.precision = 10;
  dec.scale = 2;
  jet::IndexSpec uniq = jet::indexSpec("L", {{"L", true}}, false, true);
  uniq.ignoreNulls = true;
  return {"All Types",
          {jet::autoNumberSpec("ID"), c("Flag", DataType::Boolean), c("B", DataType::Byte), c("I", DataType::Integer),
           c("L", DataType::Long), c("Money", DataType::Currency), c("S", DataType::Single), c("D", DataType::Double),
           c("When", DataType::DateTime), c("Bin", DataType::Binary, 20), c("Txt", DataType::Text, 30),
           c("Ole", DataType::OLE), c("Memo", DataType::Memo), c("G", DataType::GUID), dec},
          {jet::primaryKeySpec("ID"), jet::indexSpec("TxtWhen", {{"Txt", true}, {"When", false}}), uniq}};
}

std::vector<Value> everyTypeRow(int i) {
  jet::Decimal d;
  d.mantissa = -12345 + i;
  d.scale = 2;
  d.precision = 10;
  std::array<uint8_t, 16> g{};
  for (int k = 0; k < 16; ++k) g[k] = static_cast<uint8_t>(k * 16 + i);
  return {Value(), Value::boolean(i % 2), Value::byte(static_cast<uint8_t>(250 + i)), Value::integer(static_cast<int16_t>(-32768 + i)),
          i == 2 ? Value() : Value::longInt(2147483647 - i), Value::currency(-9223372036854775807LL + i),
          Value::single(1.5f * i), Value::dbl(-1.25e300 * i), Value::dateTime(jet::partsToSerial(1999, 12, 31, 23, 59, i)),
          Value::binary(std::string("\x00\x01\xFF", 3) + std::to_string(i)), Value::text(i == 1 ? "Ünïcödé € text" : "plain " + std::to_string(i)),
          Value::binary(std::string(3000 * i, static_cast<char>(i)), jet::DataType::OLE),
          Value::memo(i == 3 ? std::string(20000, 'm') : "memo " + std::to_string(i)), Value::guid(g), Value::decimal(d)};
}

TEST(CreateDatabase, EmptyDatabaseHasTheSystemTablesAndChecksClean) {
  std::string path = testsupport::tempDir() + "/empty.mdb";
  jet::createDatabase(path);
  EXPECT_THROW(jet::createDatabase(path), jet::Error) << "an existing file was overwritten";
  auto db = jet::Database::open(path);
  EXPECT_EQ("V2000 [VERSION_4]", db->formatName());
  for (const char* t : {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"})
    EXPECT_NE(nullptr, db->find(t)) << t;
  EXPECT_TRUE(jet::checkDatabase(*db, true).ok());
  EXPECT_TRUE(db->tables(false).empty());
  if (testsupport::haveCommand("mdb-tables")) {
    std::string t = sh("mdb-tables -S -1 '" + path + "'");
    EXPECT_NE(std::string::npos, t.find("MSysObjects"));
    EXPECT_NE(std::string::npos, t.find("MSysQueries"));
  }
}

TEST(CreateDatabase, EveryColumnTypeReadsBackHereAndInMdbtools) {
  std::string path = testsupport::tempDir() + "/types.mdb";
  jet::createDatabase(path);
  {
    auto db = jet::Database::open(path);
    jet::createTable(*db, everyType());
    jet::TableWriter w(*db, "All Types");
    for (int i = 1; i <= 4; ++i) w.insert(everyTypeRow(i));
  }
  auto db = jet::Database::open(path);
  EXPECT_TRUE(jet::checkDatabase(*db, true).ok());
  auto def = db->table("All Types");
  ASSERT_EQ(15u, def->columns.size());
  EXPECT_EQ(3u, def->indexes.size());
  EXPECT_EQ("+Txt;-When;", def->indexFieldsText(def->indexes[1]));
  EXPECT_TRUE(def->columns[0].autoLong());
  auto s = db->scan("All Types");
  int i = 0;
  while (s->next()) {
    ++i;
    auto want = everyTypeRow(i);
    auto got = s->values();
    EXPECT_EQ(i, got[0].asInt());
    for (size_t c = 1; c < want.size(); ++c)
      EXPECT_EQ(jet::dumpCell(want[c]), jet::dumpCell(got[c])) << "row " << i << " column " << def->columns[c].name;
  }
  EXPECT_EQ(4, i);
  if (!testsupport::haveCommand("mdb-export")) GTEST_SKIP() << "mdbtools not installed";
  std::string csv = sh("mdb-export -b strip '" + path + "' 'All Types'");
  EXPECT_NE(std::string::npos, csv.find("1,1,251,-32767,2147483646,-922337203685477.5806,1.5,-1.25e+300,\"12/31/99 23:59:01\""))
      << csv.substr(0, 600);
  EXPECT_NE(std::string::npos, csv.find("\"Ünïcödé € text\""));
  EXPECT_NE(std::string::npos, csv.find(std::string(20000, 'm')));
  EXPECT_NE(std::string::npos, csv.find(",-123.42\n"));
  EXPECT_EQ(5, std::count(csv.begin(), csv.end(), '\n'));
}

TEST(CreateDatabase, SavedQueriesAndTheSampleDatabase) {
  std::string path = testsupport::tempDir() + "/sample.mdb";
  jet::createSampleDatabase(path);
  auto db = jet::Database::open(path);
  auto r = jet::checkDatabase(*db, true);
  for (const auto& p : r.problems) ADD_FAILURE() << p;
  auto qs = db->queries();
  ASSERT_EQ(3u, qs.size());
  EXPECT_EQ("Customers by City", qs[0].name);
  EXPECT_EQ("SELECT Customers.Name, Customers.City, Customers.Email\nFROM Customers\nORDER BY Customers.City, Customers.Name;",
            qs[0].sql);
  EXPECT_EQ("SELECT *\nFROM Customers\nWHERE (((Customers.Active)=True));", qs[1].sql);
  EXPECT_NE(std::string::npos, qs[2].sql.find("INNER JOIN"));
  EXPECT_EQ(8u, db->table("Customers")->rowCount);
  EXPECT_EQ(20u, db->table("Orders")->rowCount);
  // Every index of every table walks in key order over every row.
  for (const auto* e : db->tables(false))
    for (const auto& ix : db->table(*e)->indexes)
      EXPECT_TRUE(jet::checkIndex(*db, *db->table(*e), ix).empty()) << e->name << "." << ix.name;
  if (!testsupport::haveCommand("mdb-export")) GTEST_SKIP() << "mdbtools not installed";
  // (Customers and Products hold values with line breaks; see below.)
  for (const char* t : {"Orders", "Order Details"}) {
    std::string csv = sh("mdb-export '" + path + "' '" + t + "'");
    EXPECT_EQ(static_cast<long>(db->table(t)->rowCount) + 1, std::count(csv.begin(), csv.end(), '\n')) << t;
  }
  std::string cust = sh("mdb-export '" + path + "' Customers");
  EXPECT_NE(std::string::npos, cust.find("\"Björn Ødegård\",\"Tromsø\""));
}

TEST(Import, AppendsRowsAsOneChangeAndRefusesBadRowsWhole) {
  std::string dir = testsupport::tempDir();
  std::string path = dir + "/imp.mdb";
  jet::createSampleDatabase(path);
  std::string cli = testsupport::binDir() + "/glimmer-cli";
  testsupport::writeFile(dir + "/ok.csv",
                         "Name,City,Joined,Active,CreditLimit,Notes\n"
                         "\"Zed, the second\",Oslo,2024-05-01,yes,12.5,\"two\nlines\"\n"
                         "Yann,,3/4/2021,false,,\n");
  std::string out;
  EXPECT_EQ(0, testsupport::run(cli + " import '" + path + "' Customers '" + dir + "/ok.csv' 2>&1", &out)) << out;
  {
    auto db = jet::Database::open(path, {"", true});
    EXPECT_EQ(10u, db->table("Customers")->rowCount);
    jet::TableWriter w(*db, "Customers");
    auto s = db->scan("Customers");
    std::vector<Value> last;
    while (s->next()) last = s->values();
    EXPECT_EQ(10, last[0].asInt()) << "auto-number filled";
    EXPECT_EQ("Yann", last[1].bytes());
    EXPECT_TRUE(last[2].isNull());
    EXPECT_EQ("2021-03-04", last[4].display());
  }
  std::string before = testsupport::readFile(path);
  testsupport::writeFile(dir + "/bad.csv", "Name,CreditLimit\nGood,1\nAlso good,2\nBad,not money\n");
  EXPECT_NE(0, testsupport::run(cli + " import '" + path + "' Customers '" + dir + "/bad.csv' 2>&1", &out));
  EXPECT_NE(std::string::npos, out.find("Line 4")) << out;
  EXPECT_NE(std::string::npos, out.find("3421")) << out;
  EXPECT_EQ(before, testsupport::readFile(path)) << "a failed import changed the file";
  testsupport::writeFile(dir + "/dup.csv", "ProductName,Price\nNew thing,1\nZucchini,2\n");
  EXPECT_NE(0, testsupport::run(cli + " import '" + path + "' Products '" + dir + "/dup.csv' 2>&1", &out));
  EXPECT_NE(std::string::npos, out.find("3022")) << out;
  EXPECT_EQ(before, testsupport::readFile(path));
  EXPECT_EQ(0, testsupport::run(cli + " check '" + path + "' --strict 2>&1", &out)) << out;
}

}  // namespace
