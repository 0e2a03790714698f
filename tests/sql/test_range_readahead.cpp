// Index ranges read their rows' addresses a few entries ahead; joins and
// counts go through index pages whose entry ends are found from the entry
// mask on demand. Each statement is compared with its plain-scan twin (the
// indexed field wrapped in an expression no index serves) on a table with
// repeated keys, Nulls, a descending index and deleted rows spread over
// many pages, and the indexed result must come in index order.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "jet/create.h"
#include "jet/database.h"
#include "jet/table_writer.h"
#include "sql/engine.h"

using jet::DataType;
using jet::Value;

namespace {

std::unique_ptr<jet::Database> itemsDb() {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"Items",
                         {jet::autoNumberSpec("ID"), jet::columnSpec("Code", DataType::Long),
                          jet::columnSpec("Back", DataType::Long), jet::columnSpec("Name", DataType::Text, 40)},
                         {jet::primaryKeySpec("ID"), jet::indexSpec("CodeIdx", {{"Code", true}}),
                          jet::indexSpec("BackIdx", {{"Back", false}})}});
  {
    jet::TableWriter w(*db, "Items");
    std::mt19937 rng(11);
    for (int i = 1; i <= 5000; ++i) {
      Value code = i % 11 == 0 ? Value() : Value::longInt(static_cast<int32_t>(rng() % 700) - 200);
      w.insert({Value(), code, code, Value::text("Name " + std::to_string(rng() % 100000))});
    }
  }
  // every seventh row deleted
  std::vector<jet::RowId> gone;
  {
    auto rs = sql::openRecordset(*db, "SELECT ID FROM Items WHERE ID Mod 7 = 0");
    const size_t n = rs->fetchAll();
    for (size_t i = 0; i < n; ++i) gone.push_back(rs->rowIdAt(i));
  }
  jet::TableWriter w(*db, "Items");
  for (auto id : gone) w.remove(id);
  return db;
}

std::vector<std::vector<std::string>> rows(jet::Database& db, const std::string& stmt) {
  auto rs = sql::openRecordset(db, stmt);
  std::vector<std::vector<std::string>> out;
  const size_t n = rs->fetchAll();
  for (size_t i = 0; i < n; ++i) {
    std::vector<std::string> r;
    for (const auto& v : rs->row(i)) r.push_back(v.isNull() ? "<null>" : v.display());
    out.push_back(r);
  }
  return out;
}

class RangeReadAhead : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { db_ = itemsDb().release(); }
  static void TearDownTestSuite() {
    delete db_;
    db_ = nullptr;
  }
  // The same rows as the plain twin; column keyCol of the indexed result
  // never goes down (index order) when ascending is set.
  void same(const std::string& stmt, const std::string& plain, int keyCol, bool ascending = true) {
    SCOPED_TRACE(stmt);
    auto a = rows(*db_, stmt), b = rows(*db_, plain);
    if (keyCol >= 0 && ascending) {
      for (size_t i = 1; i < a.size(); ++i) {
        ASSERT_LE(std::stol(a[i - 1][static_cast<size_t>(keyCol)]), std::stol(a[i][static_cast<size_t>(keyCol)]));
      }
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b);
  }
  static jet::Database* db_;
};
jet::Database* RangeReadAhead::db_ = nullptr;

}  // namespace

