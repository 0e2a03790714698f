// Action queries and data definition on created databases and on copies of
// fixtures of every format: the rows each statement leaves, the rows it
// reports, that a failing statement leaves the file exactly as it was (the
// product's error number), and that the integrity check (which compares
// every index with its table) passes after every statement.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "jet/check.h"
#include "jet/create.h"
#include "jet/ddl.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/table_writer.h"
#include "sql/action.h"
#include "sql/engine.h"
#include "result_lines.h"
#include "support/test_support.h"

using jet::DataType;
using jet::Value;
using sqltest::Lines;
using sqltest::body;

namespace {


int errorOf(jet::Database& db, const std::string& stmt, const sql::Params& params = {}) {
  try {
    sql::runAction(db, stmt, params);
  } catch (const jet::Error& e) {
    return e.number();
  }
  return 0;
}

void expectSound(jet::Database& db) {
  auto r = jet::checkDatabase(db);
  for (const auto& p : r.problems) ADD_FAILURE() << p;
}

// Customers (primary key, unique Name, Required City) and Orders.
std::unique_ptr<jet::Database> shopDb() {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"Customers",
                         {jet::autoNumberSpec("CustID"), jet::columnSpec("Name", DataType::Text, 10),
                          jet::columnSpec("City", DataType::Text, 20, true), jet::columnSpec("Credit", DataType::Long)},
                         {jet::primaryKeySpec("CustID"), jet::indexSpec("Name", {{"Name", true}}, false, true)}});
  jet::createTable(*db, {"Orders",
                         {jet::autoNumberSpec("OrderID"), jet::columnSpec("CustID", DataType::Long),
                          jet::columnSpec("Amount", DataType::Long), jet::columnSpec("Other", DataType::Long)},
                         {jet::primaryKeySpec("OrderID"), jet::indexSpec("CustID", {{"CustID", true}})}});
  jet::TableWriter c(*db, "Customers");
  c.insert({Value(), Value::text("Ann"), Value::text("Paris"), Value::longInt(10)});
  c.insert({Value(), Value::text("Bob"), Value::text("Rome"), Value::longInt(20)});
  c.insert({Value(), Value::text("Cy"), Value::text("Oslo"), Value::longInt(30)});
  jet::TableWriter o(*db, "Orders");
  for (int i = 1; i <= 3; ++i) o.insert({Value(), Value::longInt(1), Value::longInt(i * 100), Value::longInt(i)});
  o.insert({Value(), Value::longInt(2), Value::longInt(50), Value::longInt(9)});
  return db;
}

}  // namespace

TEST(Update, SetSeesTheOldValuesAndReportsTheRows) {
  auto db = shopDb();
  // swapping two fields needs the old values of both
  EXPECT_EQ(sql::runAction(*db, "UPDATE Orders SET Amount = Other, Other = Amount WHERE Amount >= 200"), 2);
  EXPECT_EQ(body(*db, "SELECT OrderID, Amount, Other FROM Orders"),
            (Lines{"1|100|1", "2|2|200", "3|3|300", "4|50|9"}));
  EXPECT_EQ(sql::runAction(*db, "UPDATE Orders SET Amount = Amount + 1"), 4);
  EXPECT_EQ(sql::runAction(*db, "UPDATE Orders SET Amount = 0 WHERE False"), 0);
  // the indexed column changes too
  EXPECT_EQ(sql::runAction(*db, "UPDATE Orders SET CustID = 3 WHERE CustID = 2"), 1);
  EXPECT_EQ(body(*db, "SELECT OrderID FROM Orders WHERE CustID = 3"), (Lines{"4"}));
  expectSound(*db);
}

TEST(Update, OverAJoinChangesTheNamedTable) {
  auto db = shopDb();
  EXPECT_EQ(sql::runAction(*db, "UPDATE Orders INNER JOIN Customers ON Orders.CustID = Customers.CustID "
                                "SET Orders.Amount = Orders.Amount + Customers.Credit WHERE Customers.Name = 'Ann'"),
            3);
  EXPECT_EQ(body(*db, "SELECT Amount FROM Orders"), (Lines{"110", "210", "310", "50"}));
  // both tables of the join, with a parameter
  EXPECT_EQ(sql::runAction(*db,
                           "PARAMETERS Bonus Long; UPDATE Customers INNER JOIN Orders ON Orders.CustID = "
                           "Customers.CustID SET Customers.Credit = Bonus, Orders.Other = 0 WHERE Orders.Amount < 100",
                           {{"Bonus", Value::longInt(7)}}),
            1);
  EXPECT_EQ(body(*db, "SELECT Name, Credit FROM Customers"), (Lines{"Ann|10", "Bob|7", "Cy|30"}));
  EXPECT_EQ(body(*db, "SELECT Other FROM Orders WHERE CustID = 2"), (Lines{"0"}));
  expectSound(*db);
}

