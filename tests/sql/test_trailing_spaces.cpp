// Texts that differ only by trailing spaces are equal to every comparison
// (=, <>, <, Between, In, joins, grouping, DISTINCT, ORDER BY ties) and to
// the sort and hash keys behind them; Like still sees the spaces. Each
// expected result below is worked out by hand from the rows of coDb().
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jet/create.h"
#include "jet/database.h"
#include "jet/table_writer.h"
#include "sql/collate.h"
#include "sql/engine.h"
#include "tests/sql/result_lines.h"

using jet::DataType;
using jet::Value;
using sqltest::body;
using sqltest::Lines;

namespace {

// Co (Name indexed) and Ord (Name not indexed):
//   Co  1 'A Bad One  '   2 'A Bad One'   3 'a bad one '   4 'A Bad One.'
//       5 'B'   6 'b  '   7 Null   8 ' A Bad One'   9 'A Bad One  x'   10 '  '
//   Ord 1 'a bad one'   2 'B   '   3 'A Bad One.  '   4 'A Bad One x'
std::unique_ptr<jet::Database> coDb(bool indexed = true) {
  auto db = jet::createMemoryDatabase();
  std::vector<jet::IndexSpec> ix = {jet::primaryKeySpec("ID")};
  if (indexed) ix.push_back(jet::indexSpec("Name", {{"Name", true}}));
  jet::createTable(*db, {"Co", {jet::columnSpec("ID", DataType::Long), jet::columnSpec("Name", DataType::Text, 30)}, ix});
  jet::createTable(*db, {"Ord", {jet::columnSpec("OID", DataType::Long), jet::columnSpec("Name", DataType::Text, 30)}, {}});
  const std::vector<const char*> names = {"A Bad One  ", "A Bad One", "a bad one ", "A Bad One.", "B",
                                          "b  ", nullptr, " A Bad One", "A Bad One  x", "  "};
  jet::TableWriter co(*db, "Co");
  for (size_t i = 0; i < names.size(); ++i)
    co.insert({Value::longInt(static_cast<int32_t>(i + 1)), names[i] ? Value::text(names[i]) : Value()});
  jet::TableWriter ord(*db, "Ord");
  const std::vector<const char*> other = {"a bad one", "B   ", "A Bad One.  ", "A Bad One x"};
  for (size_t i = 0; i < other.size(); ++i)
    ord.insert({Value::longInt(static_cast<int32_t>(i + 1)), Value::text(other[i])});
  return db;
}

struct Case {
  const char* where;
  Lines ids;
};

}  // namespace

TEST(TrailingSpaces, CompareTextIgnoresOnlyTrailingSpaces) {
  EXPECT_EQ(sql::compareText("Paris", "Paris   "), 0);
  EXPECT_EQ(sql::compareText("paris  ", "PARIS"), 0);
  EXPECT_EQ(sql::compareText("", "   "), 0);
  EXPECT_LT(sql::compareText(" Paris", "Paris"), 0);  // leading spaces count
  EXPECT_LT(sql::compareText("Pa ris", "Paris"), 0);  // and inner ones
  EXPECT_GT(sql::compareText("Paris\t", "Paris"), 0);  // only U+0020 is dropped
  EXPECT_GT(sql::compareText("Paris  x", "Paris"), 0);
  EXPECT_EQ(sql::compareText("Zoé ", "zoé"), 0);  // non-ASCII texts too
  EXPECT_LT(sql::compareText("Zoe  ", "zoé"), 0);
  EXPECT_EQ(sql::collationKey("Zoé  "), sql::collationKey("ZOÉ"));
  EXPECT_NE(sql::collationKey(" Zoé"), sql::collationKey("ZOÉ"));
  uint64_t a = 0, b = 0, a2 = 0, b2 = 0;
  ASSERT_TRUE(sql::collationPrefix("ab   ", a));
  ASSERT_TRUE(sql::collationPrefix("AB", b));
  EXPECT_EQ(a, b);
  ASSERT_TRUE(sql::collationPrefix16("abcdefghijklmno  ", a, a2));
  ASSERT_TRUE(sql::collationPrefix16("ABCDEFGHIJKLMNO", b, b2));
  EXPECT_EQ(a, b);
  EXPECT_EQ(a2, b2);
  // StrComp's text comparison still sees every character
  EXPECT_GT(sql::compareTextWhole("a ", "a"), 0);
}

