// The data-definition statements, carried out with jet/create.h (new
// tables), jet/ddl.h (dropping and rebuilding tables) and
// jet/relationships.h (FOREIGN KEY constraints are relationships).
#include <algorithm>
#include "sql/errors.h"

#include "jet/create.h"
#include "jet/ddl.h"
#include "jet/error.h"
#include "jet/relationships.h"
#include "jet/table_writer.h"
#include "jet/text.h"
#include "sql/action.h"

namespace sql {

using jet::DataType;

namespace {

bool eqName(const std::string& a, const std::string& b) { return jet::equalsNoCase(a, b); }

jet::ColumnSpec columnSpecOf(const ColumnDef& c) {
  jet::ColumnSpec s = jet::columnSpec(c.name, c.type, 0, c.notNull);
  s.autoNumber = c.autoNumber;
  if (c.multiValue || c.type == DataType::Complex) {
    if (c.notNull)
      throw jet::Error(jet::err::kNotSupported, "Field '" + c.name + "': attachment and multi-value fields cannot be NOT NULL.");
    if (c.type == DataType::Complex) return jet::attachmentSpec(c.name);
    if (c.type == DataType::Text && (c.size < 1 || c.size > 255))
      throw jet::Error(jet::err::kFieldTooSmall, "The size of field '" + c.name + "' must be between 1 and 255.");
    return jet::multiValueSpec(c.name, c.type, c.type == DataType::Text ? c.size : 0);
  }
  if (c.type == DataType::Text || c.type == DataType::Binary) {
    if (c.size < 1 || c.size > 255)
      throw jet::Error(jet::err::kFieldTooSmall, "The size of field '" + c.name + "' must be between 1 and 255.");
    s.size = c.size;
  }
  if (c.type == DataType::Decimal) {
    s.precision = static_cast<uint8_t>(std::clamp(c.size, 1, 28));
    s.scale = static_cast<uint8_t>(std::clamp(c.scale, 0, 28));
  }
  return s;
}

int findIndex(const jet::TableSpec& t, const std::string& name) {
  for (size_t i = 0; i < t.indexes.size(); ++i)
    if (eqName(t.indexes[i].name, name)) return static_cast<int>(i);
  return -1;
}

int findField(const jet::TableSpec& t, const std::string& name) {
  for (size_t i = 0; i < t.columns.size(); ++i)
    if (eqName(t.columns[i].name, name)) return static_cast<int>(i);
  return -1;
}

// Adds an index to a table spec with the checks the product makes.
void addIndex(jet::TableSpec& t, const IndexDef& d) {
  jet::IndexSpec is;
  is.primary = d.primary;
  is.unique = d.unique || d.primary;
  is.ignoreNulls = d.ignoreNull;
  is.required = d.disallowNull && !d.primary;
  is.name = d.name;
  if (is.name.empty()) {
    is.name = d.primary ? "PrimaryKey" : "Index_" + d.columns.front().first;
    for (int n = 1; findIndex(t, is.name) >= 0; ++n) is.name = "Index_" + d.columns.front().first + std::to_string(n);
  }
  if (findIndex(t, is.name) >= 0)
    throw jet::Error(err::kIndexExists, "The table '" + t.name + "' already has an index named '" + is.name + "'.");
  if (is.primary)
    for (const auto& x : t.indexes)
      if (x.primary) throw jet::Error(err::kPrimaryExists, "Primary key already exists.");
  for (const auto& [col, asc] : d.columns)
    if (findField(t, col) < 0)
      throw jet::Error(jet::err::kItemNotFound, "Field '" + col + "' of index '" + is.name + "' is not in table '" +
                                                    t.name + "'.");
  is.columns = d.columns;
  t.indexes.push_back(is);
}

// The relationship a FOREIGN KEY constraint of table makes: enforced, with
// the cascades it names. Without a name it is called after both tables, the
// way the product names them; without referenced fields it refers to the
// other table's primary key.
jet::Relationship relationshipOf(jet::Database& db, const ForeignKeyDef& f, const std::string& table) {
  jet::Relationship r;
  r.table = table;
  r.columns = f.columns;
  r.refTable = f.refTable;
  r.refColumns = f.refColumns;
  if (r.refColumns.empty()) {
    const jet::CatalogEntry* e = db.find(f.refTable);
    if (!e || !e->isTable())
      throw jet::Error(jet::err::kNoSuchObject, "The database has no local table named '" + f.refTable + "'.");
    auto def = db.table(*e);
    r.refTable = def->name;
    for (const auto& li : def->indexes) {
      if (!li.primary() || li.realIndex < 0) continue;
      for (const auto& ic : def->realOf(li).columns) r.refColumns.push_back(def->columns.at(static_cast<size_t>(ic.column)).name);
      break;
    }
    if (r.refColumns.empty())
      throw jet::Error(jet::err::kNoUniqueIndex,
                       "No unique index found for the referenced field of the primary table '" + def->name + "'.");
  }
  r.name = f.name;
  if (r.name.empty()) {
    const auto existing = jet::readRelationships(db);
    auto taken = [&](const std::string& n) {
      for (const auto& x : existing)
        if (eqName(x.name, n)) return true;
      return false;
    };
    r.name = r.refTable + table;
    for (int n = 1; taken(r.name); ++n) r.name = r.refTable + table + std::to_string(n);
  }
  if (f.cascadeUpdate) r.flags |= jet::relflag::kCascadeUpdate;
  if (f.cascadeDelete) r.flags |= jet::relflag::kCascadeDelete;
  if (f.deleteSetsNull) r.flags |= jet::relflag::kCascadeNull;
  return r;
}

bool isRelationshipOf(jet::Database& db, const std::string& name, const std::string& table) {
  for (const auto& r : jet::readRelationships(db))
    if (eqName(r.name, name) && (eqName(r.table, table) || eqName(r.refTable, table))) return true;
  return false;
}

std::vector<int> identity(size_t n) {
  std::vector<int> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<int>(i);
  return v;
}

}  // namespace

void runDataDefinition(jet::Database& db, const Query& q) {
  if (!q.action) throw jet::Error(jet::err::kSyntax, "Syntax error in data-definition statement.");
  const ActionStmt& a = *q.action;
  db.requireWritable();
  if (a.ddl == DdlKind::CreateTable) {
    jet::TableSpec t;
    t.name = a.table;
    for (const auto& c : a.newColumns) {
      if (findField(t, c.name) >= 0)
        throw jet::Error(err::kFieldExists, "Field '" + c.name + "' is defined more than once.");
      t.columns.push_back(columnSpecOf(c));
    }
    for (const auto& d : a.indexes) addIndex(t, d);
    if (db.find(a.table)) throw jet::Error(jet::err::kTableExists, "Table '" + a.table + "' already exists.");
    jet::ChangeScope change(db);
    jet::createTable(db, t);
    for (const auto& f : a.foreignKeys) jet::addRelationship(db, relationshipOf(db, f, a.table));
    change.commit();
    return;
  }
  if (a.ddl == DdlKind::DropTable) {
    jet::dropTable(db, a.table);
    return;
  }
  const jet::CatalogEntry* ent = db.find(a.table);
  if (!ent || !ent->isTable() || ent->kind == jet::ObjectKind::SystemTable)
    throw jet::Error(jet::err::kNoSuchObject, "Table '" + a.table + "' does not exist.");
  auto def = db.table(*ent);
  if (a.ddl == DdlKind::AddConstraint && !a.foreignKeys.empty()) {
    jet::ChangeScope change(db);
    for (const auto& f : a.foreignKeys) jet::addRelationship(db, relationshipOf(db, f, def->name));
    change.commit();
    return;
  }
  if (a.ddl == DdlKind::DropConstraint && isRelationshipOf(db, a.name, def->name)) {
    jet::removeRelationship(db, a.name);
    return;
  }
  jet::TableSpec t = jet::tableSpecOf(db, *def);
  std::vector<int> source = identity(t.columns.size());
  switch (a.ddl) {
    case DdlKind::CreateIndex: case DdlKind::AddConstraint:
      for (const auto& d : a.indexes) addIndex(t, d);
      break;
    case DdlKind::DropIndex: case DdlKind::DropConstraint: {
      int i = findIndex(t, a.name);
      if (i < 0)
        throw jet::Error(jet::err::kItemNotFound, "There is no index named '" + a.name + "' on table '" + t.name + "'.");
      t.indexes.erase(t.indexes.begin() + i);
      break;
    }
    case DdlKind::AddColumn:
      for (const auto& c : a.newColumns) {
        if (findField(t, c.name) >= 0)
          throw jet::Error(err::kFieldExists, "Field '" + c.name + "' is defined more than once.");
        t.columns.push_back(columnSpecOf(c));
        source.push_back(-1);
      }
      for (const auto& d : a.indexes) addIndex(t, d);
      break;
    case DdlKind::DropColumn: {
      int i = findField(t, a.name);
      if (i < 0) throw jet::Error(jet::err::kItemNotFound, "Field '" + a.name + "' is not in table '" + t.name + "'.");
      for (const auto& ix : t.indexes)
        for (const auto& [col, asc] : ix.columns)
          if (eqName(col, a.name))
            throw jet::Error(err::kFieldInIndex, "Cannot delete field '" + a.name + "': it is part of the index '" +
                                                     ix.name + "'.");
      if (t.columns.size() == 1) throw jet::Error(err::kTableFieldCount, "A table needs at least one field.");
      t.columns.erase(t.columns.begin() + i);
      source.erase(source.begin() + i);
      break;
    }
    default:
      throw jet::Error(jet::err::kNotSupported, "This data-definition statement is not supported.");
  }
  jet::rebuildTable(db, def->name, t, source);
}

}  // namespace sql
