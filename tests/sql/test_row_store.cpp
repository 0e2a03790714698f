// The values a recordset keeps: rows come back exactly as they were put in
// across many blocks, short rows are padded with Null even in blocks used
// before, rows wider than a block work, and a recordset's rows stay where
// they are while more are fetched.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jet/create.h"
#include "jet/database.h"
#include "jet/table_writer.h"
#include "sql/engine.h"
#include "sql/row_store.h"

using jet::DataType;
using jet::Value;

namespace {

std::string longText(size_t i) { return "value " + std::to_string(i) + std::string(40 + i % 50, 'x'); }

}  // namespace

TEST(RowStore, RowsComeBackAsPutInAcrossBlocksAndReusedBlocks) {
  for (int round = 0; round < 2; ++round) {  // the second round takes pooled blocks
    sql::RowStore store(3);
    std::vector<Value> row(3);
    for (size_t i = 0; i < 5000; ++i) {
      row[0] = Value::longInt(static_cast<int32_t>(i));
      row[1] = Value::text(longText(i));
      row[2] = i % 3 ? Value::dbl(i / 4.0) : Value();
      store.append(row);
      ASSERT_EQ(row.size(), 3u);  // left for the next row
    }
    // a short row: the values it lacks are Null, even where a pooled block
    // held text before
    std::vector<Value> shortRow{Value::longInt(-1)};
    store.append(shortRow);
    ASSERT_EQ(store.size(), 5001u);
    for (size_t i = 0; i < 5000; ++i) {
      auto r = store[i];
      ASSERT_EQ(r.size(), 3u);
      ASSERT_EQ(r[0].asInt(), static_cast<int64_t>(i));
      ASSERT_EQ(r[1].bytes(), longText(i));
      if (i % 3) ASSERT_EQ(r[2].asDouble(), i / 4.0);
      else ASSERT_TRUE(r[2].isNull());
    }
    auto last = store[5000];
    EXPECT_EQ(last[0].asInt(), -1);
    EXPECT_TRUE(last[1].isNull());
    EXPECT_TRUE(last[2].isNull());
  }
  // rows wider than a block and rows of no values
  sql::RowStore wide(1500), none(0);
  std::vector<Value> w(1500), empty;
  for (int i = 0; i < 3; ++i) {
    for (size_t c = 0; c < w.size(); ++c) w[c] = Value::longInt(static_cast<int32_t>(c * 10 + i));
    wide.append(w);
    none.append(empty);
  }
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(wide[i][1499].asInt(), static_cast<int64_t>(14990 + i));
    EXPECT_TRUE(none[i].empty());
  }
}

TEST(RowStore, ARecordsetsRowsStayPutWhileMoreAreFetched) {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"T", {jet::autoNumberSpec("ID"), jet::columnSpec("Name", DataType::Text, 200)},
                         {jet::primaryKeySpec("ID")}});
  {
    jet::TableWriter tw(*db, "T");
    for (size_t i = 0; i < 6000; ++i) tw.insert({Value(), Value::text(longText(i))});
  }
  auto rs = sql::openRecordset(*db, "SELECT Name, ID FROM T WHERE ID > 0");
  auto first = rs->row(0);
  const Value* at = first.data();
  ASSERT_EQ(rs->fetchAll(), 6000u);
  EXPECT_EQ(rs->row(0).data(), at);
  EXPECT_EQ(first[0].bytes(), longText(0));
  for (size_t i = 0; i < 6000; i += 997) EXPECT_EQ(rs->row(i)[0].bytes(), longText(i));
}
