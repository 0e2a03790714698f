#include "jet/value_text.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "jet/value.h"

namespace jet {

namespace {

template <typename Int>
void appendInt(std::string& out, Int n) {
  char tmp[24];
  auto r = std::to_chars(tmp, tmp + sizeof tmp, n);
  out.append(tmp, static_cast<size_t>(r.ptr - tmp));
}

void appendTwo(std::string& out, int n) {
  out.push_back(static_cast<char>('0' + n / 10));
  out.push_back(static_cast<char>('0' + n % 10));
}

// h:mm:ss AM
void appendTime12(std::string& out, int h, int mi, int s) {
  appendInt(out, h % 12 == 0 ? 12 : h % 12);
  out.push_back(':');
  appendTwo(out, mi);
  out.push_back(':');
  appendTwo(out, s);
  out += h < 12 ? " AM" : " PM";
}

// The parts of a value in its dump form that the dump and the export share:
// every type but Null, text and binary.
void appendDumpScalar(std::string& out, const Value& v) {
  switch (v.type()) {
    case DataType::Boolean: out += v.asBool() ? "true" : "false"; return;
    case DataType::Byte: case DataType::Integer: case DataType::Long: case DataType::BigInt:
      appendInt(out, v.asInt());
      return;
    case DataType::Currency: appendScaled(out, v.asInt(), 4); return;
    case DataType::Single: appendSignificant(out, v.asDouble(), 9); return;
    case DataType::Double: appendSignificant(out, v.asDouble(), 17); return;
    case DataType::DateTime: appendDateTime(out, v.asDouble()); return;
    case DataType::GUID: appendGuid(out, v.bytes()); return;
    case DataType::Decimal: {
      const Decimal d = v.asDecimal();
      appendScaled(out, d.mantissa, d.scale);
      return;
    }
    case DataType::Complex:
      out += "complex:";
      appendInt(out, v.asInt());
      return;
    default: return;
  }
}

}  // namespace

// ---------------------------------------------------------------- purposes

void appendText(std::string& out, const Value& v) {
  switch (v.type()) {
    case DataType::Null: return;
    case DataType::Boolean: out += v.asBool() ? "True" : "False"; return;
    case DataType::Byte: case DataType::Integer: case DataType::Long: case DataType::BigInt:
    case DataType::Complex:
      appendInt(out, v.asInt());
      return;
    case DataType::Currency: appendTrimmedScaled(out, v.asInt(), 4); return;
    case DataType::Single: appendNumberText(out, v.asDouble(), 7); return;
    case DataType::Double: appendNumberText(out, v.asDouble(), 15); return;
    case DataType::DateTime: appendDateText(out, v.asDouble()); return;
    case DataType::Decimal: {
      const Decimal d = v.asDecimal();
      appendTrimmedScaled(out, d.mantissa, d.scale);
      return;
    }
    case DataType::GUID: appendGuid(out, v.bytes()); return;
    case DataType::Text: case DataType::Memo: case DataType::Binary: case DataType::OLE:
    case DataType::ExtDateTime:
      out += v.bytes();
      return;
  }
}

std::string toText(const Value& v) {
  if (v.isText()) return v.bytes();
  std::string out;
  appendText(out, v);
  return out;
}

std::string displayText(const Value& v) {
  if (v.isBinary()) return "(binary data, " + std::to_string(v.bytes().size()) + " bytes)";
  if (v.type() == DataType::Complex) return "(attachment or list " + std::to_string(v.asInt()) + ")";
  return toText(v);
}

std::string canonicalText(const Value& v) {
  switch (v.type()) {
    case DataType::Null: return "";
    case DataType::Boolean: return v.asBool() ? "True" : "False";
    case DataType::Byte: case DataType::Integer: case DataType::Long: case DataType::BigInt:
    case DataType::Complex:
      return std::to_string(v.asInt());
    case DataType::Currency: return formatScaled(v.asInt(), 4);
    case DataType::Single: return formatSignificant(v.asDouble(), 7);
    case DataType::Double: return formatSignificant(v.asDouble(), 15);
    case DataType::DateTime: {
      const double serial = v.asDouble();
      int y, mo, d, h, mi, s;
      if (!serialToParts(serial, y, mo, d, h, mi, s)) return "#invalid date#";
      char buf[40];
      if (h == 0 && mi == 0 && s == 0)
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, mo, d);
      else if (serial > -1 && serial < 1)
        std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", h, mi, s);
      else
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
      return buf;
    }
    case DataType::Text: case DataType::Memo: case DataType::ExtDateTime: return v.bytes();
    case DataType::Binary: case DataType::OLE: {
      static const char* hex = "0123456789ABCDEF";
      const std::string& b = v.bytes();
      std::string out = "0x";
      size_t n = b.size() < 64 ? b.size() : 64;
      for (size_t i = 0; i < n; ++i) {
        auto c = static_cast<uint8_t>(b[i]);
        out.push_back(hex[c >> 4]);
        out.push_back(hex[c & 15]);
      }
      if (n < b.size()) out += "…";
      return out;
    }
    case DataType::GUID: return formatGuid(v.bytes());
    case DataType::Decimal: {
      const Decimal d = v.asDecimal();
      return formatScaled(d.mantissa, d.scale);
    }
  }
  return "";
}

