#include "jet/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace jet {

const char* dataTypeName(DataType t) {
  switch (t) {
    case DataType::Null: return "Null";
    case DataType::Boolean: return "Boolean";
    case DataType::Byte: return "Byte";
    case DataType::Integer: return "Integer";
    case DataType::Long: return "Long";
    case DataType::Currency: return "Currency";
    case DataType::Single: return "Single";
    case DataType::Double: return "Double";
    case DataType::DateTime: return "Date/Time";
    case DataType::Binary: return "Binary";
    case DataType::Text: return "Text";
    case DataType::OLE: return "OLE Object";
    case DataType::Memo: return "Memo";
    case DataType::GUID: return "GUID";
    case DataType::BigInt: return "Big Integer";
    case DataType::Decimal: return "Decimal";
    case DataType::ExtDateTime: return "Date/Time Extended";
    case DataType::Complex: return "Complex";
  }
  return "Unknown";
}

Value Value::guid(const std::array<uint8_t, 16>& raw) {
  Value v(DataType::GUID);
  v.s_.assign(reinterpret_cast<const char*>(raw.data()), 16);
  return v;
}

Value Value::decimal(const Decimal& d) {
  Value v(DataType::Decimal);
  v.dec_ = d.mantissa;
  v.scale_ = d.scale;
  v.precision_ = d.precision;
  return v;
}

Decimal Value::asDecimal() const {
  Decimal d;
  d.mantissa = dec_;
  d.scale = scale_;
  d.precision = precision_;
  return d;
}

bool Value::isIntegral() const {
  switch (type_) {
    case DataType::Boolean: case DataType::Byte: case DataType::Integer:
    case DataType::Long: case DataType::BigInt:
      return true;
    default:
      return false;
  }
}

bool Value::isNumeric() const {
  return isIntegral() || type_ == DataType::Currency || type_ == DataType::Single ||
         type_ == DataType::Double || type_ == DataType::Decimal;
}

double Value::toDouble() const {
  switch (type_) {
    case DataType::Boolean: return i_ ? -1.0 : 0.0;
    case DataType::Byte: case DataType::Integer: case DataType::Long:
    case DataType::BigInt: case DataType::Complex:
      return static_cast<double>(i_);
    case DataType::Currency: return static_cast<double>(i_) / 10000.0;
    case DataType::Single: case DataType::Double: case DataType::DateTime:
    case DataType::ExtDateTime:
      return d_;
    case DataType::Decimal: return static_cast<double>(dec_) / std::pow(10.0, scale_);
    default: return 0;
  }
}

bool Value::operator==(const Value& o) const {
  if (type_ != o.type_) return false;
  switch (type_) {
    case DataType::Null: return true;
    case DataType::Single: case DataType::Double: case DataType::DateTime:
      return d_ == o.d_ || (std::isnan(d_) && std::isnan(o.d_));
    case DataType::Decimal: return dec_ == o.dec_ && scale_ == o.scale_;
    case DataType::Text: case DataType::Memo: case DataType::Binary: case DataType::OLE:
    case DataType::GUID: case DataType::ExtDateTime:
      return s_ == o.s_;
    default: return i_ == o.i_;
  }
}

bool serialToParts(double serial, int& y, int& mo, int& d, int& h, int& mi, int& s) {
  if (!std::isfinite(serial) || serial < -700000 || serial > 3000000) return false;
  // The product stores negative dates as -(days) + fraction, where the
  // fraction is still the time of day going forward.
  double whole = std::trunc(serial);
  double frac = std::fabs(serial - whole);
  int64_t totalSec = std::llround(frac * 86400.0);
  int64_t days = static_cast<int64_t>(whole);
  if (totalSec >= 86400) { totalSec -= 86400; days += (serial < 0 ? -1 : 1); }
  // days since 1899-12-30 -> civil date (algorithm on days since 1970-01-01).
  int64_t z = days - 25569 + 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t yy = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t dd = doy - (153 * mp + 2) / 5 + 1;
  int64_t mm = mp < 10 ? mp + 3 : mp - 9;
  if (mm <= 2) ++yy;
  y = static_cast<int>(yy);
  mo = static_cast<int>(mm);
  d = static_cast<int>(dd);
  h = static_cast<int>(totalSec / 3600);
  mi = static_cast<int>((totalSec / 60) % 60);
  s = static_cast<int>(totalSec % 60);
  return true;
}

