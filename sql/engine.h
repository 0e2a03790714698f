// Entry points of the query language: open a statement as a recordset, or
// run it and write the result as text (glimmer-cli sql).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "jet/database.h"
#include "sql/ast.h"
#include "sql/planner.h"
#include "sql/recordset.h"

namespace sql {

// Parses, plans and opens a statement. Errors as jet::Error (see planner.h).
// keepBytes: as the Recordset constructor's.
std::unique_ptr<Recordset> openRecordset(jet::Database& db, const std::string& statement, const Params& params = {},
                                         size_t keepBytes = Recordset::kDefaultKeepBytes);

// True when the planned statement reads every row of one table in physical
// order and shows plain columns of it (SELECT * or a column list, without
// WHERE, ORDER BY, grouping, DISTINCT or TOP): its recordset can find rows by
// walking the table's pages.
bool readsWholeTable(const Query& q, const Plan& p);

// The columns a statement gives (name, type, size, Required, source table
// and field), worked out from its definition: nothing is read from its
// tables and parameters need no values (a parameter query describes like
// any other). A crosstab's pivot columns come from the data and are read.
// Action statements give no columns, except SELECT ... INTO: the columns of
// the table it makes. Errors as jet::Error (3078 unknown table, 3075 syntax,
// ...), never 3061.
std::vector<ResultColumn> describeColumns(jet::Database& db, const std::string& statement);

// The statement the grid shows for a table or saved query.
std::string selectAllFrom(const std::string& objectName);

// One line of column names joined by TAB, then one line per row in the
// dump format (jet/dump.h).
std::string runToText(jet::Database& db, const std::string& statement, const Params& params = {});

// Evaluates one expression that names no table (names are parameters).
jet::Value evaluate(const std::string& expression, const Params& params = {});

// A parameter value given as text (glimmer-cli --param NAME=VALUE).
jet::Value paramFromText(const std::string& text);

}  // namespace sql
