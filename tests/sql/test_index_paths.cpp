// Plans that answer from index entries (counts, DISTINCT, TOP n in index
// order, joins through an index) give exactly the rows a plain scan gives:
// each statement is compared with the same statement whose conditions and
// keys are wrapped in expressions that no index serves. The table has
// repeated values, Nulls, mixed case and accents in its text, and ascending,
// descending and two-field indexes spread over many leaf pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "jet/create.h"
#include "jet/database.h"
#include "jet/index_codes.h"
#include "jet/table_writer.h"
#include "sql/collate.h"
#include "sql/engine.h"

using jet::DataType;
using jet::Value;

namespace {

const char* const kCities[] = {"Paris", "paris", "PARIS", "Oslo",   "Zürich", "zürich", "ZÜRICH", "Orléans",
                               "Orleans", "Pa-ris", "Par",  "Parise", "Rome",   "rome ",  "Köln",   "Koln"};
constexpr int kRows = 6000;

// Places: ID, City (indexed ascending), Town (the same values, indexed
// descending), Code (indexed, Null every 13th row), Grp with Code (one
// two-field index).
std::unique_ptr<jet::Database> placesDb() {
  auto db = jet::createMemoryDatabase(jet::Version::Ace14);
  jet::createTable(*db, {"Places",
                         {jet::autoNumberSpec("ID"), jet::columnSpec("City", DataType::Text, 30),
                          jet::columnSpec("Town", DataType::Text, 30), jet::columnSpec("Code", DataType::Long),
                          jet::columnSpec("Grp", DataType::Long), jet::columnSpec("Note", DataType::Memo)},
                         {jet::primaryKeySpec("ID"), jet::indexSpec("CityIdx", {{"City", true}}),
                          jet::indexSpec("TownIdx", {{"Town", false}}), jet::indexSpec("CodeIdx", {{"Code", true}}),
                          jet::indexSpec("GrpCode", {{"Grp", true}, {"Code", true}})}});
  jet::TableWriter w(*db, "Places");
  std::mt19937 rng(7);
  const size_t nc = sizeof kCities / sizeof kCities[0];
  for (int i = 1; i <= kRows; ++i) {
    Value city = i % 17 == 0 ? Value() : Value::text(kCities[rng() % nc]);
    Value code = i % 13 == 0 ? Value() : Value::longInt(static_cast<int32_t>(rng() % 900) - 300);
    w.insert({Value(), city, city, code, Value::longInt(static_cast<int32_t>(rng() % 5)),
              i % 5 ? Value() : Value::memo("note " + std::to_string(i))});
  }
  return db;
}

struct Result {
  std::vector<std::string> rows;  // each row's values as text, joined
  std::vector<std::string> notes;
  bool noted(const std::string& what) const {
    for (const auto& n : notes)
      if (n.find(what) != std::string::npos) return true;
    return false;
  }
};

Result run(jet::Database& db, const std::string& stmt) {
  Result r;
  auto rs = sql::openRecordset(db, stmt);
  size_t n = rs->fetchAll();
  for (size_t i = 0; i < n; ++i) {
    std::string line;
    for (const auto& v : rs->row(i)) line += (v.isNull() ? std::string("<null>") : v.display()) + "|";
    r.rows.push_back(line);
  }
  r.notes = rs->planNotes();
  return r;
}

class IndexPaths : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { db_ = placesDb().release(); }
  static void TearDownTestSuite() {
    delete db_;
    db_ = nullptr;
  }
  // The statement and its plain-scan twin give the same rows, in order when
  // ordered; the statement's plan notes one of `note` (when given).
  void same(const std::string& stmt, const std::string& plain, const std::string& note, bool ordered = true) {
    SCOPED_TRACE(stmt);
    Result a = run(*db_, stmt), b = run(*db_, plain);
    if (!ordered) {
      std::sort(a.rows.begin(), a.rows.end());
      std::sort(b.rows.begin(), b.rows.end());
    }
    EXPECT_EQ(a.rows, b.rows);
    EXPECT_FALSE(b.noted(note.empty() ? "\x01" : note));
    if (!note.empty()) {
      EXPECT_TRUE(a.noted(note)) << "plan: " << (a.notes.empty() ? "" : a.notes.back());
    }
  }
  static jet::Database* db_;
};
jet::Database* IndexPaths::db_ = nullptr;

}  // namespace

