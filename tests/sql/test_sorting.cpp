// Sorting and the recordset's row storage on created tables: the sort's
// shortcuts (collation prefixes, numbers compared as bits) must give exactly
// the order of the full comparison, and rows read again through their
// RowIds must equal the rows first fetched.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "jet/create.h"
#include "jet/database.h"
#include "jet/dump.h"
#include "jet/table_writer.h"
#include "sql/collate.h"
#include "sql/engine.h"
#include "sql/ops.h"
#include "sql/parser.h"

using jet::DataType;
using jet::Value;

namespace {

// Short texts over an alphabet where case, accents, hyphens, apostrophes,
// digits and blanks all matter to the order.
std::string randomText(std::mt19937& rng) {
  static const std::vector<std::string> pieces = {"a", "A", "b", "B", "e", "é", "É", "z", "Z", "-", "'", "0",
                                                  "9", " ", "ç", "Œ", "ß", "ÿ", "Ω", "_", "~", "x"};
  std::string s;
  size_t n = rng() % 11;
  for (size_t i = 0; i < n; ++i) s += pieces[rng() % pieces.size()];
  return s;
}

int sign(int c) { return c < 0 ? -1 : c > 0 ? 1 : 0; }

}  // namespace

TEST(Sorting, CollationPrefixesAgreeWithTheFullComparison) {
  std::mt19937 rng(11);
  int decided = 0;
  for (int i = 0; i < 200000; ++i) {
    std::string a = randomText(rng), b = randomText(rng);
    uint64_t pa = 0, pb = 0;
    if (!sql::collationPrefix(a, pa) || !sql::collationPrefix(b, pb) || pa == pb) continue;
    ++decided;
    ASSERT_EQ(pa < pb ? -1 : 1, sign(sql::compareText(a, b))) << "'" << a << "' vs '" << b << "'";
  }
  EXPECT_GT(decided, 50000);
  uint64_t p = 0;
  ASSERT_TRUE(sql::collationPrefix("Paris", p));
  uint64_t q = 0;
  ASSERT_TRUE(sql::collationPrefix("pa-RIS", q));
  EXPECT_EQ(p, q);  // case and hyphens do not count at the first level
  // texts that differ only in ignorable characters still order one way
  EXPECT_EQ(sql::compareText("a-b", "a'b"), -sql::compareText("a'b", "a-b"));
  EXPECT_NE(sql::compareText("a-b", "a'b"), 0);
}

TEST(Sorting, SortedRowsFollowTheFullComparison) {
  auto db = jet::createMemoryDatabase();
  jet::TableSpec t;
  t.name = "Mixed";
  auto col = [](const char* n, DataType ty, int size = 0) { return jet::columnSpec(n, ty, size); };
  t.columns = {col("Label", DataType::Text, 20), col("N", DataType::Long), col("D", DataType::Double),
               col("Money", DataType::Currency), col("Seq", DataType::Long)};
  jet::createTable(*db, t);
  {
    jet::TableWriter w(*db, "Mixed");
    std::mt19937 rng(3);
    jet::ChangeScope change(*db);
    for (int i = 0; i < 3000; ++i) {
      int pick = static_cast<int>(rng() % 10);
      w.insert({pick == 0 ? Value() : Value::text(randomText(rng)),
                pick == 1 ? Value() : Value::longInt(static_cast<int32_t>(rng() % 40) - 20),
                pick == 2 ? Value() : Value::dbl((static_cast<int>(rng() % 200) - 100) / 8.0),
                Value::currency(static_cast<int64_t>(rng() % 50) * 2500 - 60000), Value::longInt(i)});
    }
    change.commit();
  }
  auto def = db->table("Mixed");
  std::vector<std::vector<sql::SortKey>> orders = {
      {{0, false}}, {{0, true}}, {{1, false}, {0, false}}, {{2, true}, {0, false}}, {{3, false}, {1, true}}};
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
    for (size_t limit : {size_t{64} << 20, size_t{20000}}) {  // in memory, and spilled in runs
      auto op = sql::makeSort(sql::makeTableScan(*db, def, nullptr, std::nullopt), keys, sql::collationOf(db.get()), limit);
      op->open(nullptr);
      sql::Row r;
      size_t i = 0;
      while (op->next(r)) {
        ASSERT_LT(i, expected.size());
        ASSERT_EQ(r.v[4].asInt(), expected[i].v[4].asInt())
            << "row " << i << " with keys starting at column " << keys[0].slot << ", budget " << limit;
        ++i;
      }
      EXPECT_EQ(i, expected.size());
    }
  }
}

TEST(RecordsetRows, RowsReadAgainThroughTheirRowIdsEqualTheFetchedRows) {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"Items",
                         {jet::autoNumberSpec("ID"), jet::columnSpec("Name", DataType::Text, 30),
                          jet::columnSpec("Qty", DataType::Integer), jet::columnSpec("Notes", DataType::Memo)},
                         {}});
  {
    jet::TableWriter w(*db, "Items");
    jet::ChangeScope change(*db);
    for (int i = 0; i < 500; ++i)
      w.insert({Value(), Value::text("item " + std::to_string(i % 37)), i % 5 ? Value::integer(static_cast<int16_t>(i)) : Value(),
                Value::memo(std::string(static_cast<size_t>(i % 3) * 700, 'm'))});
    change.commit();
  }
  for (const std::string stmt : {"SELECT Name, ID FROM Items ORDER BY Name, ID DESC", "Select * from [Items] WHERE Qty > 100",
                                 "SELECT Notes, Qty FROM Items"}) {
    SCOPED_TRACE(stmt);
    const sql::Params none;
    auto q = sql::parseStatement(stmt);
    sql::Recordset kept(*db, sql::planQuery(*db, *q, none));
    sql::Recordset reread(*db, sql::planQuery(*db, *q, none), 0);
    ASSERT_TRUE(kept.updatable());
    ASSERT_EQ(kept.fetchAll(), reread.fetchAll());
    ASSERT_GT(kept.recordCount(), 5000u / 100);
    // from the end backwards, so that nothing comes from the recent-rows cache
    for (size_t i = kept.recordCount(); i-- > 0;) {
      const auto& a = kept.row(i);
      const auto& b = reread.row(i);
      ASSERT_EQ(a.size(), b.size());
      for (size_t c = 0; c < a.size(); ++c) ASSERT_EQ(jet::dumpCell(a[c]), jet::dumpCell(b[c])) << "row " << i;
    }
  }
}
