#include "migrate/plan.h"

#include <algorithm>
#include <cctype>

#include "jet/error.h"
#include "jet/relationships.h"
#include "jet/text.h"
#include "migrate/target.h"
#include "migrate/types.h"

namespace migrate {

namespace {

std::string trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return s.substr(a, b - a);
}

const ColumnPlan* findColumn(const TablePlan& t, const std::string& name) {
  for (const auto& c : t.columns)
    if (jet::equalsNoCase(c.name, name)) return &c;
  return nullptr;
}

const TablePlan* findTable(const Plan& p, const std::string& name) {
  for (const auto& t : p.tables)
    if (jet::equalsNoCase(t.name, name)) return &t;
  return nullptr;
}

TablePlan planTable(jet::Database& db, const jet::CatalogEntry& e, Plan& plan) {
  TablePlan t;
  t.name = e.name;
  t.jet3 = db.format().jet3;
  t.def = db.table(e);
  t.rowCount = t.def->rowCount;
  t.lastAutoNumber = t.def->nextAutoNumber;  // the file keeps the last one used
  jet::PropertyMaps props;
  try {
    props = jet::parseProperties(e.lvProp, db);
  } catch (const jet::Error&) {
  }
  for (size_t i = 0; i < t.def->columns.size(); ++i) {
    const jet::Column& c = t.def->columns[i];
    if (c.type == jet::DataType::Complex) continue;  // a child table of its own (planChildren)
    std::string why = notCarriedReason(c);
    if (!why.empty()) {
      plan.skipped.push_back({"column " + t.name + "." + c.name, why});
      continue;
    }
    ColumnPlan cp;
    cp.name = c.name;
    cp.source = i;
    cp.column = &c;
    cp.notNull = c.requiredProp;
    cp.autoNumber = c.autoLong();
    auto pit = props.columns.find(jet::upperName(c.name));
    if (pit != props.columns.end()) {
      auto dit = pit->second.find("DEFAULTVALUE");
      if (dit != pit->second.end()) {
        const auto& raw = dit->second.raw;
        std::string text = db.decodeText(jet::ByteView(reinterpret_cast<const uint8_t*>(raw.data()), raw.size()));
        cp.defaultValue = parseDefault(text);
        if (cp.defaultValue.kind == DefaultValue::None && !trim(text).empty())
          plan.skipped.push_back({"default of " + t.name + "." + c.name,
                                  "'" + text + "' is an expression, not a plain value"});
      }
    }
    t.columns.push_back(std::move(cp));
  }
  for (const auto& ix : t.def->indexes) {
    if (ix.foreignKey()) continue;  // the relationship's own index: carried as the foreign key
    const jet::RealIndex& real = t.def->realOf(ix);
    IndexPlan ip;
    ip.name = ix.name;
    ip.primary = ix.primary();
    ip.unique = real.unique() || ix.primary();
    bool ok = true, complex = false;
    for (const auto& ic : real.columns) {
      if (ic.column < 0 || static_cast<size_t>(ic.column) >= t.def->columns.size()) { ok = false; break; }
      complex |= t.def->columns[ic.column].type == jet::DataType::Complex;
      const std::string& cn = t.def->columns[ic.column].name;
      if (!findColumn(t, cn)) { ok = false; break; }
      ip.columns.push_back({cn, ic.ascending});
    }
    // The source's own index on a complex column's ids: the child table's
    // key replaces it.
    if (complex) continue;
    if (!ok || ip.columns.empty()) {
      plan.skipped.push_back({"index " + t.name + "." + ix.name, "it covers a column that is not carried"});
      continue;
    }
    // Logical indexes sharing one b-tree with the same columns are one index.
    bool dup = false;
    for (auto& other : t.indexes)
      if (other.columns == ip.columns && other.unique == ip.unique && !ip.primary) dup = true;
    if (dup) continue;
    if (ip.primary) t.primaryIndex = static_cast<int>(t.indexes.size());
    t.indexes.push_back(std::move(ip));
  }
  return t;
}

std::shared_ptr<const jet::Column> ownColumn(const std::string& name, jet::DataType type, uint8_t raw,
                                             uint16_t length) {
  auto c = std::make_shared<jet::Column>();
  c->name = name;
  c->type = type;
  c->rawType = raw;
  c->length = length;
  return c;
}

// A name not yet in taken (compared without regard to case): base, else
// base_2, base_3, ...
std::string freeName(const std::string& base, const std::vector<std::string>& taken) {
  auto used = [&](const std::string& n) {
    for (const auto& t : taken)
      if (jet::equalsNoCase(t, n)) return true;
    return false;
  };
  std::string n = base;
  for (int k = 2; used(n); ++k) n = base + "_" + std::to_string(k);
  return n;
}

// One child table for each attachment or multi-value column of t: the
// parent's key (its primary key, else a generated row number added to the
// parent), then the entry: FileName, FileType, FileData for attachments,
// Value for multi-value lists and version histories.
void planChildren(jet::Database& db, TablePlan& t, std::vector<std::string>& names, Plan& plan,
                  std::vector<TablePlan>& out) {
  std::unique_ptr<jet::ComplexReader> reader;
  for (size_t i = 0; i < t.def->columns.size(); ++i) {
    const jet::Column& c = t.def->columns[i];
    if (c.type != jet::DataType::Complex) continue;
    if (!reader) reader = std::make_unique<jet::ComplexReader>(db, t.def);
    jet::ComplexKind kind;
    const jet::Column* valueColumn = nullptr;
    try {
      kind = reader->kind(i);
      valueColumn = &reader->valueColumn(i);
    } catch (const jet::Error& e) {
      plan.skipped.push_back({"column " + t.name + "." + c.name, e.what()});
      continue;
    }
    auto src = std::make_shared<ChildSource>();
    src->parent = t.name;
    src->column = i;
    src->kind = kind;
    TablePlan ch;
    // Within PostgreSQL's 63 bytes, the same name in both targets.
    ch.name = freeName(indexName(t.name, c.name, Dialect::PostgreSQL), names);
    names.push_back(ch.name);
    ch.jet3 = t.jet3;
    ch.def = t.def;
    ForeignKeyPlan fk;
    fk.name = "parent";
    fk.table = ch.name;
    fk.refTable = t.name;
    fk.updateCascade = fk.deleteCascade = true;
    IndexPlan key;
    key.name = "parent";
    if (t.primaryIndex < 0) {
      // No primary key: the parent gets a row number to be referred to.
      std::vector<std::string> cols;
      for (const auto& pc : t.columns) cols.push_back(pc.name);
      ColumnPlan rn;
      auto col = ownColumn(freeName("RowNumber", cols), jet::DataType::Long, jet::coltype::kLong, 4);
      t.ownColumns.push_back(col);
      rn.name = col->name;
      rn.column = col.get();
      rn.notNull = true;
      rn.rowNumber = true;
      t.columns.push_back(rn);
      IndexPlan pk;
      std::vector<std::string> indexNames;
      for (const auto& ix : t.indexes) indexNames.push_back(ix.name);
      pk.name = freeName(rn.name, indexNames);
      pk.primary = pk.unique = true;
      pk.columns = {{rn.name, true}};
      t.primaryIndex = static_cast<int>(t.indexes.size());
      t.indexes.push_back(pk);
    }
    for (const auto& [name, asc] : t.indexes[t.primaryIndex].columns) {
      const ColumnPlan* pc = findColumn(t, name);
      ColumnPlan kc = *pc;
      kc.source = ch.columns.size();
      kc.notNull = true;
      kc.autoNumber = false;
      kc.rowNumber = false;
      kc.defaultValue = {};
      if (!pc->rowNumber) src->keySources.push_back(pc->source);
      ch.columns.push_back(kc);
    }
    for (const auto& kc : ch.columns) {
      fk.columns.push_back(kc.name);
      key.columns.push_back({kc.name, true});
    }
    for (const auto& [name, asc] : t.indexes[t.primaryIndex].columns) fk.refColumns.push_back(name);
    std::vector<std::string> keyNames = fk.columns;
    auto add = [&](std::shared_ptr<const jet::Column> col) {
      ch.ownColumns.push_back(col);
      ColumnPlan cp;
      cp.name = col->name;
      cp.column = col.get();
      cp.source = ch.columns.size();
      ch.columns.push_back(cp);
    };
    if (kind == jet::ComplexKind::Attachment) {
      add(ownColumn(freeName("FileName", keyNames), jet::DataType::Text, jet::coltype::kText, 510));
      add(ownColumn(freeName("FileType", keyNames), jet::DataType::Text, jet::coltype::kText, 510));
      add(ownColumn(freeName("FileData", keyNames), jet::DataType::OLE, jet::coltype::kOle, 0));
    } else {
      auto col = std::make_shared<jet::Column>(*valueColumn);
      col->name = freeName("Value", keyNames);
      col->flags &= static_cast<uint8_t>(~(jet::colflag::kAutoLong | jet::colflag::kAutoGuid));
      add(col);
    }
    ch.indexes.push_back(key);
    ch.child = src;
    plan.foreignKeys.push_back(fk);
    out.push_back(std::move(ch));
  }
}

void planRelationships(jet::Database& db, Plan& plan) {
  for (const jet::Relationship& rel : jet::readRelationships(db)) {
    ForeignKeyPlan fk;
    fk.name = rel.name;
    fk.table = rel.table;
    fk.refTable = rel.refTable;
    std::string what = "relationship " + rel.name;
    if (!rel.enforced()) {
      plan.skipped.push_back({what, "the source does not enforce it, so its rows need not agree"});
      continue;
    }
    const TablePlan* child = findTable(plan, fk.table);
    const TablePlan* parent = findTable(plan, fk.refTable);
    auto system = [](const std::string& n) { return jet::upperName(n).rfind("MSYS", 0) == 0; };
    if ((!child && system(fk.table)) || (!parent && system(fk.refTable))) continue;  // the product's own
    if (!child || !parent) {
      plan.skipped.push_back({what, "it joins a table that is not carried"});
      continue;
    }
    fk.table = child->name;
    fk.refTable = parent->name;
    bool ok = true;
    for (size_t i = 0; i < rel.columns.size(); ++i) {
      const ColumnPlan* a = findColumn(*child, rel.columns[i]);
      const ColumnPlan* b = findColumn(*parent, rel.refColumns[i]);
      if (!a || !b) { ok = false; break; }
      fk.columns.push_back(a->name);
      fk.refColumns.push_back(b->name);
    }
    if (!ok || fk.columns.empty()) {
      plan.skipped.push_back({what, "it joins columns that are not carried"});
      continue;
    }
    // The parent side must be a key the target can refer to.
    bool keyed = false;
    for (const auto& ix : parent->indexes) {
      if (!ix.unique || ix.columns.size() != fk.refColumns.size()) continue;
      bool all = true;
      for (const auto& rc : fk.refColumns) {
        bool found = false;
        for (const auto& ic : ix.columns) found |= jet::equalsNoCase(ic.first, rc);
        all &= found;
      }
      keyed |= all;
    }
    if (!keyed) {
      plan.skipped.push_back({what, "the referenced columns have no unique index"});
      continue;
    }
    fk.updateCascade = rel.cascadeUpdates();
    fk.deleteCascade = rel.cascadeDeletes();
    plan.foreignKeys.push_back(fk);
  }
}

}  // namespace