TEST(Delete, PlainDistinctRowAndOverJoins) {
  auto db = shopDb();
  EXPECT_EQ(sql::runAction(*db, "DELETE FROM Orders WHERE Amount = 200"), 1);
  EXPECT_EQ(sql::runAction(*db, "DELETE DISTINCTROW Orders.* FROM Orders INNER JOIN Customers ON "
                                "Orders.CustID = Customers.CustID WHERE Customers.City = 'Paris'"),
            2);
  EXPECT_EQ(body(*db, "SELECT OrderID FROM Orders"), (Lines{"4"}));
  // the fields named before FROM only say which table loses rows
  EXPECT_EQ(sql::runAction(*db, "DELETE Customers.Name, Customers.City FROM Customers WHERE Credit > 15"), 2);
  EXPECT_EQ(body(*db, "SELECT Name FROM Customers"), (Lines{"Ann"}));
  EXPECT_EQ(errorOf(*db, "DELETE FROM Orders INNER JOIN Customers ON Orders.CustID = Customers.CustID"),
            sql::err::kDeleteTableUnknown);
  EXPECT_EQ(sql::runAction(*db, "DELETE * FROM Orders"), 1);
  EXPECT_TRUE(body(*db, "SELECT * FROM Orders").empty());
  expectSound(*db);
}

TEST(Insert, ValuesAndSelectWithAutoNumbersFilled) {
  auto db = shopDb();
  EXPECT_EQ(sql::runAction(*db, "INSERT INTO Customers (Name, City) VALUES ('Di', 'Nice')"), 1);
  EXPECT_EQ(body(*db, "SELECT * FROM Customers WHERE Name = 'Di'"), (Lines{"4|Di|Nice|NULL"}));
  EXPECT_EQ(sql::runAction(*db, "INSERT INTO Orders VALUES (Null, 4, 5, 6)"), 1);
  // INSERT ... SELECT reads the rows as they were: the table doubles, once
  EXPECT_EQ(sql::runAction(*db, "INSERT INTO Orders (CustID, Amount) SELECT CustID, Amount * 10 FROM Orders"), 5);
  EXPECT_EQ(body(*db, "SELECT Count(*), Max(OrderID), Sum(Amount) FROM Orders"), (Lines{"10|10|7205"}));
  // without a column list the SELECT's names choose the fields
  EXPECT_EQ(sql::runAction(*db, "INSERT INTO Orders SELECT CustID, Credit AS Amount FROM Customers WHERE Name = 'Cy'"),
            1);
  EXPECT_EQ(body(*db, "SELECT CustID, Amount, Other FROM Orders WHERE OrderID = 11"), (Lines{"3|30|NULL"}));
  EXPECT_EQ(errorOf(*db, "INSERT INTO Orders (CustID, Nope) VALUES (1, 2)"), sql::err::kUnknownInsertField);
  EXPECT_EQ(errorOf(*db, "INSERT INTO Orders (CustID, Amount) VALUES (1)"), sql::err::kValueCountMismatch);
  EXPECT_EQ(errorOf(*db, "INSERT INTO Orders (CustID, CustID) VALUES (1, 2)"), sql::err::kDuplicateDestination);
  EXPECT_EQ(errorOf(*db, "INSERT INTO Nowhere VALUES (1)"), jet::err::kNoSuchObject);
  expectSound(*db);
}

