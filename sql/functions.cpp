#include "sql/functions.h"

#include <cmath>
#include <map>
#include <mutex>

#include "jet/error.h"
#include "jet/text.h"
#include "sql/convert.h"
#include "sql/ops.h"

namespace sql {

void addFunction(std::vector<FunctionDef>& reg, FunctionDef def) { reg.push_back(std::move(def)); }

namespace {

struct Registry {
  std::vector<FunctionDef> defs;
  std::map<std::string, size_t> byName;
};

const Registry& registry() {
  static const Registry r = [] {
    Registry x;
    registerTextFunctions(x.defs);
    registerConversionFunctions(x.defs);
    registerMathFunctions(x.defs);
    registerDateFunctions(x.defs);
    registerFormatFunctions(x.defs);
    registerInspectionFunctions(x.defs);
    for (size_t i = 0; i < x.defs.size(); ++i) x.byName[jet::upperName(x.defs[i].name)] = i;
    return x;
  }();
  return r;
}

}  // namespace

const FunctionDef* findFunction(const std::string& name) {
  const Registry& r = registry();
  std::string u = jet::upperName(name);
  auto it = r.byName.find(u);
  if (it == r.byName.end() && !u.empty() && u.back() == '$') it = r.byName.find(u.substr(0, u.size() - 1));
  return it == r.byName.end() ? nullptr : &r.defs[it->second];
}

bool isAggregateName(const std::string& name) {
  static const char* names[] = {"COUNT", "SUM", "AVG", "MIN", "MAX", "FIRST", "LAST", "STDEV", "STDEVP", "VAR", "VARP"};
  std::string u = jet::upperName(name);
  for (const char* n : names)
    if (u == n) return true;
  return false;
}

void invalidArgument() { throw jet::Error(jet::err::kInvalidProcedureCall, "Invalid procedure call or argument."); }

std::string argText(const jet::Value& v) { return toText(v); }

int64_t argInt(const jet::Value& v) {
  if (v.isNull()) throw jet::Error(jet::err::kInvalidUseOfNull, "Invalid use of Null.");
  double d = toDouble(v);
  return toIntegerChecked(d, INT32_MIN, INT32_MAX);
}

double argDouble(const jet::Value& v) {
  if (v.isNull()) throw jet::Error(jet::err::kInvalidUseOfNull, "Invalid use of Null.");
  return toDouble(v);
}

jet::DataType firstArgType(const std::vector<jet::DataType>& t) {
  return t.empty() ? jet::DataType::Text : t[0];
}

jet::DataType commonType(const std::vector<jet::DataType>& t) {
  jet::DataType r = jet::DataType::Null;
  for (auto x : t) {
    if (x == jet::DataType::Null) continue;
    if (r == jet::DataType::Null) { r = x; continue; }
    if (r == x) continue;
    bool rt = r == jet::DataType::Text || r == jet::DataType::Memo;
    bool xt = x == jet::DataType::Text || x == jet::DataType::Memo;
    if (rt && xt) { r = jet::DataType::Memo; continue; }
    if (numericRank(r) && numericRank(x)) { r = widerNumeric(r, x); continue; }
    r = jet::DataType::Text;
  }
  return r == jet::DataType::Null ? jet::DataType::Text : r;
}

}  // namespace sql
