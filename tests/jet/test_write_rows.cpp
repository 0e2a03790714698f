// Changing rows in copies of product-made files (Jet 3, Jet 4, .accdb):
// after each kind of change the integrity check passes, reopening shows the
// change, and mdbtools' mdb-export (an independent reader) prints exactly the
// rows we expect. Constraint violations are refused with the product's error
// numbers and leave the file unchanged.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "jet/check.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/table_writer.h"
#include "support/test_support.h"

using jet::Value;

namespace {

std::string exportCsv(const std::string& file, const std::string& table) {
  std::string out;
  testsupport::run("mdb-export '" + file + "' '" + table + "'", &out);
  return out;
}

int countLines(const std::string& s) {
  int n = 0;
  for (char c : s)
    if (c == '\n') ++n;
  return n;
}

void expectClean(jet::Database& db, const std::string& table) {
  auto r = jet::checkDatabase(db);
  for (const auto& p : r.problems) ADD_FAILURE() << p;
  auto def = db.table(table);
  auto scan = db.scan(table);
  uint32_t n = 0;
  while (scan->next()) ++n;
  EXPECT_EQ(def->rowCount, n) << "stored row count of " << table;
}

// Table1 of the test* fixtures: A text (primary key), B text (indexed),
// C byte, D integer, E long, F double, G date, H currency, I boolean.
std::vector<Value> table1Row(int i) {
  return {Value::text("key " + std::to_string(i)),
          Value::text("B välue " + std::to_string(i)),
          Value::byte(static_cast<uint8_t>(i % 256)),
          Value::integer(static_cast<int16_t>(-i)),
          Value::longInt(i * 1000),
          Value::dbl(i + 0.25),
          Value::dateTime(jet::partsToSerial(2020, 1 + i % 12, 1 + i % 28, 10, 30, 0)),
          Value::currency(int64_t(i) * 12345),
          Value::boolean(i % 2 == 0)};
}

class RowEditing : public ::testing::TestWithParam<const char*> {};

TEST_P(RowEditing, InsertUpdateDeleteReadBackEverywhere) {
  SKIP_WITHOUT_SHARED();
  if (!testsupport::haveCommand("mdb-export")) GTEST_SKIP() << "mdbtools not installed";
  std::string path = testsupport::copyToTemp(testsupport::fixture(GetParam()));
  std::vector<jet::RowId> ids;
  {
    auto db = jet::Database::open(path);
    ASSERT_FALSE(db->readOnly()) << db->readOnlyReason();
    jet::TableWriter w(*db, "Table1");
    uint32_t before = w.def()->rowCount;
    jet::ChangeScope change(*db);
    for (int i = 0; i < 400; ++i) ids.push_back(w.insert(table1Row(i)));
    change.commit();
    EXPECT_EQ(before + 400, w.def()->rowCount);
  }
  {
    auto db = jet::Database::open(path);
    expectClean(*db, "Table1");
    std::string csv = exportCsv(path, "Table1");
    EXPECT_NE(csv.find("\"key 399\",\"B välue 399\",143,-399,399000,399.25,\"04/08/20 10:30:00\",492.5655,0"),
              std::string::npos)
        << csv.substr(0, 400);
    // Update: every fifth row gets longer text (rows grow on their page, some
    // move to overflow rows); delete every seventh.
    jet::TableWriter w(*db, "Table1");
    for (int i = 0; i < 400; i += 5) {
      auto v = w.read(ids[i]);
      v[1] = Value::text(std::string(90, 'u') + std::to_string(i));
      v[4] = Value::longInt(-i);
      w.update(ids[i], v);
    }
    for (int i = 3; i < 400; i += 7) w.remove(ids[i]);
  }
  auto db = jet::Database::open(path);
  expectClean(*db, "Table1");
  jet::TableWriter w(*db, "Table1");
  EXPECT_EQ(std::string(90, 'u') + "15", w.read(ids[15])[1].bytes());
  EXPECT_EQ(-15, w.read(ids[15])[4].asInt());
  try {
    w.read(ids[3]);
    ADD_FAILURE() << "deleted row still readable";
  } catch (const jet::Error& e) {
    EXPECT_EQ(jet::err::kNoCurrentRecord, e.number());
  }
  std::string csv = exportCsv(path, "Table1");
  EXPECT_EQ(static_cast<int>(w.def()->rowCount) + 1, countLines(csv));
  EXPECT_EQ(std::string::npos, csv.find("\"key 3\","));
  EXPECT_NE(std::string::npos, csv.find("\"key 15\",\"" + std::string(90, 'u') + "15\""));
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RowEditing,
                         ::testing::Values("jet3/testV1997.mdb", "jet4/testV2000.mdb", "ace/testV2010.accdb"));

TEST(RowConstraints, RefusedWithTheProductsNumbersAndNothingChanges) {
  SKIP_WITHOUT_SHARED();
  std::string path = testsupport::copyToTemp(testsupport::fixture("jet4/testV2000.mdb"));
  std::string before = testsupport::readFile(path);
  auto db = jet::Database::open(path);
  jet::TableWriter w(*db, "Table1");
  auto expectError = [&](int number, auto&& f) {
    try {
      f();
      ADD_FAILURE() << "expected error " << number;
    } catch (const jet::Error& e) {
      EXPECT_EQ(number, e.number()) << e.what();
    }
  };
  auto dup = table1Row(1);
  dup[0] = Value::text("abcdefg");  // already the key of the first row
  expectError(jet::err::kDuplicateKey, [&] { w.insert(dup); });
  auto tooLong = table1Row(2);
  tooLong[0] = Value::text(std::string(51, 'x'));  // A holds 50 characters
  expectError(jet::err::kFieldTooSmall, [&] { w.insert(tooLong); });
  auto wrongType = table1Row(3);
  wrongType[4] = Value::text("not a number");
  expectError(jet::err::kTypeConversion, [&] { w.insert(wrongType); });
  auto nullKey = table1Row(4);
  nullKey[0] = Value();
  expectError(jet::err::kIndexNull, [&] { w.insert(nullKey); });
  expectError(jet::err::kNoCurrentRecord, [&] { w.remove(jet::RowId{9999, 0}); });
  expectError(jet::err::kNoCurrentRecord, [&] { w.update(jet::RowId{0, 0}, table1Row(5)); });
  // Updating a row to another row's key.
  jet::RowId second;
  {
    auto s = db->scan("Table1");
    s->next();
    s->next();
    second = s->rowId();
  }
  auto v = w.read(second);
  v[0] = Value::text("abcdefg");
  expectError(jet::err::kDuplicateKey, [&] { w.update(second, v); });
  db.reset();
  EXPECT_EQ(before, testsupport::readFile(path)) << "a refused change altered the file";
}

TEST(RowConstraints, RequiredFieldsOfCreatedTables) {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"People", {jet::autoNumberSpec("ID"), jet::columnSpec("Name", jet::DataType::Text, 10, true)}, {}});
  jet::TableWriter w(*db, "People");
  try {
    w.insert({Value(), Value()});
    ADD_FAILURE() << "Null in a required field accepted";
  } catch (const jet::Error& e) {
    EXPECT_EQ(jet::err::kRequiredNull, e.number());
  }
  auto a = w.insert({Value(), Value::text("Ann")});
  auto b = w.insert({Value(), Value::text("Bob")});
  EXPECT_EQ(1, w.read(a)[0].asInt());
  EXPECT_EQ(2, w.read(b)[0].asInt());
  w.remove(b);
  auto c = w.insert({Value(), Value::text("Cy")});
  EXPECT_EQ(3, w.read(c)[0].asInt()) << "auto-numbers are not reused";
  EXPECT_EQ(2u, w.def()->rowCount);
  EXPECT_EQ(3u, w.def()->nextAutoNumber);
}

