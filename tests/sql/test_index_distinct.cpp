// SELECT DISTINCT of one indexed field read from the index's distinct keys
// gives exactly the rows the plain plan gives (the same table without
// indexes): many duplicates, Nulls, negative numbers, descending and
// two-field indexes, conditions on the field; and the plan is used only
// where the index key holds the value exactly.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "jet/create.h"
#include "jet/database.h"
#include "jet/table_writer.h"
#include "sql/collate.h"
#include "sql/engine.h"
#include "sql/recordset.h"
#include "tests/sql/result_lines.h"

using jet::DataType;
using jet::Value;
using sqltest::body;
using sqltest::Lines;

namespace {

const char* const kNames[] = {"Paris", "paris", "Paris  ", "PARIS ", "Lyon", "lyon", "Zoé", "ZOÉ ", "Straße", "Strasse"};

// Nums (indexed) and Plain (the same rows, no index but the key).
std::unique_ptr<jet::Database> numsDb() {
  auto db = jet::createMemoryDatabase();
  auto cols = [] {
    return std::vector<jet::ColumnSpec>{
        jet::columnSpec("ID", DataType::Long),        jet::columnSpec("Code", DataType::Long),
        jet::columnSpec("Amt", DataType::Currency),   jet::columnSpec("When", DataType::DateTime),
        jet::columnSpec("B", DataType::Byte),         jet::columnSpec("I", DataType::Integer),
        jet::columnSpec("Name", DataType::Text, 20)};
  };
  jet::createTable(*db, {"Nums", cols(),
                         {jet::primaryKeySpec("ID"), jet::indexSpec("CodeIdx", {{"Code", true}}),
                          jet::indexSpec("AmtDesc", {{"Amt", false}}), jet::indexSpec("WhenId", {{"When", true}, {"ID", false}}),
                          jet::indexSpec("BIdx", {{"B", true}}), jet::indexSpec("IDesc", {{"I", false}, {"Code", true}}),
                          jet::indexSpec("NameIdx", {{"Name", true}})}});
  jet::createTable(*db, {"Plain", cols(), {jet::primaryKeySpec("ID")}});
  std::mt19937 rng(7);
  std::vector<std::vector<Value>> rows;
  for (int i = 1; i <= 3000; ++i) {
    auto maybe = [&](Value v) { return rng() % 23 == 0 ? Value() : v; };
    rows.push_back({Value::longInt(i), maybe(Value::longInt(static_cast<int32_t>(rng() % 40) - 15)),
                    maybe(Value::currency((static_cast<int64_t>(rng() % 30) - 10) * 2500)),
                    maybe(Value::dateTime(static_cast<double>(rng() % 20) * 0.75 - 5)),
                    maybe(Value::byte(static_cast<uint8_t>(rng() % 4 == 0 ? 255 : rng() % 12))),
                    maybe(Value::integer(static_cast<int16_t>(static_cast<int>(rng() % 50) * 700 - 17000))),
                    maybe(Value::text(kNames[rng() % 10]))});
  }
  for (const char* t : {"Nums", "Plain"}) {
    jet::TableWriter w(*db, t);
    for (const auto& r : rows) w.insert(r);
  }
  return db;
}

bool fromIndex(jet::Database& db, const std::string& stmt) {
  auto rs = sql::openRecordset(db, stmt);
  for (const auto& n : rs->planNotes())
    if (n.find("distinct keys of index") != std::string::npos) return true;
  return false;
}

std::string on(std::string stmt, const std::string& table) {
  size_t at = stmt.find("FROM T");
  return stmt.replace(at, 6, "FROM " + table);
}

}  // namespace

TEST(IndexDistinct, GivesThePlainPlansRows) {
  auto db = numsDb();
  const std::vector<std::string> viaIndex = {
      "SELECT DISTINCT Code FROM T",
      "SELECT DISTINCT Code AS C FROM T WHERE Code > 3 OR Code Is Null",
      "SELECT DISTINCT Code FROM T WHERE Code Is Null",
      "SELECT DISTINCT Code FROM T WHERE Code In (1, 5, -3, 999)",
      "SELECT DISTINCT Code FROM T WHERE Code Between -20 And -10 ORDER BY Code DESC",
      "SELECT DISTINCT TOP 4 Code FROM T",
      "SELECT DISTINCT Amt FROM T",
      "SELECT DISTINCT Amt FROM T WHERE Amt < 0",
      "SELECT DISTINCT [When] FROM T",
      "SELECT DISTINCT [When] FROM T WHERE [When] >= #1/1/1900#",
      "SELECT DISTINCT B FROM T",
      "SELECT DISTINCT I FROM T",
      "SELECT DISTINCT I FROM T WHERE I <> 0 ORDER BY I DESC",
  };
  for (const auto& stmt : viaIndex) {
    const std::string mine = on(stmt, "Nums"), plain = on(stmt, "Plain");
    EXPECT_TRUE(fromIndex(*db, mine)) << mine;
    EXPECT_FALSE(fromIndex(*db, plain)) << plain;
    Lines want = body(*db, plain);
    EXPECT_GT(want.size(), 0u) << plain;
    EXPECT_EQ(body(*db, mine), want) << mine;
  }
  // the primary key (unique): every value once
  Lines ids;
  for (int i = 1; i < 50; ++i) ids.push_back(std::to_string(i));
  EXPECT_TRUE(fromIndex(*db, "SELECT DISTINCT ID FROM Nums WHERE ID < 50"));
  EXPECT_EQ(body(*db, "SELECT DISTINCT ID FROM Nums WHERE ID < 50"), ids);
  EXPECT_EQ(body(*db, "SELECT Count(*) FROM (SELECT DISTINCT Code FROM Nums)"),
            body(*db, "SELECT Count(*) FROM (SELECT DISTINCT Code FROM Plain)"));
  EXPECT_EQ(body(*db, "SELECT Count(*) FROM (SELECT DISTINCT Code FROM Nums)"), (Lines{"41"}));  // -15..24 and Null
}

