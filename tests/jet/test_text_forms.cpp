// The text forms every output shares: numbers to n significant digits,
// dates, scaled decimals, and stored text encodings.
#include <gtest/gtest.h>

#include "jet/dump.h"
#include "jet/text.h"
#include "jet/value.h"

TEST(TextForms, SignificantDigitsWithoutExponent) {
  EXPECT_EQ(jet::formatSignificant(444.555, 17), "444.55500000000001");
  EXPECT_EQ(jet::formatSignificant(1234.5677f, 9), "1234.56775");
  EXPECT_EQ(jet::formatSignificant(0.5, 9), "0.5");
  EXPECT_EQ(jet::formatSignificant(0, 17), "0");
  EXPECT_EQ(jet::formatSignificant(-2.5e-7, 9), "-0.00000025");
  EXPECT_EQ(jet::formatSignificant(1e20, 17), "100000000000000000000");
  EXPECT_EQ(jet::formatSignificant(123456789012.0, 9), "123456789000");
}

TEST(TextForms, DatesIncludingBeforeTheEpochAndRounding) {
  EXPECT_EQ(jet::formatDateTime(0), "1899-12-30 00:00:00");
  EXPECT_EQ(jet::formatDateTime(27293), "1974-09-21 00:00:00");
  EXPECT_EQ(jet::formatDateTime(2.5), "1900-01-01 12:00:00");
  // Before 1899-12-30 the day counts back but the time still runs forward.
  EXPECT_EQ(jet::formatDateTime(-1.25), "1899-12-29 06:00:00");
  // 23:59:59.6 rounds to the next day, not to 24:00:00.
  EXPECT_EQ(jet::formatDateTime(1 - 0.4 / 86400), "1899-12-31 00:00:00");
  double serial = jet::partsToSerial(2024, 2, 29, 13, 45, 30);
  EXPECT_EQ(jet::formatDateTime(serial), "2024-02-29 13:45:30");
  EXPECT_EQ(jet::formatDateTime(1e300), "#invalid date#");
}

TEST(TextForms, ScaledDecimals) {
  EXPECT_EQ(jet::formatScaled(35000, 4), "3.5000");
  EXPECT_EQ(jet::formatScaled(-5, 4), "-0.0005");
  EXPECT_EQ(jet::formatScaled(0, 0), "0");
  __int128 big = static_cast<__int128>(1) << 100;
  EXPECT_EQ(jet::formatScaled(-big, 2), "-12676506002282294014967032053.76");
}

TEST(TextForms, DumpCellsEscapeAndSummarise) {
  EXPECT_EQ(jet::dumpCell(jet::Value()), "NULL");
  EXPECT_EQ(jet::dumpCell(jet::Value::text("a\tb\\c\nd\re")), "a\\tb\\\\c\\nd\\re");
  EXPECT_EQ(jet::dumpCell(jet::Value::binary("123456789")), "bin:9:cbf43926");  // the CRC-32 check value
  std::array<uint8_t, 16> g{0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
  EXPECT_EQ(jet::dumpCell(jet::Value::guid(g)), "{00112233-4455-6677-8899-AABBCCDDEEFF}");
}

TEST(TextForms, StoredTextEncodingsRoundTrip) {
  std::u16string s = u"Grüße, Ελλάδα 😉";
  std::string utf8 = jet::utf16ToUtf8(s);
  EXPECT_EQ(jet::utf8ToUtf16(utf8), s);
  for (bool compress : {false, true}) {
    std::string stored = jet::encodeUcs2Text(s, compress);
    jet::ByteView v(reinterpret_cast<const uint8_t*>(stored.data()), stored.size());
    EXPECT_EQ(jet::decodeUcs2TextUtf8(v), utf8);
  }
  // Latin-1 text compresses to one byte per character after FF FE.
  std::string latin = jet::encodeUcs2Text(u"Résumé", true);
  EXPECT_EQ(latin.size(), 8u);
  jet::ByteView lv(reinterpret_cast<const uint8_t*>(latin.data()), latin.size());
  EXPECT_EQ(jet::decodeUcs2TextUtf8(lv), "Résumé");
  // Code page 1252 for Jet 3 text, including its 0x80-0x9F block.
  std::string cp = "\x80 \x93quoted\x94";
  jet::ByteView cv(reinterpret_cast<const uint8_t*>(cp.data()), cp.size());
  EXPECT_EQ(jet::utf16ToUtf8(jet::decodeCodePageText(cv, 1252)), "€ “quoted”");
  EXPECT_EQ(jet::encodeCodePageText(jet::decodeCodePageText(cv, 1252), 1252), cp);
}

TEST(TextForms, NamesCompareWithoutRegardToCase) {
  EXPECT_TRUE(jet::equalsNoCase("Order Details", "ORDER details"));
  EXPECT_TRUE(jet::equalsNoCase("Größe", "GRÖSSE") || jet::equalsNoCase("Größe", "GRÖßE"));
  EXPECT_FALSE(jet::equalsNoCase("Table1", "Table2"));
  EXPECT_TRUE(jet::lessNoCase("apple", "Banana"));
}