TEST(Atomic, AFailingRowLeavesTheDatabaseAsItWas) {
  auto db = shopDb();
  const Lines customers = body(*db, "SELECT * FROM Customers");
  const Lines orders = body(*db, "SELECT * FROM Orders");
  struct Case {
    const char* stmt;
    int err;
  };
  const Case cases[] = {
      // the third row is a duplicate: the first two must not stay
      {"INSERT INTO Customers (Name, City) SELECT Name & 'x', City FROM Customers UNION ALL SELECT 'Annx', 'Q' "
       "FROM Customers WHERE Name = 'Ann'",
       jet::err::kDuplicateKey},
      {"UPDATE Customers SET Name = 'Same'", jet::err::kDuplicateKey},
      {"UPDATE Customers SET City = Null WHERE Name <> 'Ann'", jet::err::kRequiredNull},
      {"INSERT INTO Customers (Name) VALUES ('Zed')", jet::err::kRequiredNull},
      {"UPDATE Orders SET Amount = 'many'", jet::err::kTypeConversion},
      {"UPDATE Customers SET Name = Name & 'abcdefghij'", jet::err::kFieldTooSmall},
      {"UPDATE Orders SET Amount = 1 WHERE", jet::err::kSyntax},
      {"UPDATE Orders SET Nope = 1", sql::err::kFieldNotUpdatable},
      {"UPDATE Orders SET OrderID = 9", sql::err::kFieldNotUpdatable},
      {"UPDATE Orders AS a INNER JOIN Orders AS b ON a.OrderID = b.OrderID SET a.Amount = 1, b.Other = 2",
       sql::err::kNotUpdatable},
      {"DELETE FROM Orders WHERE Nope(1) = 1", jet::err::kUndefinedFunction},
      {"UPDATE Orders SET Amount = Nope", jet::err::kTooFewParameters},
      {"CREATE UNIQUE INDEX ByCust ON Orders (CustID)", jet::err::kDuplicateKey},
      {"ALTER TABLE Orders ADD COLUMN Must LONG NOT NULL", jet::err::kRequiredNull},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(errorOf(*db, c.stmt), c.err) << c.stmt;
    EXPECT_EQ(body(*db, "SELECT * FROM Customers"), customers) << c.stmt;
    EXPECT_EQ(body(*db, "SELECT * FROM Orders"), orders) << c.stmt;
    EXPECT_EQ(db->table("Orders")->columns.size(), 4u) << c.stmt;
    EXPECT_EQ(db->table("Orders")->indexes.size(), 2u) << c.stmt;
  }
  expectSound(*db);
  // and the database still takes changes afterwards
  EXPECT_EQ(sql::runAction(*db, "UPDATE Orders SET Other = 1"), 4);
}

TEST(Atomic, ReadOnlyDatabasesRefuseEveryChange) {
  std::string dir = testsupport::tempDir();
  std::string path = dir + "/ro.mdb";
  jet::createDatabase(path);
  {
    auto db = jet::Database::open(path);
    sql::runAction(*db, "CREATE TABLE T (A LONG)");
    sql::runAction(*db, "INSERT INTO T VALUES (1)");
  }
  const std::string before = testsupport::readFile(path);
  jet::OpenOptions o;
  o.readOnly = true;
  auto db = jet::Database::open(path, o);
  for (const char* s : {"INSERT INTO T VALUES (2)", "UPDATE T SET A = 3", "DELETE FROM T", "SELECT A INTO U FROM T",
                        "CREATE TABLE U (B LONG)", "DROP TABLE T", "ALTER TABLE T ADD COLUMN B LONG",
                        "CREATE INDEX I ON T (A)"})
    EXPECT_EQ(errorOf(*db, s), jet::err::kReadOnlyRecordset) << s;
  db.reset();
  EXPECT_EQ(testsupport::readFile(path), before);
}

