#include "sql/expr.h"

#include "jet/error.h"
#include "sql/convert.h"

namespace sql {

using jet::DataType;
using jet::Value;

int defaultSize(DataType t) {
  switch (t) {
    case DataType::Boolean: case DataType::Byte: return 1;
    case DataType::Integer: return 2;
    case DataType::Long: case DataType::Single: return 4;
    case DataType::Currency: case DataType::Double: case DataType::DateTime: case DataType::BigInt: return 8;
    case DataType::GUID: return 16;
    case DataType::Decimal: return 16;
    case DataType::Text: return 255;
    case DataType::Binary: return 510;
    default: return 0;
  }
}

namespace {

class ConstExpr : public BExpr {
 public:
  explicit ConstExpr(Value v) : v_(std::move(v)) {
    type = v_.isNull() ? DataType::Text : v_.type();
    size = defaultSize(type);
  }
  Value eval(const Frame&) const override { return v_; }
  bool isConstant() const override { return true; }
  Value v_;
};

class ColumnExpr : public BExpr {
 public:
  ColumnExpr(int depth, size_t slot) : depth_(depth), slot_(slot) {}
  Value eval(const Frame& f) const override {
    const Frame* p = &f;
    for (int i = 0; i < depth_ && p; ++i) p = p->outer;
    if (!p || !p->row || slot_ >= p->row->size()) return Value();
    return (*p->row)[slot_];
  }
  int depth_;
  size_t slot_;
};

class UnaryExpr : public BExpr {
 public:
  UnaryExpr(char op, BExprP a) : op_(op), a_(std::move(a)) {}
  Value eval(const Frame& f) const override {
    Value v = a_->eval(f);
    switch (op_) {
      case '-': return negate(v);
      case '!': return logicalNot(v);
      default:
        if (v.isText()) {
          auto d = parseNumber(v.bytes());
          if (!d) typeMismatch();
          return Value::dbl(*d);
        }
        return v;
    }
  }
  bool isConstant() const override { return a_->isConstant(); }
  char op_;
  BExprP a_;
};

class BinaryExpr : public BExpr {
 public:
  BinaryExpr(BinOp op, BExprP a, BExprP b, const Collation& coll)
      : op_(op), a_(std::move(a)), b_(std::move(b)), coll_(coll) {}
  Value eval(const Frame& f) const override {
    if (op_ == BinOp::And) {
      Value x = a_->eval(f);
      if (!x.isNull() && !toBool(x)) return Value::boolean(false);
      return logical(op_, x, b_->eval(f));
    }
    if (op_ == BinOp::Or) {
      Value x = a_->eval(f);
      if (!x.isNull() && toBool(x)) return Value::boolean(true);
      return logical(op_, x, b_->eval(f));
    }
    Value x = a_->eval(f), y = b_->eval(f);
    if (isComparison(op_)) return comparison(op_, x, y, coll_);
    if (isLogical(op_)) return logical(op_, x, y);
    return arithmetic(op_, x, y);
  }
  bool isConstant() const override { return a_->isConstant() && b_->isConstant(); }
  BinOp op_;
  BExprP a_, b_;
  const Collation& coll_;
};

class LikeExpr : public BExpr {
 public:
  LikeExpr(BExprP a, BExprP p, bool negated) : a_(std::move(a)), p_(std::move(p)), negated_(negated) {
    if (p_->isConstant()) {
      Value pv = p_->eval(Frame{});
      if (!pv.isNull()) {
        pattern_ = toText(pv);
        compiled_ = std::make_shared<LikePattern>(pattern_);
      }
      constNull_ = pv.isNull();
    }
    if (auto* c = dynamic_cast<const ColumnExpr*>(a_.get()); c && c->depth_ == 0) column_ = static_cast<long>(c->slot_);
  }
  Value eval(const Frame& f) const override {
    // A text column against a fixed pattern: matched where the row holds it.
    if (compiled_ && column_ >= 0 && f.row && static_cast<size_t>(column_) < f.row->size()) {
      const Value& cell = (*f.row)[static_cast<size_t>(column_)];
      if (cell.isText()) return Value::boolean(compiled_->matches(cell.bytes()) != negated_);
    }
    Value x = a_->eval(f);
    if (x.isNull() || constNull_) return Value();
    bool m;
    if (compiled_) {
      m = compiled_->matches(toText(x));
    } else {
      Value pv = p_->eval(f);
      if (pv.isNull()) return Value();
      m = like(toText(x), toText(pv));
    }
    return Value::boolean(m != negated_);
  }
  bool isConstant() const override { return a_->isConstant() && p_->isConstant(); }
  BExprP a_, p_;
  bool negated_;
  bool constNull_ = false;
  long column_ = -1;  // a_ is this column of the current row
  std::string pattern_;  // the text compiled_ was made from
  std::shared_ptr<LikePattern> compiled_;
};

class BetweenExpr : public BExpr {
 public:
  BetweenExpr(BExprP v, BExprP lo, BExprP hi, bool neg, const Collation& coll)
      : v_(std::move(v)), lo_(std::move(lo)), hi_(std::move(hi)), neg_(neg), coll_(coll) {}
  Value eval(const Frame& f) const override {
    Value x = v_->eval(f);
    Value a = comparison(BinOp::Ge, x, lo_->eval(f), coll_);
    Value b = comparison(BinOp::Le, x, hi_->eval(f), coll_);
    Value r = logical(BinOp::And, a, b);
    return neg_ ? logicalNot(r) : r;
  }
  bool isConstant() const override { return v_->isConstant() && lo_->isConstant() && hi_->isConstant(); }
  BExprP v_, lo_, hi_;
  bool neg_;
  const Collation& coll_;
};

class InListExpr : public BExpr {
 public:
  InListExpr(BExprP v, std::vector<BExprP> list, bool neg, const Collation& coll)
      : v_(std::move(v)), list_(std::move(list)), neg_(neg), coll_(coll) {}
  Value eval(const Frame& f) const override {
    Value x = v_->eval(f);
    if (x.isNull()) return Value();
    bool sawNull = false;
    for (const auto& e : list_) {
      Value y = e->eval(f);
      if (y.isNull()) { sawNull = true; continue; }
      if (compareValues(x, y, coll_) == 0) return Value::boolean(!neg_);
    }
    if (sawNull) return Value();
    return Value::boolean(neg_);
  }
  bool isConstant() const override {
    if (!v_->isConstant()) return false;
    for (auto& e : list_)
      if (!e->isConstant()) return false;
    return true;
  }
  BExprP v_;
  std::vector<BExprP> list_;
  bool neg_;
  const Collation& coll_;
};

class IsNullExpr : public BExpr {
 public:
  IsNullExpr(BExprP v, bool neg) : v_(std::move(v)), neg_(neg) {}
  Value eval(const Frame& f) const override { return Value::boolean(v_->eval(f).isNull() != neg_); }
  bool isConstant() const override { return v_->isConstant(); }
  BExprP v_;
  bool neg_;
};

class CallExpr : public BExpr {
 public:
  CallExpr(const FunctionDef* fn, std::vector<BExprP> args) : fn_(fn), args_(std::move(args)) {}
  class Args : public CallArgs {
   public:
    Args(const CallExpr& c, const Frame& f) : c_(c), f_(f) {}
    size_t size() const override { return c_.args_.size(); }
    Value get(size_t i) override {
      if (i >= c_.args_.size()) return Value();
      return c_.args_[i]->eval(f_);
    }
    const CallExpr& c_;
    const Frame& f_;
  };
  Value eval(const Frame& f) const override {
    Args a(*this, f);
    return fn_->fn(a);
  }
  bool isConstant() const override {
    if (fn_->isVolatile) return false;
    for (auto& e : args_)
      if (!e->isConstant()) return false;
    return true;
  }
  const FunctionDef* fn_;
  std::vector<BExprP> args_;
};

}  // namespace

BExprP makeConst(Value v) { return std::make_shared<ConstExpr>(std::move(v)); }

BExprP makeColumn(int depth, size_t slot, DataType type, int size) {
  auto e = std::make_shared<ColumnExpr>(depth, slot);
  e->type = type;
  e->size = size;
  return e;
}

namespace {
// Folds an expression that depends on no row into a constant, keeping the
// type the expression reports.
BExprP fold(BExprP e) {
  if (!e->isConstant() || dynamic_cast<ConstExpr*>(e.get())) return e;
  Value v;
  try {
    v = e->eval(Frame{});
  } catch (const jet::Error&) {
    return e;  // report the error when (and if) the row is evaluated
  }
  auto c = std::make_shared<ConstExpr>(v);
  c->type = e->type;
  c->size = e->size;
  return c;
}
}  // namespace

BExprP makeUnary(const std::string& op, BExprP a) {
  char c = op == "NOT" ? '!' : op[0];
  DataType t = a->type;
  auto e = std::make_shared<UnaryExpr>(c, a);
  if (c == '!') t = DataType::Boolean;
  else if (c == '-' && (t == DataType::Byte || t == DataType::Boolean)) t = DataType::Integer;
  else if (t == DataType::Text || t == DataType::Memo) t = DataType::Double;
  e->type = t;
  e->size = defaultSize(t);
  return fold(e);
}

BExprP makeBinary(BinOp op, BExprP a, BExprP b, const Collation& coll, bool negatedLike) {
  BExprP e;
  if (op == BinOp::Like) e = std::make_shared<LikeExpr>(a, b, negatedLike);
  else e = std::make_shared<BinaryExpr>(op, a, b, coll);
  if (isComparison(op) || isLogical(op) || op == BinOp::Like) e->type = DataType::Boolean;
  else e->type = arithmeticType(op, a->type, b->type);
  e->size = defaultSize(e->type);
  return fold(e);
}

BExprP makeBetween(BExprP v, BExprP lo, BExprP hi, bool negated, const Collation& coll) {
  auto e = std::make_shared<BetweenExpr>(v, lo, hi, negated, coll);
  e->type = DataType::Boolean;
  e->size = 1;
  return fold(e);
}

BExprP makeInList(BExprP v, std::vector<BExprP> list, bool negated, const Collation& coll) {
  auto e = std::make_shared<InListExpr>(v, std::move(list), negated, coll);
  e->type = DataType::Boolean;
  e->size = 1;
  return fold(e);
}

BExprP makeIsNull(BExprP v, bool negated) {
  auto e = std::make_shared<IsNullExpr>(v, negated);
  e->type = DataType::Boolean;
  e->size = 1;
  return fold(e);
}

BExprP makeCall(const FunctionDef* fn, std::vector<BExprP> args) {
  std::vector<DataType> types;
  for (auto& a : args) types.push_back(a->type);
  auto e = std::make_shared<CallExpr>(fn, std::move(args));
  e->type = fn->typeRule ? fn->typeRule(types) : fn->type;
  e->size = defaultSize(e->type);
  return fold(e);
}

std::optional<ColumnRefInfo> asColumnRef(const BExpr& e) {
  if (auto* c = dynamic_cast<const ColumnExpr*>(&e)) return ColumnRefInfo{c->depth_, c->slot_};
  return std::nullopt;
}

std::optional<Value> asConstant(const BExpr& e) {
  if (auto* c = dynamic_cast<const ConstExpr*>(&e)) return c->v_;
  return std::nullopt;
}

std::optional<SimplePredicate> asSimplePredicate(const BExpr& e) {
  if (auto* b = dynamic_cast<const BinaryExpr*>(&e)) {
    if (!isComparison(b->op_) || b->op_ == BinOp::Ne) return std::nullopt;
    // Column op constant, or constant op column (turned round).
    if (auto ca = asColumnRef(*b->a_); ca && ca->depth == 0)
      if (auto kb = asConstant(*b->b_); kb && !kb->isNull())
        return SimplePredicate{ca->slot, b->op_, std::move(*kb), std::nullopt};
    auto cb = asColumnRef(*b->b_);
    if (!cb || cb->depth != 0) return std::nullopt;
    auto ka = asConstant(*b->a_);
    if (ka && !ka->isNull()) {
      BinOp op = b->op_;
      if (op == BinOp::Lt) op = BinOp::Gt;
      else if (op == BinOp::Gt) op = BinOp::Lt;
      else if (op == BinOp::Le) op = BinOp::Ge;
      else if (op == BinOp::Ge) op = BinOp::Le;
      return SimplePredicate{cb->slot, op, std::move(*ka), std::nullopt};
    }
    return std::nullopt;
  }
  if (auto* bt = dynamic_cast<const BetweenExpr*>(&e)) {
    if (bt->neg_) return std::nullopt;
    auto c = asColumnRef(*bt->v_);
    auto lo = asConstant(*bt->lo_);
    auto hi = asConstant(*bt->hi_);
    if (c && c->depth == 0 && lo && hi && !lo->isNull() && !hi->isNull())
      return SimplePredicate{c->slot, BinOp::Ge, *lo, *hi};
  }
  return std::nullopt;
}

std::optional<LikePredicate> asLikePredicate(const BExpr& e) {
  auto* l = dynamic_cast<const LikeExpr*>(&e);
  if (!l || l->negated_ || !l->compiled_ || l->column_ < 0) return std::nullopt;
  return LikePredicate{static_cast<size_t>(l->column_), l->pattern_};
}

bool asAnd(const BExpr& e, const BExpr*& a, const BExpr*& b) {
  auto* x = dynamic_cast<const BinaryExpr*>(&e);
  if (!x || x->op_ != BinOp::And) return false;
  a = x->a_.get();
  b = x->b_.get();
  return true;
}

bool rowSlotsRead(const BExpr& e, std::vector<size_t>& slots) {
  if (dynamic_cast<const ConstExpr*>(&e)) return true;
  if (auto* c = dynamic_cast<const ColumnExpr*>(&e)) {
    if (c->depth_ == 0) slots.push_back(c->slot_);
    return true;
  }
  if (auto* u = dynamic_cast<const UnaryExpr*>(&e)) return rowSlotsRead(*u->a_, slots);
  if (auto* b = dynamic_cast<const BinaryExpr*>(&e)) return rowSlotsRead(*b->a_, slots) && rowSlotsRead(*b->b_, slots);
  if (auto* l = dynamic_cast<const LikeExpr*>(&e)) return rowSlotsRead(*l->a_, slots) && rowSlotsRead(*l->p_, slots);
  if (auto* bt = dynamic_cast<const BetweenExpr*>(&e))
    return rowSlotsRead(*bt->v_, slots) && rowSlotsRead(*bt->lo_, slots) && rowSlotsRead(*bt->hi_, slots);
  if (auto* in = dynamic_cast<const InListExpr*>(&e)) {
    if (!rowSlotsRead(*in->v_, slots)) return false;
    for (const auto& x : in->list_)
      if (!rowSlotsRead(*x, slots)) return false;
    return true;
  }
  if (auto* n = dynamic_cast<const IsNullExpr*>(&e)) return rowSlotsRead(*n->v_, slots);
  if (auto* call = dynamic_cast<const CallExpr*>(&e)) {
    for (const auto& x : call->args_)
      if (!rowSlotsRead(*x, slots)) return false;
    return true;
  }
  return false;
}

std::optional<InListPredicate> asInListPredicate(const BExpr& e) {
  auto* in = dynamic_cast<const InListExpr*>(&e);
  if (!in || in->neg_) return std::nullopt;
  auto c = asColumnRef(*in->v_);
  if (!c || c->depth != 0) return std::nullopt;
  InListPredicate p;
  p.slot = c->slot;
  for (const auto& x : in->list_) {
    auto k = asConstant(*x);
    if (!k) return std::nullopt;
    if (!k->isNull()) p.values.push_back(*k);
  }
  return p;
}

}  // namespace sql
