// A rollback that itself fails: the database refuses all further work with
// 3043 until it is opened again, and the reopened file holds the state
// before the change. Faults come from jet/fault_file: reads that fail while
// an explicit rollback re-reads what it restored, reads that fail during the
// automatic rollback of a failing statement, and writes that keep failing
// while a statement's commit is undone.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "jet/check.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/fault_file.h"
#include "jet/journal.h"
#include "jet/table_writer.h"
#include "result_lines.h"
#include "sql/action.h"
#include "support/test_support.h"

namespace {

std::string makeBase() {
  std::string path = testsupport::tempDir() + "/rollback_base.mdb";
  jet::createDatabase(path);
  auto db = jet::Database::open(path);
  sql::runAction(*db, "CREATE TABLE Notes (ID LONG CONSTRAINT pk PRIMARY KEY, Title TEXT(40), N DOUBLE)");
  for (int i = 1; i <= 30; ++i)
    sql::runAction(*db, "INSERT INTO Notes VALUES (" + std::to_string(i) + ", 'note " + std::to_string(i) +
                            "', " + std::to_string(i * 2) + ")");
  return path;
}

std::string state(jet::Database& db) {
  std::string out;
  for (const auto& l : sqltest::body(db, "SELECT ID, Title, N FROM Notes ORDER BY ID")) out += l + "\n";
  return out;
}

std::string stateOf(const std::string& path) {
  auto db = jet::Database::open(path, {"", true});
  return state(*db);
}

std::unique_ptr<jet::Database> openFaulty(const std::string& base, const std::string& path,
                                          const std::shared_ptr<jet::FaultPlan>& plan, size_t cachePages = 0) {
  testsupport::writeFile(path, testsupport::readFile(base));
  jet::removeFile(jet::journalPathFor(path));
  jet::OpenOptions o;
  o.wrapFile = jet::faultWrapper(plan);
  o.cachePages = cachePages;
  return jet::Database::open(path, o);
}

int errorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const jet::Error& e) {
    return e.number();
  }
  return 0;
}

// Everything that touches the file is refused with 3043 once broken.
void expectRefusesEverything(jet::Database& db, const std::string& what) {
  EXPECT_TRUE(db.pager().broken()) << what;
  EXPECT_EQ(jet::err::kIoError, errorOf([&] { state(db); })) << what;
  EXPECT_EQ(jet::err::kIoError, errorOf([&] { sql::runAction(db, "UPDATE Notes SET N = 0"); })) << what;
  EXPECT_EQ(jet::err::kIoError, errorOf([&] { db.beginChange(); })) << what;
  EXPECT_EQ(jet::err::kIoError, errorOf([&] { db.table("Notes"); })) << what;
}

}  // namespace

TEST(FailedRollback, ExplicitRollbackThatCannotRereadRefusesUntilReopened) {
  const std::string base = makeBase();
  const std::string before = stateOf(base);
  const std::string path = testsupport::tempDir() + "/rollback_explicit.mdb";
  auto plan = std::make_shared<jet::FaultPlan>();
  auto db = openFaulty(base, path, plan);
  db->beginChange();
  sql::runAction(*db, "CREATE TABLE Extra (A LONG)");
  sql::runAction(*db, "UPDATE Notes SET Title = 'changed'");
  // The catalogue's pages were part of the change: the rollback reads them
  // again from the file, and those reads fail.
  plan->failAtRead = plan->reads + 1;
  plan->readFailures = 1000;
  EXPECT_EQ(jet::err::kIoError, errorOf([&] { db->rollbackChange(); }));
  plan->failAtRead = 0;  // the disk works again: the database still refuses
  expectRefusesEverything(*db, "explicit rollback");
  db.reset();
  EXPECT_EQ(before, stateOf(path));
  auto again = jet::Database::open(path);
  EXPECT_EQ(nullptr, again->find("Extra"));
  EXPECT_TRUE(jet::checkDatabase(*again, true).ok());
}

