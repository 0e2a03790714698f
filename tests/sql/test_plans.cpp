// Access paths and executor nodes chosen for speed give the rows the plain
// ones give: TOP n over ORDER BY with a bounded buffer (ties included), and
// the index nested-loop join (inner and left, with conditions on either
// side). Expected rows are computed here from the rows inserted.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "jet/create.h"
#include "jet/database.h"
#include "jet/table_writer.h"
#include "sql/engine.h"

using jet::DataType;
using jet::Value;
using Lines = std::vector<std::string>;

namespace {

struct Item {
  int id, code, grp;
};

// Items: 3,000 rows; Code repeats (0..599), Grp is 0..9; Code is indexed.
std::unique_ptr<jet::Database> itemsDb(std::vector<Item>& items) {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"Items",
                         {jet::autoNumberSpec("ID"), jet::columnSpec("Code", DataType::Long),
                          jet::columnSpec("Grp", DataType::Long), jet::columnSpec("Name", DataType::Text, 20)},
                         {jet::primaryKeySpec("ID"), jet::indexSpec("Code", {{"Code", true}})}});
  jet::TableWriter w(*db, "Items");
  for (int i = 1; i <= 3000; ++i) {
    Item it{i, (i * 37) % 600, i % 10};
    if (i % 250 == 0) it.code = 100000 + i;  // no partner
    items.push_back(it);
    w.insert({Value(), Value::longInt(it.code), Value::longInt(it.grp), Value::text("n" + std::to_string(i))});
  }
  return db;
}

Lines rows(jet::Database& db, const std::string& stmt, std::vector<std::string>* notes = nullptr) {
  auto rs = sql::openRecordset(db, stmt);
  if (notes) *notes = rs->planNotes();
  Lines out;
  for (size_t i = 0; rs->fetchTo(i + 1); ++i) {
    std::string line;
    for (size_t c = 0; c < rs->fieldCount(); ++c) {
      const Value& v = rs->row(i)[c];
      line += (c ? "|" : "") + (v.isNull() ? std::string("NULL") : v.isText() ? v.bytes() : std::to_string(v.asInt()));
    }
    out.push_back(line);
  }
  return out;
}

bool has(const std::vector<std::string>& notes, const std::string& what) {
  for (const auto& n : notes)
    if (n.find(what) != std::string::npos) return true;
  return false;
}

}  // namespace

TEST(TopSort, KeepsTheFirstRowsAndTheirTiesInSortOrder) {
  std::vector<Item> items;
  auto db = itemsDb(items);
  for (int n : {1, 5, 10, 299, 300, 301, 2999, 3000, 5000}) {
    SCOPED_TRACE(n);
    // expected: stable sort by Grp descending, then TOP n with ties
    std::vector<Item> sorted = items;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Item& a, const Item& b) { return a.grp > b.grp; });
    size_t keep = std::min<size_t>(static_cast<size_t>(n), sorted.size());
    while (keep > 0 && keep < sorted.size() && sorted[keep].grp == sorted[keep - 1].grp) ++keep;
    Lines want;
    for (size_t i = 0; i < keep; ++i) want.push_back(std::to_string(sorted[i].id) + "|" + std::to_string(sorted[i].grp));
    EXPECT_EQ(rows(*db, "SELECT TOP " + std::to_string(n) + " ID, Grp FROM Items ORDER BY Grp DESC"), want);
  }
  // two keys, ascending, and a key that is not shown
  Lines top = rows(*db, "SELECT TOP 3 ID FROM Items ORDER BY Grp, Code DESC");
  std::vector<Item> s2 = items;
  std::stable_sort(s2.begin(), s2.end(), [](const Item& a, const Item& b) {
    return a.grp != b.grp ? a.grp < b.grp : a.code > b.code;
  });
  EXPECT_EQ(top, (Lines{std::to_string(s2[0].id), std::to_string(s2[1].id), std::to_string(s2[2].id)}));
  EXPECT_TRUE(rows(*db, "SELECT TOP 0 ID FROM Items ORDER BY Grp").empty());
}

