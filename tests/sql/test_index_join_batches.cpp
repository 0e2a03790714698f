// The index join looks its left rows' keys up a batch at a time in key
// order, yet must give exactly the rows, in exactly the order, of looking
// each left row up in turn: for each left row (in the left side's order)
// the matching rows in index order. A created table with keys repeated far
// beyond one leaf page, Nulls in the join field and left sides of several
// batches is joined and checked against that model, built from the index
// itself, and against the hash join of the same statement.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "jet/create.h"
#include "jet/database.h"
#include "jet/index.h"
#include "jet/table.h"
#include "jet/table_writer.h"
#include "sql/engine.h"

using jet::DataType;
using jet::Value;

namespace {

constexpr int kRows = 20000;

// Dups: ID, K (indexed, not unique: Null every 11th row, 5 in every 97th,
// else one of 3000 values), Name, F.
std::unique_ptr<jet::Database> dupsDb() {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"Dups",
                         {jet::autoNumberSpec("ID"), jet::columnSpec("K", DataType::Long),
                          jet::columnSpec("Name", DataType::Text, 20), jet::columnSpec("F", DataType::Long)},
                         {jet::primaryKeySpec("ID"), jet::indexSpec("KIdx", {{"K", true}})}});
  jet::TableWriter w(*db, "Dups");
  std::mt19937 rng(5);
  for (int i = 1; i <= kRows; ++i) {
    Value k = i % 11 == 0 ? Value() : Value::longInt(i % 97 == 0 ? 5 : static_cast<int32_t>(rng() % 3000) - 1000);
    w.insert({Value(), k, Value::text("n" + std::to_string(i)), Value::longInt(static_cast<int32_t>(rng() % 100))});
  }
  return db;
}

std::vector<std::vector<Value>> rowsOf(jet::Database& db, const std::string& stmt, std::vector<std::string>* notes) {
  auto rs = sql::openRecordset(db, stmt);
  size_t n = rs->fetchAll();
  std::vector<std::vector<Value>> out;
  for (size_t i = 0; i < n; ++i) { auto r = rs->row(i); out.emplace_back(r.begin(), r.end()); }
  if (notes) *notes = rs->planNotes();
  return out;
}

std::vector<std::string> lines(const std::vector<std::vector<Value>>& rows) {
  std::vector<std::string> out;
  for (const auto& r : rows) {
    std::string s;
    for (const auto& v : r) s += (v.isNull() ? std::string("<null>") : v.display()) + "|";
    out.push_back(s);
  }
  return out;
}

bool noted(const std::vector<std::string>& notes, const std::string& what) {
  for (const auto& n : notes)
    if (n.find(what) != std::string::npos) return true;
  return false;
}

class IndexJoinBatches : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    db_ = dupsDb().release();
    // the model: for each K, the IDs of its rows in index order
    auto def = db_->table("Dups");
    std::unordered_map<uint32_t, std::pair<int64_t, Value>> byRow;  // row address -> ID, K
    jet::TableScan scan(*db_, def);
    while (scan.next()) byRow[scan.rowId().packed()] = {scan.values()[0].asInt(), scan.values()[1]};
    const jet::RealIndex* kix = nullptr;
    for (const auto& ix : def->indexes)
      if (ix.name == "KIdx") kix = &def->realIndexes.at(static_cast<size_t>(ix.realIndex));
    ASSERT_NE(kix, nullptr);
    jet::IndexCursor c(*db_, *kix);
    while (c.next()) {
      const auto& [id, k] = byRow.at(c.rowId().packed());
      if (!k.isNull()) (*byKey_)[k.asInt()].push_back(id);
    }
  }
  static void TearDownTestSuite() {
    delete db_;
    db_ = nullptr;
  }
  static jet::Database* db_;
  static std::map<int64_t, std::vector<int64_t>>* byKey_;
};
jet::Database* IndexJoinBatches::db_ = nullptr;
std::map<int64_t, std::vector<int64_t>>* IndexJoinBatches::byKey_ = new std::map<int64_t, std::vector<int64_t>>;

}  // namespace

