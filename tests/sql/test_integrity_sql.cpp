// Referential integrity through SQL on copies of the fixtures that have
// relationships (indexTest of Jet 3, Jet 4 and .accdb: Table1.otherfk1
// refers to Table2.id with cascade delete, Table1.otherfk2 to Table3.id with
// cascade update), on a database SQL creates with a relationship added, and
// through glimmer-cli sql and import. Refusals leave the file byte for byte
// as it was; after each statement the integrity check passes; mdbtools reads
// the rows.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "jet/check.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/relationships.h"
#include "result_lines.h"
#include "sql/action.h"
#include "support/test_support.h"

using sqltest::Lines;
using sqltest::body;

namespace {

const char* const kFixtures[] = {"jet3/indexTestV1997.mdb", "jet4/indexTestV2000.mdb", "ace/indexTestV2010.accdb"};

// Runs one statement on the file in its own opening; returns the error
// number (0 when it ran) and checks the file afterwards.
int runOn(const std::string& path, const std::string& stmt, int64_t* affected = nullptr) {
  auto db = jet::Database::open(path);
  int n = 0;
  try {
    int64_t rows = sql::runAction(*db, stmt);
    if (affected) *affected = rows;
  } catch (const jet::Error& e) {
    n = e.number();
  }
  auto r = jet::checkDatabase(*db);
  for (const auto& p : r.problems) ADD_FAILURE() << stmt << ": " << p;
  return n;
}

Lines query(const std::string& path, const std::string& stmt) {
  auto db = jet::Database::open(path);
  return body(*db, stmt);
}

std::string mdbExport(const std::string& path, const std::string& table) {
  std::string out;
  testsupport::run("mdb-export -H '" + path + "' " + table, &out);
  return out;
}

}  // namespace

TEST(IntegritySql, FixtureRelationshipsAreReadInEveryFormat) {
  SKIP_WITHOUT_SHARED();
  for (const char* rel : kFixtures) {
    SCOPED_TRACE(rel);
    auto db = jet::Database::open(testsupport::fixture(rel), {.readOnly = true});
    auto rels = jet::readRelationships(*db);
    int user = 0;
    for (const auto& r : rels) {
      if (r.name == "Table2Table1") {
        ++user;
        EXPECT_EQ(r.table, "Table1");
        EXPECT_EQ(r.columns, (std::vector<std::string>{"otherfk1"}));
        EXPECT_EQ(r.refTable, "Table2");
        EXPECT_TRUE(r.enforced() && r.cascadeDeletes() && !r.cascadeUpdates());
      } else if (r.name == "Table3Table1") {
        ++user;
        EXPECT_EQ(r.refColumns, (std::vector<std::string>{"id"}));
        EXPECT_TRUE(r.enforced() && r.cascadeUpdates() && !r.cascadeDeletes());
      }
    }
    EXPECT_EQ(user, 2);
  }
}

TEST(IntegritySql, RefusalsLeaveFixtureCopiesAsTheyWere) {
  SKIP_WITHOUT_SHARED();
  for (const char* rel : kFixtures) {
    SCOPED_TRACE(rel);
    std::string path = testsupport::copyToTemp(testsupport::fixture(rel));
    const std::string before = testsupport::readFile(path);
    // Table3 11 is used by rows 1 and 2 and only carries key changes
    EXPECT_EQ(runOn(path, "DELETE FROM Table3 WHERE id = 11"), jet::err::kRelatedRecords);
    EXPECT_EQ(runOn(path, "DELETE FROM Table3"), jet::err::kRelatedRecords);
    // Table2 only carries deletes
    EXPECT_EQ(runOn(path, "UPDATE Table2 SET id = 7 WHERE id = 1"), jet::err::kRelatedRecords);
    EXPECT_EQ(runOn(path, "INSERT INTO Table1 (id, otherfk1, otherfk2, data) VALUES (9, 99, 10, 'x')"),
              jet::err::kRelatedRecordRequired);
    EXPECT_EQ(runOn(path, "INSERT INTO Table1 (id, otherfk1, otherfk2) SELECT id + 20, id, id FROM Table2"),
              jet::err::kRelatedRecordRequired);
    EXPECT_EQ(runOn(path, "UPDATE Table1 SET otherfk2 = 99 WHERE id = 0"), jet::err::kRelatedRecordRequired);
    EXPECT_EQ(runOn(path, "UPDATE Table1 SET otherfk1 = otherfk1 + 1"), jet::err::kRelatedRecordRequired);
    EXPECT_EQ(testsupport::readFile(path), before);
  }
}

