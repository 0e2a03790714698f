// The planner's working parts, shared by its files: the sources of a
// SELECT (leaves), scopes for name lookup, and the Planner itself, whose
// members are defined in planner_bind.cpp, planner_from.cpp,
// planner_select.cpp, planner_crosstab.cpp and planner.cpp. Not for use
// outside the planner.
#pragma once

#include <algorithm>
#include <cmath>
#include <set>

#include "jet/error.h"
#include "jet/index_key.h"
#include "jet/text.h"
#include "sql/aggregates.h"
#include "sql/convert.h"
#include "sql/errors.h"
#include "sql/functions.h"
#include "sql/parser.h"
#include "sql/planner.h"

namespace sql::planning {

using jet::DataType;
using jet::Value;

inline bool eqName(const std::string& a, const std::string& b) { return jet::equalsNoCase(a, b); }

inline std::string paramKey(const std::string& name) {
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

// The columns of a source: its own list, or one shared with every other
// statement reading the same table definition (see tableColumns), copied
// only if something is added to it.
class SrcCols {
 public:
  size_t size() const { return view().size(); }
  bool empty() const { return view().empty(); }
  const SrcCol& operator[](size_t i) const { return view()[i]; }
  std::vector<SrcCol>::const_iterator begin() const { return view().begin(); }
  std::vector<SrcCol>::const_iterator end() const { return view().end(); }
  void reserve(size_t n) { own().reserve(n); }
  void push_back(SrcCol c) { own().push_back(std::move(c)); }
  void share(std::shared_ptr<const std::vector<SrcCol>> v) {
    own_.clear();
    shared_ = std::move(v);
  }

 private:
  const std::vector<SrcCol>& view() const { return shared_ ? *shared_ : own_; }
  std::vector<SrcCol>& own() {
    if (shared_) {
      own_ = *shared_;
      shared_.reset();
    }
    return own_;
  }
  std::shared_ptr<const std::vector<SrcCol>> shared_;
  std::vector<SrcCol> own_;
};

// The source columns of a base table (one per field, with its metadata),
// made once per table definition: definitions are not changed once made (a
// schema change makes a new one), so the list made for one stays right for
// as long as it lives.
std::shared_ptr<const std::vector<SrcCol>> tableColumns(const std::shared_ptr<const jet::TableDef>& def, bool jet3);

struct Source {
  std::string alias;        // the name that qualifies its columns
  SrcCols cols;
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

inline bool hiddenColumn(const SrcCol& c) { return c.name == kRowIdColumn; }

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
  const Collation* coll;      // how the statement's texts compare: the database's order
  explicit Shared(jet::Database* d) : db(d), coll(&collationOf(d)) {}
};

// An operator shared with a subquery expression or a saved query: forwards.
class SharedOp : public Op {
 public:
  explicit SharedOp(std::shared_ptr<Op> o) : op_(std::move(o)) { width = op_->width; }
  void open(const Frame* outer) override { op_->open(outer); }
  bool next(Row& out) override { return op_->next(out); }
  std::shared_ptr<Op> op_;
};

inline bool hasAggregate(const Expr& e) {
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

inline bool hasSubquery(const Expr& e) {
  if (e.kind == ExprKind::InQuery || e.kind == ExprKind::Exists || e.kind == ExprKind::Subquery) return true;
  for (auto& a : e.args)
    if (a && hasSubquery(*a)) return true;
  return false;
}

inline void conjuncts(const ExprP& e, std::vector<ExprP>& out) {
  if (!e) return;
  if (e->kind == ExprKind::Binary && e->op == "AND") {
    conjuncts(e->args[0], out);
    conjuncts(e->args[1], out);
  } else {
    out.push_back(e);
  }
}

inline ExprP andOf(ExprP a, ExprP b) {
  if (!a) return b;
  if (!b) return a;
  auto e = std::make_shared<Expr>();
  e->kind = ExprKind::Binary;
  e->op = "AND";
  e->args = {a, b};
  return e;
}

inline BExprP andBound(BExprP a, BExprP b) {
  if (!a) return b;
  if (!b) return a;
  return makeBinary(BinOp::And, a, b, generalCollation());  // And compares no texts
}

inline int typeClass(DataType t) {
  switch (t) {
    case DataType::Text: case DataType::Memo: return 1;
    case DataType::Binary: case DataType::OLE: return 3;
    case DataType::GUID: return 4;
    default: return 2;
  }
}

inline std::string exprText(const Expr& e) { return toSql(e); }

class Planner {
 public:
  explicit Planner(Shared& sh) : sh_(sh) {}

  Plan plan(const Query& q, Scope* outer, bool* correlated);
  bool usedOuter_ = false;
  int outerRefs_ = 0;

 private:
  // ---- names ----
  std::optional<std::pair<size_t, size_t>> lookup(const std::vector<std::string>& parts, const Scope& sc);

  BExprP resolveName(const Expr& e, Scope& s);

  BExprP parameter(const std::string& name);

  static Value convertTo(const Value& v, DataType t);

  // ---- expressions ----
  BExprP bind(const Expr& e, Scope& s);

  BExprP aggregateSlot(const Expr& e, Scope& s);

  Plan subPlan(const Query& q, Scope& s, bool* corr);

  // ---- FROM ----
  struct Node {
    bool leaf = true;
    size_t leafIndex = 0;
    JoinKind kind = JoinKind::Inner;
    ExprP on;
    std::unique_ptr<Node> l, r;
    size_t first = 0, last = 0;
  };

  void addLeafForTable(const std::string& name, const std::string& alias, bool pushable);

  void planSavedQuery(const std::string& name, Source& src);

  void fillFromPlan(Source& src, Plan& sub);

  void addLeaf(Source src);

  std::unique_ptr<Node> layout(const FromItem& f, bool pushable);

  Scope scopeOf(size_t first, size_t last, Scope* outer);

  size_t widthOf(size_t first, size_t last) const;

  // exact (when given) receives the positions in src.pushed of the tests the
  // range answers exactly, so that they need not be checked on its rows.
  std::optional<IndexRange> chooseIndex(Source& src, std::vector<size_t>* exact = nullptr);

  OpP assemble(Node& n, Scope* outer);

  // Joins two adjacent leaf ranges. onAst: the ON condition (or null);
  // extra: WHERE conjuncts that may serve as join conditions (inner only).
  OpP joinOps(OpP l, OpP r, size_t lf, size_t ll, size_t rf, size_t rl, const ExprP& onAst,
              const std::vector<ExprP>& extra, JoinKind kind, Scope* outer);

  // Rows a range of leaves may give, roughly: a table's row count, cut down
  // for each condition pushed into it.
  double estimateRows(size_t first, size_t last) const;

  static bool integral(DataType t) {
    return t == DataType::Byte || t == DataType::Integer || t == DataType::Long || t == DataType::BigInt;
  }

  // An index nested-loop join when the right side is one base table with an
  // index led by the (integral) joined column and the left side is small
  // beside it; null otherwise (l is left as it was).
  OpP indexJoin(OpP& l, size_t lf, size_t ll, size_t rf, const BExprP& lk, const BExprP& rk, const BExprP& residual,
                JoinKind kind);

  // Tables named by qualified names when a SELECT has no FROM clause.
  void implicitTables(const Expr& e, std::vector<std::string>& out);

  struct FromResult {
    OpP op;
    Scope scope;
    ExprP havingExtra;  // WHERE conjuncts holding aggregates
  };

  FromResult fromWhere(const SelectCore& c, Scope* outer, const std::vector<OrderItem>* order);

  // ---- one SELECT ----
  struct CoreOut {
    OpP op;
    std::vector<ResultColumn> cols;
    bool updatable = false;
    std::string baseTable;
    std::shared_ptr<const jet::TableDef> baseDef;
  };

  static bool coreHasAggregate(const SelectCore& c, const std::vector<OrderItem>* order);

  CoreOut core(const SelectCore& c, const std::vector<OrderItem>* order, Scope* outer);

  // Position of select item i in the output (stars expand to many columns).
  size_t itemPosition(const SelectCore& c, size_t i);

  std::optional<std::pair<size_t, size_t>> lookupQuiet(const std::vector<std::string>& parts, const Scope& s);

  // ---- crosstab ----
  Plan crosstab(const Query& q);

  Shared& sh_;
  std::vector<Source> leaves_;
  size_t width_ = 0;
  const std::vector<SelectItem>* aliases_ = nullptr;
  std::vector<std::string> aliasStack_;
  bool ridCols_ = false;  // base tables of this SELECT get a RowId column
  // ORDER BY that an index of the one table gives: its real index (-1 none),
  // and whether the scan was made to read through it.
  int orderIndex_ = -1;
  bool orderedByIndex_ = false;
  int chooseOrderIndex(const SelectCore& c, const std::vector<OrderItem>* order);
  // The aggregate row counted from index entries alone (no row read, no
  // value decoded) when aggs are Count(*) or Count of a tested field and the
  // whereConjuncts conditions, all pushed to the table, are exactly an index
  // range; null otherwise. Turns the Counts into Count(*) when it succeeds.
  OpP indexCount(std::vector<AggSpec>& aggs, size_t whereConjuncts);
  // SELECT DISTINCT of one field of the one table, the WHERE testing only
  // that field: the rows of the index's distinct keys (see
  // makeIndexDistinct) with the WHERE checked on them, in place of the scan;
  // null when no index fits.
  OpP indexDistinct(const SelectCore& c, const Scope& rowScope);
  // Set by indexDistinct when its rows are already distinct and in
  // ascending order (an ascending index of a field whose equal values have
  // equal keys): DISTINCT then neither removes nor sorts anything.
  bool distinctSorted_ = false;
};

}  // namespace sql::planning
