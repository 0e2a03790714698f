// Date/Time Extended values: the stored 42-byte form read and written for the
// whole range (0001-01-01 to 9999-12-31, 100 ns steps), the engine's text of
// a value, conversions from text and Date/Time values on the write path,
// refusals of invalid values, and index keys that sort as the dates in both
// directions.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "jet/dump.h"
#include "jet/error.h"
#include "jet/ext_datetime.h"
#include "jet/format.h"
#include "jet/index_key.h"
#include "jet/row_encoder.h"
#include "jet/tabledef.h"
#include "support/test_support.h"

using testsupport::errorOf;

namespace {

jet::Column extColumn() {
  jet::Column c;
  c.name = "When";
  c.rawType = jet::coltype::kExtDateTime;
  c.length = 42;
  c.flags = jet::colflag::kFixed;
  return c;
}

std::string readBack(const std::string& stored) {
  auto v = jet::parseStoredExtDateTime(
      jet::ByteView(reinterpret_cast<const uint8_t*>(stored.data()), stored.size()));
  return v ? jet::extDateTimeText(*v) : "invalid";
}

}  // namespace

TEST(ExtDateTime, StoredFormReadAndWrittenOverTheWholeRange) {
  const auto& fmt = jet::formatFor(jet::Version::Ace16);
  const jet::Column col = extColumn();
  struct Case {
    const char* text;
    const char* stored;
  } cases[] = {
      {"0001-01-01 00:00:00", "0000000000000000000:0000000000000000000:7"},
      {"1899-12-30 00:00:00", "0000000000000693593:0000000000000000000:7"},
      {"2024-02-29 13:45:30.1234567", "0000000000000738944:0000000495301234567:7"},
      {"9999-12-31 23:59:59.9999999", "0000000000003652058:0000000863999999999:7"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    jet::Value v = jet::coerceValue(fmt, col, jet::Value::text(c.text));
    EXPECT_EQ(v.type(), jet::DataType::ExtDateTime);
    EXPECT_EQ(v.display(), c.text);
    std::string stored = jet::encodeCellBytes(fmt, 0, col, v);
    ASSERT_EQ(stored.size(), jet::kExtDateTimeSize);
    EXPECT_EQ(stored, std::string(c.stored) + std::string(1, '\0'));
    EXPECT_EQ(readBack(stored), c.text);
    EXPECT_EQ(jet::dumpCell(v), c.text);
  }
  // The fraction is shown only when it is not zero; a date alone is midnight.
  EXPECT_EQ(jet::coerceValue(fmt, col, jet::Value::text("1999-12-31")).display(), "1999-12-31 00:00:00");
  EXPECT_EQ(jet::coerceValue(fmt, col, jet::Value::text("2000-01-01 00:00:00.5")).display(),
            "2000-01-01 00:00:00.5000000");
  // From a Date/Time value (days since 1899-12-30, fraction = time of day).
  EXPECT_EQ(jet::coerceValue(fmt, col, jet::Value::dateTime(45000.75)).display(), "2023-03-15 18:00:00");
  EXPECT_EQ(jet::coerceValue(fmt, col, jet::Value::dateTime(-1.5)).display(), "1899-12-29 12:00:00");
}

TEST(ExtDateTime, InvalidValuesAreRefused) {
  const auto& fmt = jet::formatFor(jet::Version::Ace16);
  const jet::Column col = extColumn();
  for (const char* bad : {"0000-01-01", "10000-01-01", "2023-02-29", "2023-13-01", "2023-01-01 24:00:00",
                          "2023-01-01 10:00:00.12345678", "tomorrow", ""}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(jet::err::kTypeConversion, errorOf([&] { jet::coerceValue(fmt, col, jet::Value::text(bad)); }));
  }
  EXPECT_EQ(jet::err::kTypeConversion, errorOf([&] { jet::coerceValue(fmt, col, jet::Value::dateTime(3e6)); }));
  // Damaged stored bytes are not a value.
  EXPECT_EQ(readBack("0000000000003652059:0000000000000000000:7"), "invalid");
  EXPECT_EQ(readBack("0000000000000000001:0000000864000000000:7"), "invalid");
  EXPECT_EQ(readBack("00000000000000000x1:0000000000000000000:7"), "invalid");
  EXPECT_EQ(readBack("short"), "invalid");
}

TEST(ExtDateTime, IndexKeysSortAsTheDatesInBothDirections) {
  const auto& fmt = jet::formatFor(jet::Version::Ace16);
  const jet::Column col = extColumn();
  const std::vector<std::string> ordered = {"0001-01-01 00:00:00", "0099-12-31 23:59:59.9999999",
                                            "1899-12-30 00:00:00", "1899-12-30 00:00:00.0000001",
                                            "2024-02-29 13:45:30", "9999-12-31 23:59:59.9999999"};
  for (bool asc : {true, false}) {
    std::vector<std::vector<uint8_t>> keys;
    for (const auto& t : ordered) {
      std::vector<uint8_t> k;
      jet::appendKeyColumn(fmt, col, asc, jet::coerceValue(fmt, col, jet::Value::text(t)), k);
      keys.push_back(k);
    }
    for (size_t i = 1; i < keys.size(); ++i) {
      SCOPED_TRACE(ordered[i]);
      if (asc) EXPECT_LT(keys[i - 1], keys[i]);
      else EXPECT_GT(keys[i - 1], keys[i]);
    }
  }
  EXPECT_TRUE(jet::canEncodeKeyColumn(fmt, col));
}