TEST(IntegritySql, CascadesAndNullForeignKeysOnFixtureCopies) {
  SKIP_WITHOUT_SHARED();
  for (const char* rel : kFixtures) {
    SCOPED_TRACE(rel);
    std::string path = testsupport::copyToTemp(testsupport::fixture(rel));
    int64_t n = -1;
    // Null foreign keys are not checked; matching ones are fine
    EXPECT_EQ(runOn(path, "INSERT INTO Table1 (id, otherfk1, otherfk2, data) VALUES (5, Null, 13, 'n')", &n), 0);
    EXPECT_EQ(runOn(path, "INSERT INTO Table1 (id, otherfk1, otherfk2, data) VALUES (6, 2, Null, 'm')"), 0);
    EXPECT_EQ(runOn(path, "UPDATE Table1 SET otherfk1 = 2 WHERE id = 0"), 0);
    // a key change carries on to the related rows
    EXPECT_EQ(runOn(path, "UPDATE Table3 SET id = 21 WHERE id = 11", &n), 0);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(query(path, "SELECT id, otherfk1, otherfk2 FROM Table1 ORDER BY id"),
              (Lines{"0|2|10", "1|1|21", "2|1|21", "3|2|13", "5|NULL|13", "6|2|NULL"}));
    // an unused key may go; a delete takes its related rows along
    EXPECT_EQ(runOn(path, "DELETE FROM Table3 WHERE id = 12"), 0);
    EXPECT_EQ(runOn(path, "DELETE FROM Table2 WHERE id = 1", &n), 0);
    EXPECT_EQ(n, 1);
    EXPECT_EQ(query(path, "SELECT id FROM Table1 ORDER BY id"), (Lines{"0", "3", "5", "6"}));
    EXPECT_EQ(runOn(path, "DELETE FROM Table2 WHERE id >= 0"), 0);
    EXPECT_EQ(query(path, "SELECT id FROM Table1 ORDER BY id"), (Lines{"5"}));
    EXPECT_EQ(query(path, "SELECT id FROM Table3 ORDER BY id"), (Lines{"10", "13", "21"}));
    if (testsupport::haveCommand("mdb-export")) {
      EXPECT_EQ(mdbExport(path, "Table1"), "5,,13,\"n\",\n");
      EXPECT_EQ(mdbExport(path, "Table2"), "");
    }
  }
}

