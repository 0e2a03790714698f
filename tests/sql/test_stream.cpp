// The forward-only read (sql/stream.h) gives the rows a recordset gives, in
// the same order, for plain, filtered, sorted, grouped and joined
// statements, and stops when asked to.
#include <gtest/gtest.h>

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "jet/create.h"
#include "jet/database.h"
#include "jet/dump.h"
#include "jet/error.h"
#include "jet/table_writer.h"
#include "sql/engine.h"
#include "sql/stream.h"

using jet::DataType;
using jet::Value;

namespace {

std::unique_ptr<jet::Database> itemsDb() {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"Items",
                         {jet::columnSpec("ID", DataType::Long), jet::columnSpec("Name", DataType::Text, 30),
                          jet::columnSpec("Price", DataType::Double), jet::columnSpec("Kind", DataType::Long)},
                         {jet::primaryKeySpec("ID")}});
  jet::createTable(*db, {"Kinds", {jet::columnSpec("Kind", DataType::Long), jet::columnSpec("Label", DataType::Text, 20)}, {}});
  jet::ChangeScope change(*db);
  jet::TableWriter items(*db, "Items");
  for (int i = 1; i <= 3000; ++i)
    items.insert({Value::longInt(i), i % 11 == 0 ? Value() : Value::text("item " + std::to_string(i * 7919 % 1000)),
                  Value::dbl((i * 37 % 1000) / 8.0), Value::longInt(i % 5)});
  jet::TableWriter kinds(*db, "Kinds");
  for (int k = 0; k < 5; ++k) kinds.insert({Value::longInt(k), Value::text("kind " + std::to_string(k))});
  change.commit();
  return db;
}

std::string line(std::span<const Value> row) {
  std::string s;
  for (const Value& v : row) s += jet::dumpCell(v) + "|";
  return s;
}

}  // namespace

TEST(ForEachRow, GivesTheRecordsetsRowsInItsOrder) {
  auto db = itemsDb();
  for (const char* statement :
       {"SELECT * FROM Items", "SELECT Name, Price * 2 AS Twice FROM Items WHERE Price > 50 ORDER BY Name DESC, ID",
        "SELECT Kind, Count(*) AS N, Sum(Price) AS Total FROM Items GROUP BY Kind ORDER BY Kind",
        "SELECT Items.ID, Kinds.Label FROM Items INNER JOIN Kinds ON Items.Kind = Kinds.Kind ORDER BY Items.ID DESC",
        "SELECT TOP 7 * FROM Items ORDER BY Price, ID", "SELECT * FROM Items WHERE ID < 0"}) {
    auto rs = sql::openRecordset(*db, statement);
    std::vector<std::string> expected;
    for (size_t r = 0; rs->fetchTo(r + 1); ++r) expected.push_back(line(rs->row(r)));
    std::vector<std::string> got;
    EXPECT_TRUE(sql::forEachRow(*db, statement, [&](const std::vector<Value>& row) {
      got.push_back(line(row));
      return true;
    }));
    EXPECT_EQ(got, expected) << statement;
  }
}

TEST(ForEachRow, StopsWhenAskedAndReportsBadStatements) {
  auto db = itemsDb();
  int seen = 0;
  EXPECT_FALSE(sql::forEachRow(*db, "SELECT * FROM Items", [&](const std::vector<Value>&) { return ++seen < 10; }));
  EXPECT_EQ(seen, 10);
  try {
    sql::forEachRow(*db, "SELECT * FROM Missing", [](const std::vector<Value>&) { return true; });
    ADD_FAILURE() << "no error for a missing table";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), 3078);
  }
}
