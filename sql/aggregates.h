// Aggregate functions: Count(*), Count, Sum, Avg, Min, Max, First, Last,
// StDev, StDevP, Var, VarP.
#pragma once

#include <string>

#include "jet/value.h"
#include "sql/collate.h"

namespace sql {

enum class AggKind { CountStar, Count, Sum, Avg, Min, Max, First, Last, StDev, StDevP, Var, VarP };

AggKind aggKindFromName(const std::string& name, bool star);
const char* aggName(AggKind k);
// Type of the result column: Count -> Long, Sum of Currency -> Currency, ...
jet::DataType aggResultType(AggKind k, jet::DataType arg);

class Aggregator {
 public:
  Aggregator() = default;
  // Min and Max compare texts by coll (the statement's collation).
  Aggregator(AggKind k, jet::DataType argType, const Collation& coll) : kind_(k), argType_(argType), coll_(&coll) {}
  void add(const jet::Value& v);  // for CountStar, v is ignored
  jet::Value result() const;

 private:
  AggKind kind_ = AggKind::CountStar;
  jet::DataType argType_ = jet::DataType::Null;
  const Collation* coll_ = &generalCollation();
  int64_t count_ = 0;
  bool started_ = false;
  bool allInt_ = true;
  bool allCur_ = true;
  __int128 isum_ = 0;  // integral or currency units
  double dsum_ = 0;
  double mean_ = 0, m2_ = 0;  // running variance
  jet::Value pick_;           // Min / Max / First / Last
};

}  // namespace sql
