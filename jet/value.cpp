#include "jet/value.h"

#include <cmath>

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

std::string Value::display() const { return canonicalText(*this); }

}  // namespace jet