TEST(DataDefinition, TablesIndexesAndFieldsComeAndGo) {
  auto db = jet::createMemoryDatabase();
  sql::runAction(*db,
                 "CREATE TABLE Items (ID COUNTER CONSTRAINT PK PRIMARY KEY, Code CHAR(8) NOT NULL UNIQUE, "
                 "Title TEXT, Qty SHORT, Big INTEGER, Price MONEY, Ratio REAL, Weight FLOAT, Seen DATETIME, "
                 "Ok BIT, Small BYTE, Notes MEMO, Pic LONGBINARY, Tag GUID, Amt DECIMAL(10, 2), Raw BINARY(16))");
  auto def = db->table("Items");
  ASSERT_EQ(def->columns.size(), 16u);
  const DataType want[] = {DataType::Long,     DataType::Text,   DataType::Text,     DataType::Integer,
                           DataType::Long,     DataType::Currency, DataType::Single, DataType::Double,
                           DataType::DateTime, DataType::Boolean, DataType::Byte,    DataType::Memo,
                           DataType::OLE,      DataType::GUID,   DataType::Decimal,  DataType::Binary};
  for (size_t i = 0; i < 16; ++i) EXPECT_EQ(def->columns[i].type, want[i]) << def->columns[i].name;
  EXPECT_TRUE(def->columns[0].autoNumber());
  EXPECT_EQ(def->columns[1].displaySize(false), 8);
  EXPECT_EQ(def->columns[2].displaySize(false), 255);
  EXPECT_TRUE(def->columns[1].requiredProp);
  EXPECT_EQ(def->columns[14].precision, 10);
  EXPECT_EQ(def->columns[14].scale, 2);
  ASSERT_EQ(def->indexes.size(), 2u);
  EXPECT_EQ(def->indexes[0].name, "PK");
  EXPECT_TRUE(def->indexes[0].primary());
  EXPECT_TRUE(def->realOf(def->indexes[1]).unique());

  EXPECT_EQ(sql::runAction(*db, "INSERT INTO Items (Code, Qty) VALUES ('a1', 5)"), 1);
  EXPECT_EQ(sql::runAction(*db, "INSERT INTO Items (Code, Qty) VALUES ('b2', 7)"), 1);
  EXPECT_EQ(errorOf(*db, "INSERT INTO Items (Code) VALUES ('A1')"), jet::err::kDuplicateKey);
  EXPECT_EQ(errorOf(*db, "CREATE TABLE Items (X LONG)"), jet::err::kTableExists);
  EXPECT_EQ(errorOf(*db, "CREATE TABLE Two (X LONG, x TEXT)"), sql::err::kFieldExists);
  EXPECT_EQ(errorOf(*db, "CREATE TABLE Two (X TEXT(300))"), jet::err::kFieldTooSmall);
  EXPECT_EQ(errorOf(*db, "CREATE TABLE Two (X WIDGET)"), jet::err::kSyntax);

  sql::runAction(*db, "CREATE INDEX ByQty ON Items (Qty DESC, Code) WITH IGNORE NULL");
  def = db->table("Items");
  ASSERT_EQ(def->indexes.size(), 3u);
  EXPECT_EQ(def->indexFieldsText(def->indexes[2]), "-Qty;+Code;");
  EXPECT_TRUE(def->realOf(def->indexes[2]).ignoreNulls());
  EXPECT_EQ(errorOf(*db, "CREATE INDEX ByQty ON Items (Qty)"), sql::err::kIndexExists);
  EXPECT_EQ(errorOf(*db, "CREATE INDEX P2 ON Items (Qty) WITH PRIMARY"), sql::err::kPrimaryExists);
  EXPECT_EQ(body(*db, "SELECT Code FROM Items WHERE Qty = 7"), (Lines{"b2"}));

  sql::runAction(*db, "ALTER TABLE Items ADD COLUMN Color TEXT(12)");
  EXPECT_EQ(db->table("Items")->columns.size(), 17u);
  EXPECT_EQ(sql::runAction(*db, "UPDATE Items SET Color = 'red' WHERE Code = 'a1'"), 1);
  EXPECT_EQ(errorOf(*db, "ALTER TABLE Items DROP COLUMN Qty"), sql::err::kFieldInIndex);
  sql::runAction(*db, "DROP INDEX ByQty ON Items");
  sql::runAction(*db, "ALTER TABLE Items DROP COLUMN Qty");
  def = db->table("Items");
  EXPECT_EQ(def->columns.size(), 16u);
  EXPECT_EQ(def->findColumn("Qty"), -1);
  EXPECT_EQ(body(*db, "SELECT ID, Code, Color FROM Items"), (Lines{"1|a1|red", "2|b2|NULL"}));
  // auto-numbers continue after the rebuild
  sql::runAction(*db, "INSERT INTO Items (Code) VALUES ('c3')");
  EXPECT_EQ(body(*db, "SELECT Max(ID) FROM Items"), (Lines{"3"}));
  sql::runAction(*db, "ALTER TABLE Items ADD CONSTRAINT ByColor UNIQUE (Color)");
  EXPECT_EQ(db->table("Items")->indexes.size(), 3u);
  sql::runAction(*db, "ALTER TABLE Items DROP CONSTRAINT ByColor");
  EXPECT_EQ(db->table("Items")->indexes.size(), 2u);
  expectSound(*db);

  EXPECT_EQ(sql::runAction(*db, "SELECT Code, Color, ID * 2 AS Twice INTO Copy FROM Items WHERE ID > 1"), 2);
  EXPECT_EQ(body(*db, "SELECT * FROM Copy"), (Lines{"b2|NULL|4", "c3|NULL|6"}));
  EXPECT_EQ(db->table("Copy")->columns[0].displaySize(false), 8);
  EXPECT_EQ(errorOf(*db, "SELECT Code INTO Copy FROM Items"), jet::err::kTableExists);
  sql::runAction(*db, "DROP TABLE Copy");
  EXPECT_EQ(db->find("Copy"), nullptr);
  EXPECT_EQ(errorOf(*db, "DROP TABLE Copy"), jet::err::kNoSuchObject);
  expectSound(*db);
}

