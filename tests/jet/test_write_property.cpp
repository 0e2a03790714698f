// Property test: thousands of random inserts, updates and deletes against an
// in-memory model, on a table with several indexes (text with accents and
// mixed case, a unique index that ignores Nulls, a descending date, a
// two-column key), Nulls, long memos and values at their type's limits.
// After every batch the file passes the strict integrity check, its rows
// equal the model's, and each index, walked in order, yields exactly the
// keys of the model's rows in sorted order.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "jet/check.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/dump.h"
#include "jet/error.h"
#include "jet/index.h"
#include "jet/index_key.h"
#include "jet/table_writer.h"

using jet::Value;

namespace {

jet::TableSpec spec() {
  using jet::DataType;
  auto c = [](const char* n, DataType ty, int size = 0) { return jet::columnSpec(n, ty, size); };
  jet::IndexSpec code = jet::indexSpec("Code", {{"Code", true}}, false, true);
  code.ignoreNulls = true;
  return {"Things",
          {jet::autoNumberSpec("ID"), c("Name", DataType::Text, 60), c("Code", DataType::Long),
           c("Amount", DataType::Double), c("When", DataType::DateTime), c("Small", DataType::Integer),
           c("Note", DataType::Memo), c("Ok", DataType::Boolean)},
          {jet::primaryKeySpec("ID"), jet::indexSpec("Name", {{"Name", true}}), code,
           jet::indexSpec("WhenDesc", {{"When", false}}), jet::indexSpec("NameAmount", {{"Name", true}, {"Amount", false}}),
           jet::indexSpec("Small", {{"Small", true}})}};
}

struct Gen {
  std::mt19937 rng;
  explicit Gen(unsigned seed) : rng(seed) {}
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
  Value name() {
    static const char* parts[] = {"apple", "Apple", "APPLE", "äpfel", "Äpfel", "zebra", "Zoë", "zoe",
                                  "café", "cafe", "CAFÉ", "Ærø", "naïve", "résumé", "", "a b", "a-b", "ab"};
    if (pick(10) == 0) return Value();
    std::string s = parts[pick(18)];
    if (pick(3) == 0) s += " " + std::to_string(pick(100));
    return Value::text(s);
  }
  Value code() { return pick(4) == 0 ? Value() : Value::longInt(pick(3) == 0 ? (pick(2) ? 2147483647 : -2147483647 - 1) + 0 : pick(400) - 200); }
  Value amount() {
    switch (pick(6)) {
      case 0: return Value();
      case 1: return Value::dbl(pick(2) ? 1.7976931348623157e308 : -1.7976931348623157e308);
      case 2: return Value::dbl(pick(2) ? 0.0 : -0.0);  // equal numbers, different keys
      default: return Value::dbl((pick(20000) - 10000) / 7.0);
    }
  }
  Value when() {
    if (pick(5) == 0) return Value();
    return Value::dateTime(jet::partsToSerial(1900 + pick(200), 1 + pick(12), 1 + pick(28), pick(24), pick(60), pick(60)));
  }
  Value small() {
    int k = pick(6);
    if (k == 0) return Value();
    if (k == 1) return Value::integer(-32768);
    if (k == 2) return Value::integer(32767);
    return Value::integer(static_cast<int16_t>(pick(50)));
  }
  Value note() {
    int k = pick(8);
    if (k == 0) return Value::memo(std::string(3000 + pick(9000), static_cast<char>('a' + pick(26))));
    if (k < 4) return Value();
    return Value::memo("note " + std::to_string(pick(1000)) + " é");
  }
};

std::string rowText(const std::vector<Value>& v) {
  std::string s;
  for (const auto& x : v) s += jet::dumpCell(x) + "|";
  return s;
}

TEST(WriteProperty, RandomChangesMatchTheModel) {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, spec());
  jet::TableWriter w(*db, "Things");
  const jet::Format& fmt = db->format();
  std::map<int32_t, std::vector<Value>> model;
  std::map<int32_t, jet::RowId> where;
  int32_t nextId = 1;
  Gen g(20240611);
  int ops = 0, refused = 0;
  for (int batch = 0; batch < 30; ++batch) {
    jet::ChangeScope change(*db);
    for (int k = 0; k < 100; ++k, ++ops) {
      int op = model.size() < 20 ? 0 : g.pick(10);
      auto codeTaken = [&](const Value& c, int32_t self) {
        if (c.isNull()) return false;
        for (const auto& [id, v] : model)
          if (id != self && !v[2].isNull() && v[2].asInt() == c.asInt()) return true;
        return false;
      };
      if (op < 5) {
        std::vector<Value> v = {Value(), g.name(), g.code(), g.amount(), g.when(), g.small(), g.note(), Value::boolean(g.pick(2))};
        bool dup = codeTaken(v[2], -1);
        try {
          jet::RowId id = w.insert(v);
          ASSERT_FALSE(dup) << "duplicate code accepted";
          v[0] = Value::longInt(nextId);
          model[nextId] = v;
          where[nextId] = id;
          ++nextId;
        } catch (const jet::Error& e) {
          ASSERT_TRUE(dup) << e.what();
          ASSERT_EQ(jet::err::kDuplicateKey, e.number());
          ++refused;
        }
      } else if (op < 8) {
        auto it = std::next(model.begin(), g.pick(static_cast<int>(model.size())));
        std::vector<Value> v = it->second;
        switch (g.pick(5)) {
          case 0: v[1] = g.name(); break;
          case 1: v[2] = g.code(); break;
          case 2: v[3] = g.amount(); v[4] = g.when(); break;
          case 3: v[6] = g.note(); break;
          default: v[5] = g.small(); v[7] = Value::boolean(g.pick(2)); break;
        }
        bool dup = codeTaken(v[2], it->first);
        try {
          w.update(where[it->first], v);
          ASSERT_FALSE(dup);
          it->second = v;
        } catch (const jet::Error& e) {
          ASSERT_TRUE(dup) << e.what();
          ++refused;
        }
      } else {
        auto it = std::next(model.begin(), g.pick(static_cast<int>(model.size())));
        w.remove(where[it->first]);
        where.erase(it->first);
        model.erase(it);
      }
    }
    change.commit();

    auto r = jet::checkDatabase(*db, true);
    for (const auto& p : r.problems) ADD_FAILURE() << "batch " << batch << ": " << p;
    ASSERT_TRUE(r.ok());
    auto def = db->table("Things");
    ASSERT_EQ(model.size(), def->rowCount);
    std::map<int32_t, std::string> file;
    auto s = db->scan("Things");
    std::map<uint32_t, std::vector<Value>> byRow;
    while (s->next()) {
      file[static_cast<int32_t>(s->values()[0].asInt())] = rowText(s->values());
      byRow[s->rowId().packed()] = s->values();
    }
    ASSERT_EQ(model.size(), file.size());
    for (const auto& [id, v] : model) ASSERT_EQ(rowText(v), file[id]) << "row " << id;
    for (const auto& ix : def->indexes) {
      const jet::RealIndex& real = def->realOf(ix);
      std::vector<std::vector<uint8_t>> want;
      for (const auto& [id, v] : model) {
        if (real.ignoreNulls() && jet::keyIsAllNull(*def, real, v)) continue;
        want.push_back(jet::encodeIndexKey(fmt, *def, real, v));
      }
      std::sort(want.begin(), want.end());
      std::vector<std::vector<uint8_t>> got;
      jet::IndexCursor c(*db, real);
      while (c.next()) {
        got.push_back(c.key());
        ASSERT_TRUE(byRow.count(c.rowId().packed())) << "index " << ix.name << " points at a missing row";
        ASSERT_EQ(c.key(), jet::encodeIndexKey(fmt, *def, real, byRow[c.rowId().packed()]));
      }
      ASSERT_EQ(want, got) << "index " << ix.name << " after batch " << batch;
    }
  }
  EXPECT_GT(refused, 0);
  EXPECT_GE(ops, 3000);
}

}  // namespace

