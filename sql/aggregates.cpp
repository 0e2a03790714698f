#include "sql/aggregates.h"

#include <cmath>

#include "jet/error.h"
#include "jet/text.h"
#include "sql/convert.h"
#include "sql/ops.h"

namespace sql {

using jet::DataType;
using jet::Value;

AggKind aggKindFromName(const std::string& name, bool star) {
  std::string u = jet::upperName(name);
  if (u == "COUNT") return star ? AggKind::CountStar : AggKind::Count;
  if (u == "SUM") return AggKind::Sum;
  if (u == "AVG") return AggKind::Avg;
  if (u == "MIN") return AggKind::Min;
  if (u == "MAX") return AggKind::Max;
  if (u == "FIRST") return AggKind::First;
  if (u == "LAST") return AggKind::Last;
  if (u == "STDEV") return AggKind::StDev;
  if (u == "STDEVP") return AggKind::StDevP;
  if (u == "VAR") return AggKind::Var;
  if (u == "VARP") return AggKind::VarP;
  throw jet::Error(jet::err::kUndefinedFunction, "Undefined function '" + name + "' in expression.");
}

const char* aggName(AggKind k) {
  static const char* n[] = {"Count", "Count", "Sum", "Avg", "Min", "Max", "First", "Last", "StDev", "StDevP", "Var", "VarP"};
  return n[static_cast<int>(k)];
}

DataType aggResultType(AggKind k, DataType arg) {
  switch (k) {
    case AggKind::CountStar: case AggKind::Count: return DataType::Long;
    case AggKind::Sum:
      if (arg == DataType::Currency) return DataType::Currency;
      if (arg == DataType::Byte || arg == DataType::Integer || arg == DataType::Long || arg == DataType::Boolean)
        return DataType::Long;
      if (arg == DataType::BigInt) return DataType::BigInt;
      if (arg == DataType::Decimal) return DataType::Decimal;
      return DataType::Double;
    case AggKind::Avg:
      return arg == DataType::Currency ? DataType::Currency : DataType::Double;
    case AggKind::Min: case AggKind::Max: case AggKind::First: case AggKind::Last:
      return arg == DataType::Null ? DataType::Text : arg;
    default:
      return DataType::Double;
  }
}

void Aggregator::add(const Value& v) {
  switch (kind_) {
    case AggKind::CountStar: ++count_; return;
    case AggKind::Count: if (!v.isNull()) ++count_; return;
    case AggKind::First:
      if (!started_) { pick_ = v; started_ = true; }
      return;
    case AggKind::Last: pick_ = v; started_ = true; return;
    case AggKind::Min: case AggKind::Max:
      if (v.isNull()) return;
      if (!started_) { pick_ = v; started_ = true; return; }
      {
        int c = compareForSort(v, pick_, *coll_);
        if ((kind_ == AggKind::Min && c < 0) || (kind_ == AggKind::Max && c > 0)) pick_ = v;
      }
      return;
    default: break;
  }
  if (v.isNull()) return;
  if (v.isBinary() || v.type() == DataType::GUID) typeMismatch();
  double d;
  if (v.type() == DataType::Currency) {
    allInt_ = false;
    isum_ += v.asInt();
    d = v.toDouble();
  } else if (v.isIntegral()) {
    allCur_ = false;
    int64_t x = v.type() == DataType::Boolean ? (v.asBool() ? -1 : 0) : v.asInt();
    isum_ += x;
    d = static_cast<double>(x);
  } else {
    allInt_ = allCur_ = false;
    d = toDouble(v);
  }
  ++count_;
  dsum_ += d;
  double delta = d - mean_;
  mean_ += delta / static_cast<double>(count_);
  m2_ += delta * (d - mean_);
}

Value Aggregator::result() const {
  switch (kind_) {
    case AggKind::CountStar: case AggKind::Count:
      return Value::longInt(static_cast<int32_t>(count_));
    case AggKind::Min: case AggKind::Max: case AggKind::First: case AggKind::Last:
      return pick_;
    case AggKind::Sum: {
      if (count_ == 0) return Value();
      DataType t = aggResultType(kind_, argType_);
      if (t == DataType::Currency && allCur_) {
        if (isum_ > INT64_MAX || isum_ < INT64_MIN) overflow();
        return Value::currency(static_cast<int64_t>(isum_));
      }
      if (allInt_ && (t == DataType::Long || t == DataType::BigInt)) {
        if (t == DataType::BigInt && isum_ <= INT64_MAX && isum_ >= INT64_MIN) return Value::bigInt(static_cast<int64_t>(isum_));
        if (isum_ <= INT32_MAX && isum_ >= INT32_MIN) return Value::longInt(static_cast<int32_t>(isum_));
        return Value::dbl(static_cast<double>(isum_));
      }
      if (t == DataType::Currency) return Value::currency(toCurrencyUnits(Value::dbl(dsum_)));
      return Value::dbl(dsum_);
    }
    case AggKind::Avg: {
      if (count_ == 0) return Value();
      if (aggResultType(kind_, argType_) == DataType::Currency && allCur_) {
        double avg = static_cast<double>(isum_) / static_cast<double>(count_);
        return Value::currency(static_cast<int64_t>(roundHalfEven(avg, 0)));
      }
      if (allInt_ || allCur_) {
        double s = static_cast<double>(isum_);
        if (allCur_ && !allInt_) s /= 10000.0;
        return Value::dbl(s / static_cast<double>(count_));
      }
      return Value::dbl(dsum_ / static_cast<double>(count_));
    }
    case AggKind::Var: case AggKind::StDev: {
      if (count_ < 2) return Value();
      double var = m2_ / static_cast<double>(count_ - 1);
      return Value::dbl(kind_ == AggKind::Var ? var : std::sqrt(var));
    }
    case AggKind::VarP: case AggKind::StDevP: {
      if (count_ < 1) return Value();
      double var = m2_ / static_cast<double>(count_);
      return Value::dbl(kind_ == AggKind::VarP ? var : std::sqrt(var));
    }
  }
  return Value();
}

}  // namespace sql
