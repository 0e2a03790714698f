// Count(*) and Count(field) from index entries alone give the counts a
// plain scan gives, and only when the conditions are exactly an index range.
// Like with leading literal letters agrees with the character matcher.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jet/create.h"
#include "jet/database.h"
#include "jet/table_writer.h"
#include "sql/collate.h"
#include "sql/engine.h"

using jet::DataType;
using jet::Value;

namespace {

// 3,000 rows; Code is (i * 37) % 600, Null every 100th row; Code indexed.
std::unique_ptr<jet::Database> countDb() {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"Items",
                         {jet::autoNumberSpec("ID"), jet::columnSpec("Code", DataType::Long),
                          jet::columnSpec("Grp", DataType::Long)},
                         {jet::primaryKeySpec("ID"), jet::indexSpec("Code", {{"Code", true}})}});
  jet::TableWriter w(*db, "Items");
  for (int i = 1; i <= 3000; ++i)
    w.insert({Value(), i % 100 ? Value::longInt((i * 37) % 600) : Value(), Value::longInt(i % 10)});
  return db;
}

int64_t count(jet::Database& db, const std::string& stmt, bool* fromIndex) {
  auto rs = sql::openRecordset(db, stmt);
  *fromIndex = false;
  for (const auto& n : rs->planNotes())
    if (n.find("count from index") != std::string::npos) *fromIndex = true;
  EXPECT_TRUE(rs->fetchTo(1));
  return rs->row(0)[0].asInt();
}

int64_t expected(int lo, int hi, bool inclusiveLo = true, bool inclusiveHi = true) {
  int64_t n = 0;
  for (int i = 1; i <= 3000; ++i) {
    if (i % 100 == 0) continue;
    int c = (i * 37) % 600;
    if ((inclusiveLo ? c >= lo : c > lo) && (inclusiveHi ? c <= hi : c < hi)) ++n;
  }
  return n;
}

}  // namespace

TEST(IndexCount, ExactRangesAreCountedFromTheIndex) {
  auto db = countDb();
  bool idx = false;
  EXPECT_EQ(count(*db, "SELECT Count(*) FROM Items WHERE Code = 37", &idx), expected(37, 37));
  EXPECT_TRUE(idx);
  EXPECT_EQ(count(*db, "SELECT Count(Code) FROM Items WHERE Code BETWEEN 10 AND 99", &idx), expected(10, 99));
  EXPECT_TRUE(idx);
  EXPECT_EQ(count(*db, "SELECT Count(*) FROM Items WHERE Code >= 500", &idx), expected(500, 1000));
  EXPECT_TRUE(idx);
  EXPECT_EQ(count(*db, "SELECT Count(*) FROM Items WHERE Code <= 5", &idx), expected(-1, 5));
  EXPECT_TRUE(idx);
  EXPECT_EQ(count(*db, "SELECT Count(*) FROM Items WHERE Code >= 20 AND Code <= 30", &idx), expected(20, 30));
  EXPECT_TRUE(idx);
  EXPECT_EQ(count(*db, "SELECT Count(*) FROM Items WHERE Code In (1, 37, 74, 100000)", &idx),
            expected(1, 1) + expected(37, 37) + expected(74, 74));
  EXPECT_TRUE(idx);
  EXPECT_EQ(count(*db, "SELECT Count(*) FROM Items WHERE Code = 100000", &idx), 0);
  EXPECT_TRUE(idx);
}

TEST(IndexCount, OtherConditionsReadTheRows) {
  auto db = countDb();
  bool idx = true;
  // strict bounds, a second condition, a fraction, Count of another field
  EXPECT_EQ(count(*db, "SELECT Count(*) FROM Items WHERE Code > 37 AND Code < 100", &idx), expected(37, 100, false, false));
  EXPECT_FALSE(idx);
  EXPECT_EQ(count(*db, "SELECT Count(*) FROM Items WHERE Code = 37 AND Grp = 1", &idx), 0 + [] {
    int64_t n = 0;
    for (int i = 1; i <= 3000; ++i)
      if (i % 100 && (i * 37) % 600 == 37 && i % 10 == 1) ++n;
    return n;
  }());
  EXPECT_FALSE(idx);
  EXPECT_EQ(count(*db, "SELECT Count(*) FROM Items WHERE Code = 37.5", &idx), 0);
  EXPECT_FALSE(idx);
  EXPECT_EQ(count(*db, "SELECT Count(Grp) FROM Items WHERE Code = 37", &idx), expected(37, 37));
  EXPECT_FALSE(idx);
  EXPECT_EQ(count(*db, "SELECT Count(*) FROM Items WHERE Code >= 20 AND Code >= 30", &idx), expected(30, 1000));
  EXPECT_FALSE(idx);
}

TEST(LikePrefix, LeadingLettersAreMatchedOnTheBytesLikeThePlainMatcher) {
  // (text, pattern, matches): case, accents, short texts, patterns that go
  // on after the leading letters
  struct Case {
    const char* text;
    const char* pattern;
    bool want;
  };
  const Case cases[] = {
      {"Name 12x", "name 12*", true}, {"NAME 12", "Name 12*", true},  {"Name 1", "Name 12*", false},
      {"Éname", "Ename*", false},     {"ename", "Ename*", true},       {"Name 12x", "Name 1?x", true},
      {"Name 12x", "Name*x", true},   {"Name 12y", "Name*x", false},   {"Na", "Name", false},
      {"", "*", true},                {"abc", "abc", true},            {"abcd", "abc", false},
      {"ab\xc3\xa9", "ab*", true},    {"\xc3\xa9t\xc3\xa9", "\xc3\x89T*", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " Like " + c.pattern);
    EXPECT_EQ(sql::like(c.text, c.pattern), c.want);
  }
}
