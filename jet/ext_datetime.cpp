#include "jet/ext_datetime.h"

#include <cmath>
#include <cstdio>

namespace jet {

namespace {

constexpr int64_t kTicksPerDay = 864000000000LL;
// Days from 0001-01-01 to 1899-12-30 (the Date/Time serial's day 0).
constexpr int64_t kSerialEpochDays = 693593;
constexpr int64_t kMaxDays = 3652058;  // 9999-12-31

// Proleptic Gregorian day numbers (days since 0001-01-01); 719162 is the
// number of days from 0001-01-01 to 1970-01-01, the civil algorithm's base.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468 + 719162;
}

void civilFromDays(int64_t days, int64_t& y, unsigned& m, unsigned& d) {
  const int64_t z = days - 719162 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += m <= 2;
}

bool digits(std::string_view s, size_t pos, size_t n, int64_t& out) {
  if (pos + n > s.size()) return false;
  out = 0;
  for (size_t i = 0; i < n; ++i) {
    char c = s[pos + i];
    if (c < '0' || c > '9') return false;
    out = out * 10 + (c - '0');
  }
  return true;
}

}  // namespace

std::optional<ExtDateTime> parseStoredExtDateTime(ByteView b) {
  if (b.size < 39) return std::nullopt;
  std::string_view s(reinterpret_cast<const char*>(b.data), b.size);
  ExtDateTime v;
  if (!digits(s, 0, 19, v.days) || s[19] != ':' || !digits(s, 20, 19, v.ticks)) return std::nullopt;
  if (v.days > kMaxDays || v.ticks >= kTicksPerDay) return std::nullopt;
  return v;
}

std::string storedExtDateTime(const ExtDateTime& v) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%019lld:%019lld:7", static_cast<long long>(v.days),
                static_cast<long long>(v.ticks));
  std::string out(buf);
  out.push_back('\0');
  return out;
}

std::optional<ExtDateTime> parseExtDateTimeText(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  ExtDateTime v;
  size_t pos = 0;
  int64_t y, mo, d;
  if (s.size() >= 10 && s[4] == '-') {
    if (!digits(s, 0, 4, y) || !digits(s, 5, 2, mo) || s[7] != '-' || !digits(s, 8, 2, d)) return std::nullopt;
    if (y < 1 || mo < 1 || mo > 12 || d < 1) return std::nullopt;
    static const int kMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (d > kMonth[mo - 1] + (mo == 2 && leap ? 1 : 0)) return std::nullopt;
    v.days = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d));
    pos = 10;
    if (pos == s.size()) return v;
    if (s[pos] != ' ' && s[pos] != 'T') return std::nullopt;
    ++pos;
  }
  int64_t h, mi, sec;
  if (!digits(s, pos, 2, h) || pos + 2 >= s.size() || s[pos + 2] != ':' || !digits(s, pos + 3, 2, mi) ||
      pos + 5 >= s.size() || s[pos + 5] != ':' || !digits(s, pos + 6, 2, sec))
    return std::nullopt;
  if (h > 23 || mi > 59 || sec > 59) return std::nullopt;
  pos += 8;
  int64_t frac = 0;
  if (pos < s.size()) {
    if (s[pos] != '.') return std::nullopt;
    size_t n = s.size() - pos - 1;
    if (n < 1 || n > 7 || !digits(s, pos + 1, n, frac)) return std::nullopt;
    for (size_t i = n; i < 7; ++i) frac *= 10;
  }
  v.ticks = ((h * 60 + mi) * 60 + sec) * 10000000LL + frac;
  return v;
}

std::string extDateTimeText(const ExtDateTime& v) {
  int64_t y;
  unsigned m, d;
  civilFromDays(v.days, y, m, d);
  const int64_t secs = v.ticks / 10000000LL, frac = v.ticks % 10000000LL;
  char buf[48];
  int n = std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02lld:%02lld:%02lld", static_cast<long long>(y), m, d,
                        static_cast<long long>(secs / 3600), static_cast<long long>(secs / 60 % 60),
                        static_cast<long long>(secs % 60));
  if (frac != 0) std::snprintf(buf + n, sizeof buf - n, ".%07lld", static_cast<long long>(frac));
  return buf;
}

std::optional<ExtDateTime> extDateTimeFromSerial(double serial) {
  if (!std::isfinite(serial)) return std::nullopt;
  // Before day 0 the whole part counts backwards while the fraction counts forwards.
  double whole = std::trunc(serial);
  double frac = std::fabs(serial - whole);
  int64_t ticks = std::llround(frac * static_cast<double>(kTicksPerDay));
  int64_t days = static_cast<int64_t>(whole) + kSerialEpochDays;
  if (ticks >= kTicksPerDay) {
    ticks -= kTicksPerDay;
    days += serial < 0 ? -1 : 1;
  }
  if (days < 0 || days > kMaxDays) return std::nullopt;
  return ExtDateTime{days, ticks};
}

double extDateTimeToSerial(const ExtDateTime& v) {
  double whole = static_cast<double>(v.days - kSerialEpochDays);
  double frac = static_cast<double>(v.ticks) / static_cast<double>(kTicksPerDay);
  return whole < 0 ? whole - frac : whole + frac;
}

}  // namespace jet
