// Bound expressions: names resolved to row positions, functions looked up,
// types known. Evaluated against a row (and the rows of enclosing queries for
// correlated subqueries).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/value.h"
#include "sql/collate.h"
#include "sql/functions.h"
#include "sql/ops.h"

namespace sql {

// The row an expression sees, chained to the rows of enclosing queries.
struct Frame {
  const std::vector<jet::Value>* row = nullptr;
  const Frame* outer = nullptr;
};

class BExpr {
 public:
  virtual ~BExpr() = default;
  virtual jet::Value eval(const Frame& f) const = 0;
  // Constant when it depends on no row (parameters are constants too).
  virtual bool isConstant() const { return false; }
  jet::DataType type = jet::DataType::Text;
  int size = 0;
};
using BExprP = std::shared_ptr<BExpr>;

BExprP makeConst(jet::Value v);
BExprP makeColumn(int depth, size_t slot, jet::DataType type, int size);
BExprP makeUnary(const std::string& op, BExprP a);
// Comparisons compare texts by coll (the statement's collation).
BExprP makeBinary(BinOp op, BExprP a, BExprP b, const Collation& coll, bool negatedLike = false);
BExprP makeBetween(BExprP v, BExprP lo, BExprP hi, bool negated, const Collation& coll);
BExprP makeInList(BExprP v, std::vector<BExprP> list, bool negated, const Collation& coll);
BExprP makeIsNull(BExprP v, bool negated);
BExprP makeCall(const FunctionDef* fn, std::vector<BExprP> args);

// Column reference details (for the planner: pushing filters, index use).
struct ColumnRefInfo {
  int depth = 0;
  size_t slot = 0;
};
std::optional<ColumnRefInfo> asColumnRef(const BExpr& e);
std::optional<jet::Value> asConstant(const BExpr& e);

// "column op constant" (either order; op normalised so the column is on the
// left) and "column Between constant And constant": what index lookups use.
struct SimplePredicate {
  size_t slot = 0;
  BinOp op = BinOp::Eq;          // Eq, Lt, Gt, Le, Ge; Between gives Ge with high set
  jet::Value value;
  std::optional<jet::Value> high;
};
std::optional<SimplePredicate> asSimplePredicate(const BExpr& e);

// "column In (constants)" (not negated); the Null constants are left out
// (they never match).
struct InListPredicate {
  size_t slot = 0;
  std::vector<jet::Value> values;
};
std::optional<InListPredicate> asInListPredicate(const BExpr& e);

// "column Like pattern" with a fixed pattern (not Not Like): what tests on
// a column's stored bytes use.
struct LikePredicate {
  size_t slot = 0;
  std::string pattern;
};
std::optional<LikePredicate> asLikePredicate(const BExpr& e);
// The two operands of an And; false for any other expression.
bool asAnd(const BExpr& e, const BExpr*& a, const BExpr*& b);

// The slots of the current row (depth 0) that evaluating e reads, added to
// slots (repeats possible); false when e holds something whose reads are not
// known here (subqueries), so that a caller must assume every slot is read.
bool rowSlotsRead(const BExpr& e, std::vector<size_t>& slots);

// Size reported for a computed column of a type.
int defaultSize(jet::DataType t);

}  // namespace sql
