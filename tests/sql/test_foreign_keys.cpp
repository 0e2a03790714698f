// Relationships made by data definition: a field's REFERENCES clause,
// CONSTRAINT ... FOREIGN KEY in CREATE TABLE and ALTER TABLE ... ADD
// CONSTRAINT, and DROP CONSTRAINT. What they make is enforced on writes
// (3201 orphans, 3200 used keys, cascades), is read by mdbtools from
// MSysRelationships, and passes glimmer-cli check.
#include <gtest/gtest.h>

#include <string>

#include "jet/check.h"
#include "jet/create.h"
#include "jet/ddl.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/relationships.h"
#include "result_lines.h"
#include "sql/action.h"
#include "support/test_support.h"

using sqltest::Lines;

namespace {

int run(jet::Database& db, const std::string& stmt) {
  try {
    sql::runAction(db, stmt);
  } catch (const jet::Error& e) {
    return e.number();
  }
  return 0;
}

const jet::Relationship* findRel(const std::vector<jet::Relationship>& rels, const std::string& name) {
  for (const auto& r : rels)
    if (r.name == name) return &r;
  return nullptr;
}

std::string makeDb(const std::string& name) {
  std::string path = testsupport::tempDir() + "/" + name;
  jet::createDatabase(path);
  return path;
}

}  // namespace

TEST(ForeignKeys, CreateTableMakesEnforcedRelationshipsWithTheirCascades) {
  const std::string path = makeDb("fk_create.mdb");
  {
    auto db = jet::Database::open(path);
    sql::runAction(*db, "CREATE TABLE Customers (CustID LONG CONSTRAINT pk PRIMARY KEY, Name TEXT(30))");
    sql::runAction(*db, "CREATE TABLE Regions (Code TEXT(4), Part LONG, CONSTRAINT rk PRIMARY KEY (Code, Part))");
    sql::runAction(*db,
                   "CREATE TABLE Orders (OrderID LONG PRIMARY KEY, "
                   "CustID LONG REFERENCES Customers (CustID) ON DELETE CASCADE, "
                   "RCode TEXT(4), RPart LONG, "
                   "CONSTRAINT OrdersRegion FOREIGN KEY (RCode, RPart) REFERENCES Regions (Code, Part) ON UPDATE CASCADE)");
    const auto rels = jet::readRelationships(*db);
    ASSERT_EQ(2u, rels.size());
    const jet::Relationship* cust = findRel(rels, "CustomersOrders");  // named after both tables
    ASSERT_NE(nullptr, cust);
    EXPECT_EQ("Orders", cust->table);
    EXPECT_EQ((std::vector<std::string>{"CustID"}), cust->columns);
    EXPECT_EQ("Customers", cust->refTable);
    EXPECT_TRUE(cust->enforced());
    EXPECT_TRUE(cust->cascadeDeletes());
    EXPECT_FALSE(cust->cascadeUpdates());
    const jet::Relationship* reg = findRel(rels, "OrdersRegion");
    ASSERT_NE(nullptr, reg);
    EXPECT_EQ((std::vector<std::string>{"RCode", "RPart"}), reg->columns);
    EXPECT_EQ((std::vector<std::string>{"Code", "Part"}), reg->refColumns);
    EXPECT_TRUE(reg->cascadeUpdates());
    EXPECT_FALSE(reg->cascadeDeletes());

    sql::runAction(*db, "INSERT INTO Customers VALUES (1, 'Ann')");
    sql::runAction(*db, "INSERT INTO Customers VALUES (2, 'Bob')");
    sql::runAction(*db, "INSERT INTO Regions VALUES ('N', 1)");
    EXPECT_EQ(0, run(*db, "INSERT INTO Orders VALUES (10, 1, 'N', 1)"));
    EXPECT_EQ(0, run(*db, "INSERT INTO Orders VALUES (11, 2, 'N', 1)"));
    EXPECT_EQ(0, run(*db, "INSERT INTO Orders VALUES (12, 2, Null, Null)"));
    // orphans are refused, whichever relationship they break
    EXPECT_EQ(jet::err::kRelatedRecordRequired, run(*db, "INSERT INTO Orders VALUES (13, 9, 'N', 1)"));
    EXPECT_EQ(jet::err::kRelatedRecordRequired, run(*db, "INSERT INTO Orders VALUES (13, 1, 'S', 1)"));
    EXPECT_EQ(jet::err::kRelatedRecordRequired, run(*db, "UPDATE Orders SET CustID = 7 WHERE OrderID = 10"));
    // a used key cannot change without a cascade; with one it is carried
    EXPECT_EQ(jet::err::kRelatedRecords, run(*db, "UPDATE Customers SET CustID = 5 WHERE CustID = 1"));
    EXPECT_EQ(0, run(*db, "UPDATE Regions SET Part = 2"));
    EXPECT_EQ((Lines{"10|N|2", "11|N|2", "12|NULL|NULL"}),
              sqltest::body(*db, "SELECT OrderID, RCode, RPart FROM Orders ORDER BY OrderID"));
    EXPECT_EQ(jet::err::kRelatedRecords, run(*db, "DELETE FROM Regions"));
    // cascade delete takes the customer's orders with it
    EXPECT_EQ(0, run(*db, "DELETE FROM Customers WHERE CustID = 2"));
    EXPECT_EQ((Lines{"10"}), sqltest::body(*db, "SELECT OrderID FROM Orders"));
    EXPECT_EQ(jet::err::kInRelationship, run(*db, "DROP TABLE Customers"));
    auto r = jet::checkDatabase(*db, true);
    for (const auto& p : r.problems) ADD_FAILURE() << p;
  }
  std::string out;
  EXPECT_EQ(0, testsupport::run(testsupport::binDir() + "/glimmer-cli check '" + path + "' 2>&1", &out)) << out;
  if (testsupport::haveCommand("mdb-export")) {
    ASSERT_EQ(0, testsupport::run("mdb-export -H '" + path +
                                      "' MSysRelationships | cut -d, -f1-8 | sort 2>&1",
                                  &out));
    // szRelationship, grbit, ccolumn, icolumn, szObject, szColumn,
    // szReferencedObject, szReferencedColumn
    EXPECT_EQ(out,
              "\"CustomersOrders\",4096,1,0,\"Orders\",\"CustID\",\"Customers\",\"CustID\"\n"
              "\"OrdersRegion\",256,2,0,\"Orders\",\"RCode\",\"Regions\",\"Code\"\n"
              "\"OrdersRegion\",256,2,1,\"Orders\",\"RPart\",\"Regions\",\"Part\"\n");
  }
}