TEST_F(RangeReadAhead, RangesGiveTheScansRowsInIndexOrder) {
  for (const char* r : {"BETWEEN -50 AND 120", "BETWEEN 400 AND 900", "BETWEEN 3 AND 3", "BETWEEN 10 AND 5",
                        "< -150", ">= 480", "= 77", "> 499"}) {
    same(std::string("SELECT ID, Code, Name FROM Items WHERE Code ") + r,
         std::string("SELECT ID, Code, Name FROM Items WHERE (Code + 0) ") + r, 1);
    same(std::string("SELECT ID, Back FROM Items WHERE Back ") + r,
         std::string("SELECT ID, Back FROM Items WHERE (Back + 0) ") + r, -1);
  }
  same("SELECT ID, Code FROM Items WHERE Code In (5, -200, 499, 77, 5, 1000)",
       "SELECT ID, Code FROM Items WHERE (Code + 0) In (5, -200, 499, 77, 5, 1000)", 1);
  // a filter on another field beside the range; only ID read from the rows
  same("SELECT ID FROM Items WHERE Code BETWEEN 0 AND 300 AND Name LIKE 'Name 1*'",
       "SELECT ID FROM Items WHERE (Code + 0) BETWEEN 0 AND 300 AND Name LIKE 'Name 1*'", -1);
  auto all = rows(*db_, "SELECT ID FROM Items WHERE Code BETWEEN -1000 AND 1000");
  auto plain = rows(*db_, "SELECT ID FROM Items WHERE Not IsNull(Code)");
  EXPECT_EQ(all.size(), plain.size());
}

TEST_F(RangeReadAhead, JoinsAndCountsThroughTheIndexMatchTheScan) {
  same("SELECT a.ID, b.ID, b.Name FROM Items AS a INNER JOIN Items AS b ON a.Code = b.Code WHERE a.ID <= 300",
       "SELECT a.ID, b.ID, b.Name FROM Items AS a INNER JOIN Items AS b ON (a.Code + 0) = (b.Code + 0) WHERE (a.ID + 0) <= 300",
       -1);
  for (int v : {-200, 0, 77, 499, 500, 12345}) {
    std::string s = std::to_string(v);
    same("SELECT Count(*) FROM Items WHERE Code = " + s, "SELECT Count(*) FROM Items WHERE (Code + 0) = " + s, -1);
    same("SELECT Count(*) FROM Items WHERE Back = " + s, "SELECT Count(*) FROM Items WHERE (Back + 0) = " + s, -1);
  }
  same("SELECT TOP 25 ID, Code FROM Items WHERE Not IsNull(Code) ORDER BY Code, ID",
       "SELECT TOP 25 ID, Code FROM Items WHERE Not IsNull(Code + 0) ORDER BY Code + 0, ID", 1);
}

// Rows changed while a read through the index is open (holding pages and
// their prefetch hints) are read with their new bytes by the next read
// through the index, both when the change is kept and when it is undone.
TEST(RangeReadAheadChanges, ChangedRowsAreReadAfreshThroughTheIndex) {
  auto db = itemsDb();
  const std::string ranged = "SELECT ID, Code, Name FROM Items WHERE Code BETWEEN 0 AND 300";
  const std::string plain = "SELECT ID, Code, Name FROM Items WHERE (Code + 0) BETWEEN 0 AND 300";
  auto open = sql::openRecordset(*db, ranged);
  ASSERT_TRUE(open->fetchTo(40));
  std::vector<jet::RowId> ids;
  for (size_t i = 0; i < 40; i += 3) ids.push_back(open->rowIdAt(i));
  // each marked row's Name becomes "changed <ID>"
  auto mark = [&](jet::TableWriter& w) {
    for (auto id : ids) {
      auto v = w.read(id);
      v[3] = Value::text("changed " + v[0].display());
      w.update(id, v);
    }
  };
  {
    jet::TableWriter w(*db, "Items");
    jet::ChangeScope change(*db);
    mark(w);
    // inside the change the index path sees the changed rows
    auto mid = rows(*db, ranged);
    size_t seen = 0;
    for (const auto& r : mid) seen += r[2].rfind("changed ", 0) == 0;
    EXPECT_EQ(seen, ids.size());
    // undone: the old bytes again
  }
  for (const auto& r : rows(*db, ranged)) EXPECT_NE(r[2].rfind("changed ", 0), 0u);
  {
    jet::TableWriter w(*db, "Items");
    jet::ChangeScope change(*db);
    mark(w);
    change.commit();
  }
  auto after = rows(*db, ranged), twin = rows(*db, plain);
  size_t seen = 0;
  for (const auto& r : after) seen += r[2] == "changed " + r[0];
  EXPECT_EQ(seen, ids.size());
  std::sort(after.begin(), after.end());
  std::sort(twin.begin(), twin.end());
  EXPECT_EQ(after, twin);
  // the read opened before the change goes on to its end without fault
  EXPECT_GE(open->fetchAll(), 40u);
}