TEST(IndexDistinct, OtherShapesReadTheRows) {
  auto db = numsDb();
  const std::vector<std::string> plainOnly = {
      // a condition on another field, a second field, an expression
      "SELECT DISTINCT Code FROM T WHERE ID > 100",
      "SELECT DISTINCT Code, B FROM T",
      "SELECT DISTINCT Code + 1 FROM T",
      "SELECT DISTINCTROW Code FROM T",
  };
  for (const auto& stmt : plainOnly) {
    const std::string mine = on(stmt, "Nums"), plain = on(stmt, "Plain");
    EXPECT_FALSE(fromIndex(*db, mine)) << mine;
    EXPECT_EQ(body(*db, mine), body(*db, plain)) << mine;
  }
  // text DISTINCT: case variants, trailing spaces and texts of one key
  // (Straße, Strasse) are one value
  EXPECT_EQ(body(*db, "SELECT Count(*) FROM (SELECT DISTINCT Name FROM Nums)"), (Lines{"5"}));
  // an index that leaves Nulls out cannot give the Null row
  jet::IndexSpec ix = jet::indexSpec("KIdx", {{"K", true}});
  ix.ignoreNulls = true;
  auto db2 = jet::createMemoryDatabase();
  jet::createTable(*db2, {"Sparse", {jet::columnSpec("K", DataType::Long)}, {ix}});
  {
    jet::TableWriter w(*db2, "Sparse");
    for (int i = 0; i < 50; ++i) w.insert({i % 7 == 0 ? Value() : Value::longInt(i % 5)});
  }
  EXPECT_FALSE(fromIndex(*db2, "SELECT DISTINCT K FROM Sparse"));
  EXPECT_EQ(body(*db2, "SELECT DISTINCT K FROM Sparse"), (Lines{"NULL", "0", "1", "2", "3", "4"}));
}

namespace {

std::vector<Value> firstColumn(jet::Database& db, const std::string& stmt) {
  auto rs = sql::openRecordset(db, stmt);
  std::vector<Value> out;
  for (size_t i = 0; rs->fetchTo(i + 1); ++i) out.push_back(rs->row(i)[0]);
  return out;
}

}  // namespace

// Texts: one row read per distinct key, and the values are the plain plan's
// (each equal to the plain plan's in the database's order; which of the
// equal texts shows may differ), in the same order, in both later orders.
TEST(IndexDistinct, TextsFromTheIndexAreThePlainPlansValues) {
  const char* const names[] = {"Paris", "paris", "Paris  ", "PARIS ", "Lyon", "lyon", "Zoé", "ZOÉ ", "Straße",
                               "Strasse", "co-op", "coop", "", " ", "Ș"};
  for (auto v : {jet::Version::Jet4, jet::Version::Ace14}) {
    SCOPED_TRACE(static_cast<int>(v));
    auto db = jet::createMemoryDatabase(v);
    auto cols = [] { return std::vector<jet::ColumnSpec>{jet::columnSpec("ID", DataType::Long), jet::columnSpec("Name", DataType::Text, 30)}; };
    jet::createTable(*db, {"Named", cols(), {jet::primaryKeySpec("ID"), jet::indexSpec("NameIdx", {{"Name", true}})}});
    jet::createTable(*db, {"Plain", cols(), {jet::primaryKeySpec("ID")}});
    jet::createTable(*db, {"Empty", cols(), {jet::indexSpec("NameIdx", {{"Name", true}})}});
    std::mt19937 rng(3);
    {
      jet::TableWriter a(*db, "Named"), b(*db, "Plain");
      for (int i = 1; i <= 6000; ++i) {  // many leaves of each key
        size_t pick = rng() % 16;
        std::vector<Value> row = {Value::longInt(i), pick == 15 ? Value() : Value::text(names[pick])};
        a.insert(row);
        b.insert(row);
      }
    }
    const sql::Collation& coll = sql::collationOf(db.get());
    for (const std::string where : {"", " WHERE Name Like 'P*'", " WHERE Name Is Null", " WHERE Name > 'M'"}) {
      const std::string mine = "SELECT DISTINCT Name FROM Named" + where, plain = "SELECT DISTINCT Name FROM Plain" + where;
      SCOPED_TRACE(mine);
      EXPECT_TRUE(fromIndex(*db, mine));
      EXPECT_FALSE(fromIndex(*db, plain));
      auto got = firstColumn(*db, mine), want = firstColumn(*db, plain);
      ASSERT_EQ(got.size(), want.size());
      EXPECT_GT(want.size(), 0u);
      for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_EQ(got[i].isNull(), want[i].isNull()) << i;
        if (!got[i].isNull()) {
          EXPECT_EQ(coll.compare(got[i].bytes(), want[i].bytes()), 0) << got[i].bytes() << " / " << want[i].bytes();
        }
      }
    }
    EXPECT_TRUE(fromIndex(*db, "SELECT DISTINCT Name FROM Empty"));
    EXPECT_TRUE(firstColumn(*db, "SELECT DISTINCT Name FROM Empty").empty());
  }
}