TEST(IntegritySql, SelectIntoAndCreatedTablesWithARelationship) {
  std::string path = testsupport::tempDir() + "/made.mdb";
  jet::createDatabase(path);
  {
    auto db = jet::Database::open(path);
    sql::runAction(*db, "CREATE TABLE Parent (ID LONG CONSTRAINT pk PRIMARY KEY, Name TEXT(10))");
    sql::runAction(*db, "CREATE TABLE Child (CID COUNTER PRIMARY KEY, PName TEXT(10), ParentID LONG)");
    sql::runAction(*db, "INSERT INTO Parent VALUES (1, 'one')");
    sql::runAction(*db, "INSERT INTO Parent VALUES (2, 'two')");
    sql::runAction(*db, "INSERT INTO Child (ParentID) VALUES (1)");
    jet::Relationship r;
    r.name = "ParentChild";
    r.table = "Child";
    r.columns = {"ParentID"};
    r.refTable = "Parent";
    r.refColumns = {"ID"};
    r.flags = jet::relflag::kCascadeDelete;
    jet::addRelationship(*db, r);
  }
  const std::string before = testsupport::readFile(path);
  EXPECT_EQ(runOn(path, "INSERT INTO Child (ParentID) VALUES (3)"), jet::err::kRelatedRecordRequired);
  EXPECT_EQ(runOn(path, "UPDATE Parent SET ID = 5"), jet::err::kRelatedRecords);
  EXPECT_EQ(testsupport::readFile(path), before);
  // the copy SELECT INTO makes has no relationship: anything goes there
  EXPECT_EQ(runOn(path, "SELECT * INTO Copy FROM Child"), 0);
  EXPECT_EQ(runOn(path, "UPDATE Copy SET ParentID = 3"), 0);
  EXPECT_EQ(runOn(path, "INSERT INTO Child (ParentID) SELECT ID FROM Parent"), 0);
  EXPECT_EQ(runOn(path, "DELETE FROM Parent WHERE ID = 1"), 0);
  EXPECT_EQ(query(path, "SELECT ParentID FROM Child"), (Lines{"2"}));
  // a second relationship on the same key refuses what the first cascades
  {
    auto db = jet::Database::open(path);
    jet::Relationship r;
    r.name = "ParentCopy";
    r.table = "Copy";
    r.columns = {"ParentID"};
    r.refTable = "Parent";
    r.refColumns = {"ID"};
    EXPECT_EQ(testsupport::errorOf([&] { jet::addRelationship(*db, r); }), jet::err::kRelatedRecordRequired);
    sql::runAction(*db, "UPDATE Copy SET ParentID = 2");
    jet::addRelationship(*db, r);
  }
  const std::string held = testsupport::readFile(path);
  EXPECT_EQ(runOn(path, "DELETE FROM Parent"), jet::err::kRelatedRecords);
  EXPECT_EQ(testsupport::readFile(path), held);
  EXPECT_EQ(query(path, "SELECT ParentID FROM Child"), (Lines{"2"}));
}

TEST(IntegritySql, CliPrintsTheRefusalWithItsNumber) {
  SKIP_WITHOUT_SHARED();
  std::string path = testsupport::copyToTemp(testsupport::fixture("jet4/indexTestV2000.mdb"));
  const std::string cli = testsupport::binDir() + "/glimmer-cli";
  const std::string before = testsupport::readFile(path);
  std::string out;
  EXPECT_NE(testsupport::run(cli + " sql '" + path + "' \"DELETE FROM Table3 WHERE id = 11\" 2>&1", &out), 0);
  EXPECT_NE(out.find("Error 3200"), std::string::npos) << out;
  EXPECT_NE(out.find("Table1"), std::string::npos) << out;
  EXPECT_NE(testsupport::run(cli + " sql '" + path + "' \"UPDATE Table1 SET otherfk1 = 42\" 2>&1", &out), 0);
  EXPECT_NE(out.find("Error 3201"), std::string::npos) << out;
  EXPECT_EQ(testsupport::readFile(path), before);
  ASSERT_EQ(testsupport::run(cli + " sql '" + path + "' \"DELETE FROM Table2 WHERE id = 1\" 2>&1", &out), 0) << out;
  EXPECT_EQ(out, "1 rows affected\n");
  // imports keep the relationships too: the whole file or nothing
  const std::string csv = testsupport::tempDir() + "/rows.csv";
  testsupport::writeFile(csv, "id,otherfk1,otherfk2,data\n30,2,10,ok\n31,99,10,bad\n");
  const std::string kept = testsupport::readFile(path);
  EXPECT_NE(testsupport::run(cli + " import '" + path + "' Table1 '" + csv + "' 2>&1", &out), 0);
  EXPECT_NE(out.find("Error 3201"), std::string::npos) << out;
  EXPECT_NE(out.find("Line 3"), std::string::npos) << out;
  EXPECT_EQ(testsupport::readFile(path), kept);
  testsupport::writeFile(csv, "id,otherfk1,otherfk2,data\n30,2,10,ok\n31,,13,null\n");
  ASSERT_EQ(testsupport::run(cli + " import '" + path + "' Table1 '" + csv + "' 2>&1", &out), 0) << out;
  ASSERT_EQ(testsupport::run(cli + " check '" + path + "' 2>&1", &out), 0) << out;
  if (testsupport::haveCommand("mdb-export")) {
    EXPECT_EQ(mdbExport(path, "Table1"),
              "0,0,10,\"baz0\",0\n3,2,13,\"baz13\",0\n30,2,10,\"ok\",\n31,,13,\"null\",\n");
  }
}
