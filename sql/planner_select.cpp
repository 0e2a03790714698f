// One SELECT: grouping, the select list, DISTINCT and DISTINCTROW,
// HAVING, ORDER BY and TOP.
#include "sql/planner_impl.h"

namespace sql::planning {

bool Planner::coreHasAggregate(const SelectCore& c, const std::vector<OrderItem>* order) {
  if (!c.groupBy.empty() || c.having) return true;
  for (auto& it : c.items)
    if (hasAggregate(*it.expr)) return true;
  if (order)
    for (auto& o : *order)
      if (hasAggregate(*o.expr)) return true;
  return false;
}

Planner::CoreOut Planner::core(const SelectCore& c, const std::vector<OrderItem>* order, Scope* outer) {
  if (!c.into.empty())
    throw jet::Error(jet::err::kNotSupported, "SELECT ... INTO is an action query; it cannot be run as a source of rows.");
  bool manyTables = c.from.size() > 1 || (c.from.size() == 1 && c.from[0]->kind == FromKind::Join);
  ridCols_ = sh_.rowIds || (c.distinctRow && !c.distinct && manyTables);
  sh_.rowIds = false;
  orderIndex_ = chooseOrderIndex(c, order);
  orderedByIndex_ = false;
  FromResult fr = fromWhere(c, outer, order);
  Scope& rowScope = fr.scope;
  // Columns the WHERE and ON conditions read (before the select list marks more).
  std::vector<bool> filterColumns;
  if (leaves_.size() == 1 && leaves_[0].used) filterColumns = *leaves_[0].used;
  bool aggregated = coreHasAggregate(c, order) || fr.havingExtra;
  OpP op = std::move(fr.op);
  distinctSorted_ = false;
  if (c.distinct && !c.distinctRow && !aggregated && !c.having && !outer)
    if (OpP d = indexDistinct(c, rowScope)) op = std::move(d);
  const bool distinctSorted = distinctSorted_;
  AggCtx agg;
  Scope aggScope = rowScope;
  Scope* itemScope = &rowScope;
  if (aggregated) {
    for (auto& g : c.groupBy) {
      if (hasAggregate(*g)) throw jet::Error(err::kAggregateNotAllowed, "Cannot have aggregate function in GROUP BY clause (" + exprText(*g) + ").");
      agg.groupAst.push_back(g.get());
      agg.groupBound.push_back(bind(*g, rowScope));
    }
    aggScope.agg = &agg;
    aggScope.rowScope = &rowScope;
    aggScope.aliases = nullptr;
    itemScope = &aggScope;
  }
  // select list
  struct Item {
    BExprP expr;
    ResultColumn meta;
    bool plain = false;
    bool aliased = false;
    size_t leaf = 0;
  };
  std::vector<Item> out;
  out.reserve(c.items.size());
  std::set<size_t> shownLeaves;  // tables the select list reads
  for (const auto& it : c.items) {
    const Expr& e = *it.expr;
    if (e.kind == ExprKind::Star) {
      if (aggregated) throw jet::Error(err::kGroupOnStar, "Cannot group on fields selected with '*'.");
      bool any = false;
      for (size_t li = 0; li < leaves_.size(); ++li) {
        const Source& s = leaves_[li];
        if (!e.parts.empty() && !eqName(s.alias, e.parts.back())) continue;
        any = true;
        shownLeaves.insert(li);
        if (s.used) s.used->assign(s.used->size(), true);
        for (size_t ci = 0; ci < s.cols.size(); ++ci) {
          if (hiddenColumn(s.cols[ci])) continue;
          Item o;
          o.meta = s.cols[ci].meta;
          o.meta.name = s.cols[ci].name;
          o.expr = makeColumn(0, s.offset + ci, o.meta.type, o.meta.size);
          o.plain = true;
          o.leaf = li;
          out.push_back(std::move(o));
        }
      }
      if (!any && !e.parts.empty())
        throw jet::Error(jet::err::kNoSuchObject, "The database engine cannot find the input table or query '" + e.parts.back() + "'.");
      continue;
    }
    Item o;
    {
      Scope is = *itemScope;
      std::set<size_t> touched;
      is.touched = &touched;
      o.expr = bind(e, is);
      shownLeaves.insert(touched.begin(), touched.end());
    }
    o.aliased = !it.alias.empty();
    // A plain column keeps its table's metadata.
    const Source* src = nullptr;
    size_t colIdx = 0;
    if (e.kind == ExprKind::Name && !aggregated) {
      if (auto r = lookupQuiet(e.parts, rowScope)) {
        src = &leaves_[r->first];
        colIdx = r->second;
        o.leaf = r->first;
      }
    } else if (e.kind == ExprKind::Name && aggregated) {
      if (auto r = lookupQuiet(e.parts, rowScope)) {
        src = &leaves_[r->first];
        colIdx = r->second;
      }
    }
    if (src) {
      o.meta = src->cols[colIdx].meta;
      o.meta.name = src->cols[colIdx].name;
      o.plain = !aggregated;
      if (aggregated) o.meta.baseColumn = -1;
    } else {
      o.meta.type = o.expr->type;
      o.meta.size = o.expr->size;
      // Unnamed expressions are named after their place in the select list.
      o.meta.name = "Expr" + std::to_string(1000 + (&it - c.items.data()));
    }
    if (o.aliased) o.meta.name = it.alias;
    out.push_back(std::move(o));
  }
  // same name twice: qualify plain columns with their table
  std::vector<bool> qualify(out.size(), false);
  for (size_t i = 0; i < out.size(); ++i)
    for (size_t j = 0; j < out.size(); ++j)
      if (i != j && eqName(out[i].meta.name, out[j].meta.name) && !out[i].aliased && out[i].plain)
        qualify[i] = true;
  for (size_t i = 0; i < out.size(); ++i)
    if (qualify[i]) out[i].meta.name = leaves_[out[i].leaf].alias + "." + out[i].meta.name;
  // HAVING
  BExprP having;
  if (aggregated) {
    ExprP h = andOf(c.having, fr.havingExtra);
    if (h) having = bind(*h, aggScope);
  } else if (c.having) {
    having = bind(*c.having, rowScope);
  }
  // DISTINCTROW over some but not all of the tables: a row of those tables
  // appears once however many rows of the others it joins (identified by
  // RowId, or by all its values for a saved query or derived table).
  std::vector<BExprP> rowKeys;
  if (c.distinctRow && !c.distinct && !aggregated && leaves_.size() > 1 && !shownLeaves.empty() &&
      shownLeaves.size() < leaves_.size()) {
    for (size_t li : shownLeaves) {
      const Source& s = leaves_[li];
      for (size_t ci = 0; ci < s.cols.size(); ++ci) {
        if (s.hasRowId && !hiddenColumn(s.cols[ci])) continue;
        rowKeys.push_back(makeColumn(0, s.offset + ci, s.cols[ci].meta.type, s.cols[ci].meta.size));
      }
    }
  }
  // ORDER BY: a select item, else a hidden column
  std::vector<SortKey> keys;
  std::vector<BExprP> hidden;
  if (order) {
    for (const auto& o : *order) {
      std::optional<size_t> slot;
      for (size_t i = 0; i < c.items.size() && !slot; ++i) {
        if (c.items[i].expr->kind == ExprKind::Star) continue;
        if (sameExpr(*o.expr, *c.items[i].expr)) slot = itemPosition(c, i);
        else if (o.expr->kind == ExprKind::Name && o.expr->parts.size() == 1 && !c.items[i].alias.empty() &&
                 eqName(o.expr->parts[0], c.items[i].alias))
          slot = itemPosition(c, i);
      }
      if (!slot && o.expr->kind == ExprKind::Literal) continue;  // ordering by a constant does nothing
      if (!slot) {
        if (c.distinct)
          throw jet::Error(err::kOrderByConflictsDistinct, "ORDER BY clause (" + exprText(*o.expr) + ") conflicts with DISTINCT.");
        hidden.push_back(bind(*o.expr, *itemScope));
        slot = out.size() + rowKeys.size() + hidden.size() - 1;
      }
      keys.push_back({*slot, o.desc});
    }
  }
  // assemble
  std::vector<IndexAggregate> fromIndex;
  if (aggregated && agg.groupBound.empty() && !having && !c.where && !c.distinct && leaves_.size() == 1 &&
      leaves_[0].def && leaves_[0].pushed.empty() && !agg.aggs.empty() && sh_.db) {
    const auto& def = *leaves_[0].def;
    for (const auto& a : agg.aggs) {
      auto ref = (a.kind == AggKind::Min || a.kind == AggKind::Max) && a.arg ? asColumnRef(*a.arg) : std::nullopt;
      if (!ref || ref->depth != 0 || ref->slot >= def.columns.size()) break;
      DataType t = def.columns[ref->slot].type;
      if (t != DataType::Byte && t != DataType::Integer && t != DataType::Long && t != DataType::BigInt &&
          t != DataType::Currency && t != DataType::DateTime)
        break;
      int found = -1;
      for (size_t ri = 0; ri < def.realIndexes.size() && found < 0; ++ri) {
        const auto& rix = def.realIndexes[ri];
        if (!rix.columns.empty() && rix.columns[0].column == static_cast<int>(ref->slot) && rix.columns[0].ascending &&
            jet::canEncodeKey(sh_.db->format(), def, rix))
          found = static_cast<int>(ri);
      }
      if (found < 0) break;
      fromIndex.push_back({found, ref->slot, a.kind == AggKind::Max});
    }
    if (fromIndex.size() != agg.aggs.size()) fromIndex.clear();
  }
  OpP counted;
  if (fromIndex.empty() && aggregated && agg.groupBound.empty() && !having && !c.distinct && !fr.havingExtra) {
    std::vector<ExprP> where;
    conjuncts(c.where, where);
    counted = indexCount(agg.aggs, where.size());
  }
  if (!fromIndex.empty()) {
    sh_.notes.push_back("Min/Max from index on " + leaves_[0].def->name);
    op = makeIndexMinMax(*sh_.db, leaves_[0].def, std::move(fromIndex));
  } else if (counted) {
    op = std::move(counted);  // one row: the counts
  } else if (aggregated) {
    op = makeAggregate(std::move(op), agg.groupBound, agg.aggs, *sh_.coll);
    if (having) op = makeFilter(std::move(op), having);
  } else if (having) {
    op = makeFilter(std::move(op), having);
  }
  CoreOut res;
  bool singleBase = !aggregated && !c.distinct && leaves_.size() == 1 && (leaves_[0].def || leaves_[0].ridThrough);
  bool allPlain = !out.empty();
  for (auto& o : out)
    if (!o.plain || o.meta.baseColumn < 0) allPlain = false;
  res.updatable = singleBase && allPlain;
  if (res.updatable) {
    res.baseDef = leaves_[0].def ? leaves_[0].def : leaves_[0].ridDef;
    res.baseTable = leaves_[0].def ? leaves_[0].def->name : leaves_[0].ridTable;
  }
  // TOP n over ORDER BY fields of the one table: rows are ranked reading only
  // the sort fields and what the conditions test; the n rows kept are then
  // read whole through their RowIds (no Memo is read for rows left out).
  bool topDone = false;
  // Without TOP the same holds for the whole sort: it keeps each row's
  // RowId and keys only, and the rows are read whole as they are fetched.
  if (orderedByIndex_ || aggregated || having || c.distinct || !rowKeys.empty() ||
      (c.hasTop && (c.topPercent || c.top < 0 || c.top >= 1e6)) || !order || order->empty() || leaves_.size() != 1 ||
      !leaves_[0].def ||
      leaves_[0].hasRowId || !leaves_[0].used || filterColumns.size() != leaves_[0].used->size()) {
  } else {
    std::vector<SortKey> raw;
    for (const auto& o : *order) {
      if (o.expr->kind != ExprKind::Name) break;
      bool aliased = false;
      for (const auto& it : c.items)
        if (!it.alias.empty() && eqName(it.alias, o.expr->parts.back())) aliased = true;
      auto r = aliased ? std::nullopt : lookupQuiet(o.expr->parts, rowScope);
      if (!r || r->first != 0 || r->second >= leaves_[0].def->columns.size()) break;
      raw.push_back({r->second, o.desc});
    }
    if (raw.size() == order->size()) {
      auto full = std::make_shared<std::vector<bool>>(*leaves_[0].used);
      std::vector<bool>& narrow = *leaves_[0].used;
      narrow = filterColumns;
      for (const auto& k : raw) narrow[k.slot] = true;
      op = c.hasTop ? makeTopSort(std::move(op), raw, static_cast<size_t>(c.top), *sh_.coll)
                    : makeKeySort(std::move(op), raw, *sh_.coll, leaves_[0].def->rowCount);
      op = makeRefetch(std::move(op), *sh_.db, leaves_[0].def, full);
      topDone = true;
    }
  }
  std::vector<BExprP> exprs;
  exprs.reserve(out.size() + rowKeys.size() + hidden.size());
  for (auto& o : out) exprs.push_back(o.expr);
  for (auto& k : rowKeys) exprs.push_back(k);
  for (auto& h : hidden) exprs.push_back(h);
  op = makeProject(std::move(op), exprs, res.updatable);
  size_t visible = out.size();
  if (!rowKeys.empty()) op = makeDistinct(std::move(op), visible + rowKeys.size(), *sh_.coll);
  if (c.distinct && !distinctSorted) {
    op = makeDistinct(std::move(op), visible, *sh_.coll);
    if (keys.empty()) {
      // the product's DISTINCT comes out in the order of its columns
      for (size_t i = 0; i < visible; ++i) keys.push_back({i, false});
    }
  }
  const bool ordered = order && !order->empty();
  if (topDone) {
    // ranked and cut before the projection
  } else if (orderedByIndex_ && ordered && !aggregated && !c.distinct && rowKeys.empty()) {
    // the rows come in the order asked for: TOP stops early
    if (c.hasTop) op = makeTop(std::move(op), c.top, c.topPercent, keys, *sh_.coll);
  } else if (c.hasTop && !c.topPercent && ordered && !keys.empty() && c.top >= 0 && c.top < 1e6) {
    op = makeTopSort(std::move(op), keys, static_cast<size_t>(c.top), *sh_.coll);
  } else {
    if (!keys.empty()) op = makeSort(std::move(op), keys, *sh_.coll);
    if (c.hasTop) op = makeTop(std::move(op), c.top, c.topPercent, ordered ? keys : std::vector<SortKey>{}, *sh_.coll);
  }
  if (!hidden.empty() || !rowKeys.empty()) op = makeTruncate(std::move(op), visible);
  res.op = std::move(op);
  res.cols.reserve(out.size());
  for (auto& o : out) res.cols.push_back(std::move(o.meta));
  return res;
}

size_t Planner::itemPosition(const SelectCore& c, size_t i) {
  size_t pos = 0;
  for (size_t k = 0; k < i; ++k) {
    const Expr& e = *c.items[k].expr;
    if (e.kind == ExprKind::Star) {
      for (const auto& s : leaves_)
        if (e.parts.empty() || eqName(s.alias, e.parts.back()))
          for (const auto& col : s.cols) pos += hiddenColumn(col) ? 0 : 1;
    } else {
      ++pos;
    }
  }
  return pos;
}

std::optional<std::pair<size_t, size_t>> Planner::lookupQuiet(const std::vector<std::string>& parts, const Scope& s) {
  try {
    return lookup(parts, s);
  } catch (const jet::Error&) {
    return std::nullopt;
  }
}

// An index of the statement's one table whose leading columns are the
// ORDER BY fields, all ascending or all descending as the index stores them;
// only for numbers and dates, whose index order is their sort order.
int Planner::chooseOrderIndex(const SelectCore& c, const std::vector<OrderItem>* order) {
  if (!order || order->empty() || !sh_.db || c.distinct || c.distinctRow || coreHasAggregate(c, order)) return -1;
  if (c.from.size() != 1 || c.from[0]->kind != FromKind::Table || !c.from[0]->inDatabase.empty()) return -1;
  const FromItem& f = *c.from[0];
  const jet::CatalogEntry* ent = sh_.db->find(f.name);
  if (!ent || !ent->isTable()) return -1;
  auto def = sh_.db->table(*ent);
  const std::string& alias = f.alias.empty() ? f.name : f.alias;
  std::vector<std::pair<int, bool>> cols;  // column, ascending
  for (const auto& o : *order) {
    const Expr& e = *o.expr;
    if (e.kind != ExprKind::Name || e.parts.size() > 2) return -1;
    if (e.parts.size() == 2 && !eqName(e.parts[0], alias)) return -1;
    for (const auto& it : c.items)
      if (!it.alias.empty() && eqName(it.alias, e.parts.back())) return -1;
    int col = def->findColumn(e.parts.back());
    if (col < 0) return -1;
    DataType t = def->columns[static_cast<size_t>(col)].type;
    if (t != DataType::Byte && t != DataType::Integer && t != DataType::Long && t != DataType::BigInt &&
        t != DataType::Currency && t != DataType::DateTime)
      return -1;
    cols.push_back({col, !o.desc});
  }
  for (size_t ri = 0; ri < def->realIndexes.size(); ++ri) {
    const auto& rix = def->realIndexes[ri];
    if (rix.columns.size() < cols.size() || rix.ignoreNulls() || !jet::canEncodeKey(sh_.db->format(), *def, rix))
      continue;  // an index that leaves Nulls out cannot give every row
    bool match = true;
    for (size_t k = 0; k < cols.size() && match; ++k)
      match = rix.columns[k].column == cols[k].first && rix.columns[k].ascending == cols[k].second;
    if (match) return static_cast<int>(ri);
  }
  return -1;
}

}  // namespace sql::planning
