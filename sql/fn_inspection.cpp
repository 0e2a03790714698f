// Program flow and inspection functions: IIf, Nz, Switch, Choose, IsNull,
// IsNumeric, IsDate, IsEmpty.
#include <cmath>

#include "jet/error.h"
#include "sql/convert.h"
#include "sql/functions.h"
#include "sql/ops.h"

namespace sql {

using jet::DataType;
using jet::Value;

namespace {

Value fnIIf(CallArgs& a) {
  Value c = a.get(0);
  return isTrue(c) ? a.get(1) : a.get(2);
}

Value fnNz(CallArgs& a) {
  Value v = a.get(0);
  if (!v.isNull()) return v;
  if (a.size() > 1) return a.get(1);
  return Value::text("");
}

Value fnSwitch(CallArgs& a) {
  if (a.size() % 2 != 0) invalidArgument();
  for (size_t i = 0; i + 1 < a.size(); i += 2)
    if (isTrue(a.get(i))) return a.get(i + 1);
  return Value();
}

Value fnChoose(CallArgs& a) {
  Value iv = a.get(0);
  if (iv.isNull()) return Value();
  double d = std::trunc(toDouble(iv));
  if (d < 1 || d > static_cast<double>(a.size() - 1)) return Value();
  return a.get(static_cast<size_t>(d));
}

Value fnIsNull(CallArgs& a) { return Value::boolean(a.get(0).isNull()); }

Value fnIsEmpty(CallArgs& a) { return Value::boolean(false && a.size()); }

Value fnIsNumeric(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value::boolean(false);
  if (v.isNumeric()) return Value::boolean(true);
  if (v.isText()) return Value::boolean(parseNumber(v.bytes()).has_value());
  return Value::boolean(false);
}

Value fnIsDate(CallArgs& a) {
  Value v = a.get(0);
  if (v.type() == DataType::DateTime) return Value::boolean(true);
  if (v.isText()) return Value::boolean(parseDate(v.bytes()).has_value());
  return Value::boolean(false);
}

DataType iifType(const std::vector<DataType>& t) {
  if (t.size() < 3) return DataType::Text;
  return commonType({t[1], t[2]});
}

DataType nzType(const std::vector<DataType>& t) {
  if (t.size() < 2) return t.empty() ? DataType::Text : t[0];
  return commonType({t[0], t[1]});
}

DataType switchType(const std::vector<DataType>& t) {
  std::vector<DataType> v;
  for (size_t i = 1; i < t.size(); i += 2) v.push_back(t[i]);
  return commonType(v);
}

DataType chooseType(const std::vector<DataType>& t) {
  return commonType(std::vector<DataType>(t.begin() + (t.empty() ? 0 : 1), t.end()));
}

}  // namespace

void registerInspectionFunctions(std::vector<FunctionDef>& r) {
  addFunction(r, {"IIf", 3, 3, fnIIf, DataType::Text, iifType});
  addFunction(r, {"Nz", 1, 2, fnNz, DataType::Text, nzType});
  addFunction(r, {"Switch", 2, 64, fnSwitch, DataType::Text, switchType});
  addFunction(r, {"Choose", 2, 64, fnChoose, DataType::Text, chooseType});
  addFunction(r, {"IsNull", 1, 1, fnIsNull, DataType::Boolean});
  addFunction(r, {"IsEmpty", 1, 1, fnIsEmpty, DataType::Boolean});
  addFunction(r, {"IsNumeric", 1, 1, fnIsNumeric, DataType::Boolean});
  addFunction(r, {"IsDate", 1, 1, fnIsDate, DataType::Boolean});
}

}  // namespace sql
