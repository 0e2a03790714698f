// Tests on stored bytes before a row is decoded (sql/raw_predicate.h): a
// row the bytes reject must be a row the full Like matcher rejects, for
// every stored form of text (Jet 4 compressed, plain and mixed runs, Jet 3
// code pages), for case variants and letters that are not ASCII, and for
// patterns with wildcards after their literal start; statements filtered
// this way give exactly the rows the matcher picks, on created tables and on
// every text column of every fixture.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "jet/code_page.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/table.h"
#include "jet/table_writer.h"
#include "jet/text.h"
#include "sql/collate.h"
#include "sql/engine.h"
#include "sql/expr.h"
#include "sql/raw_predicate.h"
#include "support/test_support.h"

using jet::DataType;
using jet::Value;

namespace {

jet::ByteView viewOf(const std::string& s) {
  return jet::ByteView(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

// The compressed form with mixed runs, as files of the product hold it:
// characters up to U+00FF one byte each, others two bytes inside a run
// opened and closed by a zero byte; switchEvery > 0 also opens and closes
// empty runs now and then.
std::string mixedCompressed(const std::u16string& s, int switchEvery) {
  std::string out("\xFF\xFE", 2);
  bool compressed = true;
  int n = 0;
  for (char16_t c : s) {
    const bool one = c != 0 && c <= 0xFF;
    if (one != compressed) {
      out.push_back('\0');
      compressed = one;
    }
    if (switchEvery > 0 && ++n % switchEvery == 0) out.append(2, '\0');  // an empty run
    if (compressed) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(c & 0xFF));
      out.push_back(static_cast<char>(c >> 8));
    }
  }
  return out;
}

const std::vector<std::u16string>& sampleTexts() {
  static const std::vector<std::u16string> t = {
      u"Name 12", u"name 123", u"NAME 12x", u"Name 1", u"Name 13", u"Name 12\u00C9", u"", u"N", u"Na",
      u"\u00C9mile", u"\u00E9MILE", u"Emile", u"emile", u"\u00DFtra\u00DFe", u"SSTRASSE", u"sstrasse", u"Stra\u00DFe",
      u"\u0131stanbul", u"Istanbul", u"istanbul", u"\u0130stanbul", u"\u017Ftop", u"Stop", u"stop", u"\u212Aelvin",
      u"Kelvin", u"kelvin", u"\u00D1ame 12", u"N\u00E1me 12", u"Name\u00A012", u"Name 12\u30C6\u30B9\u30C8",
      u"\u30C6\u30B9\u30C8", u"[Name]", u"#12", u"12 Name", u"Name  12", u"Name 12 ", std::u16string(300, u'n'),
      u"Name 1" + std::u16string(200, u'2'), u"ABC\u0100def", u"abc\u0101DEF", u"\u0100bc"};
  return t;
}

const std::vector<std::string>& samplePatterns() {
  static const std::vector<std::string> p = {
      "Name 12*", "name 12*", "NAME 1?*", "Name 12#", "Name 1[0-2]*", "Name 12", "Name 12?", "Name 1[!3]*",
      "E*", "e*", "\xC3\x89*", "Em*", "S*", "SS*", "ss*", "st*", "Str*", "I*", "i*", "Is*", "K*", "kelvin",
      "N*", "N[!a]*", "*12*", "?ame*", "#*", "Stop*", "stop", "\xC4\xB1s*", "Name 12[\xC3\x89]*", "Name*12",
      "nn*", "Name 12 *", "Name  *", "[[]Name*", "abc*", "ABCD*", "Name 12\xE3\x83\x86*", "12*", "*"};
  return p;
}

// Bytes may reject only what the matcher rejects; and on a text whose
// characters before the prefix's end are all ASCII they must decide it.
void expectAgrees(const std::string& stored, bool jet3, const std::string& decoded, const std::string& pattern,
                  size_t& rejected) {
  const std::string prefix = sql::likeLiteralPrefix(pattern);
  const bool may = sql::storedTextMayStartWith(viewOf(stored), jet3, prefix);
  const bool matches = sql::LikePattern(pattern).matches(decoded);
  if (matches) {
    EXPECT_TRUE(may) << "\"" << decoded << "\" Like \"" << pattern << "\" (" << (jet3 ? "code page" : "UCS-2") << ")";
  }
  if (!may) ++rejected;
  std::u32string cps = sql::decodeUtf8(decoded);
  bool asciiStart = true;
  for (size_t i = 0; i < prefix.size() && i < cps.size(); ++i)
    if (cps[i] >= 0x80) asciiStart = false;
  if (asciiStart) {
    bool starts = cps.size() >= prefix.size();
    for (size_t i = 0; starts && i < prefix.size(); ++i)
      starts = static_cast<char>(sql::foldCase(cps[i])) == prefix[i];
    EXPECT_EQ(may, starts) << "\"" << decoded << "\" against the start of \"" << pattern << "\"";
  }
}

}  // namespace

