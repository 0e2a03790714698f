// Removals in bulk: many rows taken out of tables whose indexes span many
// leaves, in random order, in one change; one such change rolled back. The
// entries go out of the leaves' bytes directly, so after each step the file
// passes the strict integrity check and every index, walked in order, holds
// exactly the keys of the rows that are left.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "jet/check.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/index.h"
#include "jet/index_key.h"
#include "jet/table_writer.h"

using jet::Value;

namespace {

void expectIndexesMatchRows(jet::Database& db, size_t rows) {
  auto r = jet::checkDatabase(db, true);
  for (const auto& p : r.problems) ADD_FAILURE() << p;
  auto def = db.table("T");
  ASSERT_EQ(rows, def->rowCount);
  std::map<uint32_t, std::vector<Value>> byRow;
  auto s = db.scan("T");
  while (s->next()) byRow[s->rowId().packed()] = s->values();
  ASSERT_EQ(rows, byRow.size());
  for (const auto& ix : def->indexes) {
    const jet::RealIndex& real = def->realOf(ix);
    std::vector<std::vector<uint8_t>> want, got;
    for (const auto& [id, v] : byRow) want.push_back(jet::encodeIndexKey(db.format(), *def, real, v));
    std::sort(want.begin(), want.end());
    jet::IndexCursor c(db, real);
    while (c.next()) {
      ASSERT_TRUE(byRow.count(c.rowId().packed())) << ix.name << " points at a removed row";
      got.push_back(c.key());
    }
    EXPECT_EQ(want, got) << "index " << ix.name;
  }
}

TEST(WriteRemovals, ManyRowsAcrossManyLeavesInRandomOrderAndARollback) {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"T",
                         {jet::columnSpec("ID", jet::DataType::Long), jet::columnSpec("Code", jet::DataType::Long),
                          jet::columnSpec("Txt", jet::DataType::Text, 60)},
                         {jet::primaryKeySpec("ID"), jet::indexSpec("Code", {{"Code", true}}),
                          jet::indexSpec("Txt", {{"Txt", false}})}});
  jet::TableWriter w(*db, "T");
  std::mt19937 rng(4711);
  std::vector<jet::RowId> ids;
  {
    jet::ChangeScope change(*db);
    for (int i = 0; i < 12000; ++i)
      ids.push_back(w.insert({Value::longInt(i), Value::longInt(static_cast<int32_t>(rng() % 500)),
                              Value::text("city " + std::to_string(rng() % 7) + " " + std::to_string(i))}));
    change.commit();
  }
  std::shuffle(ids.begin(), ids.end(), rng);
  {
    // Removed, then abandoned: nothing of it may stay.
    jet::ChangeScope change(*db);
    for (size_t i = 0; i < 6000; ++i) w.remove(ids[i]);
  }
  expectIndexesMatchRows(*db, 12000);
  {
    jet::ChangeScope change(*db);
    for (size_t i = 0; i < 10000; ++i) w.remove(ids[i]);
    change.commit();
  }
  expectIndexesMatchRows(*db, 2000);
  {
    jet::ChangeScope change(*db);
    for (size_t i = 10000; i < ids.size(); ++i) w.remove(ids[i]);
    change.commit();
  }
  expectIndexesMatchRows(*db, 0);
}

}  // namespace
