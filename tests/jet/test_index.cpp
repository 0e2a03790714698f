// Indexes: text collation tables, key encoding, b-tree reading.
//
// The fixture tests read every index of every table (system tables too) of
// the product-made fixture files and require that
//   (a) walking the index yields exactly the table's live rows, each once
//       (rows whose key is all Null are absent from ignore-nulls indexes);
//   (b) the key built from each row's values equals, byte for byte, the key
//       the product stored in the index entry;
//   (c) the entries are in ascending order.
// The encoding tests pin down the byte layout for every key type, including
// the types no fixture indexes, and check that byte order is value order.
#include "jet/index.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "jet/database.h"
#include "jet/file_io.h"
#include "jet/index_codes.h"
#include "jet/index_key.h"
#include "jet/text.h"
#include "support/test_support.h"

using jet::Value;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes B(std::initializer_list<int> v) {
  Bytes b;
  for (int x : v) b.push_back(static_cast<uint8_t>(x));
  return b;
}

std::string hexOf(const Bytes& b) {
  std::string s;
  char buf[4];
  for (uint8_t x : b) {
    std::snprintf(buf, sizeof buf, "%02X ", x);
    s += buf;
  }
  return s;
}

jet::Column makeColumn(uint8_t rawType, jet::DataType type, uint8_t scale = 0) {
  jet::Column c;
  c.name = "f";
  c.rawType = rawType;
  c.type = type;
  c.scale = scale;
  c.precision = 18;
  c.sortOrder = 1033;
  return c;
}

Bytes keyOf(const jet::Format& fmt, const jet::Column& c, bool asc, const Value& v) {
  Bytes out;
  jet::appendKeyColumn(fmt, c, asc, v, out);
  return out;
}

const jet::Format& jet4() { return jet::formatFor(jet::Version::Jet4); }
const jet::Format& ace14() { return jet::formatFor(jet::Version::Ace14); }
const jet::Format& jet3() { return jet::formatFor(jet::Version::Jet3); }

Bytes textKey(jet::TextSortOrder o, const std::string& utf8, bool asc = true) {
  Bytes out{static_cast<uint8_t>(asc ? 0x7F : 0x80)};
  jet::appendTextSortKeyUtf8(o, utf8, asc, out);
  return out;
}

Value decimalValue(__int128 mantissa, uint8_t scale) {
  jet::Decimal d;
  d.mantissa = mantissa;
  d.scale = scale;
  return Value::decimal(d);
}

std::unique_ptr<jet::Database> openFixture(const std::string& rel) {
  jet::OpenOptions o;
  if (rel.find("with-password") != std::string::npos) o.password = "password";
  return jet::Database::open(testsupport::fixture(rel), o);
}

std::vector<uint8_t> readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Entry {
  Bytes key;
  jet::RowId row;
};

std::vector<Entry> allEntries(jet::Database& db, const jet::RealIndex& ix) {
  std::vector<Entry> out;
  jet::IndexCursor c(db, ix);
  while (c.next()) out.push_back({c.key(), c.rowId()});
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------
// The generated collation tables agree with the reference files they were
// generated from, character by character.

namespace {

std::vector<std::string> readLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> out;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(line);
  }
  while (!out.empty() && out.back().empty()) out.pop_back();
  return out;
}

Bytes hexField(const std::string& s) {
  std::string h = s.size() % 2 ? "0" + s : s;
  Bytes b;
  for (size_t i = 0; i + 1 < h.size(); i += 2) b.push_back(static_cast<uint8_t>(std::stoi(h.substr(i, 2), nullptr, 16)));
  return b;
}

// Compares one reference line with the decoded table entry; "" when equal.
std::string compareLine(const std::string& line, const jet::CharSortCode& c) {
  std::vector<std::string> parts;
  std::stringstream ss(line.substr(1));
  std::string p;
  while (std::getline(ss, p, ',')) parts.push_back(p);
  if (!line.empty() && line.back() == ',') parts.push_back("");
  Bytes inl(c.inl, c.inl + c.inlineLen), extra(c.extra, c.extra + c.extraLen);
  using K = jet::CharKind;
  bool ok = false;
  switch (line[0]) {
    case 'X': ok = c.kind == K::Ignored && inl.empty(); break;
    case 'S': ok = c.kind == K::Simple && inl == hexField(parts.at(0)); break;
    case 'G': ok = c.kind == K::Significant && inl == hexField(parts.at(0)); break;
    case 'I': ok = c.kind == K::International && inl == hexField(parts.at(0)) && extra == hexField(parts.at(1)); break;
    case 'U': ok = c.kind == K::Unprintable && inl.empty() && Bytes{c.aux} == hexField(parts.at(0)); break;
    case 'P': ok = c.kind == K::UnprintableMod && inl.empty() && Bytes{c.aux} == hexField(parts.at(0)); break;
    case 'Z':
      ok = c.kind == K::InternationalExt && inl == hexField(parts.at(0)) && extra == hexField(parts.at(1)) &&
           c.aux == (parts.at(2) == "1" ? 2 : 3);
      break;
  }
  return ok ? "" : "table differs from '" + line + "'";
}

}  // namespace

