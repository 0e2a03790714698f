// Edits on damaged files. Random bytes are overwritten in copies of a
// database (data, index, long-value and map pages alike); then rows are
// added, changed and removed. Each edit either works or fails with a
// jet::Error, and the integrity check afterwards only reports: nothing may
// crash or read or write outside a page (the sanitizer build checks that).
#include <gtest/gtest.h>

#include <random>

#include "jet/check.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/file_io.h"
#include "jet/table_writer.h"
#include "support/edit_tables.h"
#include "support/test_support.h"

using jet::Value;

namespace {

std::vector<uint8_t> bytesOfFile(const std::string& path) {
  std::string s = testsupport::readFile(path);
  return std::vector<uint8_t>(s.begin(), s.end());
}

// A database with one table of 1,500 rows: three indexes (one on text, one
// unique), memos of every storage size.
std::vector<uint8_t> filledDatabase() {
  std::string path = testsupport::tempDir() + "/damaged-base.mdb";
  jet::createDatabase(path);
  {
    auto db = jet::Database::open(path);
    jet::IndexSpec code = jet::indexSpec("Code", {{"Code", false}}, false, true);
    code.ignoreNulls = true;
    jet::createTable(*db, {"T",
                           {jet::autoNumberSpec("ID"), jet::columnSpec("Name", jet::DataType::Text, 60),
                            jet::columnSpec("Code", jet::DataType::Long), jet::columnSpec("Note", jet::DataType::Memo)},
                           {jet::primaryKeySpec("ID"), jet::indexSpec("Name", {{"Name", true}}), code}});
    jet::TableWriter w(*db, "T");
    jet::ChangeScope change(*db);
    for (int i = 0; i < 1500; ++i) {
      size_t memo = i % 50 == 0 ? 9000 : i % 7 == 0 ? 1500 : 20;
      w.insert({Value(), Value::text("name " + std::to_string((i * 37) % 1500)), Value::longInt(i * 3),
                Value::memo(std::string(memo, static_cast<char>('a' + i % 26)))});
    }
    change.commit();
  }
  return bytesOfFile(path);
}

// Adds, changes and removes rows; returns how many of the edits failed.
int editAll(jet::Database& db, std::mt19937& rng) {
  int failures = 0;
  auto attempt = [&](auto&& f) {
    try {
      f();
    } catch (const jet::Error&) {
      ++failures;
    }
  };
  std::vector<jet::RowId> ids;
  attempt([&] {
    auto s = db.scan("T");
    while (s->next() && ids.size() < 400) ids.push_back(s->rowId());
  });
  std::unique_ptr<jet::TableWriter> w;
  attempt([&] { w = std::make_unique<jet::TableWriter>(db, "T"); });
  if (!w) return failures + 1;
  for (int i = 0; i < 30; ++i)
    attempt([&] {
      w->insert({Value(), Value::text("added " + std::to_string(rng() % 1000)), Value::longInt(100000 + i),
                 Value::memo(std::string(i % 3 == 0 ? 5000 : 10, 'x'))});
    });
  for (size_t i = 0; i < ids.size(); i += 9)
    attempt([&] {
      auto v = w->read(ids[i]);
      v[1] = Value::text("changed " + std::to_string(i));
      v[3] = Value::memo(std::string(i % 2 ? 3000 : 5, 'y'));
      w->update(ids[i], v);
    });
  for (size_t i = 4; i < ids.size(); i += 11) attempt([&] { w->remove(ids[i]); });
  return failures;
}

TEST(DamagedFiles, EditsGiveErrorsNeverCrashes) {
  const auto original = filledDatabase();
  std::mt19937 rng(424242);
  const size_t pageSize = 4096;
  ASSERT_GT(original.size(), 20 * pageSize);
  int opened = 0, refused = 0;
  for (int round = 0; round < 60; ++round) {
    auto bytes = original;
    // Past the header page, where the rows, indexes and maps are.
    int hits = 1 + static_cast<int>(rng() % 30);
    for (int k = 0; k < hits; ++k)
      bytes[pageSize + rng() % (bytes.size() - pageSize)] = static_cast<uint8_t>(rng());
    std::unique_ptr<jet::Database> db;
    try {
      db = jet::Database::open(jet::memoryFile(std::move(bytes)));
    } catch (const jet::Error&) {
      continue;
    }
    ++opened;
    refused += editAll(*db, rng) > 0;
    try {
      (void)jet::checkDatabase(*db, true);
    } catch (const jet::Error&) {
    }
  }
  // Most damaged copies still open; some of their edits are refused.
  EXPECT_GT(opened, 30);
  EXPECT_GT(refused, 0);
}

// The same on an undamaged copy: every edit works and the result checks
// clean, so the damage above is what the refusals come from.
TEST(DamagedFiles, UndamagedCopyTakesEveryEdit) {
  auto db = jet::Database::open(jet::memoryFile(filledDatabase()));
  std::mt19937 rng(7);
  EXPECT_EQ(0, editAll(*db, rng));
  auto r = jet::checkDatabase(*db, true);
  for (const auto& p : r.problems) ADD_FAILURE() << p;
}

// Files made by the product, in each format: every user table gets rows
// rewritten with their own values, removed and added again, on damaged
// copies.
TEST(DamagedFiles, EditsOnDamagedProductFilesGiveErrorsNeverCrashes) {
  SKIP_WITHOUT_SHARED();
  std::mt19937 rng(5150);
  for (const char* rel : {"jet3/indexTestV1997.mdb", "jet4/indexTestV2000.mdb", "jet4/compIndexTestV2000.mdb",
                          "ace/ASampleDatabase.accdb"}) {
    SCOPED_TRACE(rel);
    const auto original = bytesOfFile(testsupport::fixture(rel));
    for (int round = 0; round < 40; ++round) {
      auto bytes = original;
      const size_t ps = std::string(rel).rfind("jet3/", 0) == 0 ? 2048 : 4096;  // past the header page
      int hits = 1 + static_cast<int>(rng() % 20);
      for (int k = 0; k < hits; ++k) bytes[ps + rng() % (bytes.size() - ps)] = static_cast<uint8_t>(rng());
      std::unique_ptr<jet::Database> db;
      try {
        db = jet::Database::open(jet::memoryFile(std::move(bytes)));
      } catch (const jet::Error&) {
        continue;
      }
      testsupport::editEveryTable(*db, 30);
      try {
        (void)jet::checkDatabase(*db, true);
      } catch (const jet::Error&) {
      }
    }
  }
}

}  // namespace
