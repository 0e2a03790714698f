#include "sql/ops.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "jet/error.h"
#include "jet/ext_datetime.h"
#include "sql/collate.h"
#include "sql/convert.h"

namespace sql {

using jet::DataType;
using jet::Value;

BinOp binOpFromText(const std::string& op) {
  if (op == "+") return BinOp::Add;
  if (op == "-") return BinOp::Sub;
  if (op == "*") return BinOp::Mul;
  if (op == "/") return BinOp::Div;
  if (op == "\\") return BinOp::IntDiv;
  if (op == "MOD") return BinOp::Mod;
  if (op == "^") return BinOp::Pow;
  if (op == "&") return BinOp::Concat;
  if (op == "=") return BinOp::Eq;
  if (op == "<>") return BinOp::Ne;
  if (op == "<") return BinOp::Lt;
  if (op == ">") return BinOp::Gt;
  if (op == "<=") return BinOp::Le;
  if (op == ">=") return BinOp::Ge;
  if (op == "AND") return BinOp::And;
  if (op == "OR") return BinOp::Or;
  if (op == "XOR") return BinOp::Xor;
  if (op == "EQV") return BinOp::Eqv;
  if (op == "IMP") return BinOp::Imp;
  if (op == "LIKE") return BinOp::Like;
  throw jet::Error(jet::err::kSyntax, "Unknown operator " + op + ".");
}

const char* binOpText(BinOp op) {
  static const char* t[] = {"+", "-", "*", "/", "\\", "Mod", "^", "&", "=", "<>", "<", ">", "<=", ">=",
                            "And", "Or", "Xor", "Eqv", "Imp", "Like"};
  return t[static_cast<int>(op)];
}

bool isComparison(BinOp op) { return op >= BinOp::Eq && op <= BinOp::Ge; }
bool isLogical(BinOp op) { return op >= BinOp::And && op <= BinOp::Imp; }

namespace {

bool isDateType(DataType t) { return t == DataType::DateTime; }

DataType effective(const Value& v) {
  if (v.type() == DataType::Boolean) return DataType::Integer;
  return v.type();
}

bool intLike(DataType t) {
  return t == DataType::Byte || t == DataType::Integer || t == DataType::Long || t == DataType::BigInt ||
         t == DataType::Boolean;
}

Value makeInt(int64_t r, DataType want) {
  // Widen when the result does not fit the operands' type.
  if (want == DataType::Byte && r >= 0 && r <= 255) return Value::byte(static_cast<uint8_t>(r));
  if ((want == DataType::Byte || want == DataType::Integer) && r >= -32768 && r <= 32767)
    return Value::integer(static_cast<int16_t>(r));
  if (want != DataType::BigInt && r >= std::numeric_limits<int32_t>::min() && r <= std::numeric_limits<int32_t>::max())
    return Value::longInt(static_cast<int32_t>(r));
  if (want == DataType::BigInt) return Value::bigInt(r);
  return Value::dbl(static_cast<double>(r));
}

Value numericFromText(const Value& v) {
  // A text operand of arithmetic: a number when it reads as one.
  auto d = parseNumber(v.bytes());
  if (!d) typeMismatch();
  return Value::dbl(*d);
}

}  // namespace

// A quotient is Single when one operand is Single and the other is Single,
// Integer, Byte or Boolean; Double otherwise (Long / Single is Double).
bool singleQuotient(DataType a, DataType b) {
  auto small = [](DataType t) {
    return t == DataType::Single || t == DataType::Integer || t == DataType::Byte || t == DataType::Boolean;
  };
  return (a == DataType::Single || b == DataType::Single) && small(a) && small(b);
}

DataType widerNumeric(DataType a, DataType b) {
  if (a == DataType::Boolean) a = DataType::Integer;
  if (b == DataType::Boolean) b = DataType::Integer;
  if (a == DataType::Null) return b;
  if (b == DataType::Null) return a;
  int ra = numericRank(a), rb = numericRank(b);
  if (ra == 0 || rb == 0) return DataType::Double;
  DataType w = ra >= rb ? a : b;
  DataType n = ra >= rb ? b : a;
  // Single with Long, Currency or wider gives Double; Currency with a
  // floating type gives Double.
  if (w == DataType::Single && (n == DataType::Long || n == DataType::Currency || n == DataType::BigInt ||
                                n == DataType::Decimal))
    return DataType::Double;
  if (w == DataType::Decimal && (n == DataType::Currency)) return DataType::Decimal;
  if (w == DataType::DateTime) return DataType::DateTime;
  return w;
}

DataType arithmeticType(BinOp op, DataType a, DataType b) {
  auto textish = [](DataType t) { return t == DataType::Text || t == DataType::Memo; };
  switch (op) {
    case BinOp::Concat:
      return (a == DataType::Memo || b == DataType::Memo) ? DataType::Memo : DataType::Text;
    case BinOp::Add:
      if (textish(a) && textish(b)) return DataType::Text;
      [[fallthrough]];
    case BinOp::Sub:
      if (op == BinOp::Sub && isDateType(a) && isDateType(b)) return DataType::Double;
      if (isDateType(a) || isDateType(b)) return DataType::DateTime;
      if (textish(a) || textish(b)) return DataType::Double;
      return widerNumeric(a, b);
    case BinOp::Mul:
      if (textish(a) || textish(b) || isDateType(a) || isDateType(b)) return DataType::Double;
      return widerNumeric(a, b);
    case BinOp::Div:
      if (singleQuotient(a, b)) return DataType::Single;
      if (a == DataType::Decimal || b == DataType::Decimal) return DataType::Decimal;
      return DataType::Double;
    case BinOp::IntDiv: case BinOp::Mod: {
      DataType w = widerNumeric(a, b);
      if (w == DataType::Byte || w == DataType::Integer) return w;
      return DataType::Long;
    }
    case BinOp::Pow: return DataType::Double;
    default: return DataType::Boolean;
  }
}

Value arithmetic(BinOp op, const Value& a0, const Value& b0) {
  if (op == BinOp::Concat) return concatenate(a0, b0);
  if (a0.isNull() || b0.isNull()) return Value();
  if (op == BinOp::Add && a0.isText() && b0.isText()) {
    std::string s = a0.bytes() + b0.bytes();
    return Value::text(std::move(s), (a0.type() == DataType::Memo || b0.type() == DataType::Memo) ? DataType::Memo : DataType::Text);
  }
  if (a0.isBinary() || b0.isBinary() || a0.type() == DataType::GUID || b0.type() == DataType::GUID) typeMismatch();
  Value a = a0.isText() ? numericFromText(a0) : a0;
  Value b = b0.isText() ? numericFromText(b0) : b0;
  DataType ta = effective(a), tb = effective(b);
  bool dateA = isDateType(ta), dateB = isDateType(tb);

  if (op == BinOp::Add || op == BinOp::Sub) {
    if (dateA || dateB) {
      double r = op == BinOp::Add ? a.toDouble() + b.toDouble() : a.toDouble() - b.toDouble();
      if (op == BinOp::Sub && dateA && dateB) return Value::dbl(r);
      return Value::dateTime(r);
    }
  }
  if (op == BinOp::Pow) {
    double r = std::pow(toDouble(a), toDouble(b));
    if (!std::isfinite(r)) return Value();
    return Value::dbl(r);
  }
  if (op == BinOp::Div) {
    double d = toDouble(b);
    if (d == 0) return Value();  // shown as an error cell by the product; Null here
    double r = toDouble(a) / d;
    if (singleQuotient(ta, tb)) return Value::single(static_cast<float>(r));
    return Value::dbl(r);
  }
  if (op == BinOp::IntDiv || op == BinOp::Mod) {
    double x = roundHalfEven(toDouble(a), 0), y = roundHalfEven(toDouble(b), 0);
    if (std::fabs(x) > 9e18 || std::fabs(y) > 9e18) overflow();
    int64_t xi = static_cast<int64_t>(x), yi = static_cast<int64_t>(y);
    if (yi == 0) return Value();
    int64_t r = op == BinOp::IntDiv ? xi / yi : xi % yi;
    DataType w = widerNumeric(ta, tb);
    if (w != DataType::Byte && w != DataType::Integer) w = DataType::Long;
    return makeInt(r, w);
  }
  DataType w = widerNumeric(ta, tb);
  if (dateA || dateB) w = DataType::Double;
  if (intLike(w)) {
    int64_t x = a.type() == DataType::Boolean ? (a.asBool() ? -1 : 0) : a.asInt();
    int64_t y = b.type() == DataType::Boolean ? (b.asBool() ? -1 : 0) : b.asInt();
    int64_t r;
    bool of = false;
    switch (op) {
      case BinOp::Add: of = __builtin_add_overflow(x, y, &r); break;
      case BinOp::Sub: of = __builtin_sub_overflow(x, y, &r); break;
      default: of = __builtin_mul_overflow(x, y, &r); break;
    }
    if (of) {
      double dx = static_cast<double>(x), dy = static_cast<double>(y);
      return Value::dbl(op == BinOp::Add ? dx + dy : op == BinOp::Sub ? dx - dy : dx * dy);
    }
    if (w == DataType::Byte && r < 0) return makeInt(r, DataType::Integer);
    return makeInt(r, w);
  }
  if (w == DataType::Currency) {
    int64_t x = toCurrencyUnits(a), y = toCurrencyUnits(b);
    int64_t r;
    bool of = false;
    if (op == BinOp::Add) of = __builtin_add_overflow(x, y, &r);
    else if (op == BinOp::Sub) of = __builtin_sub_overflow(x, y, &r);
    else {
      __int128 p = static_cast<__int128>(x) * y;
      // round half to even at 1/10000
      __int128 q = p / 10000, rem = p % 10000;
      if (rem < 0) rem = -rem;
      if (rem > 5000 || (rem == 5000 && (q % 2 != 0))) q += (p < 0 ? -1 : 1);
      if (q > std::numeric_limits<int64_t>::max() || q < std::numeric_limits<int64_t>::min()) of = true;
      r = static_cast<int64_t>(q);
    }
    if (of) overflow();
    return Value::currency(r);
  }
  double x = toDouble(a), y = toDouble(b);
  double r = op == BinOp::Add ? x + y : op == BinOp::Sub ? x - y : x * y;
  if (w == DataType::Single) return Value::single(static_cast<float>(r));
  return Value::dbl(r);
}

Value concatenate(const Value& a, const Value& b) {
  if (a.isNull() && b.isNull()) return Value();
  bool memo = a.type() == DataType::Memo || b.type() == DataType::Memo;
  return Value::text(toText(a) + toText(b), memo ? DataType::Memo : DataType::Text);
}

Value negate(const Value& a) {
  if (a.isNull()) return Value();
  switch (a.type()) {
    case DataType::Boolean: return Value::integer(a.asBool() ? 1 : 0);
    case DataType::Byte: return Value::integer(static_cast<int16_t>(-a.asInt()));
    case DataType::Integer: return makeInt(-a.asInt(), DataType::Integer);
    case DataType::Long: return makeInt(-a.asInt(), DataType::Long);
    case DataType::BigInt: return Value::bigInt(-a.asInt());
    case DataType::Currency: return Value::currency(-a.asInt());
    case DataType::Single: return Value::single(static_cast<float>(-a.asDouble()));
    case DataType::DateTime: return Value::dateTime(-a.asDouble());
    case DataType::Decimal: {
      auto d = a.asDecimal();
      d.mantissa = -d.mantissa;
      return Value::decimal(d);
    }
    default: return Value::dbl(-toDouble(a));
  }
}

Value logicalNot(const Value& a) {
  if (a.isNull()) return Value();
  return Value::boolean(!toBool(a));
}

Value logical(BinOp op, const Value& a, const Value& b) {
  int x = a.isNull() ? -1 : (toBool(a) ? 1 : 0);
  int y = b.isNull() ? -1 : (toBool(b) ? 1 : 0);
  switch (op) {
    case BinOp::And:
      if (x == 0 || y == 0) return Value::boolean(false);
      if (x < 0 || y < 0) return Value();
      return Value::boolean(true);
    case BinOp::Or:
      if (x == 1 || y == 1) return Value::boolean(true);
      if (x < 0 || y < 0) return Value();
      return Value::boolean(false);
    case BinOp::Xor:
      if (x < 0 || y < 0) return Value();
      return Value::boolean(x != y);
    case BinOp::Eqv:
      if (x < 0 || y < 0) return Value();
      return Value::boolean(x == y);
    case BinOp::Imp:
      if (x == 0 || y == 1) return Value::boolean(true);
      if (x < 0 || y < 0) return Value();
      return Value::boolean(false);
    default:
      return Value();
  }
}

namespace {

int cmpNum(double x, double y) { return x < y ? -1 : x > y ? 1 : 0; }

bool exactInt(const Value& v) {
  return v.isIntegral() && v.type() != DataType::Boolean;
}

int compareNumeric(const Value& a, const Value& b) {
  if (exactInt(a) && exactInt(b)) return a.asInt() < b.asInt() ? -1 : a.asInt() > b.asInt() ? 1 : 0;
  if (a.type() == DataType::Currency && b.type() == DataType::Currency)
    return a.asInt() < b.asInt() ? -1 : a.asInt() > b.asInt() ? 1 : 0;
  double x = a.type() == DataType::Boolean ? (a.asBool() ? -1.0 : 0.0) : a.toDouble();
  double y = b.type() == DataType::Boolean ? (b.asBool() ? -1.0 : 0.0) : b.toDouble();
  return cmpNum(x, y);
}

bool numberLike(const Value& v) { return v.isNumeric() || v.type() == DataType::DateTime; }

}  // namespace

namespace {

// Date/Time Extended against any date-like value: both as 100 ns ticks.
int64_t extTicks(const Value& v) {
  std::optional<jet::ExtDateTime> e;
  if (v.type() == DataType::ExtDateTime) e = jet::parseExtDateTimeText(v.bytes());
  else if (v.isText()) {
    e = jet::parseExtDateTimeText(v.bytes());
    if (!e) e = jet::extDateTimeFromSerial(toDate(v));
  } else if (v.type() == DataType::DateTime || (v.isNumeric() && v.type() != DataType::Boolean)) {
    e = jet::extDateTimeFromSerial(v.toDouble());
  }
  if (!e) typeMismatch();
  return e->totalTicks();
}

}  // namespace

int compareValues(const Value& a, const Value& b, const Collation& coll) {
  if (a.type() == DataType::ExtDateTime || b.type() == DataType::ExtDateTime) {
    int64_t x = extTicks(a), y = extTicks(b);
    return x < y ? -1 : x > y ? 1 : 0;
  }
  if (a.isText() && b.isText()) return coll.compare(a.bytes(), b.bytes());
  if (numberLike(a) && numberLike(b)) return compareNumeric(a, b);
  if (a.isText() || b.isText()) {
    const Value& t = a.isText() ? a : b;
    const Value& o = a.isText() ? b : a;
    int sign = a.isText() ? -1 : 1;  // result is compare(o, t) * sign... computed below
    int r;
    if (o.type() == DataType::DateTime) {
      r = cmpNum(o.asDouble(), toDate(t));
    } else if (o.type() == DataType::Boolean) {
      r = cmpNum(o.asBool() ? -1.0 : 0.0, toBool(t) ? -1.0 : 0.0);
    } else if (o.isNumeric()) {
      auto d = parseNumber(t.bytes());
      if (!d) typeMismatch();
      r = compareNumeric(o, Value::dbl(*d));
    } else if (o.type() == DataType::GUID) {
      std::string g = jet::formatGuid(o.bytes());
      std::string tt = t.bytes();
      if (!tt.empty() && tt[0] != '{') tt = "{" + tt + "}";
      r = coll.compare(g, tt);
    } else {
      typeMismatch();
    }
    return sign < 0 ? -r : r;
  }
  if (a.type() == b.type() && (a.isBinary() || a.type() == DataType::GUID)) {
    int c = a.bytes().compare(b.bytes());
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
  typeMismatch();
}

Value comparison(BinOp op, const Value& a, const Value& b, const Collation& coll) {
  if (a.isNull() || b.isNull()) return Value();
  int c = compareValues(a, b, coll);
  bool r;
  switch (op) {
    case BinOp::Eq: r = c == 0; break;
    case BinOp::Ne: r = c != 0; break;
    case BinOp::Lt: r = c < 0; break;
    case BinOp::Gt: r = c > 0; break;
    case BinOp::Le: r = c <= 0; break;
    default: r = c >= 0; break;
  }
  return Value::boolean(r);
}

namespace {
int typeClass(const Value& v) {
  if (v.isNull()) return 0;
  if (numberLike(v)) return 1;
  if (v.isText()) return 2;
  return 3;
}
}  // namespace

int sortClass(const Value& v) { return typeClass(v); }

int compareForSort(const Value& a, const Value& b, const Collation& coll) {
  int ca = typeClass(a), cb = typeClass(b);
  if (ca != cb) return ca < cb ? -1 : 1;
  switch (ca) {
    case 0: return 0;
    case 1: return compareNumeric(a, b);
    case 2: return coll.compare(a.bytes(), b.bytes());
    default: {
      int c = a.bytes().compare(b.bytes());
      return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
  }
}

bool sameGroup(const Value& a, const Value& b, const Collation& coll) { return compareForSort(a, b, coll) == 0; }

std::string groupKey(const Value& v, const Collation& coll) {
  std::string k;
  switch (typeClass(v)) {
    case 0: return std::string(1, '\0');
    case 1: {
      k.push_back('\1');
      double d;
      if (exactInt(v)) d = static_cast<double>(v.asInt());
      else if (v.type() == DataType::Boolean) d = v.asBool() ? -1.0 : 0.0;
      else d = v.toDouble();
      if (d == 0) d = 0;  // -0 and 0 group together
      char buf[sizeof(double)];
      std::memcpy(buf, &d, sizeof d);
      k.append(buf, sizeof buf);
      if (exactInt(v) && (v.asInt() > (int64_t{1} << 53) || v.asInt() < -(int64_t{1} << 53)))
        k += std::to_string(v.asInt());
      return k;
    }
    case 2:
      k.push_back('\2');
      return k + coll.key(v.bytes());
    default:
      k.push_back('\3');
      return k + v.bytes();
  }
}

bool isTrue(const Value& v) {
  if (v.isNull()) return false;
  if (v.type() == DataType::Boolean) return v.asBool();
  return toBool(v);
}

}  // namespace sql