TEST(RawPredicate, LiteralPrefixOfPatterns) {
  EXPECT_EQ(sql::likeLiteralPrefix("Name 12*"), "NAME 12");
  EXPECT_EQ(sql::likeLiteralPrefix("abc?d*"), "ABC");
  EXPECT_EQ(sql::likeLiteralPrefix("ab#"), "AB");
  EXPECT_EQ(sql::likeLiteralPrefix("x[a-c]*"), "X");
  EXPECT_EQ(sql::likeLiteralPrefix("*abc"), "");
  EXPECT_EQ(sql::likeLiteralPrefix("[a]bc"), "");
  EXPECT_EQ(sql::likeLiteralPrefix("\xC3\x89mile*"), "");        // starts with a letter that is not ASCII
  EXPECT_EQ(sql::likeLiteralPrefix("Caf\xC3\xA9*"), "CAF");       // stops before it
  EXPECT_EQ(sql::likeLiteralPrefix("a]!-b"), "A]!-B");           // only * ? # [ are special
}

TEST(RawPredicate, BytesAgreeWithMatcherInEveryStoredForm) {
  size_t rejected = 0, checked = 0;
  for (const auto& text : sampleTexts()) {
    const std::string utf8 = jet::utf16ToUtf8(text);
    std::vector<std::string> forms = {jet::encodeUcs2Text(text, true), jet::encodeUcs2Text(text, false),
                                      mixedCompressed(text, 0), mixedCompressed(text, 3), mixedCompressed(text, 1)};
    // a lone last byte inside a two-byte run is no character
    forms.push_back(mixedCompressed(text + u"\u0100", 0));
    forms.back().pop_back();
    for (const auto& f : forms) {
      const std::string decoded = jet::decodeUcs2TextUtf8(viewOf(f));
      for (const auto& p : samplePatterns()) {
        expectAgrees(f, false, decoded, p, rejected);
        ++checked;
      }
    }
    for (uint16_t cp : {1252, 1250, 1251, 1254, 932, 936}) {
      std::string bytes;
      try {
        bytes = jet::encodeCodePageText(text, cp);
      } catch (const jet::Error&) {
        continue;  // the code page cannot hold the text
      }
      const std::string decoded = jet::utf16ToUtf8(jet::decodeCodePageText(viewOf(bytes), cp));
      ASSERT_EQ(decoded, utf8) << "code page " << cp;
      for (const auto& p : samplePatterns()) {
        expectAgrees(bytes, true, decoded, p, rejected);
        ++checked;
      }
    }
  }
  EXPECT_GT(rejected, checked / 2);  // and most are settled by the bytes
}

// What the Jet 3 test relies on: in every code page read, an ASCII byte
// with only ASCII bytes before it is that character, whatever follows it.
TEST(RawPredicate, CodePagesKeepLeadingAsciiBytes) {
  std::string ascii;
  for (int b = 1; b < 0x80; ++b) ascii.push_back(static_cast<char>(b));
  int converted = 0;
  for (uint16_t cp : {874, 932, 936, 949, 950, 1250, 1251, 1252, 1253, 1254, 1255, 1256, 1257, 1258}) {
    ++converted;
    for (int tail : {0x81, 0x82, 0xA4, 0xC4, 0xE0, 0xFE, 0xFF}) {
      const std::string bytes = ascii + static_cast<char>(tail) + "\x41";
      std::u16string decoded;
      try {
        decoded = jet::decodeCodePageText(viewOf(bytes), cp);
      } catch (const jet::Error& e) {
        ASSERT_EQ(e.number(), jet::err::kNotSupported) << cp;  // no converter on this system
        --converted;
        break;
      }
      ASSERT_GE(decoded.size(), ascii.size()) << cp;
      for (size_t i = 0; i < ascii.size(); ++i)
        ASSERT_EQ(decoded[i], static_cast<char16_t>(ascii[i])) << "code page " << cp << " byte " << i;
    }
  }
  EXPECT_GT(converted, 0);
}

