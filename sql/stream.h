// A forward-only read of a statement's rows: each row is handed on as it
// comes and none is kept, so reading a result of any size takes the same
// memory (exports read results this way; a Recordset keeps what it read).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "jet/database.h"
#include "sql/planner.h"

namespace sql {

// Runs statement (a SELECT, a saved query's text) and calls row for every
// result row in the result's order, until row returns false. Returns false
// when row stopped it. Errors as openRecordset (jet::Error).
bool forEachRow(jet::Database& db, const std::string& statement,
                const std::function<bool(const std::vector<jet::Value>& row)>& row, const Params& params = {});

}  // namespace sql
