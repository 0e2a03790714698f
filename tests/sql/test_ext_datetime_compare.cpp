// Date/Time Extended values in queries: compared as dates with each other,
// with Date/Time values and with date text, sorted in date order, and
// converted to Date/Time serials.
#include <gtest/gtest.h>

#include "jet/error.h"
#include "jet/value.h"
#include "sql/convert.h"
#include "sql/ops.h"

using jet::DataType;
using jet::Value;

namespace {
Value ext(const char* s) { return Value::text(s, DataType::ExtDateTime); }
}  // namespace

TEST(ExtDateTimeSql, ComparedAsDates) {
  EXPECT_LT(sql::compareValues(ext("0099-12-31 23:59:59"), ext("1899-12-30 00:00:00"), sql::generalCollation()), 0);
  EXPECT_LT(sql::compareValues(ext("2024-01-01 00:00:00"), ext("2024-01-01 00:00:00.0000001"), sql::generalCollation()), 0);
  EXPECT_EQ(sql::compareValues(ext("2024-01-01 12:00:00"), ext("2024-01-01 12:00:00"), sql::generalCollation()), 0);
  // Against Date/Time: 45000.5 is 2023-03-15 12:00.
  EXPECT_EQ(sql::compareValues(ext("2023-03-15 12:00:00"), Value::dateTime(45000.5), sql::generalCollation()), 0);
  EXPECT_GT(sql::compareValues(ext("2023-03-15 12:00:00.0000001"), Value::dateTime(45000.5), sql::generalCollation()), 0);
  EXPECT_LT(sql::compareValues(Value::dateTime(45000.5), ext("9999-01-01 00:00:00"), sql::generalCollation()), 0);
  // Against text in the date form.
  EXPECT_GT(sql::compareValues(ext("2023-03-15 12:00:00"), Value::text("2023-03-15"), sql::generalCollation()), 0);
  EXPECT_LT(sql::compareValues(Value::text("2023-03-15 11:59:59"), ext("2023-03-15 12:00:00"), sql::generalCollation()), 0);
  EXPECT_THROW(sql::compareValues(ext("2023-03-15 12:00:00"), Value::text("not a date"), sql::generalCollation()), jet::Error);
  // Sorting keeps date order.
  EXPECT_LT(sql::compareForSort(ext("0001-01-01 00:00:00"), ext("0002-01-01 00:00:00"), sql::generalCollation()), 0);
  EXPECT_GT(sql::compareForSort(ext("2000-01-01 00:00:00.5"), ext("2000-01-01 00:00:00"), sql::generalCollation()), 0);
  EXPECT_DOUBLE_EQ(sql::toDate(ext("2023-03-15 18:00:00")), 45000.75);
  EXPECT_DOUBLE_EQ(sql::toDate(ext("1899-12-29 12:00:00")), -1.5);
}
