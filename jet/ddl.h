// Changing the structure of existing tables: dropping a table, and
// rebuilding a table under a new definition (fields added or dropped,
// indexes added or dropped) with its rows carried over. Each operation is
// one change of the database (it nests inside a caller's change).
//
// A rebuilt table is created afresh from a TableSpec: its rows, field types,
// sizes, Required flags, auto-numbers and indexes carry over; other field
// properties (captions, formats, descriptions) do not. Tables that take
// part in a relationship are neither dropped nor rebuilt (3303).
#pragma once

#include <string>
#include <vector>

#include "jet/create.h"
#include "jet/database.h"

namespace jet {

namespace err {
constexpr int kInRelationship = 3303;  // the table takes part in a relationship
}

// Removes the table: its catalogue entry and its permissions. Throws 3078
// for an unknown table, 3303 when a relationship uses it, 3027 read-only.
// The table's pages are no longer reachable (they are reclaimed when the
// file is compacted).
void dropTable(Database& db, const std::string& name);

// The definition of an existing table as a spec that createTable accepts.
TableSpec tableSpecOf(Database& db, const TableDef& def);

// Replaces table `name` with a new table of the same name made from spec;
// row values move over column by column: sourceColumn[i] is the old column
// that fills the new column i (-1: left Null). Rows that break the new
// definition (a new unique index, Required) fail the whole change with the
// writer's error (3022, 3314, 3058, ...).
void rebuildTable(Database& db, const std::string& name, const TableSpec& spec, const std::vector<int>& sourceColumn);

}  // namespace jet
