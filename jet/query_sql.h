// Saved queries: rebuilding a query's SQL text from its rows in the system
// table MSysQueries.
//
// The product does not store the SQL of a saved query (except for
// pass-through and data-definition queries). It stores the query's parts as
// rows of MSysQueries, one part per row, told apart by the Attribute column:
// the query type, parameters, select flags, tables, output columns, joins,
// WHERE, GROUP BY, HAVING and ORDER BY. The functions here put those parts
// back together into the text the product shows.
//
// Nothing here throws: odd or damaged rows (missing parts, empty names,
// unknown flags) give the best text that can be made from what is there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace jet {

// One row of MSysQueries, values already decoded (text in UTF-8).
struct QueryRow {
  int attribute = 0;                       // Attribute (Byte)
  std::optional<std::string> expression;   // Expression (Memo)
  std::optional<int> flag;                 // Flag (Integer)
  std::optional<std::string> name1, name2; // Name1, Name2 (Text)
  std::optional<int32_t> objectId;         // ObjectId (Long)
  std::string order;                       // Order (Binary, raw bytes; may be empty)
};

enum class QueryType {
  Select,
  Union,
  CrossTab,
  Update,
  Append,
  Delete,
  MakeTable,
  PassThrough,
  DataDefinition,
  Unknown
};

// The query type held in the Flags column of the query's MSysObjects row.
QueryType queryTypeFromFlags(int32_t msysObjectsFlags);

// "SELECT", "UNION", "CROSS_TAB", "UPDATE", "APPEND", "DELETE", "MAKE_TABLE",
// "PASSTHROUGH", "DATA_DEFINITION"; "UNKNOWN" for Unknown.
const char* queryTypeName(QueryType);

// The type to treat the query as. Usually queryTypeFromFlags(flags); but when
// the catalogue says "select" (or nothing usable) and the query's own type row
// in MSysQueries names another known type, the row wins: the product leaves
// the catalogue flags at 0 for some action queries.
QueryType resolveQueryType(int32_t msysObjectsFlags,
                           const std::vector<QueryRow>& rows);

// Rebuilds the SQL text of one saved query.
// rows: all MSysQueries rows whose ObjectId is this query's id, in the table's
// physical row order (the order matters: columns, tables, joins and sort keys
// come out in row order).
//
// For every type but PassThrough and DataDefinition the text is returned
// WITHOUT the closing ';' (lines separated by "\n"), so the shown statement is
// rebuildQuerySql(...) + ";".
// PassThrough and DataDefinition queries store their statement verbatim; it
// is returned exactly as stored, including whatever terminator the user typed
// (and any NUL the stored text carries). Nothing is to be appended to it: use
// querySqlStatement() to get the shown statement for any type.
std::string rebuildQuerySql(QueryType type, const std::vector<QueryRow>& rows);

// The complete statement as the product shows it: rebuildQuerySql() followed
// by ';' for the rebuilt types, the stored text unchanged for PassThrough and
// DataDefinition.
std::string querySqlStatement(QueryType type, const std::vector<QueryRow>& rows);

}  // namespace jet
