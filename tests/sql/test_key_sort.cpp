// ORDER BY over one table without TOP keeps only RowIds and key summaries:
// its order must be exactly the stable full sort of the rows (texts with
// case, accents and Nulls, numbers with Nulls and NaN, currency, descending
// and several keys), in memory and when it gives up and sorts the rows
// whole; through SQL, the rows it gives equal a sort of the scanned rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "jet/create.h"
#include "jet/database.h"
#include "jet/dump.h"
#include "jet/table_writer.h"
#include "sql/collate.h"
#include "sql/engine.h"
#include "sql/exec.h"
#include "sql/ops.h"
#include "sql/recordset.h"

using jet::DataType;
using jet::Value;

namespace {

std::string someText(std::mt19937& rng) {
  static const std::vector<std::string> pieces = {"a", "A", "b", "e", "é", "É", "E", "z", "-", "'", "0", " ",
                                                  "ç", "Ç", "ß", "Ω", "x", "X", "ab", "AB"};
  std::string s;
  size_t n = rng() % 9;
  for (size_t i = 0; i < n; ++i) s += pieces[rng() % pieces.size()];
  return s;
}

std::unique_ptr<jet::Database> mixedTable() {
  auto db = jet::createMemoryDatabase();
  auto col = [](const char* n, DataType ty, int size = 0) { return jet::columnSpec(n, ty, size); };
  jet::createTable(*db, {"Mixed",
                         {col("Label", DataType::Text, 30), col("N", DataType::Long), col("D", DataType::Double),
                          col("Money", DataType::Currency), col("Seq", DataType::Long), col("Note", DataType::Memo)},
                         {}});
  jet::TableWriter w(*db, "Mixed");
  std::mt19937 rng(5);
  jet::ChangeScope change(*db);
  for (int i = 0; i < 4000; ++i) {
    int pick = static_cast<int>(rng() % 12);
    double d = (static_cast<int>(rng() % 60) - 30) / 4.0;
    if (pick == 3) d = std::nan("");
    if (pick == 4) d = -0.0;
    w.insert({pick == 0 ? Value() : Value::text(someText(rng)),
              pick == 1 ? Value() : Value::longInt(static_cast<int32_t>(rng() % 30) - 15),
              pick == 2 ? Value() : Value::dbl(d), Value::currency(static_cast<int64_t>(rng() % 40) * 2500 - 50000),
              Value::longInt(i), Value::memo("note " + std::to_string(i % 17))});
  }
  change.commit();
  return db;
}

}  // namespace

TEST(KeySort, OrderIsTheStableFullSortInMemoryAndWhenItFallsBack) {
  auto db = mixedTable();
  auto def = db->table("Mixed");
  std::vector<std::vector<sql::SortKey>> orders = {{{0, false}},
                                                   {{0, true}},
                                                   {{2, false}},
                                                   {{2, true}, {0, false}},
                                                   {{1, false}, {0, true}},
                                                   {{3, true}, {2, false}, {0, false}}};
  for (const auto& keys : orders) {
    std::vector<sql::Row> expected;
    {
      auto scan = sql::makeTableScan(*db, def, nullptr, std::nullopt);
      scan->open(nullptr);
      sql::Row r;
      while (scan->next(r)) expected.push_back(r);
    }
    std::stable_sort(expected.begin(), expected.end(), [&](const sql::Row& a, const sql::Row& b) {
      for (const auto& k : keys) {
        int c = sql::compareForSort(a.v[k.slot], b.v[k.slot], sql::collationOf(db.get()));
        if (c) return k.desc ? c > 0 : c < 0;
      }
      return false;
    });
    for (size_t limit : {size_t{256} << 20, size_t{1000}}) {  // in memory, and through the general sort
      SCOPED_TRACE("first key " + std::to_string(keys[0].slot) + ", budget " + std::to_string(limit));
      auto op = sql::makeRefetch(sql::makeKeySort(sql::makeTableScan(*db, def, nullptr, std::nullopt), keys, sql::collationOf(db.get()), 4000, limit),
                                 *db, def, nullptr);
      for (int pass = 0; pass < 2; ++pass) {  // opened again, the same rows
        op->open(nullptr);
        sql::Row r;
        size_t i = 0;
        while (op->next(r)) {
          ASSERT_LT(i, expected.size());
          ASSERT_EQ(r.rid, expected[i].rid) << "row " << i;
          ASSERT_EQ(r.v.size(), expected[i].v.size());
          for (size_t c = 0; c < r.v.size(); ++c)
            ASSERT_EQ(jet::dumpCell(r.v[c]), jet::dumpCell(expected[i].v[c])) << "row " << i << " column " << c;
          ++i;
        }
        EXPECT_EQ(i, expected.size());
      }
    }
  }
}

