// The index cursor's seeks in rising key order (seekNear, which searches the
// current leaf first), its marks, and its counting of key runs, on a created
// table whose keys repeat across many leaf pages: each answer is checked
// against a linear search of all entries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <random>
#include <vector>

#include "jet/bytes.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/file_io.h"
#include "jet/index.h"
#include "jet/index_key.h"
#include "jet/table_writer.h"
#include "support/test_support.h"

using jet::DataType;
using jet::Value;

namespace {

struct Entry {
  std::vector<uint8_t> key;
  jet::RowId row;
};

struct Fixture {
  std::unique_ptr<jet::Database> db;
  std::shared_ptr<const jet::TableDef> def;
  const jet::RealIndex* ix = nullptr;
  std::vector<Entry> all;
};

// K: runs of 0 (300 rows), of 7 (every 5th row) and scattered values, Nulls.
// With a path, the database is made in that file.
Fixture make(const std::string& path = "") {
  Fixture f;
  if (path.empty()) {
    f.db = jet::createMemoryDatabase();
  } else {
    jet::createDatabase(path);
    f.db = jet::Database::open(path);
  }
  jet::createTable(*f.db, {"T",
                           {jet::autoNumberSpec("ID"), jet::columnSpec("K", DataType::Long)},
                           {jet::primaryKeySpec("ID"), jet::indexSpec("KIdx", {{"K", true}})}});
  f.db->beginChange();  // one change: a file database is written once
  jet::TableWriter w(*f.db, "T");
  std::mt19937 rng(3);
  for (int i = 0; i < 20000; ++i) {
    Value k = i < 300 ? Value::longInt(0)
              : i % 5 == 0 ? Value::longInt(7)
              : i % 17 == 0 ? Value()
                            : Value::longInt(static_cast<int32_t>(rng() % 20000) - 10000);
    w.insert({Value(), k});
  }
  f.db->commitChange();
  f.def = f.db->table("T");
  for (const auto& ix : f.def->indexes)
    if (ix.name == "KIdx") f.ix = &f.def->realIndexes.at(static_cast<size_t>(ix.realIndex));
  jet::IndexCursor c(*f.db, *f.ix);
  while (c.next()) f.all.push_back({c.key(), c.rowId()});
  return f;
}

std::vector<uint8_t> keyOf(const Fixture& f, int32_t v) {
  return jet::encodeIndexKeyValues(f.db->format(), *f.def, *f.ix, {Value::longInt(v)});
}

size_t firstAtOrAfter(const Fixture& f, const std::vector<uint8_t>& k) {
  return static_cast<size_t>(std::find_if(f.all.begin(), f.all.end(),
                                          [&](const Entry& e) { return jet::compareKeys(e.key, k) >= 0; }) -
                             f.all.begin());
}

// Seeks each probe with seekNear, one after the other, and checks that the
// cursor stands where a linear search says; walkRun: then walks the key's
// run (and one entry beyond), as a join does.
void nearSeeksMatch(const Fixture& f, const std::vector<int32_t>& probes, bool walkRun) {
  jet::IndexCursor c(*f.db, *f.ix);
  c.seek(keyOf(f, probes.front()));
  for (int32_t v : probes) {
    SCOPED_TRACE(v);
    const auto k = keyOf(f, v);
    c.seekNear(k);
    const size_t at = firstAtOrAfter(f, k);
    if (at == f.all.size()) {
      EXPECT_FALSE(c.next());
      continue;
    }
    ASSERT_TRUE(c.next());
    ASSERT_EQ(c.rowId(), f.all[at].row);
    for (size_t i = at; walkRun && jet::keyStartsWith(c.key(), k); ++i) {
      ASSERT_EQ(c.rowId(), f.all[i].row);
      if (!c.next()) break;
    }
  }
}

}  // namespace

