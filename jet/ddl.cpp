#include "jet/ddl.h"

#include <algorithm>

#include "jet/error.h"
#include "jet/relationships.h"
#include "jet/table.h"
#include "jet/table_writer.h"
#include "jet/text.h"

namespace jet {

namespace {

// Removes a table's catalogue row and its permissions (no reload).
void removeTableObject(Database& db, int32_t id, RowId catalogueRow) {
  {
    TableWriter objects(db, 2, "MSysObjects");
    objects.remove(catalogueRow);
  }
  if (const CatalogEntry* aces = db.find("MSysACEs")) {
    std::vector<RowId> rows;
    {
      auto scan = db.scan(aces->name);
      int c = scan->def().findColumn("ObjectId");
      while (c >= 0 && scan->next()) {
        Value v = scan->value(static_cast<size_t>(c));
        if (!v.isNull() && v.asInt() == id) rows.push_back(scan->rowId());
      }
    }
    if (!rows.empty()) {
      TableWriter w(db, aces->tdefPage, aces->name);
      for (RowId r : rows) w.remove(r);
    }
  }
}

// The MSysComplexColumns rows of table id and the flat tables they name.
void removeComplexParts(Database& db, int32_t id) {
  const CatalogEntry* cc = db.format().ace ? db.find("MSysComplexColumns") : nullptr;
  if (!cc) return;
  std::vector<RowId> rows;
  std::vector<int32_t> flats;
  {
    auto scan = db.scan(cc->name);
    int table = scan->def().findColumn("ConceptualTableID");
    int flat = scan->def().findColumn("FlatTableID");
    while (table >= 0 && flat >= 0 && scan->next()) {
      Value v = scan->value(static_cast<size_t>(table));
      if (v.isNull() || v.asInt() != id) continue;
      rows.push_back(scan->rowId());
      Value f = scan->value(static_cast<size_t>(flat));
      if (!f.isNull()) flats.push_back(static_cast<int32_t>(f.asInt()));
    }
  }
  if (rows.empty()) return;
  {
    TableWriter w(db, cc->tdefPage, cc->name);
    for (RowId r : rows) w.remove(r);
  }
  for (int32_t f : flats) {
    std::vector<std::pair<RowId, uint32_t>> found;
    for (const auto& e : db.objects())
      if (e.id == f && e.isTable()) found.push_back({e.rowId, e.tdefPage});
    for (const auto& [row, page] : found) {
      removeTableObject(db, f, row);
      db.invalidateTable(page);
    }
  }
}

}  // namespace

void dropTable(Database& db, const std::string& name) {
  db.requireWritable();
  const CatalogEntry* e = db.find(name);
  if (!e || !e->isTable() || e->kind == ObjectKind::SystemTable)
    throw Error(err::kNoSuchObject, "Table '" + name + "' does not exist.");
  if (takesPartInRelationship(db, e->name))
    throw Error(err::kInRelationship, "Cannot delete table '" + e->name + "': it is part of one or more relationships.");
  const int32_t id = e->id;
  const RowId catalogueRow = e->rowId;
  const uint32_t tdefPage = e->tdefPage;
  ChangeScope change(db);
  removeTableObject(db, id, catalogueRow);
  // Attachment and multi-value fields take their hidden tables along.
  removeComplexParts(db, id);
  change.commit();
  db.invalidateTable(tdefPage);
  db.reloadCatalog();
}

TableSpec tableSpecOf(Database& db, const TableDef& def) {
  TableSpec s;
  s.name = def.name;
  const bool jet3 = db.format().jet3;
  for (const auto& c : def.columns) {
    ColumnSpec cs;
    cs.name = c.name;
    cs.type = c.type;
    cs.size = (c.type == DataType::Text || c.type == DataType::Binary) ? c.displaySize(jet3) : 0;
    cs.required = c.requiredProp;
    cs.autoNumber = c.autoNumber();
    cs.precision = c.precision;
    cs.scale = c.scale;
    cs.compressed = c.compressedUnicode() || jet3;
    s.columns.push_back(cs);
  }
  for (const auto& ix : def.indexes) {
    if (ix.foreignKey() || ix.realIndex < 0) continue;
    const RealIndex& r = def.realOf(ix);
    IndexSpec is;
    is.name = ix.name;
    for (const auto& ic : r.columns)
      if (ic.column >= 0 && static_cast<size_t>(ic.column) < def.columns.size())
        is.columns.push_back({def.columns[static_cast<size_t>(ic.column)].name, ic.ascending});
    is.primary = ix.primary();
    is.unique = r.unique();
    is.ignoreNulls = r.ignoreNulls();
    is.required = r.required() && !ix.primary();
    s.indexes.push_back(is);
  }
  return s;
}

void rebuildTable(Database& db, const std::string& name, const TableSpec& spec, const std::vector<int>& sourceColumn) {
  db.requireWritable();
  auto def = db.table(name);
  if (takesPartInRelationship(db, def->name))
    throw Error(err::kInRelationship, "Cannot change table '" + def->name + "': it is part of one or more relationships.");
  // The hidden tables of complex fields would not follow a rebuild.
  auto complexIn = [](const auto& cols, auto isComplex) {
    return std::any_of(cols.begin(), cols.end(), isComplex);
  };
  if (complexIn(def->columns, [](const Column& c) { return c.rawType == coltype::kComplex; }) ||
      complexIn(spec.columns, [](const ColumnSpec& c) { return c.type == DataType::Complex; }))
    throw Error(err::kNotSupported, "Table '" + def->name +
                                        "' cannot be changed: tables with attachment or multi-value fields "
                                        "cannot be rebuilt yet.");
  if (sourceColumn.size() != spec.columns.size())
    throw Error(err::kNotSupported, "Every field of the rebuilt table needs a source.");
  std::vector<std::vector<Value>> rows;
  {
    TableScan scan(db, def);
    while (scan.next()) {
      const auto& v = scan.values();
      std::vector<Value> out(spec.columns.size());
      for (size_t i = 0; i < sourceColumn.size(); ++i)
        if (sourceColumn[i] >= 0 && static_cast<size_t>(sourceColumn[i]) < v.size())
          out[i] = v[static_cast<size_t>(sourceColumn[i])];
      rows.push_back(std::move(out));
    }
  }
  TableSpec s = spec;
  s.name = def->name;
  ChangeScope change(db);
  dropTable(db, def->name);
  createTable(db, s);
  {
    TableWriter w(db, s.name);
    for (const auto& r : rows) w.insert(r);
  }
  change.commit();
}

}  // namespace jet
