// Binding and planning: resolves names against tables, saved queries and
// parameters, applies the product's type rules, and builds the operator tree
// (index lookups, hash joins, grouping, sorting, TOP, UNION, crosstab).
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "jet/database.h"
#include "sql/ast.h"
#include "sql/exec.h"

namespace sql {

// Metadata of one result column.
struct ResultColumn {
  std::string name;
  jet::DataType type = jet::DataType::Text;
  int size = 0;
  bool required = false;
  std::string sourceTable;   // base table the value comes from ("" when computed)
  std::string sourceField;   // its column name ("" when computed)
  int baseColumn = -1;       // position in the base table's columns (updatable results)
};

// Parameter values supplied by the caller, by name (compared without
// regard to case; [brackets] and the separators . and ! do not matter).
using Params = std::map<std::string, jet::Value>;

struct Plan {
  std::shared_ptr<Op> root;
  std::vector<ResultColumn> columns;
  // Drawn from one base table with plain columns: rows carry their RowId.
  bool updatable = false;
  std::string baseTable;
  std::shared_ptr<const jet::TableDef> baseDef;
  // Human-readable outline of the chosen access paths (for tests and
  // diagnostics), e.g. "index PrimaryKey on Asset Items".
  std::vector<std::string> notes;
};

// Plans a parsed statement. Throws jet::Error: 3078 unknown table or
// query, 3061 too few parameters, 3085 unknown function, 3122 grouping
// errors, 3079 ambiguous name, 3251 action queries.
Plan planQuery(jet::Database& db, const Query& q, const Params& params);
// Without a database: statements that name no table (SELECT 1 + 1).
Plan planQuery(jet::Database* db, const Query& q, const Params& params);

// The name of the hidden column that holds a base table's RowId (packed,
// as a Big Integer) when PlanOptions::rowIds asks for it; written as
// Alias.<this name> it can be selected. No table column has this name.
inline constexpr const char* kRowIdColumn = "\x01RowId";

struct PlanOptions {
  // Every base table of the statement's top-level SELECT gets the hidden
  // RowId column (action queries find the rows they change this way).
  bool rowIds = false;
  // Parameters without a value are Null instead of error 3061 (describing
  // a query's columns without running it).
  bool allowMissingParams = false;
};
Plan planQuery(jet::Database* db, const Query& q, const Params& params, const PlanOptions& opts);

}  // namespace sql
