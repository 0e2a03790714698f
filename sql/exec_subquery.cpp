// Subqueries in expressions: a scalar subquery (one value, or Null when it
// returns no row; 3354 when it returns more than one), In (subquery) and
// Exists. An uncorrelated subquery runs once and its answer is kept; a
// correlated one runs again for each outer row.
#include <optional>

#include "jet/error.h"
#include "sql/errors.h"
#include "sql/exec.h"
#include "sql/ops.h"

namespace sql {

using jet::DataType;
using jet::Value;

namespace {

class ScalarSubqueryExpr : public BExpr {
 public:
  ScalarSubqueryExpr(std::shared_ptr<Op> p, bool correlated) : plan_(std::move(p)), correlated_(correlated) {}
  Value eval(const Frame& f) const override {
    if (!correlated_ && cached_) return *cached_;
    plan_->open(&f);
    Row r;
    Value v;
    if (plan_->next(r)) {
      v = r.v.empty() ? Value() : r.v[0];
      Row extra;
      if (plan_->next(extra))
        throw jet::Error(err::kSubqueryManyRows, "At most one record can be returned by this subquery.");
    }
    if (!correlated_) cached_ = v;
    return v;
  }
  std::shared_ptr<Op> plan_;
  bool correlated_;
  mutable std::optional<Value> cached_;
};

class InSubqueryExpr : public BExpr {
 public:
  InSubqueryExpr(BExprP v, std::shared_ptr<Op> p, bool neg, bool correlated, const Collation& coll)
      : v_(std::move(v)), plan_(std::move(p)), neg_(neg), correlated_(correlated), coll_(coll) {}
  Value eval(const Frame& f) const override {
    Value x = v_->eval(f);
    if (x.isNull()) return Value();
    if (!correlated_) {
      if (!loaded_) {
        plan_->open(&f);
        Row r;
        while (plan_->next(r)) {
          if (r.v.empty() || r.v[0].isNull()) { hasNull_ = true; continue; }
          values_.push_back(r.v[0]);
        }
        loaded_ = true;
      }
      for (const auto& y : values_)
        if (compareValues(x, y, coll_) == 0) return Value::boolean(!neg_);
      if (hasNull_) return Value();
      return Value::boolean(neg_);
    }
    plan_->open(&f);
    Row r;
    bool sawNull = false;
    while (plan_->next(r)) {
      if (r.v.empty() || r.v[0].isNull()) { sawNull = true; continue; }
      if (compareValues(x, r.v[0], coll_) == 0) return Value::boolean(!neg_);
    }
    if (sawNull) return Value();
    return Value::boolean(neg_);
  }
  BExprP v_;
  std::shared_ptr<Op> plan_;
  bool neg_, correlated_;
  const Collation& coll_;
  mutable bool loaded_ = false, hasNull_ = false;
  mutable std::vector<Value> values_;
};

class ExistsExpr : public BExpr {
 public:
  ExistsExpr(std::shared_ptr<Op> p, bool neg, bool correlated) : plan_(std::move(p)), neg_(neg), correlated_(correlated) {}
  Value eval(const Frame& f) const override {
    if (!correlated_ && cached_) return Value::boolean(*cached_ != neg_);
    plan_->open(&f);
    Row r;
    bool any = plan_->next(r);
    if (!correlated_) cached_ = any;
    return Value::boolean(any != neg_);
  }
  std::shared_ptr<Op> plan_;
  bool neg_, correlated_;
  mutable std::optional<bool> cached_;
};

}  // namespace

BExprP makeScalarSubquery(std::shared_ptr<Op> plan, DataType type, int size, bool correlated) {
  auto e = std::make_shared<ScalarSubqueryExpr>(std::move(plan), correlated);
  e->type = type;
  e->size = size;
  return e;
}
BExprP makeInSubquery(BExprP value, std::shared_ptr<Op> plan, bool negated, bool correlated, const Collation& coll) {
  auto e = std::make_shared<InSubqueryExpr>(std::move(value), std::move(plan), negated, correlated, coll);
  e->type = DataType::Boolean;
  e->size = 1;
  return e;
}
BExprP makeExists(std::shared_ptr<Op> plan, bool negated, bool correlated) {
  auto e = std::make_shared<ExistsExpr>(std::move(plan), negated, correlated);
  e->type = DataType::Boolean;
  e->size = 1;
  return e;
}

}  // namespace sql
