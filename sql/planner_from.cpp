// The FROM clause: tables, saved queries and derived tables laid out as
// leaves, conditions pushed to them, index choice, and the joins.
#include "sql/planner_impl.h"
#include "jet/index_key.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <utility>

namespace sql::planning {

void Planner::addLeafForTable(const std::string& name, const std::string& alias, bool pushable) {
  Source src;
  src.alias = alias.empty() ? name : alias;
  src.pushable = pushable;
  const jet::CatalogEntry* ent = sh_.db ? sh_.db->find(name) : nullptr;
  if (!ent)
    throw jet::Error(jet::err::kNoSuchObject, "The database engine cannot find the input table or query '" + name +
                                                  "'. Make sure it exists and that its name is spelled correctly.");
  if (ent->kind == jet::ObjectKind::Query) {
    planSavedQuery(ent->name, src);
  } else if (ent->isTable()) {
    src.def = sh_.db->table(*ent);
    src.used = std::make_shared<std::vector<bool>>(src.def->columns.size(), false);
    src.cols.share(tableColumns(src.def, sh_.db->format().jet3));
    if (ridCols_) {
      SrcCol sc;
      sc.name = kRowIdColumn;
      sc.meta.name = kRowIdColumn;
      sc.meta.type = DataType::BigInt;
      sc.meta.size = 8;
      src.cols.push_back(std::move(sc));
      src.hasRowId = true;
    }
  } else {
    throw jet::Error(jet::err::kNotSupported, "'" + name + "' is a linked table; reading linked tables is not supported.");
  }
  addLeaf(std::move(src));
}

void Planner::planSavedQuery(const std::string& name, Source& src) {
  if (!sh_.savedLoaded) {
    sh_.saved = sh_.db->queries();
    sh_.savedLoaded = true;
  }
  const jet::SavedQuery* sq = nullptr;
  for (const auto& q : sh_.saved)
    if (eqName(q.name, name)) sq = &q;
  if (!sq) throw jet::Error(jet::err::kNoSuchObject, "The database engine cannot find the input table or query '" + name + "'.");
  std::string key = jet::upperName(name);
  if (std::find(sh_.expanding.begin(), sh_.expanding.end(), key) != sh_.expanding.end() || sh_.expanding.size() > 32)
    throw jet::Error(err::kCircularReference, "Circular reference caused by '" + name + "'.");
  QueryP parsed = parseStatement(sq->sql);
  if (parsed->kind != StatementKind::Select && parsed->kind != StatementKind::Union && parsed->kind != StatementKind::Crosstab)
    throw jet::Error(jet::err::kNotSupported, "'" + name + "' is an action query; it cannot be used as a source of rows.");
  sh_.expanding.push_back(key);
  Planner p(sh_);
  Plan sub = p.plan(*parsed, nullptr, nullptr);
  sh_.expanding.pop_back();
  fillFromPlan(src, sub);
}

void Planner::fillFromPlan(Source& src, Plan& sub) {
  src.op = sub.root;
  src.ridThrough = sub.updatable;
  src.ridTable = sub.baseTable;
  src.ridDef = sub.baseDef;
  for (const auto& c : sub.columns) {
    SrcCol sc;
    sc.name = c.name;
    sc.meta = c;
    src.cols.push_back(std::move(sc));
  }
}

void Planner::addLeaf(Source src) {
  src.offset = width_;
  width_ += src.cols.size();
  leaves_.push_back(std::move(src));
}

std::unique_ptr<Planner::Node> Planner::layout(const FromItem& f, bool pushable) {
  auto n = std::make_unique<Node>();
  n->first = leaves_.size();
  switch (f.kind) {
    case FromKind::Table:
      if (!f.inDatabase.empty())
        throw jet::Error(jet::err::kNotSupported, "Tables in other databases (IN '" + f.inDatabase + "') are not supported.");
      n->leafIndex = leaves_.size();
      addLeafForTable(f.name, f.alias, pushable);
      break;
    case FromKind::Derived: {
      Source src;
      src.alias = f.alias;
      src.pushable = pushable;
      Planner p(sh_);
      Plan sub = p.plan(*f.query, nullptr, nullptr);
      fillFromPlan(src, sub);
      n->leafIndex = leaves_.size();
      addLeaf(std::move(src));
      break;
    }
    case FromKind::Join:
      n->leaf = false;
      n->kind = f.join == JoinType::Left ? JoinKind::Left : f.join == JoinType::Right ? JoinKind::Right : JoinKind::Inner;
      n->on = f.on;
      n->l = layout(*f.left, pushable && n->kind != JoinKind::Right);
      n->r = layout(*f.right, pushable && n->kind != JoinKind::Left);
      break;
  }
  n->last = leaves_.size();
  return n;
}

Scope Planner::scopeOf(size_t first, size_t last, Scope* outer) {
  Scope s;
  s.leaves = &leaves_;
  s.first = first;
  s.last = last;
  s.outer = outer;
  s.aliases = aliases_;
  s.owner = this;
  return s;
}

size_t Planner::widthOf(size_t first, size_t last) const {
  size_t w = 0;
  for (size_t i = first; i < last; ++i) w += leaves_[i].cols.size();
  return w;
}

namespace {

// The values a whole number type holds; none for the other types.
std::optional<std::pair<int64_t, int64_t>> integerSpan(DataType t) {
  switch (t) {
    case DataType::Byte: return std::pair<int64_t, int64_t>{0, 255};
    case DataType::Integer: return std::pair<int64_t, int64_t>{INT16_MIN, INT16_MAX};
    case DataType::Long: return std::pair<int64_t, int64_t>{INT32_MIN, INT32_MAX};
    case DataType::BigInt: return std::pair<int64_t, int64_t>{INT64_MIN, INT64_MAX};
    default: return std::nullopt;
  }
}

// v as a whole number when it is one of the integer types and the column's
// whole number type holds it: its index key then orders it exactly as the
// comparison does.
std::optional<int64_t> exactInteger(const jet::Column& col, const Value& v) {
  auto span = integerSpan(col.type);
  if (!span) return std::nullopt;
  switch (v.type()) {
    case DataType::Byte: case DataType::Integer: case DataType::Long: case DataType::BigInt: break;
    default: return std::nullopt;
  }
  if (v.asInt() < span->first || v.asInt() > span->second) return std::nullopt;
  return v.asInt();
}

bool exactIntegerKey(const jet::Column& col, const Value& v) { return exactInteger(col, v).has_value(); }

}  // namespace

std::optional<IndexRange> Planner::chooseIndex(Source& src, std::vector<size_t>* exact) {
  const auto& def = *src.def;
  const auto& fmt = sh_.db->format();
  std::vector<SimplePredicate> preds;
  std::vector<size_t> predAt;  // each pred's position in src.pushed
  std::vector<InListPredicate> lists;
  for (size_t i = 0; i < src.pushed.size(); ++i) {
    const auto& p = src.pushed[i];
    if (auto sp = asSimplePredicate(*p)) {
      preds.push_back(std::move(*sp));
      predAt.push_back(i);
    } else if (auto il = asInListPredicate(*p)) {
      lists.push_back(std::move(*il));
    }
  }
  if (preds.empty() && lists.empty()) return std::nullopt;
  // The key value a test's constant stands for in a range. For the whole
  // number types a bound is moved in to the nearest whole number the field
  // can hold (the range may then hold more rows than the test lets through,
  // never fewer; the test is still checked on them), and an equality the
  // field cannot hold uses no index.
  enum class Role { Equal, Low, High };
  auto keyValue = [&](const jet::Column& col, const Value& v, Role role = Role::Equal) -> std::optional<Value> {
    try {
      if (auto span = integerSpan(col.type)) {
        if (auto n = exactInteger(col, v)) return Value::bigInt(*n);
        std::optional<double> x;
        if (v.isText()) x = parseNumber(v.bytes());
        else if (v.isNumeric()) x = v.toDouble();
        if (!x || !std::isfinite(*x)) return std::nullopt;
        const double lo = static_cast<double>(span->first), hi = static_cast<double>(span->second);
        if (role == Role::Equal) {
          if (*x != std::floor(*x) || *x < lo || *x > hi) return std::nullopt;
          return Value::bigInt(static_cast<int64_t>(*x));
        }
        double k = role == Role::Low ? std::ceil(*x) : std::floor(*x);
        k = std::min(std::max(k, lo), hi);
        // the ends of Big Integer's span are not all doubles: step inside
        if (k >= 9.2e18) return Value::bigInt(span->second);
        if (k <= -9.2e18) return Value::bigInt(span->first);
        return Value::bigInt(static_cast<int64_t>(k));
      }
      if (col.type == DataType::Text || col.type == DataType::Memo) {
        // keys in another order than the statement's may part equal texts
        if (!v.isText() || jet::textSortOrderFor(fmt, col) != sh_.coll->order()) return std::nullopt;
        return v;
      }
      if (col.type == DataType::DateTime) {
        if (v.type() == DataType::DateTime) return v;
        if (v.isText()) return Value::dateTime(toDate(v));
        return std::nullopt;
      }
      if (col.type == DataType::Boolean || col.type == DataType::GUID || col.type == DataType::Binary ||
          col.type == DataType::OLE)
        return std::nullopt;
      if (v.isText()) {
        auto d = parseNumber(v.bytes());
        if (!d) return std::nullopt;
        return Value::dbl(*d);
      }
      if (!v.isNumeric()) return std::nullopt;
      return v;
    } catch (const jet::Error&) {
      return std::nullopt;
    }
  };
  std::optional<IndexRange> best;
  int bestScore = 0;
  std::string bestName;
  for (size_t ri = 0; ri < def.realIndexes.size(); ++ri) {
    const auto& rix = def.realIndexes[ri];
    if (rix.columns.empty() || !jet::canEncodeKey(fmt, def, rix)) continue;
    IndexRange r;
    r.realIndex = static_cast<int>(ri);
    std::vector<size_t> answered;  // preds the range answers exactly
    size_t k = 0;
    for (; k < rix.columns.size(); ++k) {
      int colIdx = rix.columns[k].column;
      const auto& col = def.columns[static_cast<size_t>(colIdx)];
      bool found = false;
      for (size_t pi = 0; pi < preds.size(); ++pi) {
        const auto& p = preds[pi];
        if (p.op != BinOp::Eq || p.high || static_cast<int>(p.slot) != colIdx) continue;
        auto kv = keyValue(col, p.value);
        if (!kv) continue;
        r.equal.push_back(*kv);
        if (exactIntegerKey(col, p.value)) answered.push_back(pi);
        found = true;
        break;
      }
      if (!found) break;
    }
    int score = static_cast<int>(k) * 10;
    if (k == rix.columns.size() && rix.unique()) score += 5;
    if (k < rix.columns.size() && rix.columns[k].ascending) {
      int colIdx = rix.columns[k].column;
      const auto& col = def.columns[static_cast<size_t>(colIdx)];
      // The range takes both of its ends in (seeks are inclusive): it
      // answers Between, >= and <= of whole numbers exactly, and only while
      // one test sets each end.
      std::optional<size_t> lowBy, highBy;
      bool lowExact = false, highExact = false;
      for (size_t pi = 0; pi < preds.size(); ++pi) {
        const auto& p = preds[pi];
        if (static_cast<int>(p.slot) != colIdx) continue;
        auto kv = keyValue(col, p.value, p.op == BinOp::Lt || p.op == BinOp::Le ? Role::High : Role::Low);
        if (!kv) continue;
        if (p.high) {
          auto kh = keyValue(col, *p.high, Role::High);
          if (!kh) continue;
          r.low = *kv;
          r.high = *kh;
          lowBy = highBy = pi;
          lowExact = highExact = exactIntegerKey(col, p.value) && exactIntegerKey(col, *p.high);
        } else if (p.op == BinOp::Gt || p.op == BinOp::Ge) {
          if (!r.low) {
            r.low = *kv;
            lowBy = pi;
            lowExact = p.op == BinOp::Ge && exactIntegerKey(col, p.value);
          }
        } else if (p.op == BinOp::Lt || p.op == BinOp::Le) {
          if (!r.high) {
            r.high = *kv;
            highBy = pi;
            highExact = p.op == BinOp::Le && exactIntegerKey(col, p.value);
          }
        }
      }
      // With no lower bound the scan starts at the first entry after the
      // equal fields, where this field's Nulls lie: the upper bound's test
      // then still leaves them out.
      if (!lowBy && !r.equal.empty()) highExact = false;
      if (lowBy && highBy && *lowBy == *highBy) {
        if (lowExact && highExact) answered.push_back(*lowBy);
      } else {
        if (lowBy && lowExact) answered.push_back(*lowBy);
        if (highBy && highExact) answered.push_back(*highBy);
      }
      if (r.low || r.high) score += 3;
    }
    if (score > bestScore) {
      bestScore = score;
      best = std::move(r);
      if (exact) {
        exact->clear();
        for (size_t pi : answered) exact->push_back(predAt[pi]);
      }
      for (const auto& ix : def.indexes)
        if (ix.realIndex == static_cast<int>(ri)) { bestName = ix.name; break; }
    }
  }
  // Field In (values) on an index's first field: one seek per value, when
  // nothing better was found.
  if (bestScore < 10) {
    for (const auto& il : lists) {
      if (il.values.empty() || il.values.size() > 1000) continue;
      for (size_t ri = 0; ri < def.realIndexes.size(); ++ri) {
        const auto& rix = def.realIndexes[ri];
        if (rix.columns.empty() || rix.columns[0].column != static_cast<int>(il.slot) ||
            !jet::canEncodeKey(fmt, def, rix))
          continue;
        IndexRange r;
        r.realIndex = static_cast<int>(ri);
        const auto& col = def.columns[il.slot];
        bool ok = true;
        for (const auto& v : il.values) {
          auto kv = keyValue(col, v);
          if (!kv) { ok = false; break; }
          r.seeks.push_back({*kv});
        }
        if (!ok || bestScore >= 8) continue;
        bestScore = 8;
        best = std::move(r);
        if (exact) exact->clear();
        for (const auto& ix : def.indexes)
          if (ix.realIndex == static_cast<int>(ri)) { bestName = ix.name; break; }
      }
    }
  }
  if (best) sh_.notes.push_back("index " + bestName + (best->seeks.empty() ? "" : " (seeks)") + " on " + def.name);
  return best;
}

OpP Planner::assemble(Node& n, Scope* outer) {
  if (n.leaf) {
    Source& src = leaves_[n.leafIndex];
    BExprP filter;
    if (src.def) {
      std::optional<IndexRange> range;
      std::vector<size_t> answered;
      try {
        range = chooseIndex(src, &answered);
      } catch (const jet::Error&) {
        range.reset();
        answered.clear();
      }
      // the tests the range answers exactly are not checked again
      for (size_t i = 0; i < src.pushed.size(); ++i)
        if (std::find(answered.begin(), answered.end(), i) == answered.end()) filter = andBound(filter, src.pushed[i]);
      if (orderIndex_ >= 0 && n.leafIndex == 0 && leaves_.size() == 1) {
        if (!range) {
          IndexRange r;
          r.realIndex = orderIndex_;
          range = r;
          sh_.notes.push_back("order from index of " + src.def->name);
          orderedByIndex_ = true;
        } else if (range->realIndex == orderIndex_) {
          orderedByIndex_ = true;
        }
      }
      if (!range) sh_.notes.push_back("scan " + src.def->name);
      OpP scan = makeTableScan(*sh_.db, src.def, filter, range, src.used);
      if (src.hasRowId) scan = makeAppendRowId(std::move(scan));
      return scan;
    }
    for (auto& p : src.pushed) filter = andBound(filter, p);
    OpP op = std::make_unique<SharedOp>(src.op);
    if (filter) op = makeFilter(std::move(op), filter);
    return op;
  }
  OpP l = assemble(*n.l, outer);
  OpP r = assemble(*n.r, outer);
  return joinOps(std::move(l), std::move(r), n.l->first, n.l->last, n.r->first, n.r->last, n.on, {}, n.kind, outer);
}

OpP Planner::joinOps(OpP l, OpP r, size_t lf, size_t ll, size_t rf, size_t rl, const ExprP& onAst,
              const std::vector<ExprP>& extra, JoinKind kind, Scope* outer) {
  std::vector<ExprP> parts;
  conjuncts(onAst, parts);
  for (auto& e : extra) parts.push_back(e);
  std::vector<BExprP> lk, rk;
  BExprP residual;
  Scope js = scopeOf(lf, rl, outer);
  for (auto& c : parts) {
    bool used = false;
    if (c->kind == ExprKind::Binary && c->op == "=" && !hasSubquery(*c)) {
      std::set<size_t> ta, tb;
      Scope sa = js, sb = js;
      sa.touched = &ta;
      sb.touched = &tb;
      int refsBefore = outerRefs_;
      BExprP a = bind(*c->args[0], sa);
      BExprP b = bind(*c->args[1], sb);
      bool outerUsed = outerRefs_ != refsBefore;
      auto inRange = [](const std::set<size_t>& t, size_t f, size_t e) {
        if (t.empty()) return false;
        for (size_t x : t)
          if (x < f || x >= e) return false;
        return true;
      };
      const Expr* le = nullptr;
      const Expr* re = nullptr;
      if (inRange(ta, lf, ll) && inRange(tb, rf, rl)) { le = c->args[0].get(); re = c->args[1].get(); }
      else if (inRange(tb, lf, ll) && inRange(ta, rf, rl)) { le = c->args[1].get(); re = c->args[0].get(); }
      if (le && typeClass(a->type) == typeClass(b->type) && typeClass(a->type) <= 2 && !outerUsed) {
        Scope ls = scopeOf(lf, ll, outer), rs = scopeOf(rf, rl, outer);
        lk.push_back(bind(*le, ls));
        rk.push_back(bind(*re, rs));
        used = true;
      }
    }
    if (!used) residual = andBound(residual, bind(*c, js));
  }
  if (lk.size() == 1 && kind != JoinKind::Right && rl == rf + 1) {
    if (OpP j = indexJoin(l, lf, ll, rf, lk[0], rk[0], residual, kind)) return j;
  }
  if (!lk.empty()) {
    sh_.notes.push_back("hash join");
    return makeHashJoin(std::move(l), std::move(r), std::move(lk), std::move(rk), residual, kind, *sh_.coll);
  }
  sh_.notes.push_back("nested loop join");
  return makeNestedLoopJoin(std::move(l), std::move(r), residual, kind);
}

double Planner::estimateRows(size_t first, size_t last) const {
  double est = 1;
  for (size_t i = first; i < last; ++i) {
    const Source& s = leaves_[i];
    double n = s.def ? std::max<double>(1, s.def->rowCount) : 1000;
    for (size_t k = 0; k < s.pushed.size(); ++k) n /= 10;
    est = std::max(est, n);
  }
  return est;
}

OpP Planner::indexJoin(OpP& l, size_t lf, size_t ll, size_t rf, const BExprP& lk, const BExprP& rk, const BExprP& residual,
                JoinKind kind) {
  Source& src = leaves_[rf];
  if (!src.def || !sh_.db) return nullptr;
  auto ref = asColumnRef(*rk);
  if (!ref || ref->depth != 0 || ref->slot >= src.def->columns.size()) return nullptr;
  if (!integral(src.def->columns[ref->slot].type) || !integral(lk->type)) return nullptr;
  if (estimateRows(lf, ll) * 4 >= std::max<double>(1, src.def->rowCount)) return nullptr;
  const auto& def = *src.def;
  for (size_t ri = 0; ri < def.realIndexes.size(); ++ri) {
    const auto& rix = def.realIndexes[ri];
    if (rix.columns.empty() || rix.columns[0].column != static_cast<int>(ref->slot) || !rix.columns[0].ascending)
      continue;
    if (!jet::canEncodeKey(sh_.db->format(), def, rix)) continue;
    BExprP filter;
    for (auto& p : src.pushed) filter = andBound(filter, p);
    std::string name;
    for (const auto& ix : def.indexes)
      if (ix.realIndex == static_cast<int>(ri)) { name = ix.name; break; }
    sh_.notes.push_back("index join " + name + " on " + def.name);
    return makeIndexLookupJoin(std::move(l), *sh_.db, src.def, static_cast<int>(ri), lk, filter, src.used,
                               src.hasRowId, residual, kind);
  }
  return nullptr;
}

void Planner::implicitTables(const Expr& e, std::vector<std::string>& out) {
  if ((e.kind == ExprKind::Name && e.parts.size() >= 2) || (e.kind == ExprKind::Star && !e.parts.empty())) {
    const std::string& t = e.parts[e.parts.size() - (e.kind == ExprKind::Name ? 2 : 1)];
    if (sh_.db && sh_.db->find(t)) {
      bool seen = false;
      for (auto& x : out)
        if (eqName(x, t)) seen = true;
      if (!seen) out.push_back(t);
    }
  }
  for (auto& a : e.args)
    if (a) implicitTables(*a, out);
}

Planner::FromResult Planner::fromWhere(const SelectCore& c, Scope* outer, const std::vector<OrderItem>* order) {
  aliases_ = &c.items;
  std::vector<std::unique_ptr<Node>> items;
  if (c.from.empty()) {
    std::vector<std::string> names;
    for (auto& it : c.items) implicitTables(*it.expr, names);
    if (c.where) implicitTables(*c.where, names);
    for (auto& g : c.groupBy) implicitTables(*g, names);
    if (c.having) implicitTables(*c.having, names);
    if (order)
      for (auto& o : *order) implicitTables(*o.expr, names);
    for (auto& n : names) {
      FromItem f;
      f.name = n;
      items.push_back(layout(f, true));
    }
  } else {
    for (auto& f : c.from) items.push_back(layout(*f, true));
  }
  Scope full = scopeOf(0, leaves_.size(), outer);
  FromResult res;
  std::vector<ExprP> where;
  conjuncts(c.where, where);
  struct Pending {
    ExprP e;
    std::set<size_t> touched;
  };
  std::vector<Pending> pending;
  for (auto& w : where) {
    if (hasAggregate(*w)) {
      res.havingExtra = andOf(res.havingExtra, w);
      continue;
    }
    std::set<size_t> t;
    bool sub = hasSubquery(*w);
    if (!sub) {
      Scope s = full;
      s.touched = &t;
      BExprP bound = bind(*w, s);
      if (t.size() == 1 && leaves_[*t.begin()].pushable) {
        size_t li = *t.begin();
        // With one table its own scope is the whole FROM clause's: the
        // condition as bound already is the one pushed to it.
        if (leaves_.size() == 1 && li == 0) {
          leaves_[li].pushed.push_back(std::move(bound));
          continue;
        }
        Scope ls = scopeOf(li, li + 1, outer);
        leaves_[li].pushed.push_back(bind(*w, ls));
        continue;
      }
    }
    pending.push_back({w, sub ? std::set<size_t>{} : t});
  }
  OpP acc;
  size_t accFirst = 0, accLast = 0;
  if (items.empty()) {
    acc = makeSingleRow();
  }
  for (size_t i = 0; i < items.size(); ++i) {
    OpP op = assemble(*items[i], outer);
    if (i == 0) {
      acc = std::move(op);
      accFirst = items[i]->first;
      accLast = items[i]->last;
      continue;
    }
    size_t rf = items[i]->first, rl = items[i]->last;
    std::vector<ExprP> useful;
    for (auto it = pending.begin(); it != pending.end();) {
      bool inside = !it->touched.empty();
      for (size_t x : it->touched)
        if (x < accFirst || x >= rl) inside = false;
      if (inside) {
        useful.push_back(it->e);
        it = pending.erase(it);
      } else {
        ++it;
      }
    }
    acc = joinOps(std::move(acc), std::move(op), accFirst, accLast, rf, rl, nullptr, useful, JoinKind::Inner, outer);
    accLast = rl;
  }
  BExprP filter;
  for (auto& p : pending) filter = andBound(filter, bind(*p.e, full));
  if (filter) acc = makeFilter(std::move(acc), filter);
  res.op = std::move(acc);
  res.scope = full;
  return res;
}

}  // namespace sql::planning