DefaultValue parseDefault(const std::string& raw) {
  std::string s = trim(raw);
  DefaultValue d;
  if (s.empty()) return d;
  if (s.size() >= 2 && (s[0] == '"' || s[0] == '\'') && s.back() == s[0]) {
    std::string body;
    for (size_t i = 1; i + 1 < s.size(); ++i) {
      if (s[i] == s[0]) {
        if (i + 2 < s.size() && s[i + 1] == s[0]) { body.push_back(s[0]); ++i; continue; }
        return d;  // a lone quote inside: an expression
      }
      body.push_back(s[i]);
    }
    d.kind = DefaultValue::Text;
    d.text = body;
    return d;
  }
  std::string u = jet::upperName(s);
  if (u == "TRUE" || u == "YES" || u == "ON") { d.kind = DefaultValue::Boolean; d.text = "1"; return d; }
  if (u == "FALSE" || u == "NO" || u == "OFF") { d.kind = DefaultValue::Boolean; d.text = "0"; return d; }
  size_t i = 0;
  if (s[i] == '-' || s[i] == '+') ++i;
  size_t digits = 0, dots = 0;
  for (; i < s.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(s[i]))) ++digits;
    else if (s[i] == '.') ++dots;
    else return d;
  }
  if (digits == 0 || dots > 1) return d;
  d.kind = DefaultValue::Number;
  d.text = s[0] == '+' ? s.substr(1) : s;
  return d;
}

