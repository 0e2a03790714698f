// Crosstab queries: TRANSFORM ... SELECT ... GROUP BY ... PIVOT.
#include "sql/planner_impl.h"

namespace sql::planning {

Plan Planner::crosstab(const Query& q) {
  const SelectCore& c = q.parts[0];
  FromResult fr = fromWhere(c, nullptr, &q.orderBy);
  Scope& rowScope = fr.scope;
  AggCtx agg;
  for (auto& g : c.groupBy) {
    agg.groupAst.push_back(g.get());
    agg.groupBound.push_back(bind(*g, rowScope));
  }
  Scope aggScope = rowScope;
  aggScope.agg = &agg;
  aggScope.rowScope = &rowScope;
  aggScope.aliases = nullptr;
  CrosstabSpec spec;
  spec.rowGroups = agg.groupBound;
  std::vector<ResultColumn> cols;
  for (const auto& it : c.items) {
    if (it.expr->kind == ExprKind::Star) throw jet::Error(err::kGroupOnStar, "Cannot group on fields selected with '*'.");
    BExprP b = bind(*it.expr, aggScope);
    ResultColumn rc;
    if (it.expr->kind == ExprKind::Name) {
      if (auto r = lookupQuiet(it.expr->parts, rowScope)) {
        rc = leaves_[r->first].cols[r->second].meta;
        rc.name = leaves_[r->first].cols[r->second].name;
        rc.baseColumn = -1;
      }
    }
    if (rc.name.empty()) {
      rc.type = b->type;
      rc.size = b->size;
      rc.name = "Expr" + std::to_string(1000 + (&it - c.items.data()));
    }
    if (!it.alias.empty()) rc.name = it.alias;
    spec.headings.push_back(b);
    cols.push_back(rc);
  }
  ExprP h = andOf(c.having, fr.havingExtra);
  if (h) spec.having = bind(*h, aggScope);
  const Expr& t = *q.transform;
  if (t.kind != ExprKind::Call || !isAggregateName(t.parts[0]) || t.args.size() != 1)
    throw jet::Error(err::kTransformNeedsAggregate, "The TRANSFORM statement needs an aggregate function.");
  bool star = t.args[0]->kind == ExprKind::Star;
  spec.value.kind = aggKindFromName(t.parts[0], star);
  if (!star) spec.value.arg = bind(*t.args[0], rowScope);
  spec.pivot = bind(*q.pivot, rowScope);
  for (auto& v : q.pivotIn) {
    BExprP b = bind(*v, rowScope);
    auto k = asConstant(*b);
    if (!k) throw jet::Error(jet::err::kSyntax, "PIVOT ... IN needs constant values.");
    spec.fixedColumns.push_back(*k);
  }
  spec.rowAggs = agg.aggs;
  // aggregates met while binding the headings were added after rowGroups
  spec.rowAggs = agg.aggs;
  std::vector<std::string> names;
  std::vector<DataType> types;
  OpP op = makeCrosstab(std::move(fr.op), spec, &names, &types, *sh_.coll);
  size_t headings = cols.size();
  for (size_t i = 0; i < names.size(); ++i) {
    ResultColumn rc;
    rc.name = names[i];
    rc.type = types[i];
    rc.size = defaultSize(types[i]);
    cols.push_back(rc);
  }
  if (!q.orderBy.empty()) {
    std::vector<SortKey> keys;
    for (auto& o : q.orderBy) {
      for (size_t i = 0; i < c.items.size() && i < headings; ++i) {
        bool match = sameExpr(*o.expr, *c.items[i].expr) ||
                     (o.expr->kind == ExprKind::Name && o.expr->parts.size() == 1 && eqName(o.expr->parts[0], cols[i].name));
        if (!match) {
          // ORDER BY a grouped column that the SELECT shows
          for (size_t g = 0; g < c.groupBy.size(); ++g)
            if (sameExpr(*o.expr, *c.groupBy[g]) && sameExpr(*c.groupBy[g], *c.items[i].expr)) match = true;
        }
        if (match) { keys.push_back({i, o.desc}); break; }
      }
    }
    if (!keys.empty()) op = makeSort(std::move(op), keys, *sh_.coll);
  }
  Plan p;
  p.root = std::shared_ptr<Op>(std::move(op));
  p.columns = std::move(cols);
  return p;
}

}  // namespace sql::planning
