// Queries over databases the tests create with the write path, so that
// every row is known: the statements the filter panel builds, and subqueries
// inside grouped queries. Expected rows are worked out by hand from the rows
// inserted below.
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

using jet::DataType;
using jet::Value;
using sqltest::Lines;
using sqltest::body;

namespace {

Value text(const char* s) { return s ? Value::text(s) : Value(); }
Value age(int a) { return a < 0 ? Value() : Value::longInt(a); }

// People: the table of the filter's worked example, with a name holding a
// quote, one holding double quotes, cities in several cases, ages that sort
// differently as text and as numbers, a Null age, and a column whose name
// has a blank. "Club Members" is the same table under a name with a blank.
std::unique_ptr<jet::Database> peopleDb() {
  auto db = jet::createMemoryDatabase();
  for (const char* tableName : {"People", "Club Members"}) {
    jet::createTable(*db, {tableName,
                           {jet::autoNumberSpec("ID"), jet::columnSpec("Name", DataType::Text, 40),
                            jet::columnSpec("City", DataType::Text, 30), jet::columnSpec("Age", DataType::Long),
                            jet::columnSpec("Home Town", DataType::Text, 30), jet::columnSpec("Joined", DataType::DateTime)},
                           {jet::primaryKeySpec("ID"), jet::indexSpec("City", {{"City", true}})}});
    jet::TableWriter w(*db, tableName);
    struct P {
      const char* name;
      const char* city;
      int age;
      const char* town;
      double joined;  // day serial; 0 = Null
    };
    const P people[] = {
        {"Ann", "Paris", 34, "Lyon", 43831},          // 1  2020-01-01
        {"Bob", "London", 45, "Leeds", 43466},        // 2  2019-01-01
        {"Chloé", "paris", 30, "Nice", 44197},        // 3  2021-01-01
        {"Dan", "Paris", 4, "Paris", 0},              // 4
        {"Eve", "Paris", 100, "Lille", 43101},        // 5  2018-01-01
        {"O'Brien", "Dublin", 52, "Cork", 43832},     // 6  2020-01-02
        {"Fay", "PARIS", 31, nullptr, 44562},         // 7  2022-01-01
        {"Gus", "Paris", -1, "Metz", 0},              // 8  no age
        {"Hal", "Berlin", 61, "Bonn", 43831},         // 9  2020-01-01
        {"Ivo \"Jr\"", "Rome", 29, "Roma", 0},        // 10
    };
    for (const auto& p : people)
      w.insert({Value(), text(p.name), text(p.city), age(p.age), text(p.town),
                p.joined ? Value::dateTime(p.joined) : Value()});
  }
  return db;
}


// The column at position col of each row.
Lines column(jet::Database& db, const std::string& stmt, size_t col) {
  Lines out;
  auto rs = sql::openRecordset(db, stmt);
  rs->fetchAll();
  for (size_t i = 0; i < rs->recordCount(); ++i) out.push_back(rs->row(i)[col].isNull() ? "NULL" : rs->row(i)[col].display());
  return out;
}

Lines names(jet::Database& db, const std::string& stmt) { return column(db, stmt, 1); }

jet::Error errorOf(jet::Database& db, const std::string& stmt) {
  try {
    auto rs = sql::openRecordset(db, stmt);
    rs->fetchAll();
  } catch (const jet::Error& e) {
    return e;
  }
  return jet::Error(0, "no error");
}

}  // namespace

class FilterStatements : public ::testing::Test {
 protected:
  void SetUp() override { db = peopleDb(); }
  std::unique_ptr<jet::Database> db;
};