namespace {

// The rows a statement gives, as the text of column 0 of each.
std::multiset<std::string> ids(jet::Database& db, const std::string& stmt) {
  auto rs = sql::openRecordset(db, stmt);
  std::multiset<std::string> out;
  size_t n = rs->fetchAll();
  for (size_t i = 0; i < n; ++i) out.insert(std::to_string(rs->row(i)[0].asInt()));
  return out;
}

std::string quoted(const std::string& p) {
  std::string s = "'";
  for (char c : p) {
    if (c == '\'') s.push_back('\'');
    s.push_back(c);
  }
  return s + "'";
}

// Every row of the table through the raw filter of "column Like pattern":
// none the matcher accepts is rejected. Returns the rows rejected.
size_t checkTableColumn(jet::Database& db, const std::shared_ptr<const jet::TableDef>& def, size_t col,
                        const std::string& pattern, size_t* rows = nullptr) {
  sql::BExprP like = sql::makeBinary(sql::BinOp::Like, sql::makeColumn(0, col, DataType::Text, 50),
                                     sql::makeConst(Value::text(pattern)), sql::collationOf(&db));
  auto raw = sql::RawFilter::make(db.format(), *def, like.get());
  if (!raw) return 0;
  sql::LikePattern m(pattern);
  jet::TableScan scan(db, def);
  size_t rejected = 0;
  while (scan.next()) {
    const bool may = raw->mayPass(scan.rawRow());
    Value v = scan.value(col);
    const bool matches = v.isText() && m.matches(v.bytes());
    EXPECT_TRUE(may || !matches) << def->name << "." << def->columns[col].name << " \"" << v.bytes()
                                 << "\" Like \"" << pattern << "\"";
    if (!may) ++rejected;
    if (rows) ++*rows;
  }
  return rejected;
}

}  // namespace

TEST(RawPredicate, CreatedTablesGiveTheMatchersRows) {
  for (jet::Version ver : {jet::Version::Jet4, jet::Version::Ace12}) {
    SCOPED_TRACE(ver == jet::Version::Jet4 ? "Jet 4" : ".accdb");
    auto db = jet::createMemoryDatabase(ver);
    jet::ColumnSpec plain = jet::columnSpec("Plain", DataType::Text, 255);
    plain.compressed = false;
    jet::createTable(*db, {"T",
                           {jet::columnSpec("ID", DataType::Long), jet::columnSpec("Name", DataType::Text, 50),
                            plain, jet::columnSpec("Notes", DataType::Memo)},
                           {}});
    std::vector<std::vector<Value>> rows;
    {
      jet::TableWriter w(*db, "T");
      int id = 0;
      for (const auto& t : sampleTexts()) {
        const std::string s = jet::utf16ToUtf8(t);
        Value name = t.size() <= 50 ? Value::text(s) : Value();
        Value longer = t.size() <= 255 ? Value::text(s) : Value();
        std::vector<Value> r{Value::longInt(++id), name, longer, Value::memo(s + std::string(id % 3 ? 0 : 5000, 'x'))};
        w.insert(r);
        rows.push_back(r);
      }
      w.insert({Value::longInt(++id), Value(), Value(), Value()});  // Null everywhere
      w.insert({Value::longInt(++id), Value::text(""), Value::text(""), Value::memo("")});
    }
    auto def = db->table("T");
    size_t rejected = 0;
    for (const auto& p : samplePatterns()) {
      SCOPED_TRACE(p);
      for (size_t col : {1u, 2u}) rejected += checkTableColumn(*db, def, col, p);
      // the statements give exactly the rows the matcher picks
      for (const std::string col : {"Name", "Plain", "Notes"}) {
        std::multiset<std::string> want;
        auto all = sql::openRecordset(*db, "SELECT ID, " + col + " FROM T");
        sql::LikePattern m(p);
        for (size_t i = 0, n = all->fetchAll(); i < n; ++i) {
          const auto& r = all->row(i);
          if (r[1].isText() && m.matches(r[1].bytes())) want.insert(std::to_string(r[0].asInt()));
        }
        EXPECT_EQ(ids(*db, "SELECT ID FROM T WHERE " + col + " LIKE " + quoted(p)), want) << col;
        // as one conjunct among others, on either side
        std::multiset<std::string> wantOdd;
        for (const auto& x : want)
          if (std::stoi(x) % 2) wantOdd.insert(x);
        EXPECT_EQ(ids(*db, "SELECT ID FROM T WHERE ID Mod 2 = 1 AND " + col + " LIKE " + quoted(p)), wantOdd) << col;
        EXPECT_EQ(ids(*db, "SELECT ID FROM T WHERE (" + col + " LIKE " + quoted(p) + ") AND ID Mod 2 = 1"), wantOdd)
            << col;
      }
    }
    EXPECT_GT(rejected, 100u);
  }
}