TEST(IndexJoin, SmallLeftSideLooksRowsUpThroughTheIndex) {
  std::vector<Item> items;
  auto db = itemsDb(items);
  std::multimap<int, const Item*> byCode;
  for (const auto& it : items) byCode.insert({it.code, &it});
  // inner self-join from the first 40 rows, a condition on the looked-up side
  Lines want;
  for (const auto& a : items) {
    if (a.id > 40) continue;
    auto [lo, hi] = byCode.equal_range(a.code);
    for (auto it = lo; it != hi; ++it)
      if (it->second->grp < 5) want.push_back(std::to_string(a.id) + "|" + std::to_string(it->second->id));
  }
  std::vector<std::string> notes;
  Lines got = rows(*db,
                   "SELECT a.ID, b.ID FROM Items AS a INNER JOIN Items AS b ON a.Code = b.Code "
                   "WHERE a.ID <= 40 AND b.Grp < 5",
                   &notes);
  EXPECT_TRUE(has(notes, "index join Code on Items"));
  std::sort(got.begin(), got.end());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(got, want);
  // a left join keeps the left rows without a partner
  Lines left = rows(*db,
                    "SELECT a.ID, b.ID FROM Items AS a LEFT JOIN Items AS b ON a.Code + 1 = b.Code "
                    "WHERE a.ID IN (250, 500, 7)",
                    &notes);
  EXPECT_TRUE(has(notes, "index join"));
  size_t partners7 = byCode.count(items[6].code + 1);
  ASSERT_GT(partners7, 0u);
  EXPECT_EQ(left.size(), 2 + partners7);
  EXPECT_NE(std::find(left.begin(), left.end(), "250|NULL"), left.end());
  EXPECT_NE(std::find(left.begin(), left.end(), "500|NULL"), left.end());
  // a large left side keeps the hash join
  rows(*db, "SELECT a.ID FROM Items AS a INNER JOIN Items AS b ON a.Code = b.Code", &notes);
  EXPECT_FALSE(has(notes, "index join"));
  EXPECT_TRUE(has(notes, "hash join"));
}

TEST(OrderFromIndex, RowsComeInTheIndexOrderWithoutASort) {
  std::vector<Item> items;
  auto db = itemsDb(items);
  std::vector<Item> sorted = items;
  std::stable_sort(sorted.begin(), sorted.end(), [](const Item& a, const Item& b) { return a.code < b.code; });
  std::vector<std::string> notes;
  Lines got = rows(*db, "SELECT Code FROM Items ORDER BY Code", &notes);
  EXPECT_TRUE(has(notes, "order from index of Items"));
  ASSERT_EQ(got.size(), sorted.size());
  for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], std::to_string(sorted[i].code)) << i;
  // TOP with ties stops early and agrees with the sorted rows
  Lines top = rows(*db, "SELECT TOP 7 Code, Grp FROM Items WHERE Grp < 5 ORDER BY Items.Code", &notes);
  EXPECT_TRUE(has(notes, "order from index"));
  Lines want;
  for (const auto& it : sorted)
    if (it.grp < 5) want.push_back(std::to_string(it.code) + "|" + std::to_string(it.grp));
  size_t keep = 7;
  auto codeOf = [](const std::string& l) { return l.substr(0, l.find('|')); };
  while (keep < want.size() && codeOf(want[keep]) == codeOf(want[keep - 1])) ++keep;
  want.resize(keep);
  std::vector<std::string> a = top, b = want;
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  EXPECT_EQ(a, b);
  // descending, text, an alias or grouping: sorted as before
  rows(*db, "SELECT Code FROM Items ORDER BY Code DESC", &notes);
  EXPECT_FALSE(has(notes, "order from index"));
  rows(*db, "SELECT Code AS Grp FROM Items ORDER BY Grp", &notes);
  EXPECT_FALSE(has(notes, "order from index"));
  Lines desc = rows(*db, "SELECT TOP 2 Code FROM Items ORDER BY Code DESC");
  EXPECT_EQ(desc, (Lines{std::to_string(sorted.back().code), std::to_string(sorted[sorted.size() - 2].code)}));
}

TEST(TopSort, RankingOnTheSortFieldsThenReadingWholeRowsGivesTheSameRows) {
  std::vector<Item> items;
  auto db = itemsDb(items);
  std::vector<std::string> notes;
  for (const char* where : {"", " WHERE Code < 300", " WHERE ID IN (SELECT ID FROM Items WHERE Grp > 2) AND Code > 10"}) {
    SCOPED_TRACE(where);
    for (int n : {1, 3, 40, 3000}) {
      std::string top = "SELECT TOP " + std::to_string(n) + " * FROM Items" + where;
      // "Grp + 0" ranks on the projected rows; "Grp" on the sort field alone
      EXPECT_EQ(rows(*db, top + " ORDER BY Grp DESC, ID"), rows(*db, top + " ORDER BY Grp + 0 DESC, ID + 0"));
      EXPECT_EQ(rows(*db, top + " ORDER BY Name"), rows(*db, top + " ORDER BY Name & ''"));
    }
  }
}

