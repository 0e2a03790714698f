// Database::queries(): the saved queries of the catalogue with their SQL text,
// rebuilt from MSysQueries.
#include <map>

#include "jet/database.h"
#include "jet/query_sql.h"

namespace jet {

std::vector<SavedQuery> Database::queries() {
  std::vector<SavedQuery> out;
  auto entries = queryEntries();
  if (entries.empty()) return out;
  const CatalogEntry* qt = nullptr;
  for (const auto& e : objects_)
    if (e.kind == ObjectKind::SystemTable && e.name == "MSysQueries") qt = &e;
  std::map<int32_t, std::vector<QueryRow>> rowsById;
  if (qt) {
    auto def = table(*qt);
    int cAttr = def->findColumn("Attribute"), cExpr = def->findColumn("Expression"),
        cFlag = def->findColumn("Flag"), cN1 = def->findColumn("Name1"),
        cN2 = def->findColumn("Name2"), cObj = def->findColumn("ObjectId"),
        cOrder = def->findColumn("Order");
    TableScan scan(*this, def);
    while (scan.next()) {
      QueryRow r;
      auto get = [&](int c) { return c >= 0 ? scan.value(c) : Value(); };
      Value v = get(cAttr);
      r.attribute = v.isNull() ? 0 : static_cast<int>(v.asInt());
      if (Value x = get(cExpr); !x.isNull()) r.expression = x.bytes();
      if (Value x = get(cFlag); !x.isNull()) r.flag = static_cast<int>(x.asInt());
      if (Value x = get(cN1); !x.isNull()) r.name1 = x.bytes();
      if (Value x = get(cN2); !x.isNull()) r.name2 = x.bytes();
      if (Value x = get(cObj); !x.isNull()) r.objectId = static_cast<int32_t>(x.asInt());
      if (Value x = get(cOrder); !x.isNull()) r.order = x.bytes();
      if (r.objectId) rowsById[*r.objectId].push_back(std::move(r));
    }
  }
  for (const CatalogEntry* e : entries) {
    SavedQuery q;
    q.name = e->name;
    q.id = e->id;
    q.flags = e->flags;
    const auto& rows = rowsById[e->id];
    QueryType type = resolveQueryType(e->flags, rows);
    q.typeName = queryTypeName(type);
    q.sql = querySqlStatement(type, rows);
    out.push_back(std::move(q));
  }
  return out;
}

}  // namespace jet