TEST(KeySort, OrderByThroughSqlEqualsTheScannedRowsSorted) {
  auto db = mixedTable();
  struct Case {
    std::string stmt;
    std::vector<sql::SortKey> keys;  // over the selected columns
  };
  const std::vector<Case> cases = {
      {"SELECT Label, Seq FROM Mixed ORDER BY Label", {{0, false}}},
      {"SELECT Label, Seq FROM Mixed ORDER BY Label DESC", {{0, true}}},
      {"SELECT D, Label, Seq FROM Mixed WHERE N > 0 ORDER BY D DESC, Label", {{0, true}, {1, false}}},
      {"SELECT Money, N, Label, Seq, Note FROM Mixed ORDER BY Money, N DESC, Label", {{0, false}, {1, true}, {2, false}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stmt);
    // The same statement without ORDER BY, sorted here.
    std::string plain = c.stmt.substr(0, c.stmt.find(" ORDER BY"));
    auto rs = sql::openRecordset(*db, plain);
    std::vector<std::vector<Value>> expected;
    for (size_t i = 0; rs->fetchTo(i + 1); ++i) { auto r = rs->row(i); expected.emplace_back(r.begin(), r.end()); }
    std::stable_sort(expected.begin(), expected.end(), [&](const auto& a, const auto& b) {
      for (const auto& k : c.keys) {
        int r = sql::compareForSort(a[k.slot], b[k.slot], sql::collationOf(db.get()));
        if (r) return k.desc ? r > 0 : r < 0;
      }
      return false;
    });
    ASSERT_GT(expected.size(), 100u);
    auto sorted = sql::openRecordset(*db, c.stmt);
    size_t n = 0;
    for (; sorted->fetchTo(n + 1); ++n) {
      ASSERT_LT(n, expected.size());
      const auto& row = sorted->row(n);
      ASSERT_EQ(row.size(), expected[n].size());
      for (size_t k = 0; k < row.size(); ++k) ASSERT_EQ(jet::dumpCell(row[k]), jet::dumpCell(expected[n][k])) << "row " << n;
    }
    EXPECT_EQ(n, expected.size());
  }
}

TEST(KeySort, SixteenWeightPrefixesAgreeWithTheFullComparison) {
  // Long texts sharing their first eight weights (as "Name 123..." do), with
  // case, accents, hyphens and apostrophes after them.
  std::mt19937 rng(17);
  int decided = 0;
  for (int i = 0; i < 200000; ++i) {
    std::string a = "Name " + std::to_string(rng() % 1000) + someText(rng);
    std::string b = "name " + std::to_string(rng() % 1000) + someText(rng);
    if (rng() % 3 == 0) a.insert(rng() % a.size(), "-");
    uint64_t a1 = 0, a2 = 0, b1 = 0, b2 = 0, p = 0;
    if (!sql::collationPrefix16(a, a1, a2) || !sql::collationPrefix16(b, b1, b2)) continue;
    ASSERT_TRUE(sql::collationPrefix(a, p));
    ASSERT_EQ(p, a1) << a;  // the first word is the eight-weight prefix
    if (a1 == b1 && a2 == b2) continue;
    ++decided;
    int want = a1 != b1 ? (a1 < b1 ? -1 : 1) : (a2 < b2 ? -1 : 1);
    int got = sql::compareText(a, b);
    ASSERT_EQ(want, got < 0 ? -1 : got > 0 ? 1 : 0) << "'" << a << "' vs '" << b << "'";
  }
  EXPECT_GT(decided, 50000);
}