TEST(TrailingSpaces, ComparisonsLikeInAndBetween) {
  for (bool indexed : {true, false}) {
    auto db = coDb(indexed);
    const std::vector<Case> cases = {
        {"Name = 'A Bad One'", {"1", "2", "3"}},
        {"Name = 'a bad one   '", {"1", "2", "3"}},
        {"'A BAD ONE ' = Name", {"1", "2", "3"}},
        {"Name = 'B'", {"5", "6"}},
        {"Name = ''", {"10"}},
        {"Name = ' A Bad One'", {"8"}},
        {"Name <> 'A Bad One '", {"4", "5", "6", "8", "9", "10"}},
        {"Name < 'A Bad One '", {"8", "10"}},
        {"Name <= 'A Bad One'", {"1", "2", "3", "8", "10"}},
        {"Name > 'A Bad One'", {"4", "5", "6", "9"}},
        {"Name >= 'b   '", {"5", "6"}},
        {"Name Between 'A Bad One ' And 'B'", {"1", "2", "3", "4", "5", "6", "9"}},
        {"Name Between 'A Bad One.' And 'A Bad One.   '", {"4"}},
        {"Name In ('b', 'a bad one')", {"1", "2", "3", "5", "6"}},
        {"Name In ('A Bad One  x  ', '')", {"9", "10"}},
        {"Name Not In ('b', 'a bad one', '')", {"4", "8", "9"}},
        // Like sees the spaces
        {"Name Like 'A Bad One'", {"2"}},
        {"Name Like 'A Bad One '", {"3"}},
        {"Name Like 'A Bad One*'", {"1", "2", "3", "4", "9"}},
        {"Name Like 'B'", {"5"}},
        {"Name Like '*one ?'", {"1"}},
        {"Name Like '*one '", {"3"}},
        {"Name Like '*one  '", {"1"}},
    };
    for (const auto& c : cases)
      EXPECT_EQ(body(*db, std::string("SELECT ID FROM Co WHERE ") + c.where + " ORDER BY ID"), c.ids)
          << c.where << (indexed ? " (indexed)" : "");
    EXPECT_EQ(body(*db, "SELECT StrComp('a ', 'A', 1), StrComp('a', 'A', 1)"), (Lines{"1|0"}));
  }
}

TEST(TrailingSpaces, GroupingDistinctOrderAndJoins) {
  for (bool indexed : {true, false}) {
    auto db = coDb(indexed);
    const char* how = indexed ? "indexed" : "not indexed";
    // the value shown for a group is its first row's
    EXPECT_EQ(body(*db, "SELECT Name, Count(*), Min(ID) FROM Co GROUP BY Name"),
              (Lines{"NULL|1|7", "  |1|10", " A Bad One|1|8", "A Bad One  |3|1", "A Bad One  x|1|9", "A Bad One.|1|4", "B|2|5"}))
        << how;
    EXPECT_EQ(body(*db, "SELECT Count(*) FROM (SELECT DISTINCT Name FROM Co)"), (Lines{"7"})) << how;
    EXPECT_EQ(body(*db, "SELECT Count(*) FROM (SELECT DISTINCT Name FROM Co WHERE Name Is Not Null)"), (Lines{"6"})) << how;
    EXPECT_EQ(body(*db, "SELECT DISTINCT Name FROM Co WHERE Name Like 'a*'"),
              (Lines{"A Bad One  ", "A Bad One  x", "A Bad One."}))
        << how;
    // spaces before the end still count
    EXPECT_EQ(body(*db, "SELECT DISTINCT UCase(Name) & '|' FROM Co WHERE Name Like '*e*'"),
              (Lines{" A BAD ONE|", "A BAD ONE  |", "A BAD ONE  X|", "A BAD ONE |", "A BAD ONE.|", "A BAD ONE|"}))
        << how;
    // ties of ORDER BY keep the rows' order after the next key
    EXPECT_EQ(body(*db, "SELECT ID FROM Co WHERE Name Like 'a*' ORDER BY Name, ID DESC"),
              (Lines{"3", "2", "1", "9", "4"}))
        << how;
    EXPECT_EQ(body(*db, "SELECT ID FROM Co WHERE ID < 7 ORDER BY Name DESC, ID"), (Lines{"5", "6", "4", "1", "2", "3"}))
        << how;
    // Min and Max of values equal but for spaces and case: the first met
    EXPECT_EQ(body(*db, "SELECT Trim(UCase(Max(Name))), Len(Min(Name)) FROM Co"), (Lines{"B|2"})) << how;
    // joins, by hash and through the index
    EXPECT_EQ(body(*db, "SELECT Co.ID, Ord.OID FROM Co INNER JOIN Ord ON Co.Name = Ord.Name ORDER BY Co.ID, Ord.OID"),
              (Lines{"1|1", "2|1", "3|1", "4|3", "5|2", "6|2"}))
        << how;
    EXPECT_EQ(body(*db, "SELECT Ord.OID, Co.ID FROM Ord INNER JOIN Co ON Ord.Name = Co.Name WHERE Ord.OID = 2 ORDER BY Co.ID"),
              (Lines{"2|5", "2|6"}))
        << how;
    EXPECT_EQ(body(*db, "SELECT Ord.OID, Count(Co.ID) FROM Ord LEFT JOIN Co ON Ord.Name = Co.Name GROUP BY Ord.OID"),
              (Lines{"1|3", "2|2", "3|1", "4|0"}))
        << how;
    EXPECT_EQ(body(*db, "SELECT Count(*) FROM Co WHERE Name In (SELECT Name FROM Ord)"), (Lines{"6"})) << how;
  }
}

