// One cell value: Null or a value of one of the data engine's column types.
// Type codes are the data engine's numeric field types (1 Boolean … 12 Memo,
// 15 GUID, 16 Big Integer, 20 Decimal, 26 extended date/time, 101 complex).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "jet/value_text.h"

namespace jet {

enum class DataType : uint8_t {
  Null = 0,
  Boolean = 1,
  Byte = 2,
  Integer = 3,
  Long = 4,
  Currency = 5,
  Single = 6,
  Double = 7,
  DateTime = 8,
  Binary = 9,
  Text = 10,
  OLE = 11,
  Memo = 12,
  GUID = 15,
  BigInt = 16,
  Decimal = 20,
  ExtDateTime = 26,
  Complex = 101,
};

const char* dataTypeName(DataType t);  // "Boolean", "Long", … for messages

// A decimal: 128-bit two's-complement mantissa scaled by 10^-scale.
struct Decimal {
  __int128 mantissa = 0;
  uint8_t scale = 0;
  uint8_t precision = 18;
};

class Value {
 public:
  Value() = default;  // Null

  static Value null() { return Value(); }
  static Value boolean(bool b) { Value v(DataType::Boolean); v.i_ = b ? 1 : 0; return v; }
  static Value byte(uint8_t b) { Value v(DataType::Byte); v.i_ = b; return v; }
  static Value integer(int16_t n) { Value v(DataType::Integer); v.i_ = n; return v; }
  static Value longInt(int32_t n) { Value v(DataType::Long); v.i_ = n; return v; }
  static Value bigInt(int64_t n) { Value v(DataType::BigInt); v.i_ = n; return v; }
  // Currency as an integer count of 1/10000 units.
  static Value currency(int64_t scaled) { Value v(DataType::Currency); v.i_ = scaled; return v; }
  static Value single(float f) { Value v(DataType::Single); v.d_ = f; return v; }
  static Value dbl(double d) { Value v(DataType::Double); v.d_ = d; return v; }
  // Date/Time as the product stores it: days since 1899-12-30, fraction = time.
  static Value dateTime(double d) { Value v(DataType::DateTime); v.d_ = d; return v; }
  static Value text(std::string utf8, DataType t = DataType::Text) {
    Value v(t); v.s_ = std::move(utf8); return v;
  }
  static Value memo(std::string utf8) { return text(std::move(utf8), DataType::Memo); }
  static Value binary(std::string bytes, DataType t = DataType::Binary) {
    Value v(t); v.s_ = std::move(bytes); return v;
  }
  static Value guid(const std::array<uint8_t, 16>& raw);
  static Value decimal(const Decimal& d);
  static Value complex(int32_t id) { Value v(DataType::Complex); v.i_ = id; return v; }

  DataType type() const { return type_; }
  bool isNull() const { return type_ == DataType::Null; }
  bool isText() const { return type_ == DataType::Text || type_ == DataType::Memo; }
  bool isBinary() const { return type_ == DataType::Binary || type_ == DataType::OLE; }
  bool isIntegral() const;
  bool isNumeric() const;  // integral, currency, single, double, decimal

  bool asBool() const { return i_ != 0; }
  int64_t asInt() const { return i_; }       // integral types, currency (scaled), complex
  double asDouble() const { return d_; }     // single, double, date/time
  const std::string& bytes() const { return s_; }  // text (UTF-8), binary, GUID raw
  Decimal asDecimal() const;

  // Numeric value as double for any numeric type (Currency unscaled).
  double toDouble() const;

  // The engine's canonical text of the value (jet::canonicalText: ISO dates,
  // no exponents). Not what the grid shows: that is jet::displayText.
  std::string display() const;

  bool operator==(const Value& o) const;
  bool operator!=(const Value& o) const { return !(*this == o); }

 private:
  explicit Value(DataType t) : type_(t) {}
  DataType type_ = DataType::Null;
  uint8_t scale_ = 0;
  uint8_t precision_ = 0;
  int64_t i_ = 0;
  double d_ = 0;
  __int128 dec_ = 0;
  std::string s_;
};

}  // namespace jet
