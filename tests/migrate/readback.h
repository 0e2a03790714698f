// Values read back from a target, turned into the engine's own values so
// that they can be written in the dump format and compared with the source.
#pragma once

#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/value.h"
#include "migrate/plan.h"

namespace migratetest {

// The text a target gives for a value of a column (nullptr for Null), as a
// value of the source column's type.
jet::Value fromText(const jet::Column& c, const char* text, size_t len, bool postgres);
// Each row of the table in the dump format, sorted (targets keep no order).
std::vector<std::string> sourceRows(jet::Database& db, const std::string& table);
std::string dumpRow(const std::vector<jet::Value>& row);
// The rows a carried table must hold in the target, each in the dump format,
// sorted: the source's rows cut to the carried columns (a generated row
// number counted from 1 in scan order), or, for a child table, its parent's
// entries as the engine's complex reader gives them, with the parent's key.
std::vector<std::string> expectedRows(jet::Database& db, const migrate::TablePlan& t);

}  // namespace migratetest