// Count(*) of a text equality from the City index: a text with trailing
// spaces counts, and so do texts whose keys equal the constant's (ß and SS,
// Æ and AE share keys, and texts compare by their keys).
TEST(TrailingSpaces, CountFromATextIndex) {
  auto db = jet::createMemoryDatabase(jet::Version::Ace14);
  jet::createTable(*db, {"Big", {jet::columnSpec("City", DataType::Text, 40)}, {jet::indexSpec("CityIdx", {{"City", true}})}});
  const std::vector<const char*> cities = {"Paris", "paris  ", "PARIS", " Paris", "Paris.", "Strasse", "STRASSE ",
                                           "Straße", "AEgir", "Ægir", "Aegir   ", nullptr};
  jet::TableWriter w(*db, "Big");
  for (int round = 0; round < 3; ++round)
    for (const char* c : cities) w.insert({c ? Value::text(c) : Value()});
  auto count = [&](const std::string& where) {
    auto rs = sql::openRecordset(*db, "SELECT Count(*) FROM Big WHERE " + where);
    bool idx = false;
    for (const auto& n : rs->planNotes()) idx = idx || n.find("count from index") != std::string::npos;
    EXPECT_TRUE(idx) << where;
    EXPECT_TRUE(rs->fetchTo(1));
    return rs->row(0)[0].asInt();
  };
  EXPECT_EQ(count("City = 'Paris'"), 9);
  EXPECT_EQ(count("City = 'paris   '"), 9);
  EXPECT_EQ(count("City = 'Strasse'"), 9);
  EXPECT_EQ(count("City = 'AEGIR'"), 9);
  EXPECT_EQ(count("City In ('Paris', 'aegir ', 'Nowhere')"), 18);
  EXPECT_EQ(body(*db, "SELECT Count(*) FROM Big WHERE City = 'Straße'"), (Lines{"9"}));
}

// Count(*) from an index in the database's own order reads no rows: it
// must count what the plain plan counts, for case variants, trailing
// spaces, ß and SS, soft hyphens, Nulls and texts as long as a key keeps.
TEST(TrailingSpaces, CountFromTheIndexAloneMatchesThePlainPlan) {
  for (auto version : {jet::Version::Jet4, jet::Version::Ace14}) {
    auto db = jet::createMemoryDatabase(version);
    jet::createTable(*db, {"Big", {jet::columnSpec("City", DataType::Text, 255)}, {jet::indexSpec("CityIdx", {{"City", true}})}});
    const std::string longA(254, 'a');
    const std::vector<std::string> cities = {"Paris", "paris  ", "PARIS", " Paris", "Pa\u00ADris", "Pa-ris", "Strasse",
                                             "Straße", "Ægir", "AEGIR", longA, longA + "b", longA + "B", longA + "\u00AD"};
    jet::TableWriter w(*db, "Big");
    for (int round = 0; round < 2; ++round) {
      for (const auto& c : cities) w.insert({Value::text(c)});
      w.insert({Value()});
    }
    for (const std::string& want : {std::string("Paris"), std::string("STRASSE"), std::string("aegir"), std::string("Pa-ris"),
                                    longA, longA + "B", std::string("Nowhere")}) {
      const std::string q = "City = '" + want + "'";
      auto rs = sql::openRecordset(*db, "SELECT Count(*) FROM Big WHERE " + q);
      bool idx = false, checked = false;
      for (const auto& n : rs->planNotes()) {
        idx = idx || n.find("count from index") != std::string::npos;
        checked = checked || n.find("rows checked") != std::string::npos;
      }
      EXPECT_TRUE(idx) << q;
      EXPECT_FALSE(checked) << q;
      EXPECT_EQ(body(*db, "SELECT Count(*) FROM Big WHERE " + q),
                body(*db, "SELECT Count(*) FROM Big WHERE (City & '') = '" + want + "' AND Not IsNull(City)"))
          << q << (version == jet::Version::Jet4 ? " legacy" : " general");
    }
    EXPECT_EQ(body(*db, "SELECT Count(*) FROM Big WHERE City In ('Paris', 'Strasse', 'Nowhere')"),
              body(*db, "SELECT Count(*) FROM Big WHERE (City & '') In ('Paris', 'Strasse', 'Nowhere')"));
    if (version == jet::Version::Ace14) {  // General: the soft hyphen takes no part, ß is ss
      EXPECT_EQ(body(*db, "SELECT Count(*) FROM Big WHERE City In ('Paris', 'Strasse', 'Nowhere')"), (Lines{"12"}));
    }
  }
}