namespace {

// Table T: ID (primary key) and a text column Txt with its own index.
void createKeyedTable(jet::Database& db, int textSize, bool textAscending) {
  jet::createTable(db, {"T",
                        {jet::columnSpec("ID", jet::DataType::Long), jet::columnSpec("Txt", jet::DataType::Text, textSize)},
                        {jet::primaryKeySpec("ID"), jet::indexSpec("Txt", {{"Txt", textAscending}})}});
}

TEST(WriteProperty, IndexTreesGrowSplitAndShrinkBackWhenEmptied) {
  auto db = jet::createMemoryDatabase();
  createKeyedTable(*db, 200, false);
  jet::TableWriter w(*db, "T");
  std::vector<jet::RowId> ids;
  {
    jet::ChangeScope change(*db);
    // Long text keys make a tree several levels deep.
    for (int i = 0; i < 6000; ++i)
      ids.push_back(w.insert({Value::longInt((i * 7919) % 6000), Value::text(std::to_string(i % 97) + std::string(150, 'k') + std::to_string(i))}));
    change.commit();
  }
  auto r = jet::checkDatabase(*db, true);
  for (const auto& p : r.problems) ADD_FAILURE() << p;
  auto def = db->table("T");
  const jet::RealIndex& real = def->realOf(def->indexes[1]);
  auto root = jet::parseIndexPage(db->format(), jet::view(db->pager().page(real.rootPage)), real.rootPage);
  EXPECT_FALSE(root.leaf) << "6000 long keys should not fit one page";
  uint32_t pagesFull = db->pager().pageCount();
  {
    jet::ChangeScope change(*db);
    for (size_t i = 0; i < ids.size(); ++i)
      if (i % 10 != 0) w.remove(ids[i]);
    change.commit();
  }
  EXPECT_TRUE(jet::checkDatabase(*db, true).ok());
  {
    jet::ChangeScope change(*db);
    for (size_t i = 0; i < ids.size(); i += 10) w.remove(ids[i]);
    change.commit();
  }
  r = jet::checkDatabase(*db, true);
  for (const auto& p : r.problems) ADD_FAILURE() << p;
  def = db->table("T");
  for (const auto& ix : def->indexes) {
    const jet::RealIndex& ri = def->realOf(ix);
    auto rp = jet::parseIndexPage(db->format(), jet::view(db->pager().page(ri.rootPage)), ri.rootPage);
    EXPECT_TRUE(rp.leaf && rp.entries.empty()) << ix.name << ": an emptied tree is one empty leaf again";
  }
  // Freed index pages are used again.
  {
    jet::ChangeScope change(*db);
    for (int i = 0; i < 6000; ++i)
      w.insert({Value::longInt(i), Value::text(std::to_string(i % 97) + std::string(150, 'k') + std::to_string(i))});
    change.commit();
  }
  EXPECT_TRUE(jet::checkDatabase(*db, true).ok());
  EXPECT_LT(db->pager().pageCount(), pagesFull + pagesFull / 2);
}

// Keys added in ascending order (the usual auto-number case) fill their
// pages instead of leaving each half empty; a change rolled back in the
// middle leaves the same writer in step with the file.
TEST(WriteProperty, AscendingKeysFillPagesAndRollbacksKeepWritersInStep) {
  auto db = jet::createMemoryDatabase();
  createKeyedTable(*db, 50, true);
  jet::TableWriter w(*db, "T");
  auto text = [](int i) { return Value::text("row " + std::to_string((i * 7919) % 10007)); };
  {
    jet::ChangeScope change(*db);
    for (int i = 1; i <= 20000; ++i) w.insert({Value::longInt(i), text(i)});
    change.commit();
  }
  {
    // Inserts that split pages, then the change is abandoned.
    jet::ChangeScope change(*db);
    for (int i = 20001; i <= 23000; ++i) w.insert({Value::longInt(i), text(i)});
  }
  {
    jet::ChangeScope change(*db);
    for (int i = 30001; i <= 33000; ++i) w.insert({Value::longInt(i), text(i)});
    change.commit();
  }
  auto r = jet::checkDatabase(*db, true);
  for (const auto& p : r.problems) ADD_FAILURE() << p;
  auto def = db->table("T");
  EXPECT_EQ(23000u, def->rowCount);
  // Walk the primary key: every key once, in order, none of the abandoned ones.
  const jet::RealIndex& real = def->realOf(def->indexes[0]);
  jet::IndexCursor c(*db, real);
  std::vector<int32_t> keys;
  while (c.next()) keys.push_back(w.read(c.rowId())[0].asInt());
  ASSERT_EQ(23000u, keys.size());
  EXPECT_EQ(20000, keys[19999]);
  EXPECT_EQ(30001, keys[20000]);
  EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
  // Leaves of the primary key, left to right: all but the last nearly full.
  const jet::Format& fmt = db->format();
  uint32_t pg = real.rootPage;
  for (int depth = 0; depth < 8; ++depth) {
    auto p = jet::parseIndexPage(fmt, jet::view(db->pager().page(pg)), pg);
    if (p.leaf) break;
    pg = p.entries.empty() ? p.tail : p.entries.front().child;
  }
  size_t leaves = 0, freeBytes = 0, lastFree = 0;
  while (pg) {
    auto ref = db->pager().page(pg);
    lastFree = jet::view(ref).u16(2);
    freeBytes += lastFree;
    ++leaves;
    pg = jet::parseIndexPage(fmt, jet::view(ref), pg).next;
  }
  ASSERT_GT(leaves, 10u);
  const size_t cap = fmt.pageSize - fmt.offIndexEntries;
  EXPECT_LT(double(freeBytes - lastFree) / double((leaves - 1) * cap), 0.1)
      << leaves << " leaves for 23000 ascending keys";
}

}  // namespace

// Many equal long keys pack a page far beyond what their raw size suggests;
// a key unlike them (a Null, a smaller or larger text) landing among them
// takes away the shared prefix of whichever half it goes to. Every such
// insert must still split into pages that fit.
TEST(WriteProperty, AKeyUnlikeManyEqualOnesSplitsIntoPagesThatFit) {
  auto db = jet::createMemoryDatabase();
  createKeyedTable(*db, 120, true);
  jet::TableWriter w(*db, "T");
  const std::string same(110, 'q');
  {
    jet::ChangeScope change(*db);
    for (int i = 1; i <= 3000; ++i) w.insert({Value::longInt(i), Value::text(same)});
    change.commit();
  }
  {
    jet::ChangeScope change(*db);
    w.insert({Value::longInt(3001), Value()});
    w.insert({Value::longInt(3002), Value::text("a")});
    w.insert({Value::longInt(3003), Value::text(same + "z")});
    w.insert({Value::longInt(3004), Value::text(std::string(60, 'q'))});
    change.commit();
  }
  auto r = jet::checkDatabase(*db, true);
  for (const auto& p : r.problems) ADD_FAILURE() << p;
  EXPECT_EQ(3004u, db->table("T")->rowCount);
}