TEST(ForeignKeys, AlterTableAddsAndDropsConstraints) {
  const std::string path = makeDb("fk_alter.mdb");
  auto db = jet::Database::open(path);
  sql::runAction(*db, "CREATE TABLE Parent (ID LONG CONSTRAINT pk PRIMARY KEY, Name TEXT(10))");
  sql::runAction(*db, "CREATE TABLE Child (CID LONG PRIMARY KEY, ParentID LONG, Note TEXT(10))");
  sql::runAction(*db, "INSERT INTO Parent VALUES (1, 'one')");
  sql::runAction(*db, "INSERT INTO Child VALUES (1, 1, 'a')");
  sql::runAction(*db, "INSERT INTO Child VALUES (2, 3, 'b')");
  const std::string bad = "ALTER TABLE Child ADD CONSTRAINT fk FOREIGN KEY (ParentID) REFERENCES Parent ON DELETE CASCADE";
  // rows that break it already: refused, nothing written
  const std::string before = testsupport::readFile(path);
  EXPECT_EQ(jet::err::kRelatedRecordRequired, run(*db, bad));
  EXPECT_EQ(before, testsupport::readFile(path));
  // the referenced fields need a unique index
  EXPECT_EQ(jet::err::kNoUniqueIndex,
            run(*db, "ALTER TABLE Child ADD CONSTRAINT fk FOREIGN KEY (ParentID) REFERENCES Parent (Name)"));
  EXPECT_EQ(jet::err::kNoSuchObject,
            run(*db, "ALTER TABLE Child ADD CONSTRAINT fk FOREIGN KEY (ParentID) REFERENCES Nobody (ID)"));
  EXPECT_EQ(jet::err::kItemNotFound,
            run(*db, "ALTER TABLE Child ADD CONSTRAINT fk FOREIGN KEY (Nope) REFERENCES Parent (ID)"));
  EXPECT_EQ(jet::err::kSyntax, run(*db, "ALTER TABLE Child ADD CONSTRAINT fk FOREIGN KEY (ParentID) REFERENCES"));
  EXPECT_EQ(jet::err::kSyntax,
            run(*db, "ALTER TABLE Child ADD CONSTRAINT fk FOREIGN KEY (ParentID) REFERENCES Parent ON DELETE LATER"));
  EXPECT_TRUE(jet::readRelationships(*db).empty());

  sql::runAction(*db, "DELETE FROM Child WHERE CID = 2");
  EXPECT_EQ(0, run(*db, bad));  // refers to Parent's primary key
  ASSERT_EQ(1u, jet::readRelationships(*db).size());
  EXPECT_EQ((std::vector<std::string>{"ID"}), jet::readRelationships(*db)[0].refColumns);
  EXPECT_EQ(jet::err::kObjectExists, run(*db, bad));
  EXPECT_EQ(jet::err::kRelatedRecordRequired, run(*db, "INSERT INTO Child VALUES (3, 8, 'c')"));
  EXPECT_EQ(0, run(*db, "DELETE FROM Parent"));
  EXPECT_EQ((Lines{}), sqltest::body(*db, "SELECT CID FROM Child"));

  EXPECT_EQ(0, run(*db, "ALTER TABLE Child DROP CONSTRAINT fk"));
  EXPECT_TRUE(jet::readRelationships(*db).empty());
  EXPECT_EQ(0, run(*db, "INSERT INTO Child VALUES (3, 8, 'c')"));  // no longer enforced
  EXPECT_EQ(jet::err::kItemNotFound, run(*db, "ALTER TABLE Child DROP CONSTRAINT fk"));
  EXPECT_EQ(0, run(*db, "DROP TABLE Parent"));  // takes part in nothing now
  auto r = jet::checkDatabase(*db, true);
  for (const auto& p : r.problems) ADD_FAILURE() << p;
}

TEST(ForeignKeys, ACreateTableWhoseRelationshipFailsIsNotMade) {
  const std::string path = makeDb("fk_atomic.mdb");
  auto db = jet::Database::open(path);
  sql::runAction(*db, "CREATE TABLE Parent (ID LONG, Name TEXT(10))");  // no key
  const std::string before = testsupport::readFile(path);
  EXPECT_EQ(jet::err::kNoUniqueIndex, run(*db, "CREATE TABLE Child (CID LONG, PID LONG REFERENCES Parent (ID))"));
  EXPECT_EQ(jet::err::kNoUniqueIndex, run(*db, "CREATE TABLE Child (CID LONG, PID LONG REFERENCES Parent)"));
  EXPECT_EQ(nullptr, db->find("Child"));
  db.reset();
  EXPECT_EQ(before, testsupport::readFile(path));
}
