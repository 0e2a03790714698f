// What the structure printout shows for a table of an open database, read
// from the catalogue as the main window's column and index lists show it
// (captions "Name", "Type", "Size", "Required"; type names, "True" /
// "False"). glimmer-cli report prints from here; the window from its lists.
#pragma once

#include <string>
#include <vector>

#include "output/structure_report.h"

namespace dao {
class Database;
}

namespace output {

// Errors are jet::Error (3265 no such table, or a linked table).
StructureSource tableStructure(const dao::Database& db, const std::string& table);
// The user tables (neither system nor linked), in the catalogue's order.
std::vector<std::string> userTables(const dao::Database& db);

}  // namespace output
