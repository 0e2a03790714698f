// Every row of a statement read once, forward only, none kept: the window's
// CSV export of a query reads this way, so its memory does not grow with the
// number of rows (a Recordset keeps the values of a read-only result).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "catalogue/dao.h"

namespace dao {

// Calls row for every row of statement in the result's order until row
// returns false (the result is false then). Errors as the Recordset
// constructor's (jet::Error).
bool forEachRow(Database& db, const std::string& statement,
                const std::function<bool(const std::vector<jet::Value>& row)>& row);

}  // namespace dao
