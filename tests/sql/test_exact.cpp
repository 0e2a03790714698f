// Results that must be exactly the product's: arithmetic on stored Single
// values, the result types of mixed operands, rounding half to even,
// DISTINCTROW, names written with the bang operator, and describing a
// query's columns without running it. Every expected value here was worked
// out by hand from the binary values involved (noted beside each case).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "jet/create.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/table_writer.h"
#include "sql/engine.h"
#include "result_lines.h"
#include "support/test_support.h"

using jet::DataType;
using jet::Value;
using sqltest::Lines;
using sqltest::body;

namespace {

// One order line of the issue's example plus columns of every numeric type.
std::unique_ptr<jet::Database> numbersDb() {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"Lines",
                         {jet::autoNumberSpec("ID"), jet::columnSpec("UnitPrice", DataType::Currency),
                          jet::columnSpec("Quantity", DataType::Integer), jet::columnSpec("Discount", DataType::Single),
                          jet::columnSpec("B", DataType::Byte), jet::columnSpec("L", DataType::Long),
                          jet::columnSpec("D", DataType::Double), jet::columnSpec("Note", DataType::Text, 20)},
                         {jet::primaryKeySpec("ID")}});
  jet::TableWriter w(*db, "Lines");
  w.insert({Value(), Value::currency(2635000), Value::integer(15), Value::single(0.05f), Value::byte(200),
            Value::longInt(7), Value::dbl(0.5), Value::text("a")});
  return db;
}


std::string one(jet::Database& db, const std::string& expr) {
  Lines l = body(db, "SELECT " + expr + " AS X FROM Lines");
  return l.empty() ? "<no row>" : l[0];
}

}  // namespace

TEST(ExactArithmetic, TheIssuesOrderLineComesToTheProductsTotal) {
  auto db = numbersDb();
  // 263.50 * 15 = 3952.5 (Currency); 1 - Single 0.0500000007450581 is
  // 0.9499999992549419 (Double); the product 3754.874997055158 / 100 is
  // 37.54874997055158, which CCur rounds to 37.5487: the total is 3754.87,
  // never the 3754.88 that 0.05 taken through its text would give.
  EXPECT_EQ(one(*db, "CCur([UnitPrice]*[Quantity]*(1-[Discount])/100)*100"), "3754.8700");
  EXPECT_EQ(one(*db, "CDbl([Discount])"), "0.05000000074505806");
  EXPECT_EQ(one(*db, "[UnitPrice]*[Quantity]"), "3952.5000");
}

TEST(ExactArithmetic, RoundingIsHalfToEvenOnTheBinaryValue) {
  struct Case {
    const char* expr;
    const char* want;
  };
  // The binary value decides: 0.00015 * 10000 is 1.4999999999999998 (just
  // below the half), 1.23455 * 10000 is exactly 12345.5 (a tie, to even);
  // Round scales in double arithmetic too: 2.675 * 100 is exactly 267.5.
  const Case cases[] = {
      {"CInt(2.5)", "2"},          {"CInt(3.5)", "4"},          {"CInt(-2.5)", "-2"},
      {"CInt(2.5000001)", "3"},    {"CLng(0.5)", "0"},          {"CLng(1.5)", "2"},
      {"CLng(-1.5)", "-2"},        {"CLng(2.4999999)", "2"},    {"CCur(0.00005)", "0.0000"},
      {"CCur(0.00015)", "0.0001"}, {"CCur(0.00025)", "0.0002"}, {"CCur(1.23455)", "1.2346"},
      {"CCur(37.54875)", "37.5488"}, {"CCur(37.548749)", "37.5487"}, {"Round(2.5)", "2"},
      {"Round(3.5)", "4"},         {"Round(-0.5)", "0"},       {"Round(0.125, 2)", "0.12"},
      {"Round(0.375, 2)", "0.38"}, {"Round(2.675, 2)", "2.6800000000000002"},
      {"Round(CCur(2.345), 2)", "2.3400"}, {"Round(CCur(2.355), 2)", "2.3600"},
  };
  auto db = numbersDb();
  for (const auto& c : cases) EXPECT_EQ(one(*db, c.expr), c.want) << c.expr;
}