TEST(IndexCodeTables, MatchTheReferenceFilesForEveryCharacter) {
  SKIP_WITHOUT_SHARED();
  const std::string dir = testsupport::sharedDir() + "/reference/text-index-codes/";
  struct Src {
    jet::TextSortOrder order;
    const char* base;
    const char* ext;
  };
  for (Src s : {Src{jet::TextSortOrder::General, "index_codes_gen.txt", "index_codes_ext_gen.txt"},
                Src{jet::TextSortOrder::GeneralLegacy, "index_codes_genleg.txt", "index_codes_ext_genleg.txt"},
                Src{jet::TextSortOrder::General97, "index_codes_gen_97.txt", nullptr}}) {
    SCOPED_TRACE(jet::textSortOrderName(s.order));
    auto base = readLines(dir + s.base);
    ASSERT_EQ(base.size(), 256u);
    int bad = 0;
    for (unsigned c = 0; c < 256; ++c) {
      std::string d = compareLine(base[c], jet::charSortCode(s.order, static_cast<char16_t>(c)));
      if (!d.empty() && bad++ < 5) ADD_FAILURE() << "U+" << std::hex << c << ": " << d;
    }
    if (s.ext) {
      auto ext = readLines(dir + s.ext);
      ASSERT_EQ(ext.size(), 0x10000u - 0x100u - 0x800u);
      size_t line = 0;
      for (unsigned c = 0x100; c <= 0xFFFF; ++c) {
        auto code = jet::charSortCode(s.order, static_cast<char16_t>(c));
        if (c >= 0xD800 && c <= 0xDFFF) {
          EXPECT_TRUE(code.kind == jet::CharKind::HighSurrogate || code.kind == jet::CharKind::LowSurrogate);
          continue;
        }
        std::string d = compareLine(ext[line++], code);
        if (!d.empty() && bad++ < 5) ADD_FAILURE() << "U+" << std::hex << c << ": " << d;
      }
    } else {
      // Jet 3: characters above FF with a single-byte equivalent sort as it.
      for (const auto& l : readLines(dir + "index_mappings_ext_gen_97.txt")) {
        unsigned from = std::stoul(l.substr(0, l.find(','))), to = std::stoul(l.substr(l.find(',') + 1));
        auto a = jet::charSortCode(s.order, static_cast<char16_t>(from));
        auto b = jet::charSortCode(s.order, static_cast<char16_t>(to));
        EXPECT_EQ(Bytes(a.inl, a.inl + a.inlineLen), Bytes(b.inl, b.inl + b.inlineLen)) << from;
      }
      EXPECT_EQ(jet::charSortCode(s.order, u'\u4E00').kind, jet::CharKind::Ignored);
    }
    EXPECT_EQ(bad, 0);
  }
}

// ---------------------------------------------------------------------------
// Text keys: each section of the layout.

TEST(IndexTextKeys, GeneralLegacySections) {
  using jet::TextSortOrder;
  const auto L = TextSortOrder::GeneralLegacy;
  // Plain letters: inline codes, end-of-text, end.
  EXPECT_EQ(textKey(L, "ab"), B({0x7F, 0x4A, 0x4C, 0x01, 0x00}));
  // Case and trailing spaces do not matter.
  EXPECT_EQ(textKey(L, "AB  "), textKey(L, "ab"));
  // An accent: one extra code per character, 02 standing for "none".
  EXPECT_EQ(textKey(L, "caf\xC3\xA9"), B({0x7F, 0x4D, 0x4A, 0x53, 0x51, 0x01, 0x02, 0x02, 0x02, 0x0E, 0x00}));
  EXPECT_EQ(textKey(L, "CAF\xC3\x89"), textKey(L, "caf\xC3\xA9"));
  // Trailing "none" codes are dropped; leading ones stay.
  EXPECT_EQ(textKey(L, "\xC3\xA9" "a"), B({0x7F, 0x51, 0x4A, 0x01, 0x0E, 0x00}));
  EXPECT_EQ(textKey(L, "a\xC3\xA9"), B({0x7F, 0x4A, 0x51, 0x01, 0x02, 0x0E, 0x00}));
  // A hyphen has no inline code; it goes to the unprintable section with
  // its position (7 + 4 * 1, high bit set).
  EXPECT_EQ(textKey(L, "a-b"), B({0x7F, 0x4A, 0x4C, 0x01, 0x01, 0x01, 0x01, 0x80, 0x0B, 0x06, 0x82, 0x00}));
  // Descending: an extra 00, all inverted, then 00.
  EXPECT_EQ(textKey(L, "a-b", false),
            B({0x80, 0xB5, 0xB3, 0xFE, 0xFE, 0xFE, 0xFE, 0x7F, 0xF4, 0xF9, 0x7D, 0xFF, 0x00}));
  // Kana carry a two-bit flag code; trailing 3s are dropped but the section
  // framing stays.
  EXPECT_EQ(textKey(L, "\xE3\x81\x98"),  // U+3058
            B({0x7F, 0x7F, 0x13, 0x01, 0x03, 0x01, 0x01, 0xFF, 0x02, 0x80, 0xFF, 0x80, 0x00}));
  EXPECT_EQ(textKey(L, "\xE3\x81\x81"),  // U+3041, flag code 2 packed under 10
            B({0x7F, 0x7F, 0x02, 0x01, 0x01, 0x01, 0xA0, 0xFF, 0x02, 0x80, 0xFF, 0x80, 0x00}));
  // Only the first 255 characters count.
  std::string a255(255, 'a');
  EXPECT_EQ(textKey(L, a255 + "zzz"), textKey(L, a255));
  EXPECT_NE(textKey(L, std::string(254, 'a') + "z"), textKey(L, a255));
}