// A range on an index of whole numbers answers Between, >= and <= of whole
// numbers by itself; every other test on the same field (strict bounds,
// fractions, texts, numbers outside the field's type, a second bound) is
// still checked on the rows, so the results stay the scan's.
TEST(RangeExactness, RangesLeaveNoRowTheTestsWouldRefuse) {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"Nums",
                         {jet::autoNumberSpec("ID"), jet::columnSpec("B", DataType::Byte),
                          jet::columnSpec("I", DataType::Integer), jet::columnSpec("L", DataType::Long),
                          jet::columnSpec("G", DataType::Integer)},
                         {jet::primaryKeySpec("ID"), jet::indexSpec("BIdx", {{"B", true}}),
                          jet::indexSpec("IIdx", {{"I", true}}), jet::indexSpec("LIdx", {{"L", true}}),
                          jet::indexSpec("GB", {{"G", true}, {"B", true}})}});
  {
    jet::TableWriter w(*db, "Nums");
    std::mt19937 rng(3);
    for (int i = 0; i < 3000; ++i) {
      const Value g = Value::integer(static_cast<int16_t>(i % 4));
      if (i % 29 == 0) {
        w.insert({Value(), Value(), Value(), Value(), g});
        continue;
      }
      const int32_t edge = i % 97 == 0 ? INT32_MAX : i % 89 == 0 ? INT32_MIN : static_cast<int32_t>(rng() % 400) - 200;
      w.insert({Value(), Value::byte(static_cast<uint8_t>(i % 101 == 0 ? 255 : rng() % 60)),
                Value::integer(static_cast<int16_t>(i % 83 == 0 ? -32768 : static_cast<int>(rng() % 400) - 200)),
                Value::longInt(edge), g});
    }
  }
  // X stands for the field
  const char* conds[] = {
      "X BETWEEN 0 AND 30",       "X BETWEEN 30 AND 0",       "X >= 12",
      "X <= 12",                  "X > 12",                   "X < 12",
      "X >= 5 AND X >= 40",       "X <= 50 AND X < 20",       "X BETWEEN 0 AND 40 AND X <> 17",
      "X BETWEEN -50.5 AND 20.5", "X BETWEEN '10' AND '20'",  "X >= 2.5",
      "X <= 39.99",               "X >= -3000000000",         "X <= 3000000000",
      "X BETWEEN -40000 AND 40000", "X = 7 AND X = 8",        "X >= 255",
      "X <= -32768",              "X >= 2147483647",          "X <= -2147483648",
      "X BETWEEN 10 AND 20 AND X BETWEEN 15 AND 40",
  };
  auto with = [](std::string s, const std::string& field) {
    for (size_t at; (at = s.find('X')) != std::string::npos;) s.replace(at, 1, field);
    return s;
  };
  for (const std::string col : {"B", "I", "L"}) {
    for (const char* c : conds) {
      const std::string stmt = "SELECT ID, " + col + " FROM Nums WHERE " + with(c, col);
      const std::string plain = "SELECT ID, " + col + " FROM Nums WHERE " + with(c, "(" + col + " + 0)");
      SCOPED_TRACE(stmt);
      auto a = rows(*db, stmt), b = rows(*db, plain);
      std::sort(a.begin(), a.end());
      std::sort(b.begin(), b.end());
      EXPECT_EQ(a, b);
    }
  }
  // the second field of a two-field index after an equal first one: its
  // Nulls lie inside the first field's entries
  for (const char* c : conds) {
    const std::string stmt = "SELECT ID, B FROM Nums WHERE G = 2 AND " + with(c, "B");
    const std::string plain = "SELECT ID, B FROM Nums WHERE (G + 0) = 2 AND " + with(c, "(B + 0)");
    SCOPED_TRACE(stmt);
    auto a = rows(*db, stmt), b = rows(*db, plain);
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b);
  }
}