TEST(Distinct, RepeatsAndCaseVariantsCollapseToTheFirstMet) {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"V", {jet::columnSpec("S", DataType::Text, 10), jet::columnSpec("N", DataType::Long)}, {}});
  jet::TableWriter w(*db, "V");
  const char* texts[] = {"b", "a", "A", "b", nullptr, "B", "a", nullptr, "c", "C"};
  for (int r = 0; r < 200; ++r)
    for (int i = 0; i < 10; ++i)
      w.insert({texts[i] ? Value::text(texts[i]) : Value(), Value::longInt(i % 3)});
  EXPECT_EQ(rows(*db, "SELECT DISTINCT S FROM V"), (Lines{"NULL", "a", "b", "c"}));
  // (0,b) (1,a) (2,a) (1,Null) (2,b) (0,a) (2,c) (0,c)
  EXPECT_EQ(rows(*db, "SELECT DISTINCT N, S FROM V").size(), 8u);
  EXPECT_EQ(rows(*db, "SELECT Count(*) FROM (SELECT DISTINCT S, N FROM V)"), (Lines{"8"}));
}

TEST(IndexSeeks, InListLooksEachValueUp) {
  std::vector<Item> items;
  auto db = itemsDb(items);
  std::vector<std::string> notes;
  Lines got = rows(*db, "SELECT ID FROM Items WHERE Code IN (37, 5, 37, Null, 999999, 74) AND Grp <> 3", &notes);
  EXPECT_TRUE(has(notes, "index Code (seeks) on Items"));
  Lines want;
  for (const auto& it : items)
    if ((it.code == 37 || it.code == 5 || it.code == 74) && it.grp != 3) want.push_back(std::to_string(it.id));
  std::sort(got.begin(), got.end());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(got, want);
  EXPECT_FALSE(want.empty());
  // Not In reads every row
  rows(*db, "SELECT ID FROM Items WHERE Code NOT IN (37, 5)", &notes);
  EXPECT_FALSE(has(notes, "seeks"));
  // an equality on the primary key is still preferred
  rows(*db, "SELECT ID FROM Items WHERE ID = 4 AND Code IN (1, 2)", &notes);
  EXPECT_TRUE(has(notes, "index PrimaryKey on Items"));
  EXPECT_TRUE(rows(*db, "SELECT ID FROM Items WHERE Code IN (Null)").empty());
}

TEST(IndexMinMax, ComeFromTheIndexAndAgreeWithTheRows) {
  std::vector<Item> items;
  auto db = itemsDb(items);
  int lo = items[0].code, hi = items[0].code;
  for (const auto& it : items) lo = std::min(lo, it.code), hi = std::max(hi, it.code);
  std::vector<std::string> notes;
  EXPECT_EQ(rows(*db, "SELECT Min(Code), Max(Code) AS Top, Max(ID) FROM Items", &notes),
            (Lines{std::to_string(lo) + "|" + std::to_string(hi) + "|3000"}));
  EXPECT_TRUE(has(notes, "Min/Max from index on Items"));
  // with a condition, a grouping or another aggregate: the rows are read
  EXPECT_EQ(rows(*db, "SELECT Min(Code) FROM Items WHERE Grp = 99", &notes), (Lines{"NULL"}));
  EXPECT_FALSE(has(notes, "from index"));
  rows(*db, "SELECT Min(Code), Count(*) FROM Items", &notes);
  EXPECT_FALSE(has(notes, "from index"));
  // Nulls are passed over; an empty table gives Null
  auto e = jet::createMemoryDatabase();
  jet::createTable(*e, {"E", {jet::columnSpec("K", DataType::Long)}, {jet::indexSpec("K", {{"K", true}})}});
  EXPECT_EQ(rows(*e, "SELECT Min(K), Max(K) FROM E", &notes), (Lines{"NULL|NULL"}));
  EXPECT_TRUE(has(notes, "from index"));
  jet::TableWriter w(*e, "E");
  w.insert({Value()});
  w.insert({Value::longInt(-5)});
  w.insert({Value()});
  w.insert({Value::longInt(7)});
  EXPECT_EQ(rows(*e, "SELECT Min(K), Max(K), Max(K) - Min(K) FROM E"), (Lines{"-5|7|12"}));
}