TEST(IndexCursorNear, RisingSeeksFindWhatAFullSeekFinds) {
  Fixture f = make();
  ASSERT_GT(f.all.size(), 18000u);
  std::vector<int32_t> probes;
  for (int32_t v = -10050; v <= 10050; v += 37) probes.push_back(v);
  for (int r = 0; r < 4; ++r) probes.push_back(0), probes.push_back(7);  // repeated keys
  probes.push_back(-1);
  probes.push_back(1);
  std::sort(probes.begin(), probes.end());
  nearSeeksMatch(f, probes, true);
}

TEST(IndexCursorNear, SeeksOutOfOrderStillFindTheirEntries) {
  // Keys out of rising order break the caller's promise, but each seek
  // still lands where a full seek does: the search's starting guesses are
  // only guesses.
  Fixture f = make();
  std::mt19937 rng(11);
  std::vector<int32_t> probes;
  for (int n = 0; n < 600; ++n)
    probes.push_back(n % 3 == 2 ? static_cast<int32_t>(rng() % 20100) - 10050 : -10050 + 35 * n);
  nearSeeksMatch(f, probes, false);
}

TEST(IndexCursorNear, ALeafChainThatLoopsFarOnIsReported) {
  // The last leaf's next pointer names the first leaf: a walk from any seek
  // ends with error 3049 after the leaves it has not seen, never in a loop.
  const std::string path = testsupport::tempDir() + "/loop.mdb";
  std::vector<uint32_t> leaves;
  uint32_t pageSize = 0, nextAt = 0;
  {
    Fixture f = make(path);
    jet::IndexCursor c(*f.db, *f.ix);
    while (c.next())
      if (leaves.empty() || leaves.back() != c.leafPage()) leaves.push_back(c.leafPage());
    pageSize = f.db->format().pageSize;
    nextAt = static_cast<uint32_t>(f.db->format().offIndexNext);
  }
  ASSERT_GT(leaves.size(), 20u) << "the walk must pass more leaves than are kept in place";
  std::string bytes = testsupport::readFile(path);
  jet::put32(reinterpret_cast<uint8_t*>(bytes.data()) + size_t{leaves.back()} * pageSize + nextAt, leaves.front());
  auto db = jet::Database::open(jet::memoryFile(std::vector<uint8_t>(bytes.begin(), bytes.end()), true));
  auto def = db->table("T");
  const jet::RealIndex* ix = nullptr;
  for (const auto& x : def->indexes)
    if (x.name == "KIdx") ix = &def->realIndexes.at(static_cast<size_t>(x.realIndex));
  ASSERT_NE(ix, nullptr);
  for (int32_t from : {-100000, -5000, 9000}) {
    SCOPED_TRACE(from);
    jet::IndexCursor c(*db, *ix);
    c.seek(jet::encodeIndexKeyValues(db->format(), *def, *ix, {Value::longInt(from)}));
    size_t n = 0;
    EXPECT_EQ(testsupport::errorOf([&] {
                while (c.next()) ASSERT_LT(++n, 100000u);
              }),
              jet::err::kCorrupt);
    EXPECT_GT(n, 0u);
  }
}