// A row that fails while it is being written (too large for a page) rolls
// back the whole change it is part of; the rest of that change is refused
// instead of being committed piecemeal, and the next change works.
TEST(RowConstraints, FailureInsideAChangeEndsAllOfIt) {
  auto db = jet::createMemoryDatabase();
  jet::TableSpec t;
  t.name = "Wide";
  for (int i = 0; i < 10; ++i) t.columns.push_back(jet::columnSpec("T" + std::to_string(i), jet::DataType::Text, 255));
  jet::createTable(*db, t);
  jet::TableWriter w(*db, "Wide");
  std::vector<Value> small(10, Value::text("a"));
  // 10 x 255 characters that UCS-2 compression cannot shrink: no page holds them.
  std::string euros;
  for (int i = 0; i < 255; ++i) euros += "\u20ac";
  std::vector<Value> huge(10, Value::text(euros));
  auto errorOf = [](auto&& f) {
    try {
      f();
    } catch (const jet::Error& e) {
      return e.number();
    }
    return 0;
  };
  {
    jet::ChangeScope change(*db);
    w.insert(small);
    EXPECT_EQ(jet::err::kRecordTooLarge, errorOf([&] { w.insert(huge); }));
    EXPECT_EQ(jet::err::kNoChange, errorOf([&] { w.insert(small); }));
    EXPECT_EQ(jet::err::kNoChange, errorOf([&] { change.commit(); }));
  }
  EXPECT_EQ(0u, db->table("Wide")->rowCount);
  w.insert(small);
  {
    jet::ChangeScope change(*db);
    w.insert(small);
    change.commit();
  }
  EXPECT_EQ(2u, db->table("Wide")->rowCount);
  auto r = jet::checkDatabase(*db, true);
  for (const auto& p : r.problems) ADD_FAILURE() << p;
}

