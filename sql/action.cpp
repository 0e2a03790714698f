#include "sql/action.h"
#include "sql/errors.h"

#include <algorithm>
#include <set>
#include <unordered_set>

#include "jet/create.h"
#include "jet/ddl.h"
#include "jet/error.h"
#include "jet/integrity.h"
#include "jet/table_writer.h"
#include "jet/text.h"
#include "sql/calculated.h"
#include "sql/parser.h"

namespace sql {

using jet::DataType;
using jet::Value;

namespace {

bool eqName(const std::string& a, const std::string& b) { return jet::equalsNoCase(a, b); }

// The tables named in a FROM tree, with the name that qualifies them.
struct NamedTable {
  std::string table;
  std::string alias;
};

void tablesOf(const FromItem& f, std::vector<NamedTable>& out) {
  switch (f.kind) {
    case FromKind::Table: out.push_back({f.name, f.alias.empty() ? f.name : f.alias}); break;
    case FromKind::Join:
      tablesOf(*f.left, out);
      tablesOf(*f.right, out);
      break;
    case FromKind::Derived: break;
  }
}

std::vector<NamedTable> tablesOf(const std::vector<FromP>& from) {
  std::vector<NamedTable> out;
  for (const auto& f : from) tablesOf(*f, out);
  return out;
}

ExprP rowIdOf(const std::string& alias) {
  auto e = std::make_shared<Expr>();
  e->kind = ExprKind::Name;
  e->parts = {alias, kRowIdColumn};
  return e;
}

// The table an UPDATE target or DELETE item belongs to (by its qualifier,
// or the one table holding the field).
const NamedTable* ownerOf(jet::Database& db, const std::vector<NamedTable>& tables, const Expr& e, int errNo,
                          const std::string& what) {
  if (e.parts.size() >= 2 || (e.kind == ExprKind::Star && !e.parts.empty())) {
    const std::string& q = e.kind == ExprKind::Star ? e.parts.back() : e.parts[e.parts.size() - 2];
    for (const auto& t : tables)
      if (eqName(t.alias, q) || eqName(t.table, q)) return &t;
    throw jet::Error(errNo, what);
  }
  if (e.kind == ExprKind::Star) {
    if (tables.size() == 1) return &tables[0];
    throw jet::Error(err::kDeleteTableUnknown, "Specify the table containing the records you want to delete.");
  }
  const NamedTable* found = nullptr;
  bool query = false;
  for (const auto& t : tables) {
    const jet::CatalogEntry* ent = db.find(t.table);
    if (!ent || !ent->isTable()) {
      query = query || (ent && ent->kind == jet::ObjectKind::Query);
      continue;
    }
    if (db.table(*ent)->findColumn(e.parts.back()) < 0) continue;
    if (found)
      throw jet::Error(err::kAmbiguousField, "The specified field '" + e.parts.back() +
                                 "' could refer to more than one table listed in the FROM clause of your SQL statement.");
    found = &t;
  }
  if (!found && query)
    throw jet::Error(err::kNotUpdatable, "Operation must use an updatable query (saved queries are not changed "
                                         "through; name their tables).");
  if (!found) throw jet::Error(errNo, what);
  return found;
}

std::shared_ptr<const jet::TableDef> baseTable(jet::Database& db, const std::string& name) {
  const jet::CatalogEntry* ent = db.find(name);
  if (!ent)
    throw jet::Error(jet::err::kNoSuchObject, "The database engine cannot find the input table or query '" + name +
                                                  "'. Make sure it exists and that its name is spelled correctly.");
  if (!ent->isTable() || ent->kind == jet::ObjectKind::SystemTable)
    throw jet::Error(err::kNotUpdatable, "Operation must use an updatable query ('" + name + "' cannot be changed).");
  return db.table(*ent);
}

// Plans a SELECT over the statement's FROM clause and reads every row.
std::vector<std::vector<Value>> collect(jet::Database& db, const Query& q, std::vector<SelectItem> items,
                                        const std::vector<FromP>& from, ExprP where, const Params& params) {
  Query sel;
  sel.kind = StatementKind::Select;
  sel.params = q.params;
  SelectCore c;
  c.items = std::move(items);
  c.from = from;
  c.where = std::move(where);
  sel.parts.push_back(std::move(c));
  PlanOptions o;
  o.rowIds = true;
  Plan p = planQuery(&db, sel, params, o);
  std::vector<std::vector<Value>> rows;
  p.root->open(nullptr);
  Row r;
  while (p.root->next(r)) rows.push_back(r.v);
  return rows;
}

std::vector<std::vector<Value>> collectQuery(jet::Database& db, const Query& select, const Params& params,
                                             std::vector<ResultColumn>* cols) {
  Plan p = planQuery(&db, select, params);
  if (cols) *cols = p.columns;
  std::vector<std::vector<Value>> rows;
  p.root->open(nullptr);
  Row r;
  while (p.root->next(r)) {
    r.v.resize(p.columns.size());
    rows.push_back(r.v);
  }
  return rows;
}

int64_t runUpdate(jet::Database& db, const Query& q, const Params& params) {
  const ActionStmt& a = *q.action;
  auto tables = tablesOf(a.from);
  struct Target {
    const NamedTable* t;
    std::shared_ptr<const jet::TableDef> def;
    std::vector<std::pair<size_t, size_t>> sets;  // column, value slot
  };
  std::vector<Target> targets;
  std::vector<SelectItem> values;
  for (const auto& [target, value] : a.set) {
    if (target->kind != ExprKind::Name)
      throw jet::Error(err::kFieldNotUpdatable, "Cannot update '" + toSql(*target) + "'; field not updateable.");
    const NamedTable* owner = ownerOf(db, tables, *target, err::kFieldNotUpdatable,
                                      "Cannot update '" + toSql(*target) + "'; field not updateable.");
    auto def = baseTable(db, owner->table);
    int col = def->findColumn(target->parts.back());
    if (col < 0 || def->columns[static_cast<size_t>(col)].autoNumber() ||
        def->columns[static_cast<size_t>(col)].calculated())
      throw jet::Error(err::kFieldNotUpdatable, "Cannot update '" + toSql(*target) + "'; field not updateable.");
    auto it = std::find_if(targets.begin(), targets.end(), [&](const Target& x) { return x.t == owner; });
    if (it == targets.end()) {
      // one table joined to itself is changed through one of its names only
      for (const auto& t : targets)
        if (t.def->page == def->page)
          throw jet::Error(err::kNotUpdatable, "Operation must use an updatable query: table '" + def->name +
                                                   "' is changed through two names.");
      targets.push_back({owner, def, {}});
      it = targets.end() - 1;
    }
    for (const auto& s : it->sets)
      if (s.first == static_cast<size_t>(col))
        throw jet::Error(err::kDuplicateDestination, "Duplicate output destination '" + toSql(*target) + "'.");
    it->sets.push_back({static_cast<size_t>(col), values.size()});
    values.push_back({value, ""});
  }
  std::vector<SelectItem> items;
  for (const auto& t : targets) items.push_back({rowIdOf(t.t->alias), ""});
  for (auto& v : values) items.push_back(v);
  auto rows = collect(db, q, items, a.from, a.where, params);
  db.requireWritable();
  int64_t affected = 0;
  jet::ChangeScope change(db);
  for (size_t ti = 0; ti < targets.size(); ++ti) {
    const Target& t = targets[ti];
    jet::IntegrityWriter w(db, t.def->page, t.def->name);
    std::unordered_set<int64_t> done;
    for (const auto& r : rows) {
      const Value& rid = r[ti];
      if (rid.isNull() || !done.insert(rid.asInt()).second) continue;
      jet::RowId id = jet::RowId::unpack(static_cast<uint32_t>(rid.asInt()));
      std::vector<Value> vals = w.read(id);
      for (const auto& [col, slot] : t.sets) vals[col] = r[targets.size() + slot];
      w.update(id, vals);
    }
    if (ti == 0) affected = static_cast<int64_t>(done.size());
  }
  change.commit();
  return affected;
}

int64_t runDelete(jet::Database& db, const Query& q, const Params& params) {
  const ActionStmt& a = *q.action;
  auto tables = tablesOf(a.from);
  if (tables.empty()) throw jet::Error(err::kDeleteTableUnknown, "Specify the table containing the records you want to delete.");
  const NamedTable* target = nullptr;
  for (const auto& it : a.deleteItems) {
    const NamedTable* t = ownerOf(db, tables, *it.expr, err::kDeleteTableUnknown,
                                  "Specify the table containing the records you want to delete.");
    if (target && target != t)
      throw jet::Error(err::kDeleteTableUnknown, "Could not delete from specified tables: name only one of them.");
    target = t;
  }
  if (!target) {
    if (tables.size() != 1)
      throw jet::Error(err::kDeleteTableUnknown, "Specify the table containing the records you want to delete.");
    target = &tables[0];
  }
  auto def = baseTable(db, target->table);
  auto rows = collect(db, q, {{rowIdOf(target->alias), ""}}, a.from, a.where, params);
  db.requireWritable();
  std::vector<jet::RowId> ids;
  std::unordered_set<int64_t> seen;
  for (const auto& r : rows)
    if (!r[0].isNull() && seen.insert(r[0].asInt()).second)
      ids.push_back(jet::RowId::unpack(static_cast<uint32_t>(r[0].asInt())));
  jet::ChangeScope change(db);
  {
    jet::IntegrityWriter w(db, def->page, def->name);
    for (const auto& id : ids)
      if (w.contains(id)) w.remove(id);  // a cascade may have taken it already
  }
  change.commit();
  return static_cast<int64_t>(ids.size());
}

// Destination column of each value: by the column list, or (INSERT ...
// SELECT without one) by the names of the SELECT's columns.
std::vector<size_t> destinations(const jet::TableDef& def, const std::vector<std::string>& names) {
  std::vector<size_t> out;
  for (const auto& n0 : names) {
    std::string n = n0;
    int c = def.findColumn(n);
    if (c < 0 && n.find('.') != std::string::npos) c = def.findColumn(n.substr(n.rfind('.') + 1));
    if (c < 0)
      throw jet::Error(err::kUnknownInsertField,
                       "The INSERT INTO statement contains the following unknown field name: '" + n0 +
                           "'. Make sure you have typed the name correctly, and try the operation again.");
    if (std::find(out.begin(), out.end(), static_cast<size_t>(c)) != out.end())
      throw jet::Error(err::kDuplicateDestination, "Duplicate output destination '" + n0 + "'.");
    out.push_back(static_cast<size_t>(c));
  }
  return out;
}

int64_t runInsert(jet::Database& db, const Query& q, const Params& params) {
  const ActionStmt& a = *q.action;
  auto def = baseTable(db, a.table);
  std::vector<std::vector<Value>> rows;
  std::vector<std::string> names = a.columns;
  if (a.select) {
    Query sel = *a.select;
    if (sel.params.empty()) sel.params = q.params;
    std::vector<ResultColumn> cols;
    rows = collectQuery(db, sel, params, &cols);
    if (names.empty())
      for (const auto& c : cols) names.push_back(c.name);
    else if (names.size() != cols.size())
      throw jet::Error(err::kValueCountMismatch, "Number of query values and destination fields are not the same.");
  } else {
    if (names.empty())
      for (const auto& c : def->columns) names.push_back(c.name);
    if (names.size() != a.values.size())
      throw jet::Error(err::kValueCountMismatch, "Number of query values and destination fields are not the same.");
    Query sel;
    sel.kind = StatementKind::Select;
    sel.params = q.params;
    SelectCore c;
    for (const auto& v : a.values) c.items.push_back({v, ""});
    sel.parts.push_back(std::move(c));
    rows = collectQuery(db, sel, params, nullptr);
  }
  auto dest = destinations(*def, names);
  db.requireWritable();
  jet::ChangeScope change(db);
  {
    jet::IntegrityWriter w(db, def->page, def->name);
    std::vector<Value> vals(def->columns.size());
    for (const auto& r : rows) {
      std::fill(vals.begin(), vals.end(), Value());
      for (size_t i = 0; i < dest.size(); ++i) vals[dest[i]] = r[i];
      w.insert(vals);
    }
  }
  change.commit();
  return static_cast<int64_t>(rows.size());
}

// bigInts: the file holds Big Integer fields (the 2016 .accdb format and
// later); elsewhere such results become Double fields.
jet::ColumnSpec specFor(const ResultColumn& c, bool bigInts) {
  jet::ColumnSpec s;
  s.name = c.name;
  s.type = c.type;
  switch (c.type) {
    case DataType::Text: s.size = c.size > 0 && c.size <= 255 ? c.size : 255; break;
    case DataType::Binary: s.size = c.size > 0 && c.size <= 255 ? c.size : 255; break;
    case DataType::Null: s.type = DataType::Text; s.size = 255; break;  // only Nulls: a text field
    case DataType::BigInt: if (!bigInts) s.type = DataType::Double; break;
    case DataType::Decimal: s.precision = 28; s.scale = 4; break;
    default: break;
  }
  return s;
}

int64_t runMakeTable(jet::Database& db, const Query& q, const Params& params) {
  Query sel = q;
  sel.kind = StatementKind::Select;
  std::string into = sel.parts[0].into;
  sel.parts[0].into.clear();
  std::vector<ResultColumn> cols;
  auto rows = collectQuery(db, sel, params, &cols);
  jet::TableSpec spec;
  spec.name = into;
  for (const auto& c : cols) {
    for (const auto& s : spec.columns)
      if (eqName(s.name, c.name))
        throw jet::Error(err::kDuplicateDestination, "Duplicate output destination '" + c.name + "'.");
    const jet::Version v = db.format().version;
    spec.columns.push_back(specFor(c, v == jet::Version::Ace16 || v == jet::Version::Ace17));
  }
  db.requireWritable();
  if (db.find(into)) throw jet::Error(jet::err::kTableExists, "Table '" + into + "' already exists.");
  jet::ChangeScope change(db);
  jet::createTable(db, spec);
  {
    jet::IntegrityWriter w(db, into);
    for (const auto& r : rows) w.insert(r);
  }
  change.commit();
  return static_cast<int64_t>(rows.size());
}

}  // namespace

bool isAction(const Query& q) {
  return q.kind == StatementKind::Update || q.kind == StatementKind::Delete || q.kind == StatementKind::Insert ||
         q.kind == StatementKind::MakeTable || q.kind == StatementKind::DataDefinition;
}

int64_t runAction(jet::Database& db, const Query& q, const Params& params) {
  // Rows stored here get their calculated columns from this engine.
  provideExpressionEvaluator(db);
  switch (q.kind) {
    case StatementKind::Update: return runUpdate(db, q, params);
    case StatementKind::Delete: return runDelete(db, q, params);
    case StatementKind::Insert: return runInsert(db, q, params);
    case StatementKind::MakeTable: return runMakeTable(db, q, params);
    case StatementKind::DataDefinition: runDataDefinition(db, q); return 0;
    default:
      throw jet::Error(err::kActionAsSource, "Cannot execute a select query: it changes nothing.");
  }
}

int64_t runAction(jet::Database& db, const std::string& statement, const Params& params) {
  QueryP q = parseStatement(statement);
  return runAction(db, *q, params);
}

int64_t runSavedAction(jet::Database& db, const std::string& name, const Params& params) {
  for (const auto& sq : db.queries()) {
    if (!eqName(sq.name, name)) continue;
    if (sq.typeName == "PASSTHROUGH")
      throw jet::Error(jet::err::kNotSupported, "'" + sq.name + "' is a pass-through query for another server.");
    QueryP q = parseStatement(sq.sql);
    return runAction(db, *q, params);
  }
  throw jet::Error(jet::err::kNoSuchObject, "The database engine cannot find the input table or query '" + name + "'.");
}

}  // namespace sql