TEST(RawPredicate, OnlyWhatTheBytesCanSettle) {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"T",
                         {jet::columnSpec("ID", DataType::Long), jet::columnSpec("Name", DataType::Text, 50),
                          jet::columnSpec("Notes", DataType::Memo)},
                         {}});
  auto def = db->table("T");
  auto likeOn = [&](size_t col, const std::string& p, bool negated = false) {
    return sql::makeBinary(sql::BinOp::Like, sql::makeColumn(0, col, DataType::Text, 50),
                           sql::makeConst(Value::text(p)), sql::generalCollation(), negated);
  };
  EXPECT_TRUE(sql::RawFilter::make(db->format(), *def, likeOn(1, "ab*").get()));
  EXPECT_FALSE(sql::RawFilter::make(db->format(), *def, likeOn(1, "ab*", true).get()));  // Not Like
  EXPECT_FALSE(sql::RawFilter::make(db->format(), *def, likeOn(2, "ab*").get()));        // memo
  EXPECT_FALSE(sql::RawFilter::make(db->format(), *def, likeOn(1, "*ab").get()));        // no literal start
  EXPECT_FALSE(sql::RawFilter::make(db->format(), *def, likeOn(0, "1*").get()));         // a number column
  // inside an Or nothing can be rejected alone
  auto either = sql::makeBinary(sql::BinOp::Or, likeOn(1, "ab*"), likeOn(1, "cd*"), sql::generalCollation());
  EXPECT_FALSE(sql::RawFilter::make(db->format(), *def, either.get()));
  auto both = sql::makeBinary(sql::BinOp::And, either, likeOn(1, "a*"), sql::generalCollation());
  EXPECT_TRUE(sql::RawFilter::make(db->format(), *def, both.get()));
  EXPECT_FALSE(sql::RawFilter::make(db->format(), *def, nullptr));
}

TEST(RawPredicate, EveryTextColumnOfEveryFixture) {
  SKIP_WITHOUT_SHARED();
  size_t rows = 0, rejected = 0, jet3Columns = 0, aceColumns = 0;
  for (const auto& rel : testsupport::allFixtures()) {
    SCOPED_TRACE(rel);
    auto db = testsupport::openFixture(rel);
    if (!db) continue;
    for (const auto* e : db->tables(true)) {
      if (e->kind != jet::ObjectKind::Table) continue;
      std::shared_ptr<const jet::TableDef> def;
      try {
        def = db->table(*e);
      } catch (const jet::Error&) {
        continue;
      }
      for (size_t c = 0; c < def->columns.size(); ++c) {
        const auto& col = def->columns[c];
        if (col.rawType != jet::coltype::kText || col.calculated()) continue;
        // patterns from the column's own values: their first characters,
        // case changed, then wildcards
        std::set<std::string> patterns = {"a*", "S*", "1*", "?*"};
        try {
          jet::TableScan scan(*db, def);
          for (int k = 0; k < 6 && scan.next(); ++k) {
            Value v = scan.value(c);
            if (!v.isText() || v.bytes().empty()) continue;
            std::u32string u = sql::decodeUtf8(v.bytes());
            for (size_t len : {1u, 2u, 4u}) {
              std::u32string head = u.substr(0, len);
              for (auto& ch : head) ch = (k % 2) ? sql::lowerCase(ch) : sql::foldCase(ch);
              const std::string h = sql::encodeUtf8(head);
              patterns.insert(h + "*");
              patterns.insert(h + "?*");
              patterns.insert(h + "[a-m]*");
              patterns.insert(h);
            }
          }
          for (const auto& p : patterns) {
            SCOPED_TRACE(p);
            rejected += checkTableColumn(*db, def, c, p, &rows);
          }
        } catch (const jet::Error&) {
          continue;  // damaged rows are tested elsewhere
        }
        if (db->format().jet3) ++jet3Columns;
        if (db->format().ace) ++aceColumns;
      }
    }
  }
  EXPECT_GT(jet3Columns, 0u);
  EXPECT_GT(aceColumns, 0u);
  EXPECT_GT(rejected, rows / 4);
}