TEST(SavedActions, RunByNameWithParameters) {
  auto db = shopDb();
  jet::QuerySpec q;
  q.name = "Big Orders";
  q.tables = {"Orders"};
  q.selectStar = true;
  jet::createQuery(*db, q);
  // saved queries read by the action statements
  EXPECT_EQ(sql::runAction(*db, "SELECT * INTO Archive FROM [Big Orders]"), 4);
  EXPECT_EQ(sql::runAction(*db, "DELETE FROM Orders WHERE OrderID IN (SELECT OrderID FROM Archive WHERE Amount > 150)"),
            2);
  EXPECT_EQ(errorOf(*db, "UPDATE [Big Orders] SET Amount = 1"), sql::err::kNotUpdatable);
  try {
    sql::runSavedAction(*db, "Big Orders");
    ADD_FAILURE() << "a SELECT query ran as an action";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), sql::err::kActionAsSource);
  }
}

TEST(FixtureCopies, ChangesOnEveryFormatKeepTheFileSound) {
  SKIP_WITHOUT_SHARED();
  for (const char* rel : {"jet3/queryTestV1997.mdb", "jet4/queryTestV2000.mdb", "ace/queryTestV2010.accdb"}) {
    SCOPED_TRACE(rel);
    std::string path = testsupport::copyToTemp(testsupport::fixture(rel));
    {
      auto db = jet::Database::open(path);
      const size_t before = body(*db, "SELECT * FROM Table1").size();
      EXPECT_EQ(sql::runAction(*db, "INSERT INTO Table1 (col1, col2) VALUES ('new row', 'x''y')"), 1);
      EXPECT_EQ(sql::runAction(*db, "INSERT INTO Table1 VALUES ('blah', 'b', 'c')"), 1);
      EXPECT_EQ(sql::runAction(*db, "UPDATE Table1 SET col2 = col1 & '!' WHERE col1 = 'new row'"), 1);
      EXPECT_EQ(sql::runAction(*db, "INSERT INTO Table1 (col1, col2) SELECT col1 & '+', col2 FROM Table1"),
                static_cast<int64_t>(before + 2));
      EXPECT_EQ(sql::runAction(*db, "DELETE FROM Table1 WHERE col1 LIKE '*+'"), static_cast<int64_t>(before + 2));
      EXPECT_EQ(body(*db, "SELECT col2 FROM Table1 WHERE col1 = 'new row'"), (Lines{"new row!"}));
      // the fixture's saved DELETE query (col1 > "blah") runs by name
      EXPECT_EQ(sql::runSavedAction(*db, "DeleteQuery"), 1);
      EXPECT_EQ(body(*db, "SELECT * FROM Table1").size(), before + 1);
      expectSound(*db);
    }
    if (testsupport::haveCommand("mdb-export")) {
      std::string out;
      testsupport::run("mdb-export '" + path + "' Table1", &out);
      EXPECT_NE(out.find("\"blah\",\"b\",\"c\""), std::string::npos) << out;
      EXPECT_EQ(out.find("new row"), std::string::npos) << out;
    }
  }
}