TEST_F(FilterStatements, TheWorkedExample) {
  // City = 'Paris' matches Paris, paris and PARIS; Age > '30' compares as a
  // number (Dan's 4 and Eve's 100 would go the other way as text), Chloé's
  // 30 is not greater and Gus's Null age never matches. The three cities
  // sort as equal, so Age decides: Fay 31, Ann 34, Eve 100.
  auto r = body(*db, "Select * from [People] WHERE City = 'Paris' and Age > '30' ORDER BY City, Age");
  EXPECT_EQ(r, (Lines{"7|Fay|PARIS|31|NULL|2022-01-01 00:00:00", "1|Ann|Paris|34|Lyon|2020-01-01 00:00:00",
                      "5|Eve|Paris|100|Lille|2018-01-01 00:00:00"}));
  // Only a sort field chosen.
  EXPECT_EQ(column(*db, "Select * from [People] ORDER BY City", 2),
            (Lines{"Berlin", "Dublin", "London", "Paris", "paris", "Paris", "Paris", "PARIS", "Paris", "Rome"}));
  // Nothing entered: every row, in the order they were added.
  EXPECT_EQ(column(*db, "Select * from [People]", 0), (Lines{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
  auto rs = sql::openRecordset(*db, "Select * from [People] WHERE City = 'Paris' and Age > '30' ORDER BY City, Age");
  EXPECT_TRUE(rs->updatable());
  EXPECT_EQ(rs->columns()[4].name, "Home Town");
  EXPECT_EQ(rs->columns()[3].sourceTable, "People");
}

TEST_F(FilterStatements, OperatorsAsTypedAndSortKeys) {
  EXPECT_EQ(names(*db, "Select * from [People] WHERE City <> 'Paris'"), (Lines{"Bob", "O'Brien", "Hal", "Ivo \"Jr\""}));
  EXPECT_EQ(names(*db, "Select * from [People] WHERE City = 'paris' and Age >= '30' ORDER BY Age"),
            (Lines{"Chloé", "Fay", "Ann", "Eve"}));
  EXPECT_EQ(names(*db, "Select * from [People] WHERE Age < '30'"), (Lines{"Dan", "Ivo \"Jr\""}));
  EXPECT_EQ(names(*db, "Select * from [People] WHERE Age <= '30' and City = 'PARIS'"), (Lines{"Chloé", "Dan"}));
  // a quoted date against a date column compares as a date
  EXPECT_EQ(names(*db, "Select * from [People] WHERE Joined > '2020-01-01' ORDER BY Joined"),
            (Lines{"O'Brien", "Chloé", "Fay"}));
  EXPECT_EQ(names(*db, "Select * from [People] WHERE Joined = '1/1/2020' ORDER BY Name"), (Lines{"Ann", "Hal"}));
  // first and third sort lists chosen: two keys
  EXPECT_EQ(names(*db, "Select * from [People] WHERE City = 'Paris' ORDER BY Age, Name"),
            (Lines{"Gus", "Dan", "Chloé", "Fay", "Ann", "Eve"}));
  // the sort field need not be filtered on; text sorts without regard to case
  EXPECT_EQ(names(*db, "Select * from [People] WHERE Age > '40' ORDER BY Name"), (Lines{"Bob", "Eve", "Hal", "O'Brien"}));
  // a value that is no number against a number column
  EXPECT_EQ(errorOf(*db, "Select * from [People] WHERE Age > 'thirty'").number(), 3464);
  // nothing matches: an empty recordset at BOF and EOF; moves are refused
  auto rs = sql::openRecordset(*db, "Select * from [People] WHERE City = 'Oslo' ORDER BY Name");
  EXPECT_EQ(rs->recordCount(), 0u);
  EXPECT_TRUE(rs->bof());
  EXPECT_TRUE(rs->eof());
  try {
    rs->moveFirst();
    ADD_FAILURE() << "MoveFirst on an empty recordset";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), 3021);
  }
}

TEST_F(FilterStatements, ValuesHoldingQuotes) {
  // The filter does not double a quote typed in the value: the statement
  // does not parse, and the error says where.
  auto e = errorOf(*db, "Select * from [People] WHERE Name = 'O'Brien'");
  EXPECT_EQ(e.number(), 3075);
  EXPECT_STREQ(e.what(), "Syntax error (missing operator) in query expression 'Name = 'O'Brien''.");
  e = errorOf(*db, "Select * from [People] WHERE City = 'Paris' and Name = 'O'Brien' ORDER BY City");
  EXPECT_EQ(e.number(), 3075);
  EXPECT_STREQ(e.what(), "Syntax error (missing operator) in query expression 'City = 'Paris' and Name = 'O'Brien' ORDER BY City'.");
  // typed doubled, it is the one quote
  EXPECT_EQ(names(*db, "Select * from [People] WHERE Name = 'O''Brien'"), (Lines{"O'Brien"}));
  // double quotes inside single quotes are plain characters
  EXPECT_EQ(body(*db, "Select * from [People] WHERE Name = 'Ivo \"Jr\"'"), (Lines{"10|Ivo \"Jr\"|Rome|29|Roma|NULL"}));
  // a value that is only a quote
  EXPECT_EQ(errorOf(*db, "Select * from [People] WHERE Name = '''").number(), 3075);
  EXPECT_EQ(names(*db, "Select * from [People] WHERE Name > 'O''B' and Name < 'O''C'"), (Lines{"O'Brien"}));
}

TEST_F(FilterStatements, NamesWithBlanks) {
  // The object's name is bracketed by the grid, so a table name with a
  // blank works; the filter's condition on it too.
  EXPECT_EQ(names(*db, "Select * from [Club Members] WHERE City = 'Paris' and Age > '30' ORDER BY City, Age"),
            (Lines{"Fay", "Ann", "Eve"}));
  // Field names go in without brackets: a name with a blank is two words
  // and the condition does not parse.
  auto e = errorOf(*db, "Select * from [People] WHERE Home Town = 'Lyon'");
  EXPECT_EQ(e.number(), 3075);
  EXPECT_STREQ(e.what(), "Syntax error (missing operator) in query expression 'Home Town = 'Lyon''.");
  EXPECT_EQ(errorOf(*db, "Select * from [Club Members] WHERE Home Town = 'Lyon' ORDER BY Name").number(), 3075);
  // Bracketed (as a user may type it) it works, in the condition and the sort.
  EXPECT_EQ(names(*db, "Select * from [People] WHERE [Home Town] = 'lyon'"), (Lines{"Ann"}));
  EXPECT_EQ(names(*db, "Select * from [People] WHERE City = 'Paris' ORDER BY [Home Town]"),
            (Lines{"Fay", "Eve", "Ann", "Gus", "Chloé", "Dan"}));
  // Unbracketed in the sort list: the second word is not part of the name.
  e = errorOf(*db, "Select * from [People] WHERE City = 'Paris' ORDER BY Home Town, Name");
  EXPECT_EQ(e.number(), 3075);
  EXPECT_STREQ(e.what(), "Syntax error (missing operator) in query expression 'Home Town, Name'.");
}

class GroupedSubqueries : public ::testing::Test {
 protected:
  void SetUp() override {
    db = jet::createMemoryDatabase();
    jet::TableSpec orders;
    orders.name = "Orders";
    // Customer last, so that its place among the table's columns differs
    // from its place among the grouped values.
    orders.columns = {jet::columnSpec("Year", DataType::Long), jet::columnSpec("Amount", DataType::Long),
                      jet::columnSpec("Customer", DataType::Text, 20)};
    jet::createTable(*db, orders);
    jet::TableSpec customers;
    customers.name = "Customers";
    customers.columns = {jet::columnSpec("Name", DataType::Text, 20), jet::columnSpec("Region", DataType::Text, 20),
                         jet::columnSpec("Target", DataType::Long)};
    jet::createTable(*db, customers);
    jet::TableWriter o(*db, "Orders");
    struct Ord {
      const char* c;
      int amount, year;
    };
    for (const Ord& r : {Ord{"acme", 10, 2020}, Ord{"Bolt", 5, 2020}, Ord{"Acme", 20, 2021}, Ord{"Cog", 7, 2021},
                         Ord{"bolt", 1, 2021}, Ord{"Acme", 30, 2021}})
      o.insert({Value::longInt(r.year), Value::longInt(r.amount), Value::text(r.c)});
    jet::TableWriter c(*db, "Customers");
    c.insert({Value::text("Acme"), Value::text("North"), Value::longInt(50)});
    c.insert({Value::text("Bolt"), Value::text("South"), Value::longInt(5)});
    c.insert({Value::text("Dyn"), Value::text("North"), Value::longInt(1)});
  }
  std::unique_ptr<jet::Database> db;
};

TEST_F(GroupedSubqueries, OuterNamesAreTheGroupedValues) {
  // Groups (case-insensitive): Acme 60 in 3 orders, Bolt 6 in 2, Cog 7 in 1.
  EXPECT_EQ(body(*db, "SELECT Orders.Customer, Sum(Amount) AS Total, "
                      "(SELECT Region FROM Customers WHERE Customers.Name = Orders.Customer) AS Region "
                      "FROM Orders GROUP BY Orders.Customer ORDER BY Orders.Customer"),
            (Lines{"acme|60|North", "Bolt|6|South", "Cog|7|NULL"}));
  // the subquery compares with the group's own aggregate
  EXPECT_EQ(body(*db, "SELECT Customer, (SELECT Count(*) FROM Customers WHERE Customers.Name = Orders.Customer "
                      "AND Target <= 10) AS Small FROM Orders GROUP BY Customer"),
            (Lines{"acme|0", "Bolt|1", "Cog|0"}));
  // the same in HAVING, with Exists
  EXPECT_EQ(body(*db, "SELECT Customer, Count(*) FROM Orders GROUP BY Customer HAVING Exists "
                      "(SELECT * FROM Customers WHERE Customers.Name = Orders.Customer AND Region = 'North')"),
            (Lines{"acme|3"}));
  // In, with a second grouping column
  EXPECT_EQ(body(*db, "SELECT Customer, [Year], Sum(Amount) FROM Orders GROUP BY Customer, [Year] HAVING Customer In "
                      "(SELECT Name FROM Customers WHERE Target > [Year] - 2016) ORDER BY Customer, [Year]"),
            (Lines{"acme|2020|10", "Acme|2021|50", "Bolt|2020|5"}));
  // a name that is not grouped cannot be used by the subquery
  EXPECT_EQ(errorOf(*db, "SELECT Customer, (SELECT Max(Target) FROM Customers WHERE Target > Orders.Amount) "
                         "FROM Orders GROUP BY Customer").number(),
            3122);
  // outside grouping the subquery still sees each row
  EXPECT_EQ(body(*db, "SELECT Amount, (SELECT Count(*) FROM Customers WHERE Target > Orders.Amount) FROM Orders"),
            (Lines{"10|1", "5|1", "20|1", "7|1", "1|2", "30|1"}));
  // an aggregate over a subquery's value per row, grouped
  EXPECT_EQ(body(*db, "SELECT [Year], Sum((SELECT Target FROM Customers WHERE Name = Orders.Customer)) FROM Orders "
                      "GROUP BY [Year]"),
            (Lines{"2020|55", "2021|105"}));
}