TEST(FailedRollback, ExplicitRollbackThatWorksLeavesTheDatabaseUsable) {
  const std::string base = makeBase();
  const std::string before = stateOf(base);
  auto plan = std::make_shared<jet::FaultPlan>();
  auto db = openFaulty(base, testsupport::tempDir() + "/rollback_ok.mdb", plan);
  db->beginChange();
  sql::runAction(*db, "CREATE TABLE Extra (A LONG)");
  sql::runAction(*db, "DELETE FROM Notes WHERE ID > 10");
  db->rollbackChange();
  EXPECT_FALSE(db->pager().broken());
  EXPECT_EQ(before, state(*db));
  EXPECT_EQ(nullptr, db->find("Extra"));
}

// A statement fails (duplicate key); one read fails at every point in turn,
// with a cache too small to hold the catalogue, so some land in the
// statement's automatic rollback. Whatever happens, the database either
// holds the old rows and works, or refuses everything; reopened, it holds
// the old rows.
TEST(FailedRollback, StatementRollbackWithAFailingReadNeverServesAHalfState) {
  const std::string base = makeBase();
  const std::string before = stateOf(base);
  const std::string path = testsupport::tempDir() + "/rollback_stmt.mdb";
  // IDs 26 to 30 are taken: the statement fails part way.
  const std::string stmt = "INSERT INTO Notes (ID, Title, N) SELECT ID + 25, Title, N FROM Notes";
  // How many reads the failing statement makes.
  uint64_t total = 0;
  {
    auto plan = std::make_shared<jet::FaultPlan>();
    auto db = openFaulty(base, path, plan, 2);
    const uint64_t start = plan->reads;
    EXPECT_EQ(jet::err::kDuplicateKey, errorOf([&] { sql::runAction(*db, stmt); }));
    total = plan->reads - start;
    EXPECT_EQ(before, state(*db));
  }
  ASSERT_GT(total, 4u);
  int broken = 0, usable = 0;
  for (uint64_t k = 1; k <= total; ++k) {
    auto plan = std::make_shared<jet::FaultPlan>();
    auto db = openFaulty(base, path, plan, 2);
    plan->failAtRead = plan->reads + k;
    const int n = errorOf([&] { sql::runAction(*db, stmt); });
    EXPECT_TRUE(n == jet::err::kDuplicateKey || n == jet::err::kIoError) << "read " << k << ": " << n;
    plan->failAtRead = 0;
    if (db->pager().broken()) {
      ++broken;
      expectRefusesEverything(*db, "read " + std::to_string(k));
    } else {
      ++usable;
      EXPECT_EQ(before, state(*db)) << "read " << k;
    }
    db.reset();
    EXPECT_EQ(before, stateOf(path)) << "read " << k;
  }
  EXPECT_GT(broken, 0);
  EXPECT_GT(usable, 0);
}

// The statement's commit fails and every write after it fails as well, so
// the file cannot be put back: the database refuses everything, and the
// journal left behind restores the old rows when it is opened again.
TEST(FailedRollback, StatementCommitThatCannotBeUndoneRefusesUntilReopened) {
  const std::string base = makeBase();
  const std::string before = stateOf(base);
  const std::string path = testsupport::tempDir() + "/rollback_commit.mdb";
  const std::string stmt = "UPDATE Notes SET Title = Title & ' (seen)', N = N + 1";
  uint64_t total = 0;
  {
    auto plan = std::make_shared<jet::FaultPlan>();
    auto db = openFaulty(base, path, plan);
    const uint64_t start = plan->writes;
    EXPECT_EQ(30, sql::runAction(*db, stmt));
    total = plan->writes - start;
  }
  ASSERT_GT(total, 2u);
  int broken = 0;
  for (uint64_t k = 1; k <= total; ++k) {
    auto plan = std::make_shared<jet::FaultPlan>();
    auto db = openFaulty(base, path, plan);
    plan->failAtWrite = plan->writes + k;
    plan->failLaterWrites = true;
    EXPECT_EQ(jet::err::kIoError, errorOf([&] { sql::runAction(*db, stmt); })) << "write " << k;
    plan->failAtWrite = 0;
    if (db->pager().broken()) {
      ++broken;
      expectRefusesEverything(*db, "write " + std::to_string(k));
    } else {
      EXPECT_EQ(before, state(*db)) << "write " << k;
    }
    db.reset();
    EXPECT_EQ(before, stateOf(path)) << "write " << k;
    auto again = jet::Database::open(path);
    EXPECT_TRUE(jet::checkDatabase(*again, true).ok()) << "write " << k;
  }
  EXPECT_GT(broken, 0);
}
