// A stored table written as CSV (glimmer-cli export): the column names, then
// every row in physical order, through the program's CSV writer. Values take
// their export form (jet::exportText): numbers and dates as in the row dump,
// text as stored, Null empty, binary as hex.
#pragma once

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>

#include "jet/database.h"
#include "jet/value.h"

namespace output {

// Appends v in CSV form when its text is the same in every cell form (Null,
// text, whole numbers), without building a string; false for other types.
bool appendPlainCsvValue(std::string& buf, const jet::Value& v);

// Writes table (a user or system table of db) to out. Large tables are
// converted on two threads; the output is the same as a serial scan. Errors
// as jet::Error (3078 / 3265 for a missing table, 3043 when out fails).
void writeTableCsv(jet::Database& db, const std::string& table, std::ostream& out);

// The same with a cell form of the caller's and a progress report.
struct TableCsvOptions {
  // Appends one value in its CSV form (quoted where needed); nullptr gives
  // the export form above. Called from the conversion threads: it must not
  // touch shared state.
  void (*cell)(std::string& buf, const jet::Value& v) = nullptr;
  // Called on the calling thread now and then with the data pages done and
  // their total; returning false stops the export.
  std::function<bool(size_t done, size_t total)> progress;
};
// False when progress stopped it (what was written so far stays in out).
bool writeTableCsv(jet::Database& db, const std::string& table, std::ostream& out,
                   const TableCsvOptions& options);

}  // namespace output
