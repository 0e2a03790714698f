// A table's columns as statements see them are made once per table
// definition and shared: a schema change between two runs of the same text
// gives the new columns, and two databases with a table of the same name
// keep their own.
#include <gtest/gtest.h>

#include <string>

#include "jet/create.h"
#include "jet/database.h"
#include "sql/action.h"
#include "sql/engine.h"

namespace {

std::string header(jet::Database& db, const std::string& stmt) {
  std::string text = sql::runToText(db, stmt);
  return text.substr(0, text.find('\n'));
}

TEST(TableColumns, SchemaChangesShowInTheNextRunOfTheSameText) {
  auto db = jet::createMemoryDatabase();
  sql::runAction(*db, "CREATE TABLE T (A LONG, B TEXT(10))");
  sql::runAction(*db, "INSERT INTO T (A, B) VALUES (1, 'x')");
  const std::string all = "SELECT * FROM T";
  EXPECT_EQ("A\tB", header(*db, all));
  EXPECT_EQ("A\tB", header(*db, all));
  sql::runAction(*db, "ALTER TABLE T ADD COLUMN C LONG");
  EXPECT_EQ("A\tB\tC", header(*db, all));
  EXPECT_EQ(0u, sql::runToText(*db, all).find("A\tB\tC\n1\tx\t"));
  sql::runAction(*db, "ALTER TABLE T DROP COLUMN B");
  EXPECT_EQ("A\tC", header(*db, all));
  EXPECT_EQ(2u, sql::describeColumns(*db, all).size());
  sql::runAction(*db, "DROP TABLE T");
  sql::runAction(*db, "CREATE TABLE T (Z TEXT(5) NOT NULL)");
  EXPECT_EQ("Z", header(*db, all));
  auto cols = sql::describeColumns(*db, all);
  ASSERT_EQ(1u, cols.size());
  EXPECT_EQ(jet::DataType::Text, cols[0].type);
  EXPECT_TRUE(cols[0].required);
  // A plain column of a table read twice in one statement, and a column
  // added under an alias: the shared list is never changed by either.
  EXPECT_EQ("a.Z\tb.Z", header(*db, "SELECT a.Z, b.Z FROM T AS a, T AS b"));
  EXPECT_EQ("Z", header(*db, all));
}

TEST(TableColumns, DatabasesKeepTheirOwnColumns) {
  auto one = jet::createMemoryDatabase();
  auto two = jet::createMemoryDatabase();
  sql::runAction(*one, "CREATE TABLE T (A LONG)");
  sql::runAction(*two, "CREATE TABLE T (X TEXT(3), Y LONG)");
  EXPECT_EQ("A", header(*one, "SELECT * FROM T"));
  EXPECT_EQ("X\tY", header(*two, "SELECT * FROM T"));
  one.reset();
  auto three = jet::createMemoryDatabase();
  sql::runAction(*three, "CREATE TABLE T (Q LONG)");
  EXPECT_EQ("Q", header(*three, "SELECT * FROM T"));
  EXPECT_EQ("X\tY", header(*two, "SELECT * FROM T"));
}

}  // namespace