TEST(ExactArithmetic, MixedOperandsTakeTheProductsResultType) {
  auto db = numbersDb();
  struct Case {
    const char* expr;
    DataType want;
  };
  const Case cases[] = {
      {"[Quantity]*[Discount]", DataType::Single},  // Integer with Single
      {"[B]+[Discount]", DataType::Single},         // Byte with Single
      {"[L]*[Discount]", DataType::Double},         // Long with Single
      {"[UnitPrice]*[Discount]", DataType::Double}, // Currency with Single
      {"[UnitPrice]*[D]", DataType::Double},        // Currency with Double
      {"[UnitPrice]*[Quantity]", DataType::Currency},
      {"[UnitPrice]+[L]", DataType::Currency},
      {"[UnitPrice]-[B]", DataType::Currency},
      {"[B]+[B]", DataType::Byte},
      {"[B]+[Quantity]", DataType::Integer},
      {"[Quantity]+[L]", DataType::Long},
      {"[Discount]*[D]", DataType::Double},
      {"[Quantity]/[Quantity]", DataType::Double},
      {"[Discount]/[Quantity]", DataType::Single},
      {"[L]/[Discount]", DataType::Double},
      {"[UnitPrice]/[Quantity]", DataType::Double},
      {"[Quantity]\\[L]", DataType::Long},
      {"[Note] & [L]", DataType::Text},
  };
  for (const auto& c : cases) {
    auto cols = sql::describeColumns(*db, std::string("SELECT ") + c.expr + " FROM Lines");
    ASSERT_EQ(cols.size(), 1u) << c.expr;
    EXPECT_EQ(cols[0].type, c.want) << c.expr;
  }
  // The values agree with the types: Integer * Single is computed in Single
  // (3 * 0.0500000007 = 0.1500000022 is the Single 0.150000006), Long *
  // Single in Double.
  EXPECT_EQ(one(*db, "CInt(3)*[Discount]"), "0.150000006");
  EXPECT_EQ(one(*db, "CLng(3)*[Discount]"), "0.15000000223517418");
  EXPECT_EQ(one(*db, "[B]+[B]"), "400");  // widens instead of overflowing
}

TEST(BangNames, FormReferencesAreParametersAndTableBangFieldIsQualified) {
  auto db = numbersDb();
  const std::string q =
      "PARAMETERS [Forms]![Sales Dialog]![Beginning Date] DateTime, [Forms]![Sales Dialog]![Low] Long; "
      "SELECT ID, Lines!Quantity FROM Lines WHERE #2020-01-05# >= [Forms]![Sales Dialog]![Beginning Date] "
      "AND [Lines]![L] > [Forms]![Sales Dialog]![Low]";
  EXPECT_EQ(body(*db, q, {{"[Forms]![Sales Dialog]![Beginning Date]", Value::text("2020-01-01")},
                          {"Forms!Sales Dialog!Low", Value::longInt(3)}}),
            (Lines{"1|15"}));
  EXPECT_TRUE(body(*db, q, {{"Forms.Sales Dialog.Beginning Date", Value::text("2020-02-01")},
                            {"Forms!Sales Dialog!Low", Value::longInt(3)}})
                  .empty());
  try {
    sql::runToText(*db, q);
    ADD_FAILURE() << "ran without its parameters";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), jet::err::kTooFewParameters);
  }
}

TEST(Describe, ParameterQueriesDescribeWithoutValuesAndWithoutRunning) {
  auto db = numbersDb();
  auto cols = sql::describeColumns(
      *db, "PARAMETERS [Forms]![F]![Min] Currency; SELECT ID, UnitPrice AS Price, [Note], Quantity*[Forms]![F]![Min] "
           "FROM Lines WHERE UnitPrice > [Forms]![F]![Min] ORDER BY Quantity");
  ASSERT_EQ(cols.size(), 4u);
  EXPECT_EQ(cols[0].name, "ID");
  EXPECT_EQ(cols[0].type, DataType::Long);
  EXPECT_EQ(cols[0].sourceTable, "Lines");
  EXPECT_EQ(cols[0].sourceField, "ID");
  EXPECT_EQ(cols[1].name, "Price");
  EXPECT_EQ(cols[1].type, DataType::Currency);
  EXPECT_EQ(cols[1].sourceField, "UnitPrice");
  EXPECT_EQ(cols[2].type, DataType::Text);
  EXPECT_EQ(cols[2].size, 20);
  EXPECT_EQ(cols[3].name, "Expr1003");
  EXPECT_EQ(cols[3].type, DataType::Currency);
  EXPECT_TRUE(cols[3].sourceTable.empty());
  // SELECT ... INTO describes the table it makes; other actions give none.
  auto into = sql::describeColumns(*db, "SELECT ID, Note INTO Copy FROM Lines");
  ASSERT_EQ(into.size(), 2u);
  EXPECT_EQ(into[1].name, "Note");
  EXPECT_TRUE(sql::describeColumns(*db, "DELETE FROM Lines").empty());
  // Faults in the statement are still reported.
  try {
    sql::describeColumns(*db, "SELECT * FROM Nowhere");
    ADD_FAILURE();
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), jet::err::kNoSuchObject);
  }
}

