#include "sql/planner_impl.h"

namespace sql {

namespace planning {

Plan Planner::plan(const Query& q, Scope* outer, bool* correlated) {
  for (const auto& d : q.params) sh_.declared[paramKey(d.name)] = d;
  switch (q.kind) {
    case StatementKind::Select: case StatementKind::Union: case StatementKind::Crosstab: break;
    case StatementKind::MakeTable:
      throw jet::Error(jet::err::kNotSupported, "SELECT ... INTO is an action query; running action queries is not supported.");
    default:
      throw jet::Error(jet::err::kNotSupported, "This is an action query (" + q.verb +
                                                    "); it cannot be opened as a recordset.");
  }
  if (q.kind == StatementKind::Crosstab) return crosstab(q);
  Plan p;
  if (q.parts.size() == 1) {
    // a private scope chain so correlation can be seen
    Planner inner(sh_);
    CoreOut co = inner.core(q.parts[0], &q.orderBy, outer);
    if (correlated) *correlated = inner.usedOuter_;
    p.root = std::shared_ptr<Op>(std::move(co.op));
    p.columns = std::move(co.cols);
    p.updatable = co.updatable;
    p.baseTable = co.baseTable;
    p.baseDef = co.baseDef;
    return p;
  }
  // UNION: each part planned alone; ORDER BY applies to the whole
  std::vector<OpP> parts;
  std::vector<ResultColumn> cols;
  bool corr = false;
  OpP acc;
  for (size_t i = 0; i < q.parts.size(); ++i) {
    Planner inner(sh_);
    CoreOut co = inner.core(q.parts[i], nullptr, outer);
    if (inner.usedOuter_) corr = true;
    if (i == 0) {
      cols = co.cols;
    } else {
      if (co.cols.size() != cols.size())
        throw jet::Error(err::kUnionColumnCount, "The number of columns in the two selected tables or queries of a union query do not match.");
      for (size_t k = 0; k < cols.size(); ++k) {
        if (cols[k].type != co.cols[k].type) {
          cols[k].type = commonType({cols[k].type, co.cols[k].type});
          cols[k].size = std::max(cols[k].size, co.cols[k].size);
        }
        if (cols[k].sourceTable != co.cols[k].sourceTable || cols[k].sourceField != co.cols[k].sourceField) {
          cols[k].sourceTable.clear();
          cols[k].sourceField.clear();
        }
      }
    }
    if (i == 0) {
      acc = std::move(co.op);
    } else {
      std::vector<OpP> two;
      two.push_back(std::move(acc));
      two.push_back(std::move(co.op));
      acc = makeConcat(std::move(two));
      if (!q.unionAll[i - 1]) acc = makeDistinct(std::move(acc), cols.size(), *sh_.coll);
    }
  }
  for (auto& c : cols) {
    c.baseColumn = -1;
    c.required = false;
  }
  bool anyDistinct = false;
  for (bool a : q.unionAll)
    if (!a) anyDistinct = true;
  std::vector<SortKey> keys;
  for (auto& o : q.orderBy) {
    std::optional<size_t> slot;
    if (o.expr->kind == ExprKind::Name) {
      for (size_t k = 0; k < cols.size() && !slot; ++k) {
        std::string n = cols[k].name;
        if (eqName(n, o.expr->parts.back())) slot = k;
        else if (n.find('.') != std::string::npos && eqName(n.substr(n.find('.') + 1), o.expr->parts.back())) slot = k;
      }
      // the first SELECT's column written in full (Table.Column)
      if (!slot) {
        const SelectCore& first = q.parts[0];
        for (size_t k = 0; k < first.items.size() && !slot; ++k)
          if (sameExpr(*o.expr, *first.items[k].expr) && k < cols.size()) slot = k;
      }
    } else if (o.expr->kind == ExprKind::Literal && o.expr->value.isNumeric()) {
      int64_t n = o.expr->value.asInt();
      if (n >= 1 && static_cast<size_t>(n) <= cols.size()) slot = static_cast<size_t>(n - 1);
    }
    if (!slot) {
      const SelectCore& first = q.parts[0];
      for (size_t k = 0; k < first.items.size() && !slot; ++k)
        if (sameExpr(*o.expr, *first.items[k].expr) && k < cols.size()) slot = k;
    }
    if (!slot)
      throw jet::Error(err::kUnionOrderBy, "The ORDER BY expression (" + exprText(*o.expr) + ") includes fields that are not selected by the query. Only those fields requested in the first query can be included in an ORDER BY expression.");
    keys.push_back({*slot, o.desc});
  }
  if (keys.empty() && anyDistinct)
    for (size_t k = 0; k < cols.size(); ++k) keys.push_back({k, false});
  if (!keys.empty()) acc = makeSort(std::move(acc), keys, *sh_.coll);
  if (correlated) *correlated = corr;
  p.root = std::shared_ptr<Op>(std::move(acc));
  p.columns = std::move(cols);
  return p;
}

}  // namespace planning

using planning::Planner;
using planning::Shared;
using planning::paramKey;


Plan planQuery(jet::Database& db, const Query& q, const Params& params) { return planQuery(&db, q, params); }

Plan planQuery(jet::Database* db, const Query& q, const Params& params) {
  return planQuery(db, q, params, PlanOptions{});
}

Plan planQuery(jet::Database* db, const Query& q, const Params& params, const PlanOptions& opts) {
  Shared sh(db);
  for (const auto& [k, v] : params) sh.supplied[paramKey(k)] = v;
  sh.rowIds = opts.rowIds;
  sh.allowMissing = opts.allowMissingParams;
  Planner p(sh);
  Plan plan = p.plan(q, nullptr, nullptr);
  if (!sh.missing.empty() && !sh.allowMissing)
    throw jet::Error(jet::err::kTooFewParameters, "Too few parameters. Expected " + std::to_string(sh.missing.size()) + ".");
  plan.notes = std::move(sh.notes);
  return plan;
}

}  // namespace sql