std::string dumpCell(const Value& v) {
  std::string out;
  switch (v.type()) {
    case DataType::Null: return "NULL";
    case DataType::Text: case DataType::Memo: case DataType::ExtDateTime:
      out.reserve(v.bytes().size());
      appendDumpEscaped(out, v.bytes());
      return out;
    case DataType::Binary: case DataType::OLE: {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%08x", crc32(v.bytes()));
      return "bin:" + std::to_string(v.bytes().size()) + ":" + buf;
    }
    default:
      appendDumpScalar(out, v);
      return out;
  }
}

void appendExportText(std::string& out, const Value& v) {
  switch (v.type()) {
    case DataType::Null: return;
    case DataType::Text: case DataType::Memo: case DataType::ExtDateTime: out += v.bytes(); return;
    case DataType::Binary: case DataType::OLE: {
      static const char* hex = "0123456789abcdef";
      out.reserve(out.size() + v.bytes().size() * 2);
      for (unsigned char c : v.bytes()) {
        out.push_back(hex[c >> 4]);
        out.push_back(hex[c & 15]);
      }
      return;
    }
    default: appendDumpScalar(out, v); return;
  }
}

std::string exportText(const Value& v) {
  std::string out;
  appendExportText(out, v);
  return out;
}

std::string literalText(const Value& v) {
  switch (v.type()) {
    case DataType::Null: return "Null";
    case DataType::Boolean: return v.asBool() ? "True" : "False";
    case DataType::Text: case DataType::Memo: {
      std::string out = "\"";
      for (char c : v.bytes()) {
        if (c == '"') out += "\"\"";
        else out.push_back(c);
      }
      return out + "\"";
    }
    case DataType::DateTime: {
      int y, mo, d, h, mi, s;
      if (!serialToParts(v.asDouble(), y, mo, d, h, mi, s)) return "Null";
      char buf[64];
      if (h || mi || s)
        std::snprintf(buf, sizeof buf, "#%d/%d/%04d %d:%02d:%02d#", mo, d, y, h, mi, s);
      else
        std::snprintf(buf, sizeof buf, "#%d/%d/%04d#", mo, d, y);
      return buf;
    }
    case DataType::Single: case DataType::Double: {
      double d = v.toDouble();
      char buf[64];
      for (int prec = 15; prec <= 17; ++prec) {
        std::snprintf(buf, sizeof buf, "%.*g", prec, d);
        if (std::strtod(buf, nullptr) == d) break;
      }
      std::string s = buf;
      if (s.find_first_of(".eE") == std::string::npos) s += ".0";
      if (s.rfind("inf") != std::string::npos || s.rfind("nan") != std::string::npos) return "Null";
      return s;
    }
    case DataType::Currency: return formatScaled(v.asInt(), 4);
    default:
      if (v.isIntegral()) return std::to_string(v.asInt());
      return toText(v);
  }
}

