// Text given for a field (an import's CSV, an edit) becomes the field's
// value: dates in the export's form and the general forms, whole numbers,
// Yes/No words, and the texts that are refused (3421).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "jet/error.h"
#include "jet/format.h"
#include "jet/row_encoder.h"
#include "jet/tabledef.h"
#include "jet/value.h"

namespace {

jet::Column column(uint8_t raw, jet::DataType t) {
  jet::Column c;
  c.name = "F";
  c.rawType = raw;
  c.type = t;
  return c;
}

jet::Value from(const jet::Column& c, const std::string& text) {
  return jet::coerceValue(jet::formatFor(jet::Version::Jet4), c, jet::Value::text(text));
}

bool refused(const jet::Column& c, const std::string& text) {
  try {
    from(c, text);
  } catch (const jet::Error& e) {
    return e.number() == jet::err::kTypeConversion;
  }
  return false;
}

double serial(const std::string& text) {
  double s = -12345;
  EXPECT_TRUE(jet::parseDateText(text, s)) << text;
  return s;
}

}  // namespace

TEST(TextToValue, DatesInEveryFormReadTheSame) {
  // 2018-08-17 09:58:00 is day 43329 and 9h58 into it.
  const double want = 43329 + (9 * 3600 + 58 * 60) / 86400.0;
  EXPECT_DOUBLE_EQ(serial("2018-08-17 09:58:00"), want);
  EXPECT_DOUBLE_EQ(serial("  2018-08-17 09:58:00 "), want);
  EXPECT_DOUBLE_EQ(serial("2018-8-17 9:58:00"), want);
  EXPECT_DOUBLE_EQ(serial("8/17/2018 09:58:00"), want);
  EXPECT_DOUBLE_EQ(serial("2018-08-17 09:58"), want);
  EXPECT_DOUBLE_EQ(serial("2018-08-17"), 43329);
  EXPECT_DOUBLE_EQ(serial("1899-12-30"), 0);
  EXPECT_DOUBLE_EQ(serial("2000-02-29 23:59:59"), 36585 + 86399 / 86400.0);
  double s = 0;
  for (const char* bad : {"2018-02-30", "2019-02-29", "2018-13-01", "2018-00-10", "2018-08-17 24:00:00",
                          "2018-08-17 09:60:00", "2018-08-17 09:58:60", "0099-01-01",
                          "2018-08-17 09:58:00 x", "abcd-ef-gh"})
    EXPECT_FALSE(jet::parseDateText(bad, s)) << bad;
  auto c = column(jet::coltype::kDateTime, jet::DataType::DateTime);
  EXPECT_DOUBLE_EQ(from(c, "2018-08-17 09:58:00").asDouble(), want);
  EXPECT_TRUE(refused(c, "2018-02-30"));
}

TEST(TextToValue, WholeNumbersSignsAndLimits) {
  auto l = column(jet::coltype::kLong, jet::DataType::Long);
  EXPECT_EQ(from(l, "392236186").asInt(), 392236186);
  EXPECT_EQ(from(l, "-7822877").asInt(), -7822877);
  EXPECT_EQ(from(l, " +12 ").asInt(), 12);
  EXPECT_EQ(from(l, "007").asInt(), 7);
  EXPECT_EQ(from(l, "1e3").asInt(), 1000);
  EXPECT_EQ(from(l, "2.5").asInt(), 2);  // half to even
  EXPECT_EQ(from(l, "-2147483648").asInt(), -2147483648LL);
  EXPECT_TRUE(refused(l, "2147483648"));
  EXPECT_TRUE(refused(l, "12a"));
  EXPECT_TRUE(refused(l, "-"));
  EXPECT_TRUE(refused(l, "1 2"));
  auto i = column(jet::coltype::kInt, jet::DataType::Integer);
  EXPECT_EQ(from(i, "884").asInt(), 884);
  EXPECT_TRUE(refused(i, "32768"));
  auto d = column(jet::coltype::kDouble, jet::DataType::Double);
  EXPECT_TRUE(std::signbit(from(d, "-0").asDouble()));
  EXPECT_DOUBLE_EQ(from(d, "123456789012345").asDouble(), 123456789012345.0);
  EXPECT_DOUBLE_EQ(from(d, "1234567890123456789").asDouble(), 1234567890123456789.0);
  EXPECT_DOUBLE_EQ(from(d, "0.94207354302821278").asDouble(), 0.94207354302821278);
  EXPECT_DOUBLE_EQ(from(d, "true").asDouble(), -1);
}

TEST(TextToValue, YesNoWords) {
  auto b = column(jet::coltype::kBool, jet::DataType::Boolean);
  for (const char* yes : {"true", "TRUE", " Yes ", "on", "-1", "1", "2"}) EXPECT_TRUE(from(b, yes).asBool()) << yes;
  for (const char* no : {"false", "No", "OFF", "0", " 0 "}) EXPECT_FALSE(from(b, no).asBool()) << no;
  EXPECT_TRUE(refused(b, "maybe"));
  EXPECT_TRUE(refused(b, "truer"));
  EXPECT_TRUE(refused(b, "tr\xC3\xBC" "e"));
}
