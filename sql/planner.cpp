#include "sql/planner.h"
#include "sql/errors.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "jet/error.h"
#include "jet/index_key.h"
#include "jet/text.h"
#include "sql/aggregates.h"
#include "sql/convert.h"
#include "sql/functions.h"
#include "sql/parser.h"

namespace sql {

using jet::DataType;
using jet::Value;

namespace {

bool eqName(const std::string& a, const std::string& b) { return jet::equalsNoCase(a, b); }

std::string paramKey(const std::string& name) {
  std::string s;
  for (char c : name) {
    if (c == '[' || c == ']') continue;
    s.push_back(c == '!' ? '.' : c);
  }
  return jet::upperName(s);
}

struct SrcCol {
  std::string name;
  ResultColumn meta;
};

struct Source {
  std::string alias;        // the name that qualifies its columns
  std::vector<SrcCol> cols;
  size_t offset = 0;
  bool pushable = true;     // not on the optional side of an outer join
  std::shared_ptr<const jet::TableDef> def;  // a base table
  std::shared_ptr<Op> op;                    // a saved query or derived table
  bool ridThrough = false;                   // op's rows carry base-table RowIds
  std::string ridTable;
  std::shared_ptr<const jet::TableDef> ridDef;
  std::vector<BExprP> pushed;
  std::shared_ptr<std::vector<bool>> used;  // base table columns something reads
  bool hasRowId = false;  // a hidden last column holds each row's RowId
};

bool hiddenColumn(const SrcCol& c) { return c.name == kRowIdColumn; }

struct AggCtx;
class Planner;

struct Scope {
  Planner* owner = nullptr;
  std::vector<Source>* leaves = nullptr;
  size_t first = 0, last = 0;
  Scope* outer = nullptr;
  const std::vector<SelectItem>* aliases = nullptr;
  bool usesOuter = false;
  std::set<size_t>* touched = nullptr;
  AggCtx* agg = nullptr;
  Scope* rowScope = nullptr;  // in aggregate mode: the scope of the grouped rows
  size_t base() const { return (leaves && first < leaves->size()) ? (*leaves)[first].offset : 0; }
};

struct AggCtx {
  std::vector<const Expr*> groupAst;
  std::vector<BExprP> groupBound;
  std::vector<const Expr*> aggAst;
  std::vector<AggSpec> aggs;
};

struct Shared {
  jet::Database* db;
  std::map<std::string, Value> supplied;      // by paramKey
  std::map<std::string, ParamDecl> declared;  // by paramKey
  std::vector<std::string> missing;
  std::vector<jet::SavedQuery> saved;
  bool savedLoaded = false;
  std::vector<std::string> expanding;  // saved queries being planned (cycle guard)
  std::vector<std::string> notes;
  bool rowIds = false;        // the next SELECT core gives its tables a RowId column
  bool allowMissing = false;  // describing: parameters without values are Null
  explicit Shared(jet::Database* d) : db(d) {}
};

// An operator shared with a subquery expression or a saved query: forwards.
class SharedOp : public Op {
 public:
  explicit SharedOp(std::shared_ptr<Op> o) : op_(std::move(o)) { width = op_->width; }
  void open(const Frame* outer) override { op_->open(outer); }
  bool next(Row& out) override { return op_->next(out); }
  std::shared_ptr<Op> op_;
};

bool hasAggregate(const Expr& e) {
  if (e.kind == ExprKind::Call && isAggregateName(e.parts[0])) return true;
  if (e.kind == ExprKind::InQuery || e.kind == ExprKind::Exists || e.kind == ExprKind::Subquery) {
    for (auto& a : e.args)
      if (hasAggregate(*a)) return true;
    return false;
  }
  for (auto& a : e.args)
    if (a && hasAggregate(*a)) return true;
  return false;
}

bool hasSubquery(const Expr& e) {
  if (e.kind == ExprKind::InQuery || e.kind == ExprKind::Exists || e.kind == ExprKind::Subquery) return true;
  for (auto& a : e.args)
    if (a && hasSubquery(*a)) return true;
  return false;
}

void conjuncts(const ExprP& e, std::vector<ExprP>& out) {
  if (!e) return;
  if (e->kind == ExprKind::Binary && e->op == "AND") {
    conjuncts(e->args[0], out);
    conjuncts(e->args[1], out);
  } else {
    out.push_back(e);
  }
}

ExprP andOf(ExprP a, ExprP b) {
  if (!a) return b;
  if (!b) return a;
  auto e = std::make_shared<Expr>();
  e->kind = ExprKind::Binary;
  e->op = "AND";
  e->args = {a, b};
  return e;
}

BExprP andBound(BExprP a, BExprP b) {
  if (!a) return b;
  if (!b) return a;
  return makeBinary(BinOp::And, a, b);
}

int typeClass(DataType t) {
  switch (t) {
    case DataType::Text: case DataType::Memo: return 1;
    case DataType::Binary: case DataType::OLE: return 3;
    case DataType::GUID: return 4;
    default: return 2;
  }
}

std::string exprText(const Expr& e) { return toSql(e); }

class Planner {
 public:
  explicit Planner(Shared& sh) : sh_(sh) {}

