#include "jet/calculated.h"

#include <cstring>

#include "jet/error.h"
#include "jet/row_encoder.h"
#include "jet/text.h"

namespace jet {

namespace {

constexpr size_t kHeader = 16;
constexpr size_t kTrailer = 3;

uint8_t resultRaw(const Column& c) { return c.calcResultRaw ? c.calcResultRaw : c.rawType; }

[[noreturn]] void notDecimal(const Column& c) {
  throw Error(err::kTypeConversion, "Data type conversion error: the calculated field '" + c.name +
                                        "' cannot hold its expression's result as a decimal number.");
}

// "-123.4500" to a mantissa and scale; false when it is not such a number.
bool decimalFromText(const std::string& t, Decimal& d) {
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
  __int128 m = 0;
  int scale = 0;
  bool point = false, digits = false;
  for (; i < t.size(); ++i) {
    char ch = t[i];
    if (ch == '.' && !point) {
      point = true;
      continue;
    }
    if (ch < '0' || ch > '9') return false;
    digits = true;
    // Digits past the 28th of the fraction are dropped.
    if (point && scale == 28) continue;
    if (m > (static_cast<__int128>(1) << 100)) return false;
    m = m * 10 + (ch - '0');
    if (point) ++scale;
  }
  if (!digits) return false;
  d.mantissa = negative ? -m : m;
  d.scale = static_cast<uint8_t>(scale);
  return true;
}

}  // namespace

Column calculatedResultColumn(const Column& c) {
  Column r = c;
  r.rawType = resultRaw(c);
  r.type = c.type;
  r.extFlags = 0x01;  // text results are stored compressed
  if (r.rawType == coltype::kText && r.length == 0) r.length = 510;
  return r;
}

bool calculatedIsLong(const Column& c) {
  uint8_t t = resultRaw(c);
  return t == coltype::kMemo || t == coltype::kOle;
}

Value coerceCalculated(const Format& fmt, const Column& c, const Value& v) {
  if (v.isNull()) return v;
  Column r = calculatedResultColumn(c);
  if (r.rawType != coltype::kNumeric) return coerceValue(fmt, r, v);
  Decimal d;
  switch (v.type()) {
    case DataType::Decimal: d = v.asDecimal(); break;
    case DataType::Boolean: d.mantissa = v.asBool() ? -1 : 0; break;
    case DataType::Byte: case DataType::Integer: case DataType::Long: case DataType::BigInt:
      d.mantissa = v.asInt();
      break;
    case DataType::Currency:
      d.mantissa = v.asInt();
      d.scale = 4;
      break;
    case DataType::Single:
      if (!decimalFromText(formatSignificant(v.asDouble(), 7), d)) notDecimal(c);
      break;
    case DataType::Double:
      if (!decimalFromText(formatSignificant(v.asDouble(), 15), d)) notDecimal(c);
      break;
    default:
      if (!v.isText() || !decimalFromText(v.bytes(), d)) notDecimal(c);
  }
  __int128 mag = d.mantissa < 0 ? -d.mantissa : d.mantissa;
  if (mag >> 96) notDecimal(c);
  d.precision = 28;
  return Value::decimal(d);
}

std::string encodeCalculatedCell(const Format& fmt, uint16_t codePage, const Column& c, const Value& v) {
  const Column r = calculatedResultColumn(c);
  std::string body;
  switch (r.rawType) {
    case coltype::kBool:
      body.assign(1, v.asBool() ? '\xFF' : '\0');
      break;
    case coltype::kMemo: {
      std::u16string u = utf8ToUtf16(v.bytes());
      body.resize(u.size() * 2);
      for (size_t i = 0; i < u.size(); ++i) {
        body[2 * i] = static_cast<char>(u[i] & 0xFF);
        body[2 * i + 1] = static_cast<char>(u[i] >> 8);
      }
      break;
    }
    case coltype::kNumeric: {
      // precision, 0, scale, sign; then the magnitude's high 32 bits and
      // low 64 bits.
      Decimal d = v.asDecimal();
      unsigned __int128 mag = static_cast<unsigned __int128>(d.mantissa < 0 ? -d.mantissa : d.mantissa);
      body.assign(16, '\0');
      body[0] = static_cast<char>(d.precision ? d.precision : 28);
      body[2] = static_cast<char>(d.scale);
      body[3] = d.mantissa < 0 ? '\x80' : '\0';
      uint32_t high = static_cast<uint32_t>(mag >> 64);
      uint64_t low = static_cast<uint64_t>(mag);
      std::memcpy(body.data() + 4, &high, 4);
      std::memcpy(body.data() + 8, &low, 8);
      break;
    }
    case coltype::kOle:
      body = v.bytes();
      break;
    default:
      body = encodeCellBytes(fmt, codePage, r, v);
  }
  std::string cell(kHeader, '\0');
  const uint32_t n = static_cast<uint32_t>(body.size());
  cell.append(reinterpret_cast<const char*>(&n), 4);
  cell += body;
  cell.append(kTrailer, '\0');
  return cell;
}

void computeCalculated(ExpressionEvaluator* evaluator, const Format& fmt, const TableDef& table,
                       std::vector<Value>& row) {
  std::vector<size_t> calc;
  for (size_t i = 0; i < table.columns.size(); ++i)
    if (table.columns[i].calculated()) calc.push_back(i);
  if (calc.empty()) return;
  for (size_t i : calc) {
    const Column& c = table.columns[i];
    if (!evaluator)
      throw Error(err::kNotSupported, "The calculated field '" + c.name + "' of '" + table.name +
                                          "' cannot be computed here, so the record cannot be stored.");
    if (c.calcExpression.empty())
      throw Error(err::kNotSupported, "The calculated field '" + c.name + "' of '" + table.name +
                                          "' has no expression, so the record cannot be stored.");
    row[i] = Value();
  }
  // One column's result may feed another's expression: passes until nothing
  // changes (a chain of n columns settles within n passes).
  for (size_t pass = 0; pass <= calc.size(); ++pass) {
    bool changed = false;
    for (size_t i : calc) {
      const Column& c = table.columns[i];
      Value v;
      try {
        v = coerceCalculated(fmt, c, evaluator->evaluate(table, c, row));
      } catch (const Error& e) {
        throw Error(e.number(), "The calculated field '" + c.name + "' of '" + table.name +
                                    "' cannot be computed (" + e.what() + "), so the record was not stored.");
      }
      if (!(v == row[i]) || v.type() != row[i].type()) {
        row[i] = std::move(v);
        changed = true;
      }
    }
    if (!changed) return;
  }
  throw Error(err::kNotSupported, "The calculated fields of '" + table.name +
                                      "' refer to each other in a circle, so the record cannot be stored.");
}

}  // namespace jet
