// Text forms used by glimmer-cli and the tests: the schema, dump and sql
// listings. One place decides how a value is written (CSV: output/).
#pragma once

#include <ostream>
#include <string>

#include "jet/database.h"
#include "jet/value.h"

namespace jet {

// A cell in the dump format: NULL, true/false, numbers, dates as
// yyyy-MM-dd HH:mm:ss, text with \\ \t \n \r escaped, binary as bin:LEN:CRC32.
std::string dumpCell(const Value& v);

uint32_t crc32(const std::string& bytes);

void writeSchema(Database& db, std::ostream& out);
// Rows of one user table (or all user tables when table is empty).
void writeDump(Database& db, const std::string& table, std::ostream& out);
// The same, with attachment and multi-value cells written as their shown
// text (file names or values joined by "; ") instead of complex:ID.
void writeDump(Database& db, const std::string& table, std::ostream& out, bool complexText);
void writeQueries(Database& db, std::ostream& out);

}  // namespace jet
