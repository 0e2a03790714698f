// Numeric functions: Int, Fix, Abs, Sgn, Sqr, Round, Exp, Log, trigonometry, Rnd.
#include <cmath>
#include <random>

#include "jet/error.h"
#include "sql/convert.h"
#include "sql/functions.h"
#include "sql/ops.h"

namespace sql {

using jet::DataType;
using jet::Value;

namespace {

// Numeric operand: text converted, Boolean as -1/0.
Value numeric(const Value& v) {
  if (v.isText()) {
    auto d = parseNumber(v.bytes());
    if (!d) typeMismatch();
    return Value::dbl(*d);
  }
  if (v.type() == DataType::Boolean) return Value::integer(v.asBool() ? -1 : 0);
  if (!v.isNumeric() && v.type() != DataType::DateTime) typeMismatch();
  return v;
}

Value sameKind(const Value& like, double r) {
  switch (like.type()) {
    case DataType::Byte: case DataType::Integer: case DataType::Long: case DataType::BigInt:
      return like;  // already whole
    case DataType::Currency: return Value::currency(static_cast<int64_t>(r * 10000.0));
    case DataType::Single: return Value::single(static_cast<float>(r));
    case DataType::DateTime: return Value::dateTime(r);
    default: return Value::dbl(r);
  }
}

Value fnInt(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  v = numeric(v);
  if (v.type() == DataType::Currency) {
    int64_t u = v.asInt();
    int64_t w = u / 10000;
    if (u % 10000 != 0 && u < 0) --w;
    return Value::currency(w * 10000);
  }
  return sameKind(v, std::floor(v.toDouble()));
}

Value fnFix(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  v = numeric(v);
  if (v.type() == DataType::Currency) return Value::currency(v.asInt() / 10000 * 10000);
  return sameKind(v, std::trunc(v.toDouble()));
}

Value fnAbs(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  v = numeric(v);
  switch (v.type()) {
    case DataType::Byte: return v;
    case DataType::Integer: return v.asInt() == -32768 ? Value::longInt(32768) : Value::integer(static_cast<int16_t>(std::llabs(v.asInt())));
    case DataType::Long: return v.asInt() == INT32_MIN ? Value::dbl(2147483648.0) : Value::longInt(static_cast<int32_t>(std::llabs(v.asInt())));
    case DataType::BigInt: return Value::bigInt(std::llabs(v.asInt()));
    case DataType::Currency: return Value::currency(std::llabs(v.asInt()));
    default: return sameKind(v, std::fabs(v.toDouble()));
  }
}

Value fnSgn(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  double d = numeric(v).toDouble();
  return Value::integer(d > 0 ? 1 : d < 0 ? -1 : 0);
}

Value fnSqr(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  double d = numeric(v).toDouble();
  if (d < 0) invalidArgument();
  return Value::dbl(std::sqrt(d));
}

Value fnExp(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  double r = std::exp(numeric(v).toDouble());
  if (!std::isfinite(r)) overflow();
  return Value::dbl(r);
}

Value fnLog(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  double d = numeric(v).toDouble();
  if (d <= 0) invalidArgument();
  return Value::dbl(std::log(d));
}

Value unaryMath(CallArgs& a, double (*f)(double)) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  return Value::dbl(f(numeric(v).toDouble()));
}
Value fnSin(CallArgs& a) { return unaryMath(a, [](double x) { return std::sin(x); }); }
Value fnCos(CallArgs& a) { return unaryMath(a, [](double x) { return std::cos(x); }); }
Value fnTan(CallArgs& a) { return unaryMath(a, [](double x) { return std::tan(x); }); }
Value fnAtn(CallArgs& a) { return unaryMath(a, [](double x) { return std::atan(x); }); }

Value fnRound(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  int64_t n = 0;
  if (a.size() > 1) {
    Value d = a.get(1);
    if (!d.isNull()) n = argInt(d);
  }
  if (n < 0 || n > 22) invalidArgument();
  v = numeric(v);
  switch (v.type()) {
    case DataType::Byte: case DataType::Integer: case DataType::Long: case DataType::BigInt:
      return v;
    case DataType::Currency: {
      if (n >= 4) return v;
      int64_t unit = 1;
      for (int64_t i = n; i < 4; ++i) unit *= 10;
      int64_t u = v.asInt();
      int64_t q = u / unit, rem = u % unit;
      int64_t half = unit / 2;
      int64_t arem = rem < 0 ? -rem : rem;
      if (arem > half || (arem == half && (q % 2 != 0))) q += (u < 0 ? -1 : 1);
      return Value::currency(q * unit);
    }
    case DataType::Single:
      return Value::single(static_cast<float>(roundHalfEven(v.toDouble(), static_cast<int>(n))));
    case DataType::DateTime:
      return Value::dateTime(roundHalfEven(v.toDouble(), static_cast<int>(n)));
    default:
      return Value::dbl(roundHalfEven(v.toDouble(), static_cast<int>(n)));
  }
}

Value fnRnd(CallArgs& a) {
  static std::mt19937 gen(12345);
  if (a.size() > 0) a.get(0);
  std::uniform_real_distribution<float> dist(0.0f, 1.0f);
  return Value::single(dist(gen));
}

DataType roundType(const std::vector<DataType>& t) {
  DataType x = firstArgType(t);
  if (x == DataType::Text || x == DataType::Memo) return DataType::Double;
  if (x == DataType::Boolean) return DataType::Integer;
  return x;
}

}  // namespace

void registerMathFunctions(std::vector<FunctionDef>& r) {
  addFunction(r, {"Int", 1, 1, fnInt, DataType::Double, roundType});
  addFunction(r, {"Fix", 1, 1, fnFix, DataType::Double, roundType});
  addFunction(r, {"Abs", 1, 1, fnAbs, DataType::Double, roundType});
  addFunction(r, {"Sgn", 1, 1, fnSgn, DataType::Integer});
  addFunction(r, {"Sqr", 1, 1, fnSqr, DataType::Double});
  addFunction(r, {"Exp", 1, 1, fnExp, DataType::Double});
  addFunction(r, {"Log", 1, 1, fnLog, DataType::Double});
  addFunction(r, {"Sin", 1, 1, fnSin, DataType::Double});
  addFunction(r, {"Cos", 1, 1, fnCos, DataType::Double});
  addFunction(r, {"Tan", 1, 1, fnTan, DataType::Double});
  addFunction(r, {"Atn", 1, 1, fnAtn, DataType::Double});
  addFunction(r, {"Round", 1, 2, fnRound, DataType::Double, roundType});
  FunctionDef rnd{"Rnd", 0, 1, fnRnd, DataType::Single};
  rnd.isVolatile = true;
  addFunction(r, rnd);
}

}  // namespace sql
