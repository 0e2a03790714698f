// Crash safety. A change runs in a child process whose files stop working
// after the Nth write (the child ends on the spot, sometimes leaving a torn
// half-written page); the parent then opens the database. Every outcome must
// open, pass the integrity check, and hold exactly the state before the
// change or exactly the state after it. Also: a write error inside the
// process rolls the change back at once and the database stays usable.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>

#include "jet/check.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/dump.h"
#include "jet/error.h"
#include "jet/fault_file.h"
#include "jet/journal.h"
#include "jet/table_writer.h"
#include "support/test_support.h"

using jet::Value;

namespace {

jet::TableSpec notesTable() {
  return {"Notes",
          {jet::autoNumberSpec("ID"), jet::columnSpec("Title", jet::DataType::Text, 40),
           jet::columnSpec("Body", jet::DataType::Memo), jet::columnSpec("N", jet::DataType::Double)},
          {jet::primaryKeySpec("ID"), jet::indexSpec("Title", {{"Title", true}})}};
}

std::vector<std::string> snapshot(const std::string& path) {
  auto db = jet::Database::open(path, {"", true});
  std::vector<std::string> rows;
  auto s = db->scan("Notes");
  while (s->next()) {
    std::string line;
    for (const auto& v : s->values()) line += jet::dumpCell(v) + "\t";
    rows.push_back(line);
  }
  std::sort(rows.begin(), rows.end());
  rows.push_back("count=" + std::to_string(db->table("Notes")->rowCount));
  return rows;
}

// The change under test: inserts (some with long memos), updates and
// deletes in one change, made with w.
void applyChange(jet::Database& db, jet::TableWriter& w) {
  jet::ChangeScope change(db);
  std::vector<jet::RowId> ids;
  auto s = db.scan("Notes");
  while (s->next()) ids.push_back(s->rowId());
  for (int i = 0; i < 40; ++i)
    w.insert({Value(), Value::text("new " + std::to_string(i)),
              Value::memo(std::string(i % 10 == 0 ? 9000 : 30, 'a' + i % 26)), Value::dbl(i)});
  for (size_t i = 0; i < ids.size(); i += 3) {
    auto v = w.read(ids[i]);
    v[1] = Value::text("changed " + std::to_string(i));
    v[2] = Value::memo(std::string(5000, 'z'));
    w.update(ids[i], v);
  }
  // Rows that keep their length are written over in place.
  for (size_t i = 2; i < ids.size(); i += 5) {
    auto v = w.read(ids[i]);
    v[3] = Value::dbl(v[3].asDouble() + 0.5);
    w.update(ids[i], v);
  }
  for (size_t i = 1; i < ids.size(); i += 4) w.remove(ids[i]);
  change.commit();
}

void applyChange(jet::Database& db) {
  jet::TableWriter w(db, "Notes");
  applyChange(db, w);
}

std::string makeBase() {
  std::string path = testsupport::tempDir() + "/crash.mdb";
  jet::createDatabase(path);
  auto db = jet::Database::open(path);
  jet::createTable(*db, notesTable());
  jet::TableWriter w(*db, "Notes");
  jet::ChangeScope change(*db);
  for (int i = 0; i < 60; ++i)
    w.insert({Value(), Value::text("old " + std::to_string(i)),
              i % 7 == 0 ? Value::memo(std::string(6000, 'o')) : Value(), Value::dbl(-i)});
  change.commit();
  return path;
}

// A copy of base at path, opened through files that follow plan; the
// plan counts writes from after the opening.
auto openFaultyCopy(const std::string& base, const std::string& path, const std::shared_ptr<jet::FaultPlan>& plan) {
  testsupport::writeFile(path, testsupport::readFile(base));
  jet::OpenOptions o;
  o.wrapFile = jet::faultWrapper(plan);
  auto db = jet::Database::open(path, o);
  plan->writes = 0;
  return db;
}

// Applies the change to a copy of base at path; returns how many writes it
// made.
uint64_t writesOfChange(const std::string& base, const std::string& path) {
  auto plan = std::make_shared<jet::FaultPlan>();
  auto db = openFaultyCopy(base, path, plan);
  applyChange(*db);
  return plan->writes;
}

TEST(CrashSafety, KilledAtEveryStageLeavesOldOrNewState) {
  std::string base = makeBase();
  std::string dir = testsupport::tempDir();
  auto before = snapshot(base);
  // The state after, and the number of writes the change makes.
  std::string done = dir + "/done.mdb";
  const uint64_t total = writesOfChange(base, done);
  auto after = snapshot(done);
  ASSERT_NE(before, after);
  ASSERT_GT(total, 3u);
  int sawOld = 0, sawNew = 0;
  // Every write when there are few, otherwise an even spread plus the ends.
  std::vector<uint64_t> points;
  for (uint64_t n = 1; n <= total + 1; n += std::max<uint64_t>(1, total / 60)) points.push_back(n);
  points.push_back(total);
  points.push_back(total - 1);
  for (uint64_t n : points) {
    std::string path = dir + "/run.mdb";
    testsupport::writeFile(path, testsupport::readFile(base));
    jet::removeFile(jet::journalPathFor(path));
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      auto p = std::make_shared<jet::FaultPlan>();
      p->failAtWrite = n;
      p->action = jet::FaultPlan::Action::Exit;
      p->tornWrite = n % 2 == 1;
      try {
        jet::OpenOptions o;
        o.wrapFile = jet::faultWrapper(p);
        auto db = jet::Database::open(path, o);
        p->writes = 0;
        applyChange(*db);
      } catch (...) {
        ::_exit(3);
      }
      ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    int code = WEXITSTATUS(status);
    ASSERT_TRUE(code == 77 || (code == 0 && n > total)) << "write " << n << " exit " << code;
    auto db = jet::Database::open(path);
    auto r = jet::checkDatabase(*db, true);
    for (const auto& p : r.problems) ADD_FAILURE() << "after write " << n << ": " << p;
    db.reset();
    auto state = snapshot(path);
    if (state == before) ++sawOld;
    else if (state == after) ++sawNew;
    else ADD_FAILURE() << "after write " << n << " of " << total << " the rows are neither the old nor the new state";
  }
  EXPECT_GT(sawOld, 0);
  EXPECT_GT(sawNew, 0);
}

TEST(CrashSafety, WriteErrorRollsBackAndDatabaseStaysUsable) {
  std::string base = makeBase();
  auto before = snapshot(base);
  const uint64_t total = writesOfChange(base, testsupport::tempDir() + "/count.mdb");
  ASSERT_GT(total, 3u);
  for (uint64_t n : {uint64_t(1), total / 3, 2 * total / 3, total}) {
    std::string path = testsupport::tempDir() + "/err.mdb";
    auto plan = std::make_shared<jet::FaultPlan>();
    auto db = openFaultyCopy(base, path, plan);
    plan->failAtWrite = n;
    jet::TableWriter w(*db, "Notes");
    try {
      applyChange(*db, w);
      ADD_FAILURE() << "write " << n << " did not fail";
    } catch (const jet::Error& e) {
      EXPECT_EQ(jet::err::kIoError, e.number());
    }
    EXPECT_TRUE(jet::checkDatabase(*db, true).ok());
    // The same database object and the same writer carry on.
    w.insert({Value(), Value::text("after the error"), Value(), Value()});
    db.reset();
    auto state = snapshot(path);
    EXPECT_EQ(before.size() + 1, state.size()) << "write " << n;
  }
}

TEST(CrashSafety, IncompleteJournalIsIgnoredAndHotJournalRollsBack) {
  std::string base = makeBase();
  auto before = snapshot(base);
  // A journal without its header: the database was never touched.
  std::string j = jet::journalPathFor(base);
  testsupport::writeFile(j, std::string(100, 'x'));
  {
    auto db = jet::Database::open(base);
    EXPECT_FALSE(db->recoveredOnOpen());
  }
  EXPECT_FALSE(jet::fileExists(j));
  EXPECT_EQ(before, snapshot(base));
}

// A hot journal in the earlier layout (magic "GLMRJNL1", FNV-1a 64 over the
// records byte by byte) left by an older build still rolls the change back.
TEST(CrashSafety, HotJournalOfTheEarlierLayoutRollsBack) {
  std::string base = makeBase();
  auto before = snapshot(base);
  const std::string oldBytes = testsupport::readFile(base);
  std::string path = testsupport::tempDir() + "/v1.mdb";
  testsupport::writeFile(path, oldBytes);
  {
    auto db = jet::Database::open(path);
    applyChange(*db);
  }
  const std::string newBytes = testsupport::readFile(path);
  ASSERT_NE(oldBytes, newBytes);
  const uint32_t ps = 4096;
  const uint32_t oldCount = static_cast<uint32_t>(oldBytes.size() / ps);
  auto le = [](std::string& out, uint64_t v, int n) {
    for (int i = 0; i < n; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  std::string records;
  uint32_t n = 0;
  for (uint32_t pg = 0; pg < oldCount; ++pg) {
    if (oldBytes.compare(size_t(pg) * ps, ps, newBytes, size_t(pg) * ps, ps) == 0) continue;
    le(records, pg, 4);
    le(records, 0, 4);
    records.append(oldBytes, size_t(pg) * ps, ps);
    ++n;
  }
  ASSERT_GT(n, 0u);
  uint64_t sum = 0xcbf29ce484222325ULL;
  for (unsigned char c : records) {
    sum ^= c;
    sum *= 0x100000001b3ULL;
  }
  std::string journal = "GLMRJNL1";
  le(journal, ps, 4);
  le(journal, oldCount, 4);
  le(journal, n, 4);
  le(journal, 0, 4);
  le(journal, sum, 8);
  journal += records;
  testsupport::writeFile(jet::journalPathFor(path), journal);
  {
    auto db = jet::Database::open(path);
    EXPECT_TRUE(db->recoveredOnOpen());
  }
  EXPECT_FALSE(jet::fileExists(jet::journalPathFor(path)));
  EXPECT_EQ(oldBytes, testsupport::readFile(path));
  EXPECT_EQ(before, snapshot(path));
}

}  // namespace