TEST(IndexTextKeys, General2010AndJet3) {
  using jet::TextSortOrder;
  EXPECT_EQ(textKey(TextSortOrder::General, "ab"), B({0x7F, 0x0E, 0x02, 0x0E, 0x09, 0x01, 0x00}));
  EXPECT_EQ(textKey(TextSortOrder::General, "AB"), textKey(TextSortOrder::General, "ab"));
  // Jet 3: single-byte codes, 00 when no accent, no end-of-text marker.
  EXPECT_EQ(textKey(TextSortOrder::General97, "Abc"), B({0x7F, 0x60, 0x61, 0x62, 0x00}));
  EXPECT_EQ(textKey(TextSortOrder::General97, "Abc", false), B({0x80, 0x9F, 0x9E, 0x9D, 0xFF}));
  // Accents as a nibble string: 0, a 2 per significant letter since the
  // previous accent, the accent, 0.
  EXPECT_EQ(textKey(TextSortOrder::General97, "caf\xC3\xA9"), B({0x7F, 0x62, 0x60, 0x67, 0x66, 0x02, 0x24, 0x00}));
  // The euro sign sorts as its code-page byte 80.
  auto euro = jet::charSortCode(TextSortOrder::General97, u'\u20AC');
  auto b80 = jet::charSortCode(TextSortOrder::General97, u'\x80');
  EXPECT_EQ(Bytes(euro.inl, euro.inl + euro.inlineLen), Bytes(b80.inl, b80.inl + b80.inlineLen));
}

