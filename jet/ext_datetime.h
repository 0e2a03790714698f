// Date/Time Extended (column type 0x14, shown as type 26): a date and time
// from 0001-01-01 to 9999-12-31 in steps of 100 ns. Stored as 42 ASCII
// bytes: 19 digits of days since 0001-01-01, ':', 19 digits of 100 ns ticks
// since midnight, ':7' and a 0 byte. The engine holds the value as its
// canonical text "yyyy-MM-dd HH:mm:ss", followed by ".fffffff" only when the
// fraction is not zero; that text sorts as the dates do.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "jet/bytes.h"

namespace jet {

constexpr size_t kExtDateTimeSize = 42;

struct ExtDateTime {
  int64_t days = 0;   // since 0001-01-01
  int64_t ticks = 0;  // 100 ns since midnight
  // One number in order of the dates: ticks since 0001-01-01 00:00.
  int64_t totalTicks() const { return days * 864000000000LL + ticks; }
};

// Stored bytes -> value; nullopt when the bytes are not a valid value.
std::optional<ExtDateTime> parseStoredExtDateTime(ByteView bytes);
std::string storedExtDateTime(const ExtDateTime& v);
// Text -> value: "yyyy-MM-dd", "yyyy-MM-dd HH:mm:ss" and up to 7 fraction
// digits; the time alone ("HH:mm:ss") counts from 0001-01-01. nullopt when
// not a valid date and time in range.
std::optional<ExtDateTime> parseExtDateTimeText(std::string_view text);
std::string extDateTimeText(const ExtDateTime& v);
// From / to the Date/Time serial (days since 1899-12-30); nullopt outside range.
std::optional<ExtDateTime> extDateTimeFromSerial(double serial);
double extDateTimeToSerial(const ExtDateTime& v);

}  // namespace jet
