// Conversion functions: Val, Str, CStr, CInt, CLng, CSng, CDbl, CCur, CDate,
// CBool, CByte, CVar, Hex, Oct.
#include <cctype>
#include <cmath>

#include "jet/error.h"
#include "sql/convert.h"
#include "sql/functions.h"

namespace sql {

using jet::DataType;
using jet::Value;

namespace {

Value fnVal(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) throw jet::Error(jet::err::kInvalidUseOfNull, "Invalid use of Null.");
  std::string s = toText(v);
  // The longest leading part that reads as a number; blanks, tabs and line
  // feeds are skipped anywhere in it.
  std::string clean;
  size_t i = 0;
  auto skip = [&] {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r')) ++i;
  };
  skip();
  if (i + 1 < s.size() && s[i] == '&' && (s[i + 1] == 'H' || s[i + 1] == 'h' || s[i + 1] == 'O' || s[i + 1] == 'o')) {
    bool hex = s[i + 1] == 'H' || s[i + 1] == 'h';
    i += 2;
    long long n = 0;
    bool any = false;
    while (i < s.size()) {
      char c = s[i];
      int d = -1;
      if (std::isdigit(static_cast<unsigned char>(c))) d = c - '0';
      else if (hex && std::isxdigit(static_cast<unsigned char>(c))) d = std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
      if (d < 0 || (!hex && d > 7)) break;
      n = n * (hex ? 16 : 8) + d;
      any = true;
      ++i;
    }
    if (!any) return Value::dbl(0);
    if (n <= 0xFFFF && n > 0x7FFF) n -= 0x10000;
    return Value::dbl(static_cast<double>(n));
  }
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) clean.push_back(s[i++]);
  bool dot = false, digits = false;
  for (;;) {
    skip();
    if (i >= s.size()) break;
    char c = s[i];
    if (std::isdigit(static_cast<unsigned char>(c))) { clean.push_back(c); digits = true; ++i; }
    else if (c == '.' && !dot) { clean.push_back(c); dot = true; ++i; }
    else break;
  }
  if (digits && i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    size_t save = i;
    std::string ex = "e";
    ++i;
    skip();
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ex.push_back(s[i++]);
    bool ed = false;
    for (;;) {
      skip();
      if (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) { ex.push_back(s[i++]); ed = true; }
      else break;
    }
    if (ed) clean += ex;
    else i = save;
  }
  if (!digits) return Value::dbl(0);
  return Value::dbl(std::strtod(clean.c_str(), nullptr));
}

Value fnStr(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  if (v.isText()) {
    auto d = parseNumber(v.bytes());
    if (!d) typeMismatch();
    v = Value::dbl(*d);
  }
  if (v.type() == DataType::DateTime || v.type() == DataType::Boolean) return Value::text(toText(v));
  std::string s = toText(v);
  if (!s.empty() && s[0] != '-') s = " " + s;
  return Value::text(s);
}

Value fnCStr(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  return Value::text(toText(v));
}

Value fnCInt(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  return Value::integer(static_cast<int16_t>(toIntegerChecked(toDouble(v), -32768, 32767)));
}

Value fnCLng(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  return Value::longInt(static_cast<int32_t>(toIntegerChecked(toDouble(v), INT32_MIN, INT32_MAX)));
}

Value fnCByte(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  return Value::byte(static_cast<uint8_t>(toIntegerChecked(toDouble(v), 0, 255)));
}

Value fnCSng(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  double d = toDouble(v);
  if (std::fabs(d) > 3.402823466e38) overflow();
  return Value::single(static_cast<float>(d));
}

Value fnCDbl(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  return Value::dbl(toDouble(v));
}

Value fnCCur(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  return Value::currency(toCurrencyUnits(v));
}

Value fnCDate(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  return Value::dateTime(toDate(v));
}

Value fnCBool(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  return Value::boolean(toBool(v));
}

Value fnCVar(CallArgs& a) { return a.get(0); }

Value fnCDec(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  if (v.type() == DataType::Decimal) return v;
  jet::Decimal d;
  double x = toDouble(v);
  // keep up to 10 decimals
  d.scale = 10;
  d.precision = 28;
  long double m = static_cast<long double>(x) * 1e10L;
  if (std::fabs(static_cast<double>(m)) > 1.5e38) overflow();
  d.mantissa = static_cast<__int128>(std::llroundl(m / 1.0L));
  while (d.scale > 0 && d.mantissa % 10 == 0) { d.mantissa /= 10; --d.scale; }
  return Value::decimal(d);
}

Value radix(CallArgs& a, int base) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  int64_t n = toIntegerChecked(toDouble(v), INT32_MIN, INT32_MAX);
  uint32_t u = static_cast<uint32_t>(n);
  if (n < 0 && n >= -32768 && v.type() == DataType::Integer) u &= 0xFFFF;
  std::string s;
  do {
    int d = static_cast<int>(u % static_cast<uint32_t>(base));
    s.insert(s.begin(), static_cast<char>(d < 10 ? '0' + d : 'A' + d - 10));
    u /= static_cast<uint32_t>(base);
  } while (u);
  return Value::text(s);
}
Value fnHex(CallArgs& a) { return radix(a, 16); }
Value fnOct(CallArgs& a) { return radix(a, 8); }

DataType sameAsArg(const std::vector<DataType>& t) { return firstArgType(t); }

}  // namespace

void registerConversionFunctions(std::vector<FunctionDef>& r) {
  addFunction(r, {"Val", 1, 1, fnVal, DataType::Double});
  addFunction(r, {"Str", 1, 1, fnStr, DataType::Text});
  addFunction(r, {"CStr", 1, 1, fnCStr, DataType::Text});
  addFunction(r, {"CInt", 1, 1, fnCInt, DataType::Integer});
  addFunction(r, {"CLng", 1, 1, fnCLng, DataType::Long});
  addFunction(r, {"CByte", 1, 1, fnCByte, DataType::Byte});
  addFunction(r, {"CSng", 1, 1, fnCSng, DataType::Single});
  addFunction(r, {"CDbl", 1, 1, fnCDbl, DataType::Double});
  addFunction(r, {"CCur", 1, 1, fnCCur, DataType::Currency});
  addFunction(r, {"CDate", 1, 1, fnCDate, DataType::DateTime});
  addFunction(r, {"CVDate", 1, 1, fnCDate, DataType::DateTime});
  addFunction(r, {"CBool", 1, 1, fnCBool, DataType::Boolean});
  addFunction(r, {"CVar", 1, 1, fnCVar, DataType::Text, sameAsArg});
  addFunction(r, {"CDec", 1, 1, fnCDec, DataType::Decimal});
  addFunction(r, {"Hex", 1, 1, fnHex, DataType::Text});
  addFunction(r, {"Oct", 1, 1, fnOct, DataType::Text});
}

}  // namespace sql