Plan buildPlan(jet::Database& db, const std::vector<std::string>& wanted) {
  Plan plan;
  plan.jet3 = db.format().jet3;
  std::vector<const jet::CatalogEntry*> entries;
  if (wanted.empty()) {
    for (const auto* e : db.tables(false)) {
      if (e->kind == jet::ObjectKind::Table) entries.push_back(e);
      else if (e->kind == jet::ObjectKind::LinkedTable || e->kind == jet::ObjectKind::LinkedOdbc)
        plan.skipped.push_back({"table " + e->name, "a linked table: its rows live in another database"});
    }
  } else {
    for (const auto& w : wanted) {
      const jet::CatalogEntry* e = db.find(w);
      if (!e || e->kind != jet::ObjectKind::Table)
        throw jet::Error(jet::err::kNoSuchObject, "The database has no user table named '" + w + "'.");
      if (std::find(entries.begin(), entries.end(), e) == entries.end()) entries.push_back(e);
    }
  }
  for (const auto* e : entries) {
    TablePlan t = planTable(db, *e, plan);
    if (t.columns.empty()) {
      plan.skipped.push_back({"table " + t.name, "none of its columns can be carried"});
      continue;
    }
    plan.tables.push_back(std::move(t));
  }
  planRelationships(db, plan);
  // Child tables come after all parents, and their names after every
  // table of the source.
  std::vector<std::string> names;
  for (const auto* e : db.tables(false)) names.push_back(e->name);
  for (const auto& q : db.queries()) names.push_back(q.name);
  std::vector<TablePlan> children;
  for (auto& t : plan.tables) planChildren(db, t, names, plan, children);
  for (auto& c : children) plan.tables.push_back(std::move(c));
  if (wanted.empty()) {
    for (const auto& q : db.queries()) {
      if (q.typeName == "SELECT" || q.typeName == "UNION")
        plan.queries.push_back({q.name, q.sql});
      else
        plan.skipped.push_back({"query " + q.name, "only SELECT queries become views (this is " + q.typeName + ")"});
    }
  }
  return plan;
}

}  // namespace migrate
