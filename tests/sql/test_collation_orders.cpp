// Statements compare texts by the sort order of the database they run on
// (General97 in Jet 3 files, General (legacy) or General in later ones):
// each order's collation gives its whole-text keys' answer, and a statement
// on a database of each order sorts, filters, groups and picks Min/Max by
// that order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jet/create.h"
#include "jet/database.h"
#include "jet/index_codes.h"
#include "jet/table_writer.h"
#include "jet/text.h"
#include "sql/collate.h"
#include "sql/engine.h"
#include "sql/recordset.h"
#include "support/test_support.h"

namespace {

using jet::DataType;
using jet::TextSortOrder;
using jet::Value;

int sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

std::string wholeKey(TextSortOrder o, const std::string& s) {
  std::vector<uint8_t> k;
  jet::appendWholeTextSortKey(o, jet::utf8ToUtf16(s), k);
  return std::string(k.begin(), k.end());
}

const TextSortOrder kOrders[] = {TextSortOrder::General97, TextSortOrder::GeneralLegacy, TextSortOrder::General};

TEST(CollationOrders, EveryOrderComparesAsItsWholeKeys) {
  std::vector<std::string> texts = {"", "a", "A", "ab", "aB", "abc", "b", "Paris", "paris", "PARIS", "Pari", "Parisx",
                                    "co-op", "coop", "co'op", "cop", "!", "-", "_", "~", "0", "9", "10", "1 0",
                                    "é", "e", "E", "ê", "ß", "ss", "SS", "st", "Æ", "AE", "ae", "ø", "o", "z", "ÿ",
                                    "œ", "oe", "Ș", "S", "Sa", "Ta", "Ł", "L", "ñ", "n", "x y", "x  y", "xy"};
  for (auto o : kOrders) {
    SCOPED_TRACE(jet::textSortOrderName(o));
    const sql::Collation& c = sql::Collation::of(o);
    EXPECT_EQ(c.order(), o);
    for (const auto& a : texts)
      for (const auto& b : texts) {
        const std::string ka = wholeKey(o, a), kb = wholeKey(o, b);
        const int want = sign(ka.compare(kb));
        ASSERT_EQ(sign(c.compare(a, b)), want) << "'" << a << "' vs '" << b << "'";
        ASSERT_EQ(sign(c.key(a).compare(c.key(b))), want) << "keys of '" << a << "' vs '" << b << "'";
        uint64_t pa, pb, a1, a2, b1, b2;
        if (c.prefix(a, pa) && c.prefix(b, pb) && pa != pb) {
          ASSERT_EQ(pa < pb ? -1 : 1, want) << "prefix '" << a << "' vs '" << b << "'";
        }
        if (c.prefix16(a, a1, a2) && c.prefix16(b, b1, b2) && (a1 != b1 || a2 != b2)) {
          ASSERT_EQ((a1 != b1 ? a1 < b1 : a2 < b2) ? -1 : 1, want) << "prefix16 '" << a << "' vs '" << b << "'";
        }
        // trailing spaces take no part, in every order
        ASSERT_EQ(sign(c.compare(a + "  ", b)), want) << "'" << a << "  ' vs '" << b << "'";
      }
  }
  // An order this engine cannot build keys for compares as General.
  EXPECT_EQ(sql::Collation::of(TextSortOrder::Unsupported).order(), TextSortOrder::General);
}

TEST(CollationOrders, TheOrdersDisagreeWhereTheirTablesDo) {
  const auto& g97 = sql::Collation::of(TextSortOrder::General97);
  const auto& legacy = sql::Collation::of(TextSortOrder::GeneralLegacy);
  const auto& general = sql::Collation::of(TextSortOrder::General);
  // Jet 3 sorts a hyphen as a character of its own; the later orders only
  // let it break ties.
  EXPECT_LT(g97.compare("co-op", "coop"), 0);
  EXPECT_GT(legacy.compare("co-op", "coop"), 0);
  EXPECT_GT(general.compare("co-op", "coop"), 0);
  // Ș is a letter S in General; General (legacy) sorts it before the letters.
  EXPECT_GT(general.compare("Ș", "A"), 0);
  EXPECT_LT(legacy.compare("Ș", "A"), 0);
  // Case never matters.
  for (auto o : kOrders) EXPECT_EQ(sql::Collation::of(o).compare("PARIS", "paris"), 0);
}

std::vector<std::string> column(jet::Database& db, const std::string& stmt) {
  auto rs = sql::openRecordset(db, stmt);
  std::vector<std::string> out;
  for (size_t i = 0; rs->fetchTo(i + 1); ++i) out.push_back(rs->row(i)[0].isNull() ? "<null>" : rs->row(i)[0].display());
  return out;
}

std::unique_ptr<jet::Database> wordsDatabase(jet::Version v) {
  auto db = jet::createMemoryDatabase(v);
  jet::createTable(*db, {"Words", {jet::columnSpec("W", DataType::Text, 20), jet::columnSpec("N", DataType::Long)}, {}});
  jet::TableWriter w(*db, "Words");
  jet::ChangeScope change(*db);
  int n = 0;
  for (const char* s : {"coop", "Ș", "co-op", "A", "T", "a"}) w.insert({Value::text(s), Value::longInt(++n)});
  change.commit();
  return db;
}

TEST(CollationOrders, StatementsFollowTheDatabasesOrder) {
  // 2000 files: General (legacy); 2010 files: General.
  auto legacy = wordsDatabase(jet::Version::Jet4);
  auto general = wordsDatabase(jet::Version::Ace14);
  EXPECT_EQ(sql::collationOf(legacy.get()).order(), TextSortOrder::GeneralLegacy);
  EXPECT_EQ(sql::collationOf(general.get()).order(), TextSortOrder::General);
  EXPECT_EQ(sql::collationOf(nullptr).order(), TextSortOrder::General);

  const std::string order = "SELECT W FROM Words ORDER BY W, N";
  EXPECT_EQ(column(*legacy, order), (std::vector<std::string>{"Ș", "A", "a", "coop", "co-op", "T"}));
  EXPECT_EQ(column(*general, order), (std::vector<std::string>{"A", "a", "coop", "co-op", "Ș", "T"}));
  // The same order for comparisons, Min and Max, grouping and DISTINCT.
  EXPECT_EQ(column(*legacy, "SELECT W FROM Words WHERE W < 'B' ORDER BY N"), (std::vector<std::string>{"Ș", "A", "a"}));
  EXPECT_EQ(column(*general, "SELECT W FROM Words WHERE W < 'B' ORDER BY N"), (std::vector<std::string>{"A", "a"}));
  EXPECT_EQ(column(*legacy, "SELECT Min(W) FROM Words"), (std::vector<std::string>{"Ș"}));
  EXPECT_EQ(column(*general, "SELECT Min(W) FROM Words"), (std::vector<std::string>{"A"}));
  EXPECT_EQ(column(*general, "SELECT Max(W) FROM Words"), (std::vector<std::string>{"T"}));
  EXPECT_EQ(column(*legacy, "SELECT Count(*) FROM Words GROUP BY W ORDER BY W").size(), 5u);
  EXPECT_EQ(column(*general, "SELECT DISTINCT W FROM Words").size(), 5u);
  EXPECT_EQ(column(*general, "SELECT W FROM Words WHERE W Between 'R' And 'Sz'"), (std::vector<std::string>{"Ș"}));
  EXPECT_TRUE(column(*legacy, "SELECT W FROM Words WHERE W Between 'R' And 'Sz'").empty());
  // Equality ignores case and trailing spaces everywhere; Like is unchanged.
  EXPECT_EQ(column(*legacy, "SELECT N FROM Words WHERE W = 'COOP  '"), (std::vector<std::string>{"1"}));
  EXPECT_EQ(column(*general, "SELECT N FROM Words WHERE W In ('x', 'CO-OP')"), (std::vector<std::string>{"3"}));
  EXPECT_EQ(column(*general, "SELECT N FROM Words WHERE W Like 'co*' ORDER BY N"), (std::vector<std::string>{"1", "3"}));
  // A join on texts matches by the same order.
  EXPECT_EQ(column(*legacy, "SELECT a.N FROM Words AS a INNER JOIN Words AS b ON a.W = b.W WHERE b.N = 4 ORDER BY a.N"),
            (std::vector<std::string>{"4", "6"}));
}

TEST(CollationOrders, FixturesOfEveryFormatSortAndFilterByTheirOrder) {
  SKIP_WITHOUT_SHARED();
  struct Case {
    const char* file;
    TextSortOrder order;
  };
  const Case cases[] = {{"jet3/testV1997.mdb", TextSortOrder::General97},
                        {"jet4/testV2000.mdb", TextSortOrder::GeneralLegacy},
                        {"ace/testV2010.accdb", TextSortOrder::General}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    auto db = jet::Database::open(testsupport::fixture(c.file));
    const sql::Collation& coll = sql::collationOf(db.get());
    ASSERT_EQ(coll.order(), c.order);
    // Every text column of every table: ORDER BY gives the order's keys in
    // ascending order, and an equality with an upper-cased value finds
    // exactly the rows whose keys are equal.
    int checked = 0;
    for (const auto& e : db->objects()) {
      if (e.kind != jet::ObjectKind::Table) continue;
      auto def = db->table(e);
      for (const auto& col : def->columns) {
        if (col.type != DataType::Text) continue;
        std::string q = "SELECT [" + col.name + "] FROM [" + def->name + "] WHERE [" + col.name + "] Is Not Null ORDER BY [" + col.name + "]";
        auto vals = column(*db, q);
        for (size_t i = 1; i < vals.size(); ++i)
          ASSERT_LE(wholeKey(c.order, vals[i - 1]).compare(wholeKey(c.order, vals[i])), 0)
              << col.name << ": '" << vals[i - 1] << "' before '" << vals[i] << "'";
        if (vals.empty() || vals[0].find('\'') != std::string::npos) continue;
        size_t same = 0;
        for (const auto& v : vals) same += wholeKey(c.order, v) == wholeKey(c.order, vals[0]);
        std::string upper;
        for (char ch : vals[0]) upper.push_back(ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 32) : ch);
        auto eq = column(*db, "SELECT [" + col.name + "] FROM [" + def->name + "] WHERE [" + col.name + "] = '" + upper + "'");
        EXPECT_EQ(eq.size(), same) << col.name << " = '" << upper << "'";
        ++checked;
      }
    }
    EXPECT_GT(checked, 0);
  }
}

}  // namespace
