// A stored table written as CSV (glimmer-cli export): the column names, then
// every row in physical order, through the program's CSV writer. Values take
// their export form: numbers and dates as in the row dump (jet/dump.h), text
// as stored, Null empty, binary as hex.
#pragma once

#include <ostream>
#include <string>

#include "jet/database.h"
#include "jet/value.h"

namespace output {

// A value's export form, unquoted.
std::string csvCell(const jet::Value& v);

// Writes table (a user or system table of db) to out. Large tables are
// converted on two threads; the output is the same as a serial scan. Errors
// as jet::Error (3078 / 3265 for a missing table, 3043 when out fails).
void writeTableCsv(jet::Database& db, const std::string& table, std::ostream& out);

}  // namespace output
