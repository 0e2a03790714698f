// The text a value takes for each purpose (jet/value_text.h), worked out by
// hand: the engine's conversion (CStr, &, the grid), the grid's notes, the
// canonical form, the row dump, the CSV export and the query-language
// literal, side by side so that where they differ is plain.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "jet/value.h"
#include "jet/value_text.h"

namespace {

using jet::DataType;
using jet::Value;

// A literal the parser can never produce is not checked.
const char* const kNoLiteral = "<none>";

struct Case {
  const char* what;
  Value v;
  std::string text, display, canonical, dump, exported;
  std::string literal;
};

Value decimal(__int128 mantissa, uint8_t scale) {
  jet::Decimal d;
  d.mantissa = mantissa;
  d.scale = scale;
  return Value::decimal(d);
}

Value guid() {
  std::array<uint8_t, 16> g{0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                            0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  return Value::guid(g);
}

std::vector<Case> cases() {
  const double inf = std::numeric_limits<double>::infinity();
  const std::string g = "{00112233-4455-6677-8899-AABBCCDDEEFF}";
  const std::string ff64 = std::string("0x") + [] { std::string s; for (int i = 0; i < 64; ++i) s += "FF"; return s; }();
  return {
      {"Null", Value(), "", "", "", "NULL", "", "Null"},
      {"Boolean true", Value::boolean(true), "True", "True", "True", "true", "true", "True"},
      {"Boolean false", Value::boolean(false), "False", "False", "False", "false", "false", "False"},
      {"Byte 255", Value::byte(255), "255", "255", "255", "255", "255", "255"},
      {"Integer -32768", Value::integer(-32768), "-32768", "-32768", "-32768", "-32768", "-32768", "-32768"},
      // Beyond a double's 53 bits: never through a double.
      {"Big Integer 2^53+1", Value::bigInt(9007199254740993LL), "9007199254740993", "9007199254740993",
       "9007199254740993", "9007199254740993", "9007199254740993", "9007199254740993"},
      // Currency: the engine drops the fraction's trailing zeros, the stored forms keep 4 places.
      {"Currency -1.5", Value::currency(-15000), "-1.5", "-1.5", "-1.5000", "-1.5000", "-1.5000", "-1.5000"},
      {"Currency -0.0005", Value::currency(-5), "-0.0005", "-0.0005", "-0.0005", "-0.0005", "-0.0005", "-0.0005"},
      {"Currency 123", Value::currency(1230000), "123", "123", "123.0000", "123.0000", "123.0000", "123.0000"},
      {"Decimal 12.300", decimal(12300, 3), "12.3", "12.3", "12.300", "12.300", "12.300", "12.3"},
      // No point, so nothing is trimmed: 1000 stays 1000.
      {"Decimal 1000 scale 0", decimal(1000, 0), "1000", "1000", "1000", "1000", "1000", "1000"},
      {"Decimal -0.05", decimal(-5, 2), "-0.05", "-0.05", "-0.05", "-0.05", "-0.05", "-0.05"},
      // Single: 7 digits for people, 9 that read back exactly for the dump.
      {"Single 0.05", Value::single(0.05f), "0.05", "0.05", "0.05", "0.0500000007", "0.0500000007", kNoLiteral},
      {"Single 2^24", Value::single(16777216.0f), "1.677722E+07", "1.677722E+07", "16777220", "16777216",
       "16777216", kNoLiteral},
      {"Single 1e20", Value::single(1e20f), "1E+20", "1E+20", "100000000000000000000", "100000002000000000000",
       "100000002000000000000", kNoLiteral},
      // Double: an exponent from 1E+15 in the engine's text, never in the others.
      {"Double 1e16", Value::dbl(1e16), "1E+16", "1E+16", "10000000000000000", "10000000000000000",
       "10000000000000000", "1e+16"},
      {"Double 0.1", Value::dbl(0.1), "0.1", "0.1", "0.1", "0.10000000000000001", "0.10000000000000001", "0.1"},
      {"Double 3", Value::dbl(3), "3", "3", "3", "3", "3", "3.0"},
      {"Double 1.5e-16", Value::dbl(1.5e-16), "1.5E-16", "1.5E-16", "0.00000000000000015", "0.00000000000000015",
       "0.00000000000000015", "1.5e-16"},
      {"Double -0", Value::dbl(-0.0), "0", "0", "0", "0", "0", kNoLiteral},
      {"Double infinity", Value::dbl(inf), "Infinity", "Infinity", "Infinity", "Infinity", "Infinity", kNoLiteral},
      {"Double -infinity", Value::dbl(-inf), "-Infinity", "-Infinity", "-Infinity", "-Infinity", "-Infinity",
       kNoLiteral},
      {"Double NaN", Value::dbl(std::nan("")), "NaN", "NaN", "NaN", "NaN", "NaN", kNoLiteral},
      // Dates. Inside (-1, 1) the engine shows a time alone, midnight too;
      // the canonical form drops a midnight time first.
      {"midnight of day 0", Value::dateTime(0), "12:00:00 AM", "12:00:00 AM", "1899-12-30", "1899-12-30 00:00:00",
       "1899-12-30 00:00:00", "#12/30/1899#"},
      {"time 18:00", Value::dateTime(0.75), "6:00:00 PM", "6:00:00 PM", "18:00:00", "1899-12-30 18:00:00",
       "1899-12-30 18:00:00", "#12/30/1899 18:00:00#"},
      // Before 1899-12-30 the day counts back, the time still runs forward.
      {"-1.25", Value::dateTime(-1.25), "12/29/1899 6:00:00 AM", "12/29/1899 6:00:00 AM", "1899-12-29 06:00:00",
       "1899-12-29 06:00:00", "1899-12-29 06:00:00", "#12/29/1899 6:00:00#"},
      {"-1", Value::dateTime(-1), "12/29/1899", "12/29/1899", "1899-12-29", "1899-12-29 00:00:00",
       "1899-12-29 00:00:00", "#12/29/1899#"},
      {"-0.5 is noon of day 0", Value::dateTime(-0.5), "12:00:00 PM", "12:00:00 PM", "12:00:00",
       "1899-12-30 12:00:00", "1899-12-30 12:00:00", "#12/30/1899 12:00:00#"},
      {"year 100", Value::dateTime(jet::partsToSerial(100, 1, 1, 0, 0, 0)), "1/1/100", "1/1/100", "0100-01-01",
       "0100-01-01 00:00:00", "0100-01-01 00:00:00", "#1/1/0100#"},
      {"2023-03-15 18:00", Value::dateTime(45000.75), "3/15/2023 6:00:00 PM", "3/15/2023 6:00:00 PM",
       "2023-03-15 18:00:00", "2023-03-15 18:00:00", "2023-03-15 18:00:00", "#3/15/2023 18:00:00#"},
      // 23:59:59.6 rounds to the next midnight; the serial is still below 1.
      {"23:59:59.6", Value::dateTime(1 - 0.4 / 86400), "12:00:00 AM", "12:00:00 AM", "1899-12-31",
       "1899-12-31 00:00:00", "1899-12-31 00:00:00", "#12/31/1899#"},
      // Year 10000: readable for the engine, invalid for the dump.
      {"10000-01-01", Value::dateTime(2958466), "1/1/10000", "1/1/10000", "10000-01-01", "#invalid date#",
       "#invalid date#", "#1/1/10000#"},
      {"out of range", Value::dateTime(1e300), "", "", "#invalid date#", "#invalid date#", "#invalid date#", "Null"},
      // Date/Time Extended: its held text, to 100 ns, in every purpose.
      {"extended 100 ns", Value::text("0001-01-01 00:00:00.0000001", DataType::ExtDateTime),
       "0001-01-01 00:00:00.0000001", "0001-01-01 00:00:00.0000001", "0001-01-01 00:00:00.0000001",
       "0001-01-01 00:00:00.0000001", "0001-01-01 00:00:00.0000001", kNoLiteral},
      {"text with tab and quotes", Value::text("a\tb \"c\""), "a\tb \"c\"", "a\tb \"c\"", "a\tb \"c\"",
       "a\\tb \"c\"", "a\tb \"c\"", "\"a\tb \"\"c\"\"\""},
      {"memo with backslash and CR LF", Value::memo("x\\y\r\n"), "x\\y\r\n", "x\\y\r\n", "x\\y\r\n", "x\\\\y\\r\\n",
       "x\\y\r\n", "\"x\\y\r\n\""},
      {"GUID", guid(), g, g, g, g, g, g},
      {"binary", Value::binary(std::string("\x01\xAB", 2)), std::string("\x01\xAB", 2), "(binary data, 2 bytes)",
       "0x01AB", "bin:2:19c659de", "01ab", kNoLiteral},
      {"long binary", Value::binary(std::string(65, '\xFF'), DataType::OLE), std::string(65, '\xFF'),
       "(binary data, 65 bytes)", ff64 + "…", "bin:65:d4bb3b15", [] { std::string s; for (int i = 0; i < 65; ++i) s += "ff"; return s; }(),
       kNoLiteral},
      {"attachment or list", Value::complex(7), "7", "(attachment or list 7)", "7", "complex:7", "complex:7",
       kNoLiteral},
  };
}

TEST(ValueText, EachPurposeOnEachKindOfValue) {
  for (const Case& c : cases()) {
    EXPECT_EQ(jet::toText(c.v), c.text) << c.what;
    EXPECT_EQ(jet::displayText(c.v), c.display) << c.what;
    EXPECT_EQ(jet::canonicalText(c.v), c.canonical) << c.what;
    EXPECT_EQ(c.v.display(), c.canonical) << c.what;
    EXPECT_EQ(jet::dumpCell(c.v), c.dump) << c.what;
    EXPECT_EQ(jet::exportText(c.v), c.exported) << c.what;
    if (c.literal != kNoLiteral) {
      EXPECT_EQ(jet::literalText(c.v), c.literal) << c.what;
    }
    // The appending forms add to what is there and change nothing before it.
    std::string buf = "1.50,";
    jet::appendText(buf, c.v);
    EXPECT_EQ(buf, "1.50," + c.text) << c.what;
    buf = "1.50,";
    jet::appendExportText(buf, c.v);
    EXPECT_EQ(buf, "1.50," + c.exported) << c.what;
  }
}

TEST(ValueText, NumberTextSwitchesToAnExponentAtItsDigits) {
  EXPECT_EQ(jet::numberText(999999999999999.0), "999999999999999");
  EXPECT_EQ(jet::numberText(1e15), "1E+15");
  // Rounded to 15 digits first, then the exponent is chosen.
  EXPECT_EQ(jet::numberText(999999999999999.9), "1E+15");
  EXPECT_EQ(jet::numberText(123456789012345.6), "123456789012346");
  EXPECT_EQ(jet::numberText(1e-15), "0.000000000000001");
  EXPECT_EQ(jet::numberText(9.9e-16), "9.9E-16");
  EXPECT_EQ(jet::numberText(1e300), "1E+300");
  EXPECT_EQ(jet::numberText(-2.5e-300), "-2.5E-300");
  EXPECT_EQ(jet::numberText(9999999, true), "9999999");
  EXPECT_EQ(jet::numberText(1e7, true), "1E+07");
  EXPECT_EQ(jet::numberText(1e-7, true), "0.0000001");
  EXPECT_EQ(jet::numberText(-1.5e-8, true), "-1.5E-08");
}

TEST(ValueText, DateTextAndSerialParts) {
  EXPECT_EQ(jet::dateText(jet::partsToSerial(2024, 2, 29, 0, 0, 0)), "2/29/2024");
  EXPECT_EQ(jet::dateText(jet::partsToSerial(2024, 2, 29, 12, 5, 9)), "2/29/2024 12:05:09 PM");
  EXPECT_EQ(jet::dateText(jet::partsToSerial(2024, 2, 29, 0, 30, 0)), "2/29/2024 12:30:00 AM");
  EXPECT_EQ(jet::dateText(std::nan("")), "");
  int y, mo, d, h, mi, s;
  ASSERT_TRUE(jet::serialToParts(-1.25, y, mo, d, h, mi, s));
  EXPECT_EQ((std::array<int, 6>{y, mo, d, h, mi, s}), (std::array<int, 6>{1899, 12, 29, 6, 0, 0}));
  ASSERT_TRUE(jet::serialToParts(2958465.99999, y, mo, d, h, mi, s));  // 9999-12-31 23:59:59
  EXPECT_EQ((std::array<int, 6>{y, mo, d, h, mi, s}), (std::array<int, 6>{9999, 12, 31, 23, 59, 59}));
  EXPECT_FALSE(jet::serialToParts(std::numeric_limits<double>::infinity(), y, mo, d, h, mi, s));
  EXPECT_FALSE(jet::serialToParts(3000001, y, mo, d, h, mi, s));
  // Round trip through the parts, before and after day 0.
  for (double serial : {-700000.0, -1.25, 0.0, 0.5, 45000.75, 2958465.0}) {
    ASSERT_TRUE(jet::serialToParts(serial, y, mo, d, h, mi, s));
    EXPECT_DOUBLE_EQ(jet::partsToSerial(y, mo, d, h, mi, s), serial) << serial;
  }
}

TEST(ValueText, IsoDateTimeToTheMillisecondForOtherDatabases) {
  auto iso = [](double serial) {
    std::string out = "=";
    return jet::appendIsoDateTimeMillis(out, serial) ? out : std::string("refused");
  };
  EXPECT_EQ(iso(jet::partsToSerial(2000, 1, 1, 12, 0, 0) + 0.5 / 86400), "=2000-01-01 12:00:00.500");
  EXPECT_EQ(iso(-1.25), "=1899-12-29 06:00:00");
  // 23:59:59.9996 rounds to the next midnight, not 24:00:00.
  EXPECT_EQ(iso(1 - 0.0004 / 86400), "=1899-12-31 00:00:00");
  EXPECT_EQ(iso(jet::partsToSerial(1, 1, 1, 0, 0, 0)), "=0001-01-01 00:00:00");
  EXPECT_EQ(iso(jet::partsToSerial(0, 12, 31, 0, 0, 0)), "refused");
  EXPECT_EQ(iso(2958466), "refused");
  EXPECT_EQ(iso(std::nan("")), "refused");
}

TEST(ValueText, TrimmedScaledLooksOnlyAtWhatItAppends) {
  // A row buffer already holding a point must not make a whole number lose its zeros.
  std::string buf = "2.5,";
  jet::appendTrimmedScaled(buf, 100, 0);
  EXPECT_EQ(buf, "2.5,100");
  buf = "2.5,";
  jet::appendTrimmedScaled(buf, 1000, 2);
  EXPECT_EQ(buf, "2.5,10");
  EXPECT_EQ(jet::formatGuid("short"), "{}");
}

}  // namespace
