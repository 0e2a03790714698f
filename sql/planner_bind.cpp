// Binding: names resolved against the FROM clause, enclosing queries,
// select-list aliases and parameters; expressions and aggregates bound.
#include "sql/planner_impl.h"

namespace sql::planning {

std::optional<std::pair<size_t, size_t>> Planner::lookup(const std::vector<std::string>& parts, const Scope& sc) {
  if (!sc.leaves) return std::nullopt;
  auto& L = *sc.leaves;
  if (parts.size() == 1) {
    std::optional<std::pair<size_t, size_t>> found;
    for (size_t i = sc.first; i < sc.last; ++i)
      for (size_t c = 0; c < L[i].cols.size(); ++c)
        if (eqName(L[i].cols[c].name, parts[0])) {
          if (found && found->first != i)
            throw jet::Error(err::kAmbiguousField, "The specified field '" + parts[0] +
                                       "' could refer to more than one table listed in the FROM clause of your SQL statement.");
          if (!found) found = std::make_pair(i, c);
        }
    return found;
  }
  const std::string& q = parts[parts.size() - 2];
  const std::string& n = parts.back();
  for (size_t i = sc.first; i < sc.last; ++i) {
    if (!eqName(L[i].alias, q)) continue;
    for (size_t c = 0; c < L[i].cols.size(); ++c)
      if (eqName(L[i].cols[c].name, n)) return std::make_pair(i, c);
    // a qualified name whose column does not exist: a parameter, as in the product
    return std::nullopt;
  }
  return std::nullopt;
}

BExprP Planner::resolveName(const Expr& e, Scope& s) {
  int depth = 0;
  for (Scope* sc = &s; sc; sc = sc->outer, ++depth) {
    auto r = lookup(e.parts, *sc);
    if (r) {
      for (Scope* m = &s; m != sc; m = m->outer) {
        m->usesOuter = true;
        if (m->owner) m->owner->usedOuter_ = true;
      }
      if (depth > 0) ++outerRefs_;
      if (depth == 0 && s.touched) s.touched->insert(r->first);
      const Source& src = (*sc->leaves)[r->first];
      if (src.used && r->second < src.used->size()) (*src.used)[r->second] = true;
      size_t slot = src.offset - sc->base() + r->second;
      const auto& meta = src.cols[r->second].meta;
      if (sc->agg) {
        // A subquery inside a grouped query sees the groups, not the rows
        // they were made from: the name must be one of the grouped columns.
        const AggCtx& a = *sc->agg;
        for (size_t i = 0; i < a.groupBound.size(); ++i) {
          auto g = asColumnRef(*a.groupBound[i]);
          if (g && g->depth == 0 && g->slot == slot) return makeColumn(depth, i, meta.type, meta.size);
        }
        throw jet::Error(err::kNotInAggregate, "You tried to execute a query that does not include the specified expression '" +
                                   exprText(e) + "' as part of an aggregate function.");
      }
      return makeColumn(depth, slot, meta.type, meta.size);
    }
    if (depth == 0 && e.parts.size() == 1 && sc->aliases) {
      for (const auto& it : *sc->aliases) {
        if (it.alias.empty() || !eqName(it.alias, e.parts[0])) continue;
        if (std::find(aliasStack_.begin(), aliasStack_.end(), jet::upperName(it.alias)) != aliasStack_.end())
          throw jet::Error(err::kCircularReference, "Circular reference caused by alias '" + it.alias + "' in query definition's SELECT list.");
        aliasStack_.push_back(jet::upperName(it.alias));
        BExprP b = bind(*it.expr, s);
        aliasStack_.pop_back();
        return b;
      }
    }
  }
  std::string name;
  for (size_t i = 0; i < e.parts.size(); ++i) name += (i ? "." : "") + e.parts[i];
  return parameter(name);
}

BExprP Planner::parameter(const std::string& name) {
  std::string key = paramKey(name);
  auto d = sh_.declared.find(key);
  auto v = sh_.supplied.find(key);
  if (v != sh_.supplied.end()) {
    Value val = v->second;
    DataType t = d != sh_.declared.end() ? d->second.type : DataType::Null;
    if (!val.isNull() && t != DataType::Null) val = convertTo(val, t);
    auto c = makeConst(val);
    if (t != DataType::Null) {
      c->type = t;
      c->size = defaultSize(t);
    }
    return c;
  }
  if (std::find(sh_.missing.begin(), sh_.missing.end(), key) == sh_.missing.end()) sh_.missing.push_back(key);
  auto c = makeConst(Value());
  if (d != sh_.declared.end() && d->second.type != DataType::Null) {
    c->type = d->second.type;
    c->size = defaultSize(c->type);
  }
  return c;
}

Value Planner::convertTo(const Value& v, DataType t) {
  switch (t) {
    case DataType::Text: case DataType::Memo: return Value::text(toText(v), t);
    case DataType::Boolean: return Value::boolean(toBool(v));
    case DataType::Byte: return Value::byte(static_cast<uint8_t>(toIntegerChecked(toDouble(v), 0, 255)));
    case DataType::Integer: return Value::integer(static_cast<int16_t>(toIntegerChecked(toDouble(v), -32768, 32767)));
    case DataType::Long: return Value::longInt(static_cast<int32_t>(toIntegerChecked(toDouble(v), INT32_MIN, INT32_MAX)));
    case DataType::Currency: return Value::currency(toCurrencyUnits(v));
    case DataType::Single: return Value::single(static_cast<float>(toDouble(v)));
    case DataType::Double: case DataType::Decimal: return Value::dbl(toDouble(v));
    case DataType::DateTime: return Value::dateTime(toDate(v));
    default: return v;
  }
}

BExprP Planner::bind(const Expr& e, Scope& s) {
  if (s.agg) {
    AggCtx& a = *s.agg;
    for (size_t i = 0; i < a.groupAst.size(); ++i)
      if (sameExpr(e, *a.groupAst[i])) return makeColumn(0, i, a.groupBound[i]->type, a.groupBound[i]->size);
    if (e.kind == ExprKind::Call && isAggregateName(e.parts[0])) return aggregateSlot(e, s);
    if (e.kind == ExprKind::Name) {
      BExprP b = bind(e, *s.rowScope);
      auto ref = asColumnRef(*b);
      if (!ref) return b;  // parameter or alias expression
      if (ref->depth > 0) return b;
      for (size_t i = 0; i < a.groupBound.size(); ++i) {
        auto g = asColumnRef(*a.groupBound[i]);
        if (g && g->depth == 0 && g->slot == ref->slot) return makeColumn(0, i, b->type, b->size);
      }
      throw jet::Error(err::kNotInAggregate, "You tried to execute a query that does not include the specified expression '" +
                                 exprText(e) + "' as part of an aggregate function.");
    }
    if (e.kind == ExprKind::Star)
      throw jet::Error(err::kGroupOnStar, "Cannot group on fields selected with '*'.");
  }
  switch (e.kind) {
    case ExprKind::Literal: return makeConst(e.value);
    case ExprKind::Name: return resolveName(e, s);
    case ExprKind::Star: throw jet::Error(jet::err::kSyntax, "'*' is not allowed here.");
    case ExprKind::Unary: return makeUnary(e.op, bind(*e.args[0], s));
    case ExprKind::Binary: {
      BExprP l = bind(*e.args[0], s), r = bind(*e.args[1], s);
      return makeBinary(binOpFromText(e.op), l, r, *sh_.coll, e.negated);
    }
    case ExprKind::Between:
      return makeBetween(bind(*e.args[0], s), bind(*e.args[1], s), bind(*e.args[2], s), e.negated, *sh_.coll);
    case ExprKind::InList: {
      BExprP v = bind(*e.args[0], s);
      std::vector<BExprP> list;
      for (size_t i = 1; i < e.args.size(); ++i) list.push_back(bind(*e.args[i], s));
      return makeInList(v, std::move(list), e.negated, *sh_.coll);
    }
    case ExprKind::IsNull: return makeIsNull(bind(*e.args[0], s), e.negated);
    case ExprKind::InQuery: {
      BExprP v = bind(*e.args[0], s);
      bool corr = false;
      Plan p = subPlan(*e.query, s, &corr);
      if (p.columns.size() != 1)
        throw jet::Error(err::kSubqueryManyFields, "You have written a subquery that can return more than one field without using the EXISTS reserved word in the main query's FROM clause. Revise the SELECT statement of the subquery to request only one field.");
      return makeInSubquery(v, p.root, e.negated, corr, *sh_.coll);
    }
    case ExprKind::Exists: {
      bool corr = false;
      Plan p = subPlan(*e.query, s, &corr);
      return makeExists(p.root, e.negated, corr);
    }
    case ExprKind::Subquery: {
      bool corr = false;
      Plan p = subPlan(*e.query, s, &corr);
      if (p.columns.size() != 1)
        throw jet::Error(err::kSubqueryManyFields, "You have written a subquery that can return more than one field without using the EXISTS reserved word in the main query's FROM clause. Revise the SELECT statement of the subquery to request only one field.");
      return makeScalarSubquery(p.root, p.columns[0].type, p.columns[0].size, corr);
    }
    case ExprKind::Call: {
      const std::string& fname = e.parts[0];
      if (isAggregateName(fname))
        throw jet::Error(err::kAggregateNotAllowed, "Cannot have aggregate function in expression (" + exprText(e) + ").");
      const FunctionDef* fn = findFunction(fname);
      if (!fn) throw jet::Error(jet::err::kUndefinedFunction, "Undefined function '" + fname + "' in expression.");
      int n = static_cast<int>(e.args.size());
      if (n < fn->minArgs || n > fn->maxArgs)
        throw jet::Error(jet::err::kSyntax, "Wrong number of arguments used with function in query expression '" +
                                                exprText(e) + "'.");
      std::vector<BExprP> args;
      for (auto& a : e.args) {
        if (a->kind == ExprKind::Star) throw jet::Error(jet::err::kSyntax, "'*' is not allowed in " + fname + "().");
        args.push_back(bind(*a, s));
      }
      return makeCall(fn, std::move(args));
    }
  }
  throw jet::Error(jet::err::kSyntax, "Unsupported expression.");
}

BExprP Planner::aggregateSlot(const Expr& e, Scope& s) {
  AggCtx& a = *s.agg;
  for (size_t j = 0; j < a.aggAst.size(); ++j)
    if (sameExpr(e, *a.aggAst[j])) {
      DataType t = aggResultType(a.aggs[j].kind, a.aggs[j].arg ? a.aggs[j].arg->type : DataType::Null);
      return makeColumn(0, a.groupAst.size() + j, t, defaultSize(t));
    }
  bool star = e.args.size() == 1 && e.args[0]->kind == ExprKind::Star;
  if (e.args.size() != 1)
    throw jet::Error(jet::err::kSyntax, "Wrong number of arguments used with function in query expression '" + exprText(e) + "'.");
  AggKind k = aggKindFromName(e.parts[0], star);
  if (star && k != AggKind::CountStar) throw jet::Error(jet::err::kSyntax, "'*' is only allowed in Count(*).");
  BExprP arg;
  if (!star) {
    if (hasAggregate(*e.args[0]))
      throw jet::Error(err::kAggregateNotAllowed, "Cannot have aggregate function in expression (" + exprText(e) + ").");
    arg = bind(*e.args[0], *s.rowScope);
  }
  a.aggAst.push_back(&e);
  a.aggs.push_back({k, arg});
  DataType t = aggResultType(k, arg ? arg->type : DataType::Null);
  return makeColumn(0, a.groupAst.size() + a.aggAst.size() - 1, t, defaultSize(t));
}

Plan Planner::subPlan(const Query& q, Scope& s, bool* corr) {
  Planner p(sh_);
  // In a grouped query the subquery runs once per group, against the
  // grouped row; names of the outer query resolve through the groups.
  return p.plan(q, &s, corr);
}

}  // namespace sql::planning