TEST(IndexCursorNear, FarSeeksStartOnTheInnerPageThatHoldsThem) {
  // long text keys: a few dozen entries per page, so 6,000 rows make an
  // index of several levels and a seek past the next leaf may start on an
  // inner page below the root
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"W",
                         {jet::autoNumberSpec("ID"), jet::columnSpec("K", DataType::Text, 200)},
                         {jet::primaryKeySpec("ID"), jet::indexSpec("KIdx", {{"K", true}})}});
  auto text = [](int v) {
    char b[16];
    std::snprintf(b, sizeof b, "%06d", v);
    return std::string(b) + std::string(100, 'x');
  };
  {
    jet::TableWriter w(*db, "W");
    std::mt19937 rng(5);
    for (int i = 0; i < 6000; ++i) w.insert({Value(), Value::text(text(static_cast<int>(rng() % 30000)))});
  }
  auto def = db->table("W");
  const jet::RealIndex* ix = nullptr;
  for (const auto& x : def->indexes)
    if (x.name == "KIdx") ix = &def->realIndexes.at(static_cast<size_t>(x.realIndex));
  std::vector<Entry> all;
  for (jet::IndexCursor c(*db, *ix); c.next();) all.push_back({c.key(), c.rowId()});
  ASSERT_EQ(all.size(), 6000u);
  std::mt19937 rng(9);
  for (int round = 0; round < 3; ++round) {
    std::vector<int> probes;
    for (int n = 0; n < 300; ++n) probes.push_back(static_cast<int>(rng() % 31000));
    std::sort(probes.begin(), probes.end());
    jet::IndexCursor c(*db, *ix);
    for (int v : probes) {
      SCOPED_TRACE(v);
      const auto k = jet::encodeIndexKeyValues(db->format(), *def, *ix, {Value::text(text(v))});
      c.seekNear(k);
      const size_t at = static_cast<size_t>(
          std::find_if(all.begin(), all.end(), [&](const Entry& e) { return jet::compareKeys(e.key, k) >= 0; }) -
          all.begin());
      if (at == all.size()) {
        EXPECT_FALSE(c.next());
        continue;
      }
      ASSERT_TRUE(c.next());
      ASSERT_EQ(c.rowId(), all[at].row);
      for (size_t i = at + 1; i < std::min(all.size(), at + 3); ++i) {
        ASSERT_TRUE(c.next());
        ASSERT_EQ(c.rowId(), all[i].row);
      }
    }
  }
}

TEST(IndexCursorNear, AMarkReturnsToItsEntry) {
  Fixture f = make();
  jet::IndexCursor c(*f.db, *f.ix);
  std::vector<std::pair<jet::IndexCursor::Mark, size_t>> marks;
  size_t i = 0;
  while (c.next()) {
    if (i % 97 == 0) marks.push_back({c.mark(), i});
    ++i;
  }
  ASSERT_GT(marks.size(), 50u);
  // in reverse order, and walking a few entries on from each
  for (auto it = marks.rbegin(); it != marks.rend(); ++it) {
    c.restore(it->first);
    for (size_t n = it->second; n < std::min(f.all.size(), it->second + 300); ++n) {
      ASSERT_TRUE(c.next());
      ASSERT_EQ(c.rowId(), f.all[n].row) << "from entry " << it->second;
    }
  }
}

TEST(IndexCursorNear, RunsAreCountedAcrossLeaves) {
  Fixture f = make();
  for (int32_t v : {0, 7, -10000, 9999, 12345, -1, 1}) {
    SCOPED_TRACE(v);
    const auto k = keyOf(f, v);
    const size_t at = firstAtOrAfter(f, k);
    size_t equal = 0;
    while (at + equal < f.all.size() && f.all[at + equal].key == k) ++equal;
    jet::IndexCursor c(*f.db, *f.ix);
    c.seek(k);
    EXPECT_EQ(c.countWhile(k, jet::IndexCursor::Bound::Equal), equal);
    // the cursor stands on the entry after the run
    if (at + equal < f.all.size()) {
      ASSERT_TRUE(c.next());
      EXPECT_EQ(c.rowId(), f.all[at + equal].row);
    } else {
      EXPECT_FALSE(c.next());
    }
    // everything from the start through the key
    const auto top = keyOf(f, v);
    size_t through = 0;
    for (const auto& e : f.all)
      if (jet::compareKeys(e.key, top) <= 0 || jet::keyStartsWith(e.key, top)) ++through;
    jet::IndexCursor d(*f.db, *f.ix);
    EXPECT_EQ(d.countWhile(top, jet::IndexCursor::Bound::Through), through);
    jet::IndexCursor e(*f.db, *f.ix);
    EXPECT_EQ(e.countWhile({}, jet::IndexCursor::Bound::All), f.all.size());
  }
}