// A scan decodes the columns its filter reads first and the others only for
// rows that pass: the rows and every value must be what a scan without a
// filter gives, whatever the filter reads (plain comparisons, functions,
// Like, Is Null, subqueries whose reads are not known, outer columns).
TEST(RawPredicate, FilterColumnsFirstGiveTheSameRows) {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"T",
                         {jet::columnSpec("ID", DataType::Long), jet::columnSpec("Name", DataType::Text, 50),
                          jet::columnSpec("Qty", DataType::Integer), jet::columnSpec("Notes", DataType::Memo)},
                         {}});
  {
    jet::TableWriter w(*db, "T");
    for (int i = 1; i <= 300; ++i)
      w.insert({Value::longInt(i), i % 7 ? Value::text("Name " + std::to_string(i)) : Value(),
                Value::integer(static_cast<int16_t>(i % 11)), Value::memo(std::string(static_cast<size_t>(i % 5) * 900, 'm'))});
  }
  auto rowsOf = [&](const std::string& stmt) {
    auto rs = sql::openRecordset(*db, stmt);
    std::vector<std::string> out;
    for (size_t i = 0, n = rs->fetchAll(); i < n; ++i) {
      std::string line;
      for (const auto& v : rs->row(i)) {
        if (v.isNull()) line += "<null>";
        else if (v.type() == DataType::Memo) line += std::to_string(v.bytes().size()) + " bytes of " + v.bytes().substr(0, 1);
        else if (v.isText()) line += v.bytes();
        else line += std::to_string(v.asInt());
        line += "|";
      }
      out.push_back(line);
    }
    return out;
  };
  const auto all = rowsOf("SELECT ID, Name, Qty, Notes FROM T");
  ASSERT_EQ(all.size(), 300u);
  struct Case {
    std::string where;
    std::function<bool(int)> keep;
  };
  const std::vector<Case> cases = {
      {"Qty = 3", [](int i) { return i % 11 == 3; }},
      {"Qty > 8 AND ID < 100", [](int i) { return i % 11 > 8 && i < 100; }},
      {"Len(Name) = 7", [](int i) { return i % 7 && i >= 10 && i < 100; }},
      {"Name Is Null", [](int i) { return i % 7 == 0; }},
      {"Name Like 'Name 2*' Or Qty = 0", [](int i) { return (i % 7 && std::to_string(i)[0] == '2') || i % 11 == 0; }},
      {"Len(Notes) > 2000", [](int i) { return i % 5 > 2; }},
      {"Exists (SELECT 1 FROM T AS b WHERE b.ID = T.ID * 2 AND b.Qty = 4)",
       [](int i) { return 2 * i <= 300 && (2 * i) % 11 == 4; }},
      {"ID In (SELECT b.ID + 1 FROM T AS b WHERE b.Qty = 10)", [](int i) { return i > 1 && (i - 1) % 11 == 10; }},
      {"(SELECT Count(*) FROM T AS b WHERE b.ID < T.ID And b.Qty = T.Qty) = 2", [](int i) { return i > 22 && i <= 33; }},
      {"(SELECT Max(b.Qty) FROM T AS b WHERE b.ID = T.ID + 1) = 3", [](int i) { return (i + 1) % 11 == 3 && i < 300; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.where);
    std::vector<std::string> want;
    for (int i = 1; i <= 300; ++i)
      if (c.keep(i)) want.push_back(all[static_cast<size_t>(i - 1)]);
    EXPECT_EQ(rowsOf("SELECT ID, Name, Qty, Notes FROM T WHERE " + c.where), want);
  }
}