  Plan plan(const Query& q, Scope* outer, bool* correlated);
  bool usedOuter_ = false;
  int outerRefs_ = 0;

 private:
  // ---- names ----
  std::optional<std::pair<size_t, size_t>> lookup(const std::vector<std::string>& parts, const Scope& sc) {
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

  BExprP resolveName(const Expr& e, Scope& s) {
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

  BExprP parameter(const std::string& name) {
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

  static Value convertTo(const Value& v, DataType t) {
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

  // ---- expressions ----
  BExprP bind(const Expr& e, Scope& s) {
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
        return makeBinary(binOpFromText(e.op), l, r, e.negated);
      }
      case ExprKind::Between:
        return makeBetween(bind(*e.args[0], s), bind(*e.args[1], s), bind(*e.args[2], s), e.negated);
      case ExprKind::InList: {
        BExprP v = bind(*e.args[0], s);
        std::vector<BExprP> list;
        for (size_t i = 1; i < e.args.size(); ++i) list.push_back(bind(*e.args[i], s));
        return makeInList(v, std::move(list), e.negated);
      }
      case ExprKind::IsNull: return makeIsNull(bind(*e.args[0], s), e.negated);
      case ExprKind::InQuery: {
        BExprP v = bind(*e.args[0], s);
        bool corr = false;
        Plan p = subPlan(*e.query, s, &corr);
        if (p.columns.size() != 1)
          throw jet::Error(err::kSubqueryManyFields, "You have written a subquery that can return more than one field without using the EXISTS reserved word in the main query's FROM clause. Revise the SELECT statement of the subquery to request only one field.");
        return makeInSubquery(v, p.root, e.negated, corr);
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

  BExprP aggregateSlot(const Expr& e, Scope& s) {
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

  Plan subPlan(const Query& q, Scope& s, bool* corr) {
    Planner p(sh_);
    // In a grouped query the subquery runs once per group, against the
    // grouped row; names of the outer query resolve through the groups.
    return p.plan(q, &s, corr);
  }

  // ---- FROM ----
  struct Node {
    bool leaf = true;
    size_t leafIndex = 0;
    JoinKind kind = JoinKind::Inner;
    ExprP on;
    std::unique_ptr<Node> l, r;
    size_t first = 0, last = 0;
  };

  void addLeafForTable(const std::string& name, const std::string& alias, bool pushable) {
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
      bool jet3 = sh_.db->format().jet3;
      for (size_t c = 0; c < src.def->columns.size(); ++c) {
        const auto& col = src.def->columns[c];
        SrcCol sc;
        sc.name = col.name;
        sc.meta.name = col.name;
        sc.meta.type = col.type;
        sc.meta.size = col.displaySize(jet3);
        sc.meta.required = col.requiredProp;
        sc.meta.sourceTable = src.def->name;
        sc.meta.sourceField = col.name;
        sc.meta.baseColumn = static_cast<int>(c);
        src.cols.push_back(std::move(sc));
      }
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

  void planSavedQuery(const std::string& name, Source& src) {
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

  void fillFromPlan(Source& src, Plan& sub) {
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

  void addLeaf(Source src) {
    src.offset = width_;
    width_ += src.cols.size();
    leaves_.push_back(std::move(src));
  }

  std::unique_ptr<Node> layout(const FromItem& f, bool pushable) {
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

  Scope scopeOf(size_t first, size_t last, Scope* outer) {
    Scope s;
    s.leaves = &leaves_;
    s.first = first;
    s.last = last;
    s.outer = outer;
    s.aliases = aliases_;
    s.owner = this;
    return s;
  }

  size_t widthOf(size_t first, size_t last) const {
    size_t w = 0;
    for (size_t i = first; i < last; ++i) w += leaves_[i].cols.size();
    return w;
  }

  std::optional<IndexRange> chooseIndex(Source& src) {
    const auto& def = *src.def;
    const auto& fmt = sh_.db->format();
    std::vector<SimplePredicate> preds;
    for (auto& p : src.pushed)
      if (auto sp = asSimplePredicate(*p)) preds.push_back(*sp);
    if (preds.empty()) return std::nullopt;
    auto keyValue = [&](const jet::Column& col, const Value& v) -> std::optional<Value> {
      try {
        if (col.type == DataType::Text || col.type == DataType::Memo) {
          if (!v.isText()) return std::nullopt;
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
      size_t k = 0;
      for (; k < rix.columns.size(); ++k) {
        int colIdx = rix.columns[k].column;
        bool found = false;
        for (auto& p : preds) {
          if (p.op != BinOp::Eq || p.high || static_cast<int>(p.slot) != colIdx) continue;
          auto kv = keyValue(def.columns[static_cast<size_t>(colIdx)], p.value);
          if (!kv) continue;
          r.equal.push_back(*kv);
          found = true;
          break;
        }
        if (!found) break;
      }
      int score = static_cast<int>(k) * 10;
      if (k == rix.columns.size() && rix.unique()) score += 5;
      if (k < rix.columns.size() && rix.columns[k].ascending) {
        int colIdx = rix.columns[k].column;
        for (auto& p : preds) {
          if (static_cast<int>(p.slot) != colIdx) continue;
          auto kv = keyValue(def.columns[static_cast<size_t>(colIdx)], p.value);
          if (!kv) continue;
          if (p.high) {
            auto kh = keyValue(def.columns[static_cast<size_t>(colIdx)], *p.high);
            if (!kh) continue;
            r.low = *kv;
            r.high = *kh;
          } else if (p.op == BinOp::Gt || p.op == BinOp::Ge) {
            if (!r.low) r.low = *kv;
          } else if (p.op == BinOp::Lt || p.op == BinOp::Le) {
            if (!r.high) r.high = *kv;
          }
        }
        if (r.low || r.high) score += 3;
      }
      if (score > bestScore) {
        bestScore = score;
        best = r;
        for (const auto& ix : def.indexes)
          if (ix.realIndex == static_cast<int>(ri)) { bestName = ix.name; break; }
      }
    }
    if (best) sh_.notes.push_back("index " + bestName + " on " + def.name);
    return best;
  }

  OpP assemble(Node& n, Scope* outer) {
    if (n.leaf) {
      Source& src = leaves_[n.leafIndex];
      BExprP filter;
      for (auto& p : src.pushed) filter = andBound(filter, p);
      if (src.def) {
        std::optional<IndexRange> range;
        try {
          range = chooseIndex(src);
        } catch (const jet::Error&) {
          range.reset();
        }
        if (!range) sh_.notes.push_back("scan " + src.def->name);
        OpP scan = makeTableScan(*sh_.db, src.def, filter, range, src.used);
        if (src.hasRowId) scan = makeAppendRowId(std::move(scan));
        return scan;
      }
      OpP op = std::make_unique<SharedOp>(src.op);
      if (filter) op = makeFilter(std::move(op), filter);
      return op;
    }
    OpP l = assemble(*n.l, outer);
    OpP r = assemble(*n.r, outer);
    return joinOps(std::move(l), std::move(r), n.l->first, n.l->last, n.r->first, n.r->last, n.on, {}, n.kind, outer);
  }

  // Joins two adjacent leaf ranges. onAst: the ON condition (or null);
  // extra: WHERE conjuncts that may serve as join conditions (inner only).
  OpP joinOps(OpP l, OpP r, size_t lf, size_t ll, size_t rf, size_t rl, const ExprP& onAst,
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
      return makeHashJoin(std::move(l), std::move(r), std::move(lk), std::move(rk), residual, kind);
    }
    sh_.notes.push_back("nested loop join");
    return makeNestedLoopJoin(std::move(l), std::move(r), residual, kind);
  }

  // Rows a range of leaves may give, roughly: a table's row count, cut down
  // for each condition pushed into it.
  double estimateRows(size_t first, size_t last) const {
    double est = 1;
    for (size_t i = first; i < last; ++i) {
      const Source& s = leaves_[i];
      double n = s.def ? std::max<double>(1, s.def->rowCount) : 1000;
      for (size_t k = 0; k < s.pushed.size(); ++k) n /= 10;
      est = std::max(est, n);
    }
    return est;
  }

  static bool integral(DataType t) {
    return t == DataType::Byte || t == DataType::Integer || t == DataType::Long || t == DataType::BigInt;
  }

  // An index nested-loop join when the right side is one base table with an
  // index led by the (integral) joined column and the left side is small
  // beside it; null otherwise (l is left as it was).
  OpP indexJoin(OpP& l, size_t lf, size_t ll, size_t rf, const BExprP& lk, const BExprP& rk, const BExprP& residual,
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

  // Tables named by qualified names when a SELECT has no FROM clause.
  void implicitTables(const Expr& e, std::vector<std::string>& out) {
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

  struct FromResult {
    OpP op;
    Scope scope;
    ExprP havingExtra;  // WHERE conjuncts holding aggregates
  };

  FromResult fromWhere(const SelectCore& c, Scope* outer, const std::vector<OrderItem>* order) {
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
        bind(*w, s);
        if (t.size() == 1 && leaves_[*t.begin()].pushable) {
          size_t li = *t.begin();
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

  // ---- one SELECT ----
  struct CoreOut {
    OpP op;
    std::vector<ResultColumn> cols;
    bool updatable = false;
    std::string baseTable;
    std::shared_ptr<const jet::TableDef> baseDef;
  };

  static bool coreHasAggregate(const SelectCore& c, const std::vector<OrderItem>* order) {
    if (!c.groupBy.empty() || c.having) return true;
    for (auto& it : c.items)
      if (hasAggregate(*it.expr)) return true;
    if (order)
      for (auto& o : *order)
        if (hasAggregate(*o.expr)) return true;
    return false;
  }

  CoreOut core(const SelectCore& c, const std::vector<OrderItem>* order, Scope* outer) {
    if (!c.into.empty())
      throw jet::Error(jet::err::kNotSupported, "SELECT ... INTO is an action query; it cannot be run as a source of rows.");
    bool manyTables = c.from.size() > 1 || (c.from.size() == 1 && c.from[0]->kind == FromKind::Join);
    ridCols_ = sh_.rowIds || (c.distinctRow && !c.distinct && manyTables);
    sh_.rowIds = false;
    FromResult fr = fromWhere(c, outer, order);
    Scope& rowScope = fr.scope;
    bool aggregated = coreHasAggregate(c, order) || fr.havingExtra;
    OpP op = std::move(fr.op);
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
    if (aggregated) {
      op = makeAggregate(std::move(op), agg.groupBound, agg.aggs);
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
    std::vector<BExprP> exprs;
    for (auto& o : out) exprs.push_back(o.expr);
    for (auto& k : rowKeys) exprs.push_back(k);
    for (auto& h : hidden) exprs.push_back(h);
    op = makeProject(std::move(op), exprs, res.updatable);
    size_t visible = out.size();
    if (!rowKeys.empty()) op = makeDistinct(std::move(op), visible + rowKeys.size());
    if (c.distinct) {
      op = makeDistinct(std::move(op), visible);
      if (keys.empty()) {
        // the product's DISTINCT comes out in the order of its columns
        for (size_t i = 0; i < visible; ++i) keys.push_back({i, false});
      }
    }
    const bool ordered = order && !order->empty();
    if (c.hasTop && !c.topPercent && ordered && !keys.empty() && c.top >= 0 && c.top < 1e6) {
      op = makeTopSort(std::move(op), keys, static_cast<size_t>(c.top));
    } else {
      if (!keys.empty()) op = makeSort(std::move(op), keys);
      if (c.hasTop) op = makeTop(std::move(op), c.top, c.topPercent, ordered ? keys : std::vector<SortKey>{});
    }
    if (!hidden.empty() || !rowKeys.empty()) op = makeTruncate(std::move(op), visible);
    res.op = std::move(op);
    for (auto& o : out) res.cols.push_back(o.meta);
    return res;
  }

  // Position of select item i in the output (stars expand to many columns).
  size_t itemPosition(const SelectCore& c, size_t i) {
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

  std::optional<std::pair<size_t, size_t>> lookupQuiet(const std::vector<std::string>& parts, const Scope& s) {
    try {
      return lookup(parts, s);
    } catch (const jet::Error&) {
      return std::nullopt;
    }
  }

  // ---- crosstab ----
  Plan crosstab(const Query& q) {
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
    OpP op = makeCrosstab(std::move(fr.op), spec, &names, &types);
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
      if (!keys.empty()) op = makeSort(std::move(op), keys);
    }
    Plan p;
    p.root = std::shared_ptr<Op>(std::move(op));
    p.columns = std::move(cols);
    return p;
  }

  Shared& sh_;
  std::vector<Source> leaves_;
  size_t width_ = 0;
  const std::vector<SelectItem>* aliases_ = nullptr;
  std::vector<std::string> aliasStack_;
  bool ridCols_ = false;  // base tables of this SELECT get a RowId column
};

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
      if (!q.unionAll[i - 1]) acc = makeDistinct(std::move(acc), cols.size());
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
  if (!keys.empty()) acc = makeSort(std::move(acc), keys);
  if (correlated) *correlated = corr;
  p.root = std::shared_ptr<Op>(std::move(acc));
  p.columns = std::move(cols);
  return p;
}

}  // namespace

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
  plan.notes = sh.notes;
  return plan;
}

}  // namespace sql