TEST(ReadOnly, LockedOrReadOnlyFilesOpenReadOnlyAndRefuseEdits) {
  SKIP_WITHOUT_SHARED();
  std::string path = testsupport::copyToTemp(testsupport::fixture("jet4/testV2000.mdb"));
  auto writer = jet::Database::open(path);
  ASSERT_FALSE(writer->readOnly());
  auto second = jet::Database::open(path);
  EXPECT_TRUE(second->readOnly());
  EXPECT_NE(std::string::npos, second->readOnlyReason().find("another program"));
  jet::TableWriter w(*second, "Table1");
  try {
    w.insert(table1Row(1));
    ADD_FAILURE() << "edit on a locked database accepted";
  } catch (const jet::Error& e) {
    EXPECT_EQ(jet::err::kReadOnlyRecordset, e.number());
  }
  writer.reset();
  second.reset();
  auto again = jet::Database::open(path);
  EXPECT_FALSE(again->readOnly()) << "the lock outlived its database";
  again.reset();
  ::chmod(path.c_str(), 0444);
  auto ro = jet::Database::open(path);
  if (::geteuid() != 0) {
    EXPECT_TRUE(ro->readOnly());
    EXPECT_NE(std::string::npos, ro->readOnlyReason().find("read-only"));
  }
}

}  // namespace