bool appendIsoDateTimeMillis(std::string& out, double serial) {
  if (!std::isfinite(serial) || serial < -700000 || serial > 3000000) return false;
  double whole = std::trunc(serial);
  double frac = std::fabs(serial - whole);
  int64_t ms = std::llround(frac * 86400000.0);
  int64_t days = static_cast<int64_t>(whole);
  if (ms >= 86400000) { ms -= 86400000; days += serial < 0 ? -1 : 1; }
  int y, mo, d, h, mi, s;
  if (!serialToParts(static_cast<double>(days), y, mo, d, h, mi, s) || y < 1 || y > 9999) return false;
  int64_t sec = ms / 1000;
  char buf[40];
  int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, static_cast<int>(sec / 3600),
                        static_cast<int>(sec / 60 % 60), static_cast<int>(sec % 60));
  if (ms % 1000) n += std::snprintf(buf + n, sizeof buf - n, ".%03d", static_cast<int>(ms % 1000));
  out.append(buf, static_cast<size_t>(n));
  return true;
}

// -------------------------------------------------------------- primitives

std::string numberText(double v, bool single) {
  std::string out;
  appendNumberText(out, v, single ? 7 : 15);
  return out;
}

void appendNumberText(std::string& out, double v, int digits) {
  if (std::isnan(v)) { out += "NaN"; return; }
  if (std::isinf(v)) { out += v < 0 ? "-Infinity" : "Infinity"; return; }
  if (v == 0) { out.push_back('0'); return; }
  char tmp[48];
  // [-]d.ddddde[+-]xx, correctly rounded.
  auto res = std::to_chars(tmp, tmp + sizeof tmp, v, std::chars_format::scientific, digits - 1);
  const char* p = tmp;
  const char* end = res.ptr;
  const bool neg = *p == '-';
  if (neg) ++p;
  const char* e = static_cast<const char*>(std::memchr(p, 'e', static_cast<size_t>(end - p)));
  int exp = 0;
  std::from_chars(e + (e[1] == '+' ? 2 : 1), end, exp);
  if (exp < digits && exp >= -digits) {
    appendSignificant(out, v, digits);
    return;
  }
  char mant[32];
  int m = 0;
  for (const char* q = p; q < e; ++q)
    if (*q != '.') mant[m++] = *q;
  int last = m;
  while (last > 1 && mant[last - 1] == '0') --last;
  if (neg) out.push_back('-');
  out.push_back(mant[0]);
  if (last > 1) {
    out.push_back('.');
    out.append(mant + 1, static_cast<size_t>(last - 1));
  }
  out.push_back('E');
  out.push_back(exp < 0 ? '-' : '+');
  int a = exp < 0 ? -exp : exp;
  if (a < 10) out.push_back('0');
  appendInt(out, a);
}

std::string dateText(double serial) {
  std::string out;
  appendDateText(out, serial);
  return out;
}

void appendDateText(std::string& out, double serial) {
  int y, mo, d, h, mi, s;
  if (!serialToParts(serial, y, mo, d, h, mi, s)) return;
  if (serial > -1 && serial < 1) {  // a time alone, midnight included
    appendTime12(out, h, mi, s);
    return;
  }
  appendInt(out, mo);
  out.push_back('/');
  appendInt(out, d);
  out.push_back('/');
  appendInt(out, y);
  if (h || mi || s) {
    out.push_back(' ');
    appendTime12(out, h, mi, s);
  }
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

void appendTrimmedScaled(std::string& out, __int128 mantissa, int scale) {
  const size_t from = out.size();
  appendScaled(out, mantissa, scale);
  if (out.find('.', from) == std::string::npos) return;
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
}

std::string formatGuid(const std::string& raw) {
  std::string out;
  appendGuid(out, raw);
  return out;
}

void appendGuid(std::string& out, const std::string& raw) {
  if (raw.size() != 16) { out += "{}"; return; }
  static const char* hex = "0123456789ABCDEF";
  static const int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  char buf[38];
  int n = 0;
  buf[n++] = '{';
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) buf[n++] = '-';
    auto c = static_cast<uint8_t>(raw[static_cast<size_t>(kOrder[i])]);
    buf[n++] = hex[c >> 4];
    buf[n++] = hex[c & 15];
  }
  buf[n++] = '}';
  out.append(buf, static_cast<size_t>(n));
}

void appendDumpEscaped(std::string& out, const std::string& s) {
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out.push_back(c);
    }
  }
}

uint32_t crc32(const std::string& bytes) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t c = 0xFFFFFFFFu;
  for (unsigned char ch : bytes) c = table[(c ^ ch) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
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

}  // namespace jet
