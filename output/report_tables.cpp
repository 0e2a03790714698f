#include "output/report_tables.h"

#include "catalogue/dao.h"

namespace output {

namespace {
const char* truth(bool b) { return b ? "True" : "False"; }
}  // namespace

StructureSource tableStructure(const dao::Database& db, const std::string& table) {
  const dao::TableDef& td = db.TableDefByName(table);
  StructureSource s;
  s.name = td.Name();
  s.recordCount = std::to_string(td.RecordCount());
  s.fieldCaptions = {"Name", "Type", "Size", "Required"};
  for (const auto& f : td.Fields())
    s.fields.push_back({f.Name, dao::typeName(f.Type), std::to_string(f.Size), truth(f.Required)});
  s.indexCaptions = {"Index Name", "Fields within Index", "Required", "Primary", "Unique"};
  if (!s.fields.empty())
    for (const auto& ix : td.Indexes())
      s.indexes.push_back({ix.Name, ix.Fields, truth(ix.Required), truth(ix.Primary), truth(ix.Unique)});
  return s;
}

std::vector<std::string> userTables(const dao::Database& db) {
  std::vector<std::string> names;
  for (const auto& t : db.TableDefs())
    if (!t.isSystem() && !t.isLinked()) names.push_back(t.Name());
  return names;
}

}  // namespace output