TEST(IndexTextKeys, ByteOrderFollowsAlphabeticalOrder) {
  const std::vector<std::string> words = {"", "a", "A b", "ab", "abc", "abd", "b", "ba", "m", "z", "zz"};
  for (auto order : {jet::TextSortOrder::General97, jet::TextSortOrder::GeneralLegacy, jet::TextSortOrder::General}) {
    SCOPED_TRACE(jet::textSortOrderName(order));
    for (bool asc : {true, false}) {
      for (size_t i = 1; i < words.size(); ++i) {
        Bytes a = textKey(order, words[i - 1], asc), b = textKey(order, words[i], asc);
        EXPECT_EQ(jet::compareKeys(a, b) < 0, asc) << "'" << words[i - 1] << "' vs '" << words[i] << "'";
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Keys of the other types.

TEST(IndexKeyEncoding, ExactBytesPerType) {
  using namespace jet;
  const Format& f = jet4();
  auto lng = makeColumn(coltype::kLong, DataType::Long);
  EXPECT_EQ(keyOf(f, lng, true, Value::longInt(1)), B({0x7F, 0x80, 0x00, 0x00, 0x01}));
  EXPECT_EQ(keyOf(f, lng, false, Value::longInt(1)), B({0x80, 0x7F, 0xFF, 0xFF, 0xFE}));
  EXPECT_EQ(keyOf(f, lng, true, Value::longInt(-1)), B({0x7F, 0x7F, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(keyOf(f, lng, true, Value()), B({0x00}));
  EXPECT_EQ(keyOf(f, lng, false, Value()), B({0xFF}));

  auto in = makeColumn(coltype::kInt, DataType::Integer);
  EXPECT_EQ(keyOf(f, in, true, Value::integer(-2)), B({0x7F, 0x7F, 0xFE}));
  auto by = makeColumn(coltype::kByte, DataType::Byte);
  EXPECT_EQ(keyOf(f, by, true, Value::byte(5)), B({0x7F, 0x05}));
  EXPECT_EQ(keyOf(f, by, false, Value::byte(5)), B({0x80, 0xFA}));
  auto big = makeColumn(coltype::kBigInt, DataType::BigInt);
  EXPECT_EQ(keyOf(f, big, true, Value::bigInt(1)), B({0x7F, 0x80, 0, 0, 0, 0, 0, 0, 0x01}));
  auto cur = makeColumn(coltype::kMoney, DataType::Currency);
  EXPECT_EQ(keyOf(f, cur, true, Value::currency(15000)), B({0x7F, 0x80, 0, 0, 0, 0, 0, 0x3A, 0x98}));
  // A Long value for a Currency key is scaled to 1/10000 units.
  EXPECT_EQ(keyOf(f, cur, true, Value::longInt(1)), keyOf(f, cur, true, Value::currency(10000)));

  auto dbl = makeColumn(coltype::kDouble, DataType::Double);
  EXPECT_EQ(keyOf(f, dbl, true, Value::dbl(1.0)), B({0x7F, 0xBF, 0xF0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(keyOf(f, dbl, true, Value::dbl(-1.0)), B({0x7F, 0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(keyOf(f, dbl, false, Value::dbl(1.0)), B({0x80, 0x40, 0x0F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(keyOf(f, dbl, false, Value::dbl(-1.0)), B({0x80, 0xBF, 0xF0, 0, 0, 0, 0, 0, 0}));
  auto sng = makeColumn(coltype::kFloat, DataType::Single);
  EXPECT_EQ(keyOf(f, sng, true, Value::single(1.0f)), B({0x7F, 0xBF, 0x80, 0x00, 0x00}));
  auto dt = makeColumn(coltype::kDateTime, DataType::DateTime);
  EXPECT_EQ(keyOf(f, dt, true, Value::dateTime(1.0)), keyOf(f, dbl, true, Value::dbl(1.0)));

  // Booleans: True sorts first; never Null.
  auto bo = makeColumn(coltype::kBool, DataType::Boolean);
  EXPECT_EQ(keyOf(f, bo, true, Value::boolean(true)), B({0x7F, 0x00}));
  EXPECT_EQ(keyOf(f, bo, true, Value::boolean(false)), B({0x7F, 0xFF}));
  EXPECT_EQ(keyOf(f, bo, false, Value::boolean(true)), B({0x80, 0xFF}));
  EXPECT_EQ(keyOf(f, bo, false, Value::boolean(false)), B({0x80, 0x00}));
  EXPECT_EQ(keyOf(f, bo, true, Value()), B({0x7F, 0xFF}));

  // GUID {00112233-4455-6677-8899-AABBCCDDEEFF}: written-out order in two
  // 8-byte groups; descending keeps the 09 continuation byte.
  auto gu = makeColumn(coltype::kGuid, DataType::GUID);
  std::array<uint8_t, 16> raw = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                                 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  EXPECT_EQ(keyOf(f, gu, true, Value::guid(raw)),
            B({0x7F, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x09,
               0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x08}));
  EXPECT_EQ(keyOf(f, gu, false, Value::guid(raw)),
            B({0x80, 0xFF, 0xEE, 0xDD, 0xCC, 0xBB, 0xAA, 0x99, 0x88, 0x09,
               0x77, 0x66, 0x55, 0x44, 0x33, 0x22, 0x11, 0x00, 0xF7}));
  auto bin = makeColumn(coltype::kBinary, DataType::Binary);
  EXPECT_EQ(keyOf(f, bin, true, Value::binary("abc")), B({0x7F, 0x61, 0x62, 0x63, 0, 0, 0, 0, 0, 0x03}));
  EXPECT_EQ(keyOf(f, bin, false, Value::binary("abc")),
            B({0x80, 0x9E, 0x9D, 0x9C, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFC}));

  // Decimal, scale 2: sign byte + 16-byte magnitude.
  auto dec = makeColumn(coltype::kNumeric, DataType::Decimal, 2);
  Bytes pos(18, 0), neg(18, 0xFF);
  pos[0] = 0x7F; pos[1] = 0xFF; pos[17] = 123;                     // 1.23
  neg[0] = 0x7F; neg[1] = 0x00; neg[17] = static_cast<uint8_t>(~123);  // -1.23
  EXPECT_EQ(keyOf(f, dec, true, decimalValue(123, 2)), pos);
  EXPECT_EQ(keyOf(f, dec, true, decimalValue(-123, 2)), neg);
  EXPECT_EQ(keyOf(ace14(), dec, true, decimalValue(-123, 2)), neg);
  // A value with another scale is brought to the column's scale first.
  EXPECT_EQ(keyOf(f, dec, true, decimalValue(1230, 3)), pos);
  // Descending differs between the versions: in Jet 4 files the sign byte
  // is set after the inversion (negatives first), from 2007 on before it.
  Bytes j4desc = pos, aceDesc = neg;
  j4desc[0] = 0x80;
  for (size_t i = 2; i < 18; ++i) j4desc[i] = static_cast<uint8_t>(~pos[i]);
  aceDesc[0] = 0x80;
  EXPECT_EQ(keyOf(f, dec, false, decimalValue(123, 2)), j4desc);
  EXPECT_EQ(keyOf(ace14(), dec, false, decimalValue(123, 2)), aceDesc);
}

TEST(IndexKeyEncoding, MultiColumnKeysConcatenateAndPrefixesArePrefixes) {
  using namespace jet;
  TableDef def;
  def.columns = {makeColumn(coltype::kLong, DataType::Long), makeColumn(coltype::kText, DataType::Text)};
  def.columns[1].sortVersion = 0;
  RealIndex ix;
  ix.columns = {{0, true}, {1, false}};
  std::vector<Value> row = {Value::longInt(7), Value::text("ab")};
  Bytes key = encodeIndexKey(jet4(), def, ix, row);
  Bytes expect = B({0x7F, 0x80, 0x00, 0x00, 0x07});
  Bytes t = textKey(TextSortOrder::GeneralLegacy, "ab", false);
  expect.insert(expect.end(), t.begin(), t.end());
  EXPECT_EQ(key, expect);
  Bytes prefix = encodeIndexKeyValues(jet4(), def, ix, {Value::longInt(7)});
  EXPECT_TRUE(keyStartsWith(key, prefix));
  EXPECT_EQ(encodeIndexKeyValues(jet4(), def, ix, {Value::longInt(7), Value::text("ab")}), key);
  // All-null and partly-null rows.
  std::vector<Value> nulls = {Value(), Value()};
  EXPECT_TRUE(keyIsAllNull(def, ix, nulls));
  EXPECT_EQ(encodeIndexKey(jet4(), def, ix, nulls), B({0x00, 0xFF}));
  EXPECT_TRUE(keyHasNull(def, ix, {Value::longInt(1), Value()}));
  EXPECT_FALSE(keyIsAllNull(def, ix, {Value::longInt(1), Value()}));
  // Text sort order selection.
  Column t2 = def.columns[1];
  EXPECT_EQ(textSortOrderFor(jet3(), t2), TextSortOrder::General97);
  EXPECT_EQ(textSortOrderFor(jet4(), t2), TextSortOrder::GeneralLegacy);
  t2.sortVersion = 1;
  EXPECT_EQ(textSortOrderFor(ace14(), t2), TextSortOrder::General);
  t2.sortOrder = 1049;
  EXPECT_EQ(textSortOrderFor(ace14(), t2), TextSortOrder::Unsupported);
  Bytes out;
  try {
    appendKeyColumn(ace14(), t2, true, Value::text("x"), out);
    FAIL() << "unsupported collation accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kNotSupported);
  }
  try {
    appendKeyColumn(ace14(), def.columns[0], true, Value::text("x"), out);
    FAIL() << "text accepted as a Long key";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kDataTypeMismatch);
  }
}

// Byte order of keys is value order (reversed for descending), Null first
// ascending and last descending, for every numeric type.
TEST(IndexKeyEncoding, ByteOrderIsValueOrder) {
  using namespace jet;
  std::mt19937_64 rng(12345);
  struct T {
    uint8_t raw;
    DataType type;
    std::function<Value(double)> make;
  };
  std::vector<T> types = {
      {coltype::kByte, DataType::Byte, [](double x) { return Value::byte(static_cast<uint8_t>(static_cast<int64_t>(std::fabs(x)) % 256)); }},
      {coltype::kInt, DataType::Integer, [](double x) { return Value::integer(static_cast<int16_t>(std::fmod(x, 30000))); }},
      {coltype::kLong, DataType::Long, [](double x) { return Value::longInt(static_cast<int32_t>(x)); }},
      {coltype::kBigInt, DataType::BigInt, [](double x) { return Value::bigInt(static_cast<int64_t>(x) * 1000003); }},
      {coltype::kMoney, DataType::Currency, [](double x) { return Value::currency(static_cast<int64_t>(x * 10000)); }},
      {coltype::kFloat, DataType::Single, [](double x) { return Value::single(static_cast<float>(x / 7)); }},
      {coltype::kDouble, DataType::Double, [](double x) { return Value::dbl(x / 3); }},
      {coltype::kDateTime, DataType::DateTime, [](double x) { return Value::dateTime(x / 1000); }},
  };
  std::uniform_real_distribution<double> dist(-2e6, 2e6);
  for (const Format* f : {&jet4(), &ace14()}) {
    for (const auto& t : types) {
      SCOPED_TRACE(dataTypeName(t.type));
      auto col = makeColumn(t.raw, t.type);
      std::vector<Value> vals = {Value(), t.make(0), t.make(1), t.make(-1)};
      for (int i = 0; i < 200; ++i) vals.push_back(t.make(dist(rng)));
      auto numeric = [](const Value& v) { return v.isNull() ? -INFINITY : v.toDouble(); };
      for (bool asc : {true, false}) {
        for (size_t i = 0; i < vals.size(); ++i) {
          for (size_t j = i + 1; j < vals.size(); j += 7) {
            double a = numeric(vals[i]), b = numeric(vals[j]);
            int c = compareKeys(keyOf(*f, col, asc, vals[i]), keyOf(*f, col, asc, vals[j]));
            int want = a < b ? -1 : (a > b ? 1 : 0);
            if (!asc) want = -want;
            ASSERT_EQ(c, want) << vals[i].display() << " vs " << vals[j].display();
          }
        }
      }
    }
    // Decimal: descending order is only right from 2007 on.
    auto dec = makeColumn(coltype::kNumeric, DataType::Decimal, 3);
    std::vector<__int128> ms = {0, 1, -1, 999, -999, 123456789, -123456789, (__int128)1 << 100, -((__int128)1 << 100)};
    for (bool asc : {true, false}) {
      if (!asc && f == &jet4()) continue;
      for (auto a : ms)
        for (auto b : ms) {
          int c = compareKeys(keyOf(*f, dec, asc, decimalValue(a, 3)), keyOf(*f, dec, asc, decimalValue(b, 3)));
          int want = a < b ? -1 : (a > b ? 1 : 0);
          EXPECT_EQ(c, asc ? want : -want);
        }
    }
  }
}

// ---------------------------------------------------------------------------
// Every index of every fixture.

namespace {

struct SweepStats {
  size_t indexes = 0, entries = 0, keysCompared = 0, textKeys = 0;
};

void checkDatabaseIndexes(jet::Database& db, const std::string& rel, SweepStats& st) {
  for (const auto* t : db.tables(true)) {
    if (!t->isTable()) continue;
    auto def = db.table(*t);
    for (const auto& ix : def->indexes) {
      SCOPED_TRACE(rel + " / " + def->name + " / " + ix.name);
      const jet::RealIndex& real = def->realOf(ix);
      ++st.indexes;
      std::vector<Entry> entries;
      ASSERT_NO_THROW(entries = allEntries(db, real));
      st.entries += entries.size();

      // (c) ascending order; (key, row) pairs strictly.
      for (size_t i = 1; i < entries.size(); ++i) {
        ASSERT_LE(jet::compareKeys(entries[i - 1].key, entries[i].key), 0) << "entry " << i;
        ASSERT_LT(jet::compareEntries(entries[i - 1].key, entries[i - 1].row, entries[i].key, entries[i].row), 0);
      }

      // (a) exactly the live rows, each once; (b) keys rebuilt from the rows.
      std::map<uint32_t, const Entry*> byRow;
      for (const auto& e : entries) ASSERT_TRUE(byRow.emplace(e.row.packed(), &e).second) << "row listed twice";
      bool canKey = jet::canEncodeKey(db.format(), *def, real);
      bool hasText = false;
      for (const auto& ic : real.columns) {
        uint8_t rt = def->columns[ic.column].rawType;
        hasText |= rt == jet::coltype::kText || rt == jet::coltype::kMemo;
      }
      EXPECT_TRUE(canKey) << "keys of this index cannot be built";
      auto scan = db.scan(def->name);
      size_t rows = 0, skipped = 0;
      while (scan->next()) {
        const auto& vals = scan->values();
        auto it = byRow.find(scan->rowId().packed());
        if (real.ignoreNulls() && jet::keyIsAllNull(*def, real, vals)) {
          EXPECT_TRUE(it == byRow.end()) << "null key listed although nulls are ignored";
          ++skipped;
          continue;
        }
        ++rows;
        ASSERT_TRUE(it != byRow.end()) << "row " << scan->rowId().page << ":" << scan->rowId().row << " missing";
        if (canKey) {
          Bytes expect = jet::encodeIndexKey(db.format(), *def, real, vals);
          EXPECT_EQ(hexOf(it->second->key), hexOf(expect))
              << "row " << scan->rowId().page << ":" << scan->rowId().row;
          ++st.keysCompared;
          if (hasText) ++st.textKeys;
        }
      }
      EXPECT_EQ(rows, entries.size()) << "entries that point to no live row";
      // The integrity check agrees.
      auto problems = jet::checkIndex(db, *def, ix);
      EXPECT_TRUE(problems.empty()) << problems.front();
    }
  }
}

}  // namespace

TEST(IndexFixtures, EveryIndexHoldsExactlyTheTableRowsWithTheProductsKeys) {
  SKIP_WITHOUT_SHARED();
  // Fixtures that must be readable and have keys to compare.
  const std::set<std::string> required = {
      "jet3/indexTestV1997.mdb", "jet4/indexTestV2000.mdb", "jet4/testIndexPropertiesV2000.mdb",
      "ace/indexTestV2010.accdb", "jet3/compIndexTestV1997.mdb", "jet4/compIndexTestV2000.mdb",
      "jet4/testUnicodeCompV2003.mdb", "ace/testEmoticonsV2010.accdb", "jet4/fixedTextTestV2000.mdb"};
  size_t opened = 0;
  for (const auto& rel : testsupport::allFixtures()) {
    SCOPED_TRACE(rel);
    std::unique_ptr<jet::Database> db;
    db = openFixture(rel);
    ++opened;
    SweepStats st;
    checkDatabaseIndexes(*db, rel, st);
    if (required.count(rel)) {
      EXPECT_GT(st.keysCompared, 0u);
    }
    std::printf("  %-40s %3zu indexes %6zu entries %6zu keys (%zu text)\n", rel.c_str(), st.indexes, st.entries,
                st.keysCompared, st.textKeys);
  }
  EXPECT_GT(opened, 30u);
}

// A large table: a tree with intermediate levels and long leaf chains.
TEST(IndexFixtures, LargeTableIndexesAreConsistent) {
  SKIP_WITHOUT_SHARED();
  std::string path = testsupport::sharedDir() + "/bench/big200k.mdb";
  if (!jet::fileExists(path)) GTEST_SKIP() << "bench/big200k.mdb is absent";
  auto db = jet::Database::open(path);
  auto def = db->table("Big");
  ASSERT_EQ(def->indexes.size(), 3u);
  for (const auto& ix : def->indexes) {
    SCOPED_TRACE(ix.name);
    auto problems = jet::checkIndex(*db, *def, ix);
    EXPECT_TRUE(problems.empty()) << problems.front();
    size_t n = 0;
    jet::IndexCursor c(*db, def->realOf(ix));
    while (c.next()) ++n;
    EXPECT_EQ(n, 200000u);
  }
}

// ---------------------------------------------------------------------------
// Seeks.

namespace {

// Checks seek and seekPast against a linear search for the given key.
void expectSeek(jet::Database& db, const jet::RealIndex& ix, const std::vector<Entry>& all, const Bytes& key) {
  auto atOrAfter = std::find_if(all.begin(), all.end(), [&](const Entry& e) { return jet::compareKeys(e.key, key) >= 0; });
  auto past = std::find_if(all.begin(), all.end(), [&](const Entry& e) {
    return jet::compareKeys(e.key, key) > 0 && !jet::keyStartsWith(e.key, key);
  });
  jet::IndexCursor c(db, ix);
  c.seek(key);
  if (atOrAfter == all.end()) {
    EXPECT_FALSE(c.next()) << hexOf(key);
  } else {
    ASSERT_TRUE(c.next()) << hexOf(key);
    EXPECT_EQ(c.rowId(), atOrAfter->row) << hexOf(key);
    // Walking on from there yields the rest in order.
    size_t rest = 1;
    while (c.next()) ++rest;
    EXPECT_EQ(rest, static_cast<size_t>(all.end() - atOrAfter));
  }
  c.seekPast(key);
  if (past == all.end()) {
    EXPECT_FALSE(c.next()) << hexOf(key);
  } else {
    ASSERT_TRUE(c.next()) << hexOf(key);
    EXPECT_EQ(c.rowId(), past->row) << hexOf(key);
  }
}

}  // namespace

TEST(IndexCursor, SeekFindsTheFirstEntryAtOrAfterAKey) {
  SKIP_WITHOUT_SHARED();
  for (const char* rel : {"jet4/compIndexTestV2000.mdb", "jet3/compIndexTestV1997.mdb", "ace/testEmoticonsV2010.accdb",
                          "jet4/testIndexPropertiesV2000.mdb"}) {
    SCOPED_TRACE(rel);
    auto db = openFixture(rel);
    for (const auto* t : db->tables(true)) {
      if (!t->isTable()) continue;
      auto def = db->table(*t);
      for (const auto& ix : def->indexes) {
        const auto& real = def->realOf(ix);
        auto all = allEntries(*db, real);
        if (all.empty()) continue;
        for (size_t i = 0; i < all.size(); i += std::max<size_t>(1, all.size() / 60)) {
          Bytes k = all[i].key;
          expectSeek(*db, real, all, k);
          // Between entries: one byte less, or one byte more.
          Bytes shorter(k.begin(), k.end() - (k.size() > 1 ? 1 : 0));
          expectSeek(*db, real, all, shorter);
          Bytes longer = k;
          longer.push_back(0xFF);
          expectSeek(*db, real, all, longer);
        }
        expectSeek(*db, real, all, B({0x00}));
        expectSeek(*db, real, all, B({0xFF, 0xFF}));
      }
    }
  }
  // A key prefix on a two-column index: ParentId then Name in MSysObjects.
  auto db = openFixture("jet4/testV2000.mdb");
  auto def = db->table("MSysObjects");
  for (const auto& ix : def->indexes) {
    const auto& real = def->realOf(ix);
    if (real.columns.size() != 2) continue;
    auto all = allEntries(*db, real);
    auto scan = db->scan("MSysObjects");
    std::map<int64_t, size_t> perParent;
    int parentCol = real.columns[0].column;
    while (scan->next()) ++perParent[scan->value(parentCol).asInt()];
    ASSERT_GT(perParent.size(), 1u);
    for (const auto& [parent, count] : perParent) {
      Bytes prefix = jet::encodeIndexKeyValues(db->format(), *def, real, {Value::longInt(static_cast<int32_t>(parent))});
      jet::IndexCursor c(*db, real);
      c.seek(prefix);
      size_t n = 0;
      while (c.next() && jet::keyStartsWith(c.key(), prefix)) ++n;
      EXPECT_EQ(n, count) << "ParentId " << parent;
      expectSeek(*db, real, all, prefix);
    }
  }
}

// ---------------------------------------------------------------------------
// Damaged index pages give error 3049, never a crash or an endless loop.

namespace {

struct DamageCase {
  std::string what;
  std::function<void(std::vector<uint8_t>& file, uint32_t pageSize, uint32_t root, uint32_t leaf, const jet::Format&)>
      damage;
};

}  // namespace

TEST(IndexDamage, BrokenPagesAreReportedAsCorrupt) {
  SKIP_WITHOUT_SHARED();
  for (const char* rel : {"jet4/compIndexTestV2000.mdb", "jet3/compIndexTestV1997.mdb"}) {
    SCOPED_TRACE(rel);
    const std::string path = testsupport::fixture(rel);
    uint32_t root = 0, leaf = 0, pageSize = 0;
    {
      auto db = jet::Database::open(path);
      ASSERT_FALSE(db->header().encrypted);
      auto def = db->table("Table1");
      root = def->realOf(def->indexes.at(0)).rootPage;
      jet::IndexCursor c(*db, def->realOf(def->indexes.at(0)));
      ASSERT_TRUE(c.next());
      leaf = c.leafPage();
      pageSize = db->format().pageSize;
    }
    ASSERT_NE(root, leaf) << "the index should have an intermediate level";
    const std::vector<uint8_t> original = readAll(path);
    auto put32 = [](std::vector<uint8_t>& f, size_t at, uint32_t v) { jet::put32(f.data() + at, v); };
    std::vector<DamageCase> cases = {
        {"leaf chain loops back to itself",
         [&](auto& f, uint32_t ps, uint32_t, uint32_t lf, const jet::Format& fmt) { put32(f, lf * ps + fmt.offIndexNext, lf); }},
        {"leaf chain points past the end of the file",
         [&](auto& f, uint32_t ps, uint32_t, uint32_t lf, const jet::Format& fmt) {
           put32(f, lf * ps + fmt.offIndexNext, static_cast<uint32_t>(f.size() / ps + 10));
         }},
        {"intermediate entry points to its own page",
         [&](auto& f, uint32_t ps, uint32_t rt, uint32_t, const jet::Format& fmt) {
           // The first entry's child pointer: last 4 bytes of the first entry.
           const uint8_t* mask = f.data() + rt * ps + fmt.offIndexBitmask;
           size_t end = 0;
           while (!(mask[end / 8] & (1 << (end % 8)))) ++end;
           size_t at = rt * ps + fmt.offIndexEntries + end - 4;
           f[at] = uint8_t(rt >> 24); f[at + 1] = uint8_t(rt >> 16); f[at + 2] = uint8_t(rt >> 8); f[at + 3] = uint8_t(rt);
         }},
        {"leaf is not an index page",
         [&](auto& f, uint32_t ps, uint32_t, uint32_t lf, const jet::Format&) { f[lf * ps] = 0x01; }},
        {"entry mask marks an entry beyond the page",
         [&](auto& f, uint32_t ps, uint32_t, uint32_t lf, const jet::Format& fmt) {
           f[lf * ps + fmt.offIndexEntries - 1] |= 0x80;
         }},
        {"shared prefix longer than the first entry",
         [&](auto& f, uint32_t ps, uint32_t, uint32_t lf, const jet::Format& fmt) {
           f[lf * ps + fmt.offIndexPrefixLen] = 0xFF;
         }},
    };
    for (const auto& dc : cases) {
      SCOPED_TRACE(dc.what);
      std::vector<uint8_t> bytes = original;
      auto probe = jet::Database::open(jet::memoryFile(bytes, true));
      dc.damage(bytes, pageSize, root, leaf, probe->format());
      auto db = jet::Database::open(jet::memoryFile(bytes, true));
      auto def = db->table("Table1");
      const auto& ix = def->indexes.at(0);
      try {
        jet::IndexCursor c(*db, def->realOf(ix));
        while (c.next()) {
        }
        FAIL() << "damage not noticed";
      } catch (const jet::Error& e) {
        EXPECT_EQ(e.number(), jet::err::kCorrupt) << e.what();
      }
      auto problems = jet::checkIndex(*db, *def, ix);
      EXPECT_FALSE(problems.empty());
    }

    // Random damage anywhere in the index's pages: errors only.
    std::mt19937 rng(7);
    for (int round = 0; round < 150; ++round) {
      std::vector<uint8_t> bytes = original;
      uint32_t pg = (round % 2) ? root : leaf;
      for (int k = 0; k < 4; ++k) bytes[pg * pageSize + rng() % pageSize] = static_cast<uint8_t>(rng());
      auto db = jet::Database::open(jet::memoryFile(bytes, true));
      auto def = db->table("Table1");
      const auto& ix = def->indexes.at(0);
      try {
        jet::IndexCursor c(*db, def->realOf(ix));
        size_t n = 0;
        while (c.next()) ASSERT_LT(++n, 100000u);
        c.seek(B({0x7F, 0x80}));
        c.next();
      } catch (const jet::Error& e) {
        EXPECT_EQ(e.number(), jet::err::kCorrupt) << e.what();
      }
      (void)jet::checkIndex(*db, *def, ix);
    }
  }
}