TEST_F(IndexPaths, TextEqualityIsCountedFromTheIndexLikeTheScanCountsIt) {
  for (const char* c : {"Paris", "paris", "PARIS", "Oslo", "Par", "Parise", "Pa-ris", "Orleans", "rome", "rome ",
                        "Nowhere", ""}) {
    std::string v = std::string("'") + c + "'";
    same("SELECT Count(*) FROM Places WHERE City = " + v, "SELECT Count(*) FROM Places WHERE (City & '') = " + v + " AND Not IsNull(City)",
         "count from index");
    same("SELECT Count(Town) FROM Places WHERE Town = " + v, "SELECT Count(*) FROM Places WHERE (Town & '') = " + v + " AND Not IsNull(Town)",
         "count from index");
  }
  // accented constants too: texts compare by the index's own keys
  for (const char* c : {"Zürich", "ZÜRICH", "Orléans", "Köln"}) {
    std::string v = std::string("'") + c + "'";
    same("SELECT Count(*) FROM Places WHERE City = " + v, "SELECT Count(*) FROM Places WHERE (City & '') = " + v + " AND Not IsNull(City)", "");
    EXPECT_TRUE(run(*db_, "SELECT Count(*) FROM Places WHERE City = " + v).noted("count from index"));
  }
  same("SELECT Count(*) FROM Places WHERE City In ('Paris', 'oslo', 'OSLO', 'Rome')",
       "SELECT Count(*) FROM Places WHERE (City & '') In ('Paris', 'oslo', 'OSLO', 'Rome')", "count from index");
  // a text range is not an exact key range: the rows are read
  same("SELECT Count(*) FROM Places WHERE City >= 'O' AND City <= 'P'",
       "SELECT Count(*) FROM Places WHERE (City & '') >= 'O' AND (City & '') <= 'P'", "");
  EXPECT_FALSE(run(*db_, "SELECT Count(*) FROM Places WHERE City >= 'O' AND City <= 'P'").noted("count from index"));
}

TEST_F(IndexPaths, NumericRangesAreCountedOverWholeLeaves) {
  for (const char* cond : {"Code = 17", "Code BETWEEN -100 AND 250", "Code >= 0", "Code <= 10", "Code <= -301",
                           "Code >= -300 AND Code <= 599", "Code In (1, 2, 3, 1, 9999)"}) {
    std::string c = cond, plain = c;
    plain.replace(0, 4, "(Code + 0)");
    same("SELECT Count(*) FROM Places WHERE " + c, "SELECT Count(*) FROM Places WHERE " + plain, "count from index");
  }
  // a bound on the second field of a two-field index: rows whose second field
  // is Null are not in the range
  same("SELECT Count(*) FROM Places WHERE Grp = 2 AND Code <= 100",
       "SELECT Count(*) FROM Places WHERE (Grp + 0) = 2 AND (Code + 0) <= 100", "count from index");
  same("SELECT Count(*) FROM Places WHERE Grp = 3 AND Code >= 100",
       "SELECT Count(*) FROM Places WHERE (Grp + 0) = 3 AND (Code + 0) >= 100", "count from index");
  same("SELECT Count(*) FROM Places WHERE Grp = 4", "SELECT Count(*) FROM Places WHERE (Grp + 0) = 4",
       "count from index");
}

TEST_F(IndexPaths, RepeatedSeeksOfAnIndexJoinFindEveryMatch) {
  // one seek per left row, down pages the previous seek often parsed
  for (const char* cond : {"a.ID <= 400", "a.Grp = 1", "a.Code <= -250"}) {
    std::string c = cond;
    same("SELECT a.ID, b.ID, b.City FROM Places AS a INNER JOIN Places AS b ON a.Code = b.Code WHERE " + c,
         "SELECT a.ID, b.ID, b.City FROM Places AS a INNER JOIN Places AS b ON (a.Code + 0) = (b.Code + 0) WHERE " + c,
         "index join", false);
  }
}

TEST(IndexKeys, PlainAsciiTextsHaveEqualKeysExactlyWhenTheyCompareEqual) {
  // The text counts rest on this: over printable ASCII, an index key stands
  // for its text's case variants, with any trailing spaces, and nothing else,
  // in every collation (the rows are read to leave out the trailing spaces).
  const std::string alphabet = "aAbBzZ09 -'.,_~";
  std::mt19937 rng(11);
  std::vector<std::string> texts;
  for (int i = 0; i < 600; ++i) {
    std::string s;
    for (size_t n = rng() % 5; n > 0; --n) s += alphabet[rng() % alphabet.size()];
    texts.push_back(s);
  }
  auto trimmed = [](std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  };
  for (auto order : {jet::TextSortOrder::General97, jet::TextSortOrder::GeneralLegacy, jet::TextSortOrder::General}) {
    std::vector<std::vector<uint8_t>> keys;
    for (const auto& t : texts) {
      keys.emplace_back();
      jet::appendTextSortKeyUtf8(order, t, true, keys.back());
    }
    for (size_t i = 0; i < texts.size(); ++i)
      for (size_t j = i + 1; j < texts.size(); ++j)
        ASSERT_EQ(keys[i] == keys[j], sql::textEquals(trimmed(texts[i]), trimmed(texts[j])))
            << "'" << texts[i] << "' and '" << texts[j] << "' in collation " << jet::textSortOrderName(order);
  }
}
