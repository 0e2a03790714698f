// Text forms used by glimmer-cli and the tests: the schema, dump and sql
// listings. How each value is written is decided in jet/value_text.h.
#pragma once

#include <ostream>
#include <string>

#include "jet/database.h"
#include "jet/value.h"

namespace jet {

void writeSchema(Database& db, std::ostream& out);
// Rows of one user table (or all user tables when table is empty).
void writeDump(Database& db, const std::string& table, std::ostream& out);
// The same, with attachment and multi-value cells written as their shown
// text (file names or values joined by "; ") instead of complex:ID.
void writeDump(Database& db, const std::string& table, std::ostream& out, bool complexText);
void writeQueries(Database& db, std::ostream& out);

}  // namespace jet
