// The data-definition statements, carried out with jet/create.h (new
// tables) and jet/ddl.h (dropping and rebuilding tables).
#include <algorithm>
#include "sql/errors.h"

#include "jet/create.h"
#include "jet/ddl.h"
#include "jet/error.h"
#include "jet/text.h"
#include "sql/action.h"

namespace sql {

using jet::DataType;

namespace {

bool eqName(const std::string& a, const std::string& b) { return jet::equalsNoCase(a, b); }

jet::ColumnSpec columnSpecOf(const ColumnDef& c) {
  jet::ColumnSpec s = jet::columnSpec(c.name, c.type, 0, c.notNull);
  s.autoNumber = c.autoNumber;
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
    jet::createTable(db, t);
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