namespace {

// Customers joined to their orders; two customers with the same values.
std::unique_ptr<jet::Database> customersDb() {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"Customers",
                         {jet::columnSpec("CustID", DataType::Long), jet::columnSpec("Name", DataType::Text, 20)},
                         {}});
  jet::createTable(*db, {"Orders",
                         {jet::autoNumberSpec("OrderID"), jet::columnSpec("CustID", DataType::Long),
                          jet::columnSpec("Amount", DataType::Long)},
                         {jet::primaryKeySpec("OrderID")}});
  jet::TableWriter c(*db, "Customers");
  c.insert({Value::longInt(1), Value::text("Ann")});
  c.insert({Value::longInt(2), Value::text("Bob")});
  c.insert({Value::longInt(2), Value::text("Bob")});  // same values, another row
  c.insert({Value::longInt(3), Value::text("Cy")});   // no orders
  jet::TableWriter o(*db, "Orders");
  for (int i = 0; i < 30; ++i) o.insert({Value(), Value::longInt(1), Value::longInt(i)});
  o.insert({Value(), Value::longInt(2), Value::longInt(5)});
  o.insert({Value(), Value::longInt(2), Value::longInt(6)});
  return db;
}

}  // namespace

TEST(DistinctRow, RowsOfTheShownTablesAppearOnce) {
  auto db = customersDb();
  const std::string join = " FROM Customers INNER JOIN Orders ON Customers.CustID = Orders.CustID";
  // 34 joined rows (30 for Ann, 2 for each Bob row); Ann's 30 orders give one row, and each of the two Bob
  // rows appears once (rows, not values, are what is made unique).
  EXPECT_EQ(body(*db, "SELECT Customers.*" + join).size(), 34u);
  EXPECT_EQ(body(*db, "SELECT DISTINCTROW Customers.*" + join), (Lines{"1|Ann", "2|Bob", "2|Bob"}));
  EXPECT_EQ(body(*db, "SELECT DISTINCTROW Customers.Name, Customers.CustID * 10" + join),
            (Lines{"Ann|10", "Bob|20", "Bob|20"}));
  EXPECT_EQ(body(*db, "SELECT DISTINCT Customers.*" + join), (Lines{"1|Ann", "2|Bob"}));
  // Fields of every table: nothing is left out.
  EXPECT_EQ(body(*db, "SELECT DISTINCTROW Customers.Name, Orders.Amount" + join).size(), 34u);
  // One table: DISTINCTROW changes nothing.
  EXPECT_EQ(body(*db, "SELECT DISTINCTROW * FROM Customers").size(), 4u);
  // With an ORDER BY on a column that is not shown.
  EXPECT_EQ(body(*db, "SELECT DISTINCTROW Customers.Name" + join + " ORDER BY Customers.CustID DESC"),
            (Lines{"Bob", "Bob", "Ann"}));
  // A left join keeps the customer without orders once.
  EXPECT_EQ(body(*db, "SELECT DISTINCTROW Customers.Name FROM Customers LEFT JOIN Orders ON "
                      "Customers.CustID = Orders.CustID"),
            (Lines{"Ann", "Bob", "Bob", "Cy"}));
}

TEST(SavedQueries, EverySelectUnionAndCrosstabOfEveryFixtureRuns) {
  SKIP_WITHOUT_SHARED();
  int ran = 0;
  for (const auto& rel : testsupport::allFixtures()) {
    std::unique_ptr<jet::Database> db;
    try {
      jet::OpenOptions o;
      o.readOnly = true;
      if (rel.find("password") != std::string::npos) o.password = "password";
      db = jet::Database::open(testsupport::fixture(rel), o);
    } catch (const jet::Error&) {
      continue;  // files this engine does not open are tested elsewhere
    }
    for (const auto& q : db->queries()) {
      if (q.typeName != "SELECT" && q.typeName != "UNION" && q.typeName != "CROSS_TAB") continue;
      SCOPED_TRACE(rel + ": " + q.name);
      auto cols = sql::describeColumns(*db, sql::selectAllFrom(q.name));
      EXPECT_FALSE(cols.empty());
      auto rs = sql::openRecordset(*db, sql::selectAllFrom(q.name));
      rs->fetchAll();
      EXPECT_EQ(rs->columns().size(), cols.size());
      ++ran;
    }
  }
  EXPECT_GE(ran, 12);
}
