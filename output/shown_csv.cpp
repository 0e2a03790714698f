#include "output/shown_csv.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "output/csv_writer.h"

namespace output {

using jet::DataType;
using jet::Value;

namespace {

template <typename Int>
void appendInt(std::string& buf, Int n) {
  char tmp[24];
  auto r = std::to_chars(tmp, tmp + sizeof tmp, n);
  buf.append(tmp, static_cast<size_t>(r.ptr - tmp));
}

void appendTwo(std::string& buf, int n) {
  buf.push_back(static_cast<char>('0' + n / 10));
  buf.push_back(static_cast<char>('0' + n % 10));
}

// digits significant digits, correctly rounded; an exponent ("E+dd") when
// the decimal exponent is digits or more, or below -digits.
void appendNumber(std::string& buf, double v, int digits) {
  if (std::isnan(v)) { buf += "NaN"; return; }
  if (std::isinf(v)) { buf += v < 0 ? "-Infinity" : "Infinity"; return; }
  if (v == 0) { buf.push_back('0'); return; }
  char tmp[48];
  // [-]d.ddddde[+-]xx
  auto res = std::to_chars(tmp, tmp + sizeof tmp, v, std::chars_format::scientific, digits - 1);
  const char* p = tmp;
  const char* end = res.ptr;
  const bool neg = *p == '-';
  if (neg) ++p;
  const char* e = static_cast<const char*>(std::memchr(p, 'e', static_cast<size_t>(end - p)));
  int exp = 0;
  std::from_chars(e + (e[1] == '+' ? 2 : 1), end, exp);
  char mant[32];
  int m = 0;
  for (const char* q = p; q < e; ++q)
    if (*q != '.') mant[m++] = *q;
  if (neg) buf.push_back('-');
  if (exp >= digits || exp < -digits) {
    int last = m;
    while (last > 1 && mant[last - 1] == '0') --last;
    buf.push_back(mant[0]);
    if (last > 1) {
      buf.push_back('.');
      buf.append(mant + 1, static_cast<size_t>(last - 1));
    }
    buf.push_back('E');
    buf.push_back(exp < 0 ? '-' : '+');
    int a = exp < 0 ? -exp : exp;
    if (a < 10) buf.push_back('0');
    appendInt(buf, a);
    return;
  }
  const int point = exp + 1;  // digits before the decimal point
  int last = m;
  while (last > 1 && mant[last - 1] == '0' && last > point) --last;
  if (point <= 0) {
    buf += "0.";
    buf.append(static_cast<size_t>(-point), '0');
    buf.append(mant, static_cast<size_t>(last));
  } else if (point >= last) {
    buf.append(mant, static_cast<size_t>(last));
    buf.append(static_cast<size_t>(point - last), '0');
  } else {
    buf.append(mant, static_cast<size_t>(point));
    buf.push_back('.');
    buf.append(mant + point, static_cast<size_t>(last - point));
  }
}

void appendTime(std::string& buf, int h, int mi, int s) {
  appendInt(buf, h % 12 == 0 ? 12 : h % 12);
  buf.push_back(':');
  appendTwo(buf, mi);
  buf.push_back(':');
  appendTwo(buf, s);
  buf += h < 12 ? " AM" : " PM";
}

void appendDate(std::string& buf, double serial) {
  int y, mo, d, h, mi, s;
  if (!jet::serialToParts(serial, y, mo, d, h, mi, s)) return;
  const bool hasTime = h || mi || s;
  const bool timeOnly = serial > -1 && serial < 1;
  if (timeOnly) {
    appendTime(buf, h, mi, s);
    return;
  }
  appendInt(buf, mo);
  buf.push_back('/');
  appendInt(buf, d);
  buf.push_back('/');
  appendInt(buf, y);
  if (hasTime) {
    buf.push_back(' ');
    appendTime(buf, h, mi, s);
  }
}

// A scaled decimal without the zeros that end its fraction (nor a bare point).
void appendTrimmedScaled(std::string& buf, __int128 mantissa, int scale) {
  const size_t from = buf.size();
  jet::appendScaled(buf, mantissa, scale);
  if (buf.find('.', from) == std::string::npos) return;
  while (buf.back() == '0') buf.pop_back();
  if (buf.back() == '.') buf.pop_back();
}

}  // namespace

bool appendShownCsvValue(std::string& buf, const Value& v) {
  switch (v.type()) {
    case DataType::Null: return true;
    case DataType::Boolean: buf += v.asBool() ? "True" : "False"; return true;
    case DataType::Byte: case DataType::Integer: case DataType::Long: case DataType::BigInt:
      appendInt(buf, v.asInt());
      return true;
    case DataType::Currency: appendTrimmedScaled(buf, v.asInt(), 4); return true;
    case DataType::Single: appendNumber(buf, v.asDouble(), 7); return true;
    case DataType::Double: appendNumber(buf, v.asDouble(), 15); return true;
    case DataType::DateTime: appendDate(buf, v.asDouble()); return true;
    case DataType::Decimal: {
      const jet::Decimal d = v.asDecimal();
      appendTrimmedScaled(buf, d.mantissa, d.scale);
      return true;
    }
    case DataType::GUID: buf += jet::formatGuid(v.bytes()); return true;
    case DataType::Text: case DataType::Memo: case DataType::ExtDateTime:
      appendCsvField(buf, v.bytes());
      return true;
    default: return false;
  }
}

}  // namespace output
