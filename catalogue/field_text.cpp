#include "catalogue/field_text.h"

#include <cmath>
#include <limits>

#include "sql/convert.h"

namespace dao {

namespace {

[[noreturn]] void conversionError() { throw Error(jet::err::kTypeConversion, "Data type conversion error."); }
[[noreturn]] void overflowError() { throw Error(jet::err::kNumericOverflow, "Numeric field overflow."); }

std::string trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

double number(const std::string& text) {
  auto d = sql::parseNumber(text);
  if (!d) conversionError();
  return *d;
}

int64_t integral(const std::string& text, int64_t lo, int64_t hi) {
  double d = sql::roundHalfEven(number(text), 0);
  if (!(d >= static_cast<double>(lo) && d <= static_cast<double>(hi))) overflowError();
  return static_cast<int64_t>(d);
}

// "-12.345" exactly, without going through a binary fraction.
Value decimalFromText(const std::string& text) {
  std::string t = trimmed(text);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
  jet::Decimal d;
  d.precision = 28;
  bool digits = false, point = false;
  for (; i < t.size(); ++i) {
    char c = t[i];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') conversionError();
    digits = true;
    if (d.mantissa > (std::numeric_limits<__int128>::max() - 9) / 10) overflowError();
    d.mantissa = d.mantissa * 10 + (c - '0');
    if (point) {
      if (d.scale == 28) overflowError();
      ++d.scale;
    }
  }
  if (!digits) conversionError();
  if (negative) d.mantissa = -d.mantissa;
  return Value::decimal(d);
}

}  // namespace

bool textEditable(int16_t type) {
  switch (static_cast<jet::DataType>(type)) {
    case jet::DataType::Boolean:
    case jet::DataType::Byte:
    case jet::DataType::Integer:
    case jet::DataType::Long:
    case jet::DataType::Currency:
    case jet::DataType::Single:
    case jet::DataType::Double:
    case jet::DataType::DateTime:
    case jet::DataType::Text:
    case jet::DataType::Memo:
    case jet::DataType::BigInt:
    case jet::DataType::Decimal:
      return true;
    default:
      return false;
  }
}

Value valueFromText(const std::string& text, int16_t type) {
  using jet::DataType;
  const auto t = static_cast<DataType>(type);
  if (t == DataType::Text || t == DataType::Memo) {
    if (text.empty()) return Value::null();
    return Value::text(text, t);
  }
  if (trimmed(text).empty()) return Value::null();
  try {
    switch (t) {
      case DataType::Boolean:
        return Value::boolean(sql::toBool(Value::text(trimmed(text))));
      case DataType::Byte:
        return Value::byte(static_cast<uint8_t>(integral(text, 0, 255)));
      case DataType::Integer:
        return Value::integer(static_cast<int16_t>(integral(text, -32768, 32767)));
      case DataType::Long:
        return Value::longInt(static_cast<int32_t>(integral(text, INT32_MIN, INT32_MAX)));
      case DataType::BigInt:
        return Value::bigInt(integral(text, -9007199254740992LL, 9007199254740992LL));
      case DataType::Currency:
        return Value::currency(sql::toCurrencyUnits(Value::text(trimmed(text))));
      case DataType::Single: {
        double d = number(text);
        if (std::fabs(d) > std::numeric_limits<float>::max()) overflowError();
        return Value::single(static_cast<float>(d));
      }
      case DataType::Double:
        return Value::dbl(number(text));
      case DataType::DateTime:
        return Value::dateTime(sql::toDate(Value::text(trimmed(text))));
      case DataType::Decimal:
        return decimalFromText(text);
      default:
        throw Error(err::kReadOnlyRecordset, "Field cannot be updated.");
    }
  } catch (const Error& e) {
    if (e.number() == jet::err::kDataTypeMismatch) conversionError();
    throw;
  }
}

}  // namespace dao