namespace {

TEST(LongValues, MemosInlineOnOnePageAndChainedRoundTripInAnAccdbCopy) {
  SKIP_WITHOUT_SHARED();
  std::string path = testsupport::copyToTemp(testsupport::fixture("ace/longtextV2016.accdb"));
  auto memo = [](int i) {
    switch (i % 4) {
      case 0: return std::string("short ") + std::to_string(i);
      case 1: return std::string(2000, static_cast<char>('a' + i % 26));   // one long-value row
      case 2: return std::string(15000, static_cast<char>('A' + i % 26));  // a chain of pages
      default: return std::string("Grüße ") + std::string(300, 'x');       // not compressible? still one row
    }
  };
  std::vector<jet::RowId> ids;
  size_t pagesBefore = 0;
  {
    auto db = jet::Database::open(path);
    pagesBefore = db->pager().pageCount();
    jet::TableWriter w(*db, "Table1");
    for (int i = 0; i < 40; ++i) ids.push_back(w.insert({Value(), Value::memo(memo(i))}));
    for (int i = 0; i < 40; i += 3) w.update(ids[i], {Value(), Value::memo(memo(i + 1))});
  }
  {
    auto db = jet::Database::open(path);
    auto r = jet::checkDatabase(*db, true);
    for (const auto& p : r.problems) ADD_FAILURE() << p;
    jet::TableWriter w(*db, "Table1");
    for (int i = 0; i < 40; ++i)
      EXPECT_EQ(memo(i % 3 == 0 ? i + 1 : i), w.read(ids[i])[1].bytes()) << "row " << i;
    if (testsupport::haveCommand("mdb-export")) {
      std::string out;
      testsupport::run("mdb-export '" + path + "' Table1 2>&1", &out);
      EXPECT_EQ(std::string::npos, out.find("warning")) << "mdbtools found long-value pages in the wrong map";
      EXPECT_NE(std::string::npos, out.find(std::string(15000, 'C')));
    }
    for (auto id : ids) w.remove(id);
  }
  auto db = jet::Database::open(path);
  EXPECT_TRUE(jet::checkDatabase(*db, true).ok());
  // Deleting gave the long-value pages back, and new values reuse them.
  {
    jet::TableWriter w(*db, "Table1");
    for (int i = 0; i < 40; ++i) w.insert({Value(), Value::memo(memo(i))});
  }
  EXPECT_LT(db->pager().pageCount(), pagesBefore + 300) << "freed pages were not reused";
}

}  // namespace

namespace {

TEST(LongValues, Jet3MemosGoToTheColumnsOwnMaps) {
  SKIP_WITHOUT_SHARED();
  std::string path = testsupport::copyToTemp(testsupport::fixture("jet3/test2V1997.mdb"));
  {
    auto db = jet::Database::open(path);
    jet::TableWriter w(*db, "MSP_PROJECTS");
    auto def = w.def();
    auto s = db->scan("MSP_PROJECTS");
    ASSERT_TRUE(s->next());
    std::vector<Value> row = s->values();
    int author = def->findColumn("PROJ_PROP_AUTHOR"), title = def->findColumn("PROJ_PROP_TITLE"),
        idCol = def->findColumn("PROJ_ID");
    for (int i = 0; i < 12; ++i) {
      row[idCol] = Value::longInt(1000 + i);
      row[def->findColumn("PROJ_NAME")] = Value::text("project " + std::to_string(i));
      row[author] = Value::memo("Åuthor " + std::string(i * 700, 'a'));
      row[title] = Value::memo(std::string(i % 2 ? 5000 : 10, 't'));
      w.insert(row);
    }
  }
  auto db = jet::Database::open(path);
  auto r = jet::checkDatabase(*db, true);
  for (const auto& p : r.problems) ADD_FAILURE() << p;
  auto s = db->scan("MSP_PROJECTS");
  int found = 0;
  while (s->next()) {
    auto v = s->values();
    int id = static_cast<int>(v[db->table("MSP_PROJECTS")->findColumn("PROJ_ID")].asInt());
    if (id < 1000) continue;
    ++found;
    EXPECT_EQ("Åuthor " + std::string((id - 1000) * 700, 'a'),
              v[db->table("MSP_PROJECTS")->findColumn("PROJ_PROP_AUTHOR")].bytes());
  }
  EXPECT_EQ(12, found);
  if (testsupport::haveCommand("mdb-export")) {
    std::string out;
    testsupport::run("mdb-export '" + path + "' MSP_PROJECTS 2>&1", &out);
    EXPECT_EQ(std::string::npos, out.find("warning")) << out.substr(0, 300);
    EXPECT_NE(std::string::npos, out.find(std::string(5000, 't')));
  }
}

}  // namespace
