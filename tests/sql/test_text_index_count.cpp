// Count(*) of a text equality from the index alone, in each database's own
// order: the count must be the row-reading count, also where equal texts
// (case variants, trailing spaces) fill many leaf pages and straddle them.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "jet/create.h"
#include "jet/database.h"
#include "jet/table_writer.h"
#include "sql/engine.h"
#include "sql/parser.h"
#include "sql/planner.h"
#include "sql/recordset.h"
#include "support/test_support.h"

namespace {

using jet::DataType;
using jet::Value;

std::vector<std::string> notesOf(jet::Database& db, const std::string& stmt) {
  return sql::planQuery(db, *sql::parseStatement(stmt), {}).notes;
}

bool countsFromIndex(jet::Database& db, const std::string& stmt) {
  for (const auto& n : notesOf(db, stmt))
    if (n.rfind("count from index", 0) == 0 && n.find("rows checked") == std::string::npos) return true;
  return false;
}

int64_t countOf(jet::Database& db, const std::string& stmt) {
  auto rs = sql::openRecordset(db, stmt);
  EXPECT_TRUE(rs->fetchTo(1));
  return rs->row(0)[0].asInt();
}

std::unique_ptr<jet::Database> citiesDatabase(jet::Version v, int rows) {
  auto db = jet::createMemoryDatabase(v);
  jet::createTable(*db, {"T",
                         {jet::columnSpec("ID", DataType::Long), jet::columnSpec("City", DataType::Text, 40)},
                         {jet::primaryKeySpec("ID"), jet::indexSpec("CityIdx", {{"City", true}})}});
  jet::TableWriter w(*db, "T");
  jet::ChangeScope change(*db);
  const char* cities[] = {"Paris", "PARIS", "paris ", "Berlin", "Oslo", "co-op", "coop", "Zürich", "ZURICH", "Rome"};
  std::mt19937 rng(11);
  for (int i = 0; i < rows; ++i) {
    int pick = static_cast<int>(rng() % 12);
    w.insert({Value::longInt(i), pick >= 10 ? Value() : Value::text(cities[pick])});
  }
  change.commit();
  return db;
}

TEST(TextIndexCount, CountsFromTheIndexMatchTheRowsInEveryOrder) {
  for (auto v : {jet::Version::Jet4, jet::Version::Ace14}) {
    SCOPED_TRACE(static_cast<int>(v));
    auto db = citiesDatabase(v, 30000);  // each city's entries fill many leaves
    for (const char* want : {"Paris", "paris   ", "BERLIN", "coop", "co-op", "Zürich", "zurich", "Nowhere"}) {
      SCOPED_TRACE(want);
      const std::string s = std::string("'") + want + "'";
      const std::string fast = "SELECT Count(*) FROM T WHERE City = " + s;
      EXPECT_TRUE(countsFromIndex(*db, fast));
      // City & '' hides the column from the index: every row is read
      EXPECT_EQ(countOf(*db, fast), countOf(*db, "SELECT Count(*) FROM T WHERE City & '' = " + s));
    }
    const std::string in = "SELECT Count(*) FROM T WHERE City In ('rome', 'OSLO', 'Paris')";
    EXPECT_TRUE(countsFromIndex(*db, in));
    EXPECT_EQ(countOf(*db, in), countOf(*db, "SELECT Count(*) FROM T WHERE City & '' In ('rome', 'OSLO', 'Paris')"));
  }
}

TEST(TextIndexCount, FixturesCountAsTheirRows) {
  SKIP_WITHOUT_SHARED();
  for (const char* f : {"jet3/testV1997.mdb", "jet3/test2V1997.mdb", "jet4/testV2000.mdb",
                        "jet4/testIndexPropertiesV2000.mdb", "ace/testV2010.accdb", "ace/testV2007.accdb"}) {
    SCOPED_TRACE(f);
    auto db = jet::Database::open(testsupport::fixture(f));
    int fromIndex = 0;
    for (const auto& e : db->objects()) {
      if (e.kind != jet::ObjectKind::Table) continue;
      auto def = db->table(e);
      for (const auto& ix : def->indexes) {
        const auto& ri = def->realIndexes[static_cast<size_t>(ix.realIndex)];
        if (ri.columns.size() != 1) continue;
        const auto& col = def->columns[static_cast<size_t>(ri.columns[0].column)];
        if (col.type != DataType::Text) continue;
        const std::string t = "[" + def->name + "]", c = "[" + col.name + "]";
        auto rs = sql::openRecordset(*db, "SELECT DISTINCT " + c + " FROM " + t + " WHERE " + c + " Is Not Null");
        for (size_t i = 0; rs->fetchTo(i + 1) && i < 20; ++i) {
          std::string v = rs->row(i)[0].bytes();
          bool plain = v.size() < 100;
          for (unsigned char ch : v) plain = plain && ch >= 0x20 && ch < 0x7F && ch != '\'';
          if (!plain) continue;
          const std::string fast = "SELECT Count(*) FROM " + t + " WHERE " + c + " = '" + v + "'";
          fromIndex += countsFromIndex(*db, fast);
          EXPECT_EQ(countOf(*db, fast), countOf(*db, "SELECT Count(*) FROM " + t + " WHERE " + c + " & '' = '" + v + "'"))
              << fast;
        }
      }
    }
    EXPECT_GT(fromIndex, 0);
  }
}

}  // namespace
