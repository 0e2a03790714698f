#include "catalogue/query_fields.h"

#include "jet/error.h"
#include "sql/engine.h"
#include "sql/parser.h"
#include "sql/planner.h"

namespace dao {

Field fieldOf(const sql::ResultColumn& c) {
  Field f;
  f.Name = c.name;
  f.Type = static_cast<int16_t>(c.type);
  f.Size = c.size;
  f.Required = c.required;
  f.SourceTable = c.sourceTable;
  f.SourceField = c.sourceField;
  return f;
}

std::vector<Field> describeQuery(jet::Database& db, const std::string& sqlText) {
  sql::QueryP q = sql::parseStatement(sqlText);
  std::vector<Field> out;
  // Action queries have no output columns.
  if (q->kind != sql::StatementKind::Select && q->kind != sql::StatementKind::Union &&
      q->kind != sql::StatementKind::Crosstab)
    return out;
  // Worked out from the definition: a parameter query describes without its
  // values, and nothing is read except a crosstab's pivot values.
  for (const auto& c : sql::describeColumns(db, sqlText)) out.push_back(fieldOf(c));
  return out;
}

}  // namespace dao
