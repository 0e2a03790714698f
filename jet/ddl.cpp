#include "jet/ddl.h"

#include "jet/error.h"
#include "jet/relationships.h"
#include "jet/table.h"
#include "jet/table_writer.h"
#include "jet/text.h"

namespace jet {

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