TEST_F(IndexJoinBatches, RowsComeInTheLeftOrderWithTheirMatchesInIndexOrder) {
  // the largest key run spans several leaves; left sides of one to several batches
  ASSERT_GT((*byKey_)[5].size(), 150u);
  for (const char* cond : {"a.ID <= 9000", "a.ID BETWEEN 4000 AND 4100", "a.F < 30", "a.ID = 97"}) {
    SCOPED_TRACE(cond);
    const std::string where = std::string(" WHERE ") + cond;
    std::vector<std::string> notes;
    auto got = rowsOf(*db_, "SELECT a.ID, b.ID, b.Name FROM Dups AS a INNER JOIN Dups AS b ON a.K = b.K" + where, &notes);
    EXPECT_TRUE(noted(notes, "index join KIdx on Dups"));
    // the model, from the left side alone
    std::vector<std::string> expect;
    for (const auto& l : rowsOf(*db_, "SELECT a.ID, a.K FROM Dups AS a" + where, nullptr)) {
      if (l[1].isNull()) continue;  // Null never matches
      for (int64_t id : (*byKey_)[l[1].asInt()])
        expect.push_back(l[0].display() + "|" + std::to_string(id) + "|n" + std::to_string(id) + "|");
    }
    EXPECT_EQ(lines(got), expect);
    // the hash join agrees on the rows
    auto hashed = lines(rowsOf(
        *db_, "SELECT a.ID, b.ID, b.Name FROM Dups AS a INNER JOIN Dups AS b ON (a.K + 0) = (b.K + 0)" + where, &notes));
    EXPECT_FALSE(noted(notes, "index join"));
    auto sorted = lines(got);
    std::sort(sorted.begin(), sorted.end());
    std::sort(hashed.begin(), hashed.end());
    EXPECT_EQ(sorted, hashed);
  }
}

TEST_F(IndexJoinBatches, LeftJoinsAndConditionsOnEitherSideKeepTheirRows) {
  const std::string where = " WHERE a.ID <= 6000";
  struct Case {
    std::string join, on;
  };
  const Case cases[] = {
      {"LEFT JOIN", ""},                   // Null keys and unmatched keys keep their left row
      {"LEFT JOIN", " AND b.F < 40"},      // a condition on the looked-up side
      {"INNER JOIN", " AND b.F < 40"},
      {"INNER JOIN", " AND a.F <= b.F"},   // a condition on both sides
      {"LEFT JOIN", " AND a.F <= b.F"},
  };
  for (const auto& c : cases) {
    const std::string cols = "SELECT a.ID, a.K, b.ID, b.F FROM Dups AS a " + c.join + " Dups AS b ON ";
    SCOPED_TRACE(cols + c.on);
    std::vector<std::string> notes;
    auto got = lines(rowsOf(*db_, cols + "a.K = b.K" + c.on + where, &notes));
    EXPECT_TRUE(noted(notes, "index join"));
    auto plain = lines(rowsOf(*db_, cols + "(a.K + 0) = (b.K + 0)" + c.on + where, &notes));
    EXPECT_FALSE(noted(notes, "index join"));
    EXPECT_GT(got.size(), 6000u / 2);
    std::sort(got.begin(), got.end());
    std::sort(plain.begin(), plain.end());
    EXPECT_EQ(got, plain);
  }
  // the inner side's filter in WHERE, and a count over the join
  std::vector<std::string> notes;
  auto n = rowsOf(*db_, "SELECT Count(*) FROM Dups AS a INNER JOIN Dups AS b ON a.K = b.K WHERE a.ID <= 6000 AND b.F > 90",
                  &notes);
  auto m = rowsOf(*db_,
                  "SELECT Count(*) FROM Dups AS a INNER JOIN Dups AS b ON (a.K + 0) = (b.K + 0) WHERE a.ID <= 6000 AND "
                  "b.F > 90",
                  nullptr);
  EXPECT_TRUE(noted(notes, "index join"));
  EXPECT_EQ(lines(n), lines(m));
}

TEST_F(IndexJoinBatches, TextJoinFieldsMatchAsTheNestedLoopMatchesThem) {
  // Name is not indexed: the join is hashed, compared here with a nested loop
  auto hashed = lines(rowsOf(*db_, "SELECT a.ID, b.ID FROM Dups AS a INNER JOIN Dups AS b ON a.Name = b.Name WHERE a.ID <= 300", nullptr));
  auto nested = lines(rowsOf(
      *db_, "SELECT a.ID, b.ID FROM Dups AS a INNER JOIN Dups AS b ON a.Name >= b.Name AND a.Name <= b.Name WHERE a.ID <= 300",
      nullptr));
  std::sort(hashed.begin(), hashed.end());
  std::sort(nested.begin(), nested.end());
  EXPECT_EQ(hashed.size(), 300u);
  EXPECT_EQ(hashed, nested);
}