double partsToSerial(int y, int mo, int d, int h, int mi, int s) {
  int64_t yy = y - (mo <= 2 ? 1 : 0);
  int64_t era = (yy >= 0 ? yy : yy - 399) / 400;
  int64_t yoe = yy - era * 400;
  int64_t mp = mo > 2 ? mo - 3 : mo + 9;
  int64_t doy = (153 * mp + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  int64_t days = era * 146097 + doe - 719468 + 25569;
  double frac = (h * 3600.0 + mi * 60.0 + s) / 86400.0;
  if (days < 0) return static_cast<double>(days) - frac;
  return static_cast<double>(days) + frac;
}

std::string formatDateTime(double serial) {
  std::string out;
  appendDateTime(out, serial);
  return out;
}

void appendDateTime(std::string& out, double serial) {
  int y, mo, d, h, mi, s;
  if (!serialToParts(serial, y, mo, d, h, mi, s) || y < 0 || y > 9999) {
    out += "#invalid date#";
    return;
  }
  char buf[19];
  auto two = [](char* p, int v) { p[0] = static_cast<char>('0' + v / 10); p[1] = static_cast<char>('0' + v % 10); };
  two(buf, y / 100);
  two(buf + 2, y % 100);
  buf[4] = '-';
  two(buf + 5, mo);
  buf[7] = '-';
  two(buf + 8, d);
  buf[10] = ' ';
  two(buf + 11, h);
  buf[13] = ':';
  two(buf + 14, mi);
  buf[16] = ':';
  two(buf + 17, s);
  out.append(buf, 19);
}

std::string formatSignificant(double v, int digits) {
  std::string out;
  appendSignificant(out, v, digits);
  return out;
}

void appendSignificant(std::string& out, double v, int digits) {
  if (std::isnan(v)) { out += "NaN"; return; }
  if (std::isinf(v)) { out += v < 0 ? "-Infinity" : "Infinity"; return; }
  if (v == 0) { out += "0"; return; }
  char buf[64];
  // d.ddddde[+-]xx, correctly rounded.
  auto res = std::to_chars(buf, buf + sizeof buf - 1, v, std::chars_format::scientific, digits - 1);
  *res.ptr = '\0';
  const char* p = buf;
  const char* end = res.ptr;
  bool neg = *p == '-';
  if (neg) ++p;
  const char* e = static_cast<const char*>(std::memchr(p, 'e', static_cast<size_t>(end - p)));
  int exp = std::atoi(e + 1);
  char mant[40];
  int m = 0;
  for (const char* q = p; q < e; ++q)
    if (*q != '.') mant[m++] = *q;
  // Drop trailing zeros of the significand; they never matter after the point.
  int point = exp + 1;  // digits before the decimal point
  int last = m;
  while (last > 1 && mant[last - 1] == '0' && last > point) --last;
  if (neg) out.push_back('-');
  if (point <= 0) {
    out += "0.";
    out.append(static_cast<size_t>(-point), '0');
    out.append(mant, static_cast<size_t>(last));
  } else if (point >= last) {
    out.append(mant, static_cast<size_t>(last));
    out.append(static_cast<size_t>(point - last), '0');
  } else {
    out.append(mant, static_cast<size_t>(point));
    out.push_back('.');
    out.append(mant + point, static_cast<size_t>(last - point));
  }
}

std::string formatScaled(__int128 m, int scale) {
  std::string out;
  appendScaled(out, m, scale);
  return out;
}

void appendScaled(std::string& out, __int128 m, int scale) {
  bool neg = m < 0;
  unsigned __int128 u = neg ? static_cast<unsigned __int128>(-(m + 1)) + 1
                            : static_cast<unsigned __int128>(m);
  char digits[64];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + static_cast<int>(u % 10));
    u /= 10;
  } while (u && n < 60);
  while (n <= scale && n < 60) digits[n++] = '0';  // at least one digit before the point
  if (neg) out.push_back('-');
  for (int i = n - 1; i >= 0; --i) {
    out.push_back(digits[i]);
    if (i == scale && scale > 0) out.push_back('.');
  }
}

std::string formatGuid(const std::string& raw) {
  if (raw.size() != 16) return "{}";
  const auto* b = reinterpret_cast<const uint8_t*>(raw.data());
  char buf[64];
  std::snprintf(buf, sizeof buf,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11],
                b[12], b[13], b[14], b[15]);
  return buf;
}

std::string Value::display() const {
  switch (type_) {
    case DataType::Null: return "";
    case DataType::Boolean: return i_ ? "True" : "False";
    case DataType::Byte: case DataType::Integer: case DataType::Long: case DataType::BigInt:
      return std::to_string(i_);
    case DataType::Complex: return std::to_string(i_);
    case DataType::Currency: return formatScaled(i_, 4);
    case DataType::Single: return formatSignificant(d_, 7);
    case DataType::Double: return formatSignificant(d_, 15);
    case DataType::DateTime: {
      int y, mo, d, h, mi, s;
      if (!serialToParts(d_, y, mo, d, h, mi, s)) return "#invalid date#";
      char buf[40];
      if (h == 0 && mi == 0 && s == 0)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, mo, d);
      else if (d_ > -1 && d_ < 1)
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, mi, s);
      else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
      return buf;
    }
    case DataType::ExtDateTime: return s_;
    case DataType::Text: case DataType::Memo: return s_;
    case DataType::Binary: case DataType::OLE: {
      static const char* hex = "0123456789ABCDEF";
      std::string out = "0x";
      size_t n = s_.size() < 64 ? s_.size() : 64;
      for (size_t i = 0; i < n; ++i) {
        auto c = static_cast<uint8_t>(s_[i]);
        out.push_back(hex[c >> 4]);
        out.push_back(hex[c & 15]);
      }
      if (n < s_.size()) out += "…";
      return out;
    }
    case DataType::GUID: return formatGuid(s_);
    case DataType::Decimal: return formatScaled(dec_, scale_);
  }
  return "";
}

}  // namespace jet
