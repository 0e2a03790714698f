// Text forms used by glimmer-cli and the tests: the schema, dump and sql
// listings, and CSV. One place decides how a value is written.
#pragma once

#include <ostream>
#include <string>

#include "jet/database.h"
#include "jet/value.h"

namespace jet {

// A cell in the dump format: NULL, true/false, numbers, dates as
// yyyy-MM-dd HH:mm:ss, text with \\ \t \n \r escaped, binary as bin:LEN:CRC32.
std::string dumpCell(const Value& v);
// A cell for CSV (unquoted form): numbers and dates as in the dump, text raw,
// Null empty, binary as hex.
std::string csvCell(const Value& v);
// RFC 4180 quoting of one field.
std::string csvQuote(const std::string& s);
void appendCsvField(std::string& out, const std::string& s);

uint32_t crc32(const std::string& bytes);

void writeSchema(Database& db, std::ostream& out);
// Rows of one user table (or all user tables when table is empty).
void writeDump(Database& db, const std::string& table, std::ostream& out);
void writeQueries(Database& db, std::ostream& out);
void writeCsv(Database& db, const std::string& table, std::ostream& out);

}  // namespace jet
