#include "jet/relationships.h"

#include <algorithm>
#include <map>
#include <set>

#include "jet/error.h"
#include "jet/integrity.h"
#include "jet/table_writer.h"
#include "jet/text.h"

namespace jet {

namespace {

constexpr const char* kTable = "MSysRelationships";

std::string textOf(const Value& v) { return v.isNull() ? std::string() : v.isText() ? v.bytes() : v.display(); }

}  // namespace

std::vector<Relationship> readRelationships(Database& db) {
  std::vector<Relationship> out;
  if (!db.find(kTable)) return out;
  auto scan = db.scan(kTable);
  const TableDef& def = scan->def();
  const int cName = def.findColumn("szRelationship"), cObj = def.findColumn("szObject"),
            cRef = def.findColumn("szReferencedObject"), cCol = def.findColumn("szColumn"),
            cRefCol = def.findColumn("szReferencedColumn"), cBits = def.findColumn("grbit"),
            cPos = def.findColumn("icolumn");
  if (cName < 0 || cObj < 0 || cRef < 0 || cCol < 0 || cRefCol < 0) return out;
  struct Pairs {
    size_t at;
    std::map<int64_t, std::pair<std::string, std::string>> cols;
  };
  std::map<std::string, Pairs> byName;  // by upper-case name
  while (scan->next()) {
    const auto& v = scan->values();
    std::string name = textOf(v[cName]);
    if (name.empty()) continue;
    auto [it, fresh] = byName.try_emplace(upperName(name), Pairs{out.size(), {}});
    if (fresh) {
      Relationship r;
      r.name = name;
      r.table = textOf(v[cObj]);
      r.refTable = textOf(v[cRef]);
      if (cBits >= 0 && !v[cBits].isNull()) r.flags = static_cast<int32_t>(v[cBits].asInt());
      out.push_back(std::move(r));
    }
    Pairs& p = it->second;
    int64_t pos = cPos >= 0 && !v[cPos].isNull() ? v[cPos].asInt() : static_cast<int64_t>(p.cols.size());
    while (p.cols.count(pos)) ++pos;  // a repeated position keeps both pairs
    p.cols[pos] = {textOf(v[cCol]), textOf(v[cRefCol])};
  }
  for (auto& [name, p] : byName) {
    Relationship& r = out[p.at];
    for (const auto& [pos, cc] : p.cols) {
      r.columns.push_back(cc.first);
      r.refColumns.push_back(cc.second);
    }
  }
  return out;
}

bool takesPartInRelationship(Database& db, const std::string& table) {
  for (const auto& r : readRelationships(db))
    if (equalsNoCase(r.table, table) || equalsNoCase(r.refTable, table)) return true;
  return false;
}

void addRelationship(Database& db, const Relationship& rel) {
  db.requireWritable();
  const CatalogEntry* rels = db.find(kTable);
  if (!rels || !rels->isTable())
    throw Error(err::kNotSupported, "The database has no relationship table.");
  auto localTable = [&](const std::string& name) {
    const CatalogEntry* e = db.find(name);
    if (!e || !e->isTable() || e->kind == ObjectKind::LinkedTable || e->kind == ObjectKind::LinkedOdbc)
      throw Error(err::kNoSuchObject, "The database has no local table named '" + name + "'.");
    return db.table(*e);
  };
  auto child = localTable(rel.table);
  auto parent = localTable(rel.refTable);
  if (rel.name.empty()) throw Error(err::kNotSupported, "A relationship needs a name.");
  if (rel.columns.empty() || rel.columns.size() != rel.refColumns.size())
    throw Error(err::kNotSupported, "Relationship '" + rel.name +
                                        "' must join the same number of fields on both sides (at least one).");
  for (const auto& r : readRelationships(db))
    if (equalsNoCase(r.name, rel.name))
      throw Error(err::kObjectExists, "Object '" + rel.name + "' already exists.");
  std::set<int> refCols;
  for (size_t i = 0; i < rel.columns.size(); ++i) {
    int a = child->findColumn(rel.columns[i]), b = parent->findColumn(rel.refColumns[i]);
    if (a < 0 || b < 0)
      throw Error(err::kItemNotFound, "Item not found in this collection: field '" +
                                          (a < 0 ? rel.table + "." + rel.columns[i]
                                                 : rel.refTable + "." + rel.refColumns[i]) + "'.");
    refCols.insert(b);
  }
  if (refCols.size() != rel.refColumns.size())
    throw Error(err::kNotSupported, "Relationship '" + rel.name + "' names a referenced field twice.");
  bool keyed = false;
  for (const auto& ri : parent->realIndexes) {
    if (!ri.unique() || ri.columns.size() != refCols.size()) continue;
    std::set<int> cols;
    for (const auto& ic : ri.columns) cols.insert(ic.column);
    keyed |= cols == refCols;
  }
  if (!keyed)
    throw Error(err::kNoUniqueIndex,
                "No unique index found for the referenced field of the primary table '" + parent->name + "'.");
  ChangeScope change(db);
  if (rel.enforced()) requireRelationshipHolds(db, rel);
  TableWriter w(db, rels->tdefPage, rels->name);
  for (size_t i = 0; i < rel.columns.size(); ++i) {
    w.insert(w.valuesByName({{"szRelationship", Value::text(rel.name)},
                             {"grbit", Value::longInt(rel.flags)},
                             {"ccolumn", Value::longInt(static_cast<int32_t>(rel.columns.size()))},
                             {"icolumn", Value::longInt(static_cast<int32_t>(i))},
                             {"szObject", Value::text(child->name)},
                             {"szColumn", Value::text(child->columns[child->findColumn(rel.columns[i])].name)},
                             {"szReferencedObject", Value::text(parent->name)},
                             {"szReferencedColumn",
                              Value::text(parent->columns[parent->findColumn(rel.refColumns[i])].name)}}));
  }
  change.commit();
}

void removeRelationship(Database& db, const std::string& name) {
  db.requireWritable();
  std::vector<RowId> rows;
  std::string table;
  if (const CatalogEntry* rels = db.find(kTable); rels && rels->isTable()) {
    table = rels->name;
    auto scan = db.scan(kTable);
    const int cName = scan->def().findColumn("szRelationship");
    if (cName >= 0)
      while (scan->next())
        if (equalsNoCase(textOf(scan->value(static_cast<size_t>(cName))), name)) rows.push_back(scan->rowId());
  }
  if (rows.empty()) throw Error(err::kItemNotFound, "There is no relationship named '" + name + "'.");
  ChangeScope change(db);
  TableWriter w(db, table);
  for (const RowId& id : rows) w.remove(id);
  change.commit();
}

}  // namespace jet
