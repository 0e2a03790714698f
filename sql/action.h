// Running the statements that change a database: UPDATE, DELETE, INSERT
// INTO, SELECT ... INTO and the data-definition statements (CREATE TABLE,
// CREATE INDEX, DROP TABLE, DROP INDEX, ALTER TABLE).
//
// Every statement is one change of the database: the rows it touches are
// found and every new value computed first (so SET sees the old values and
// an INSERT ... SELECT never reads its own new rows), then everything is
// written inside one change. Any failing row (3022 duplicate key, 3314
// Required field left Null, 3421 wrong type, 3163 text too long, 3047
// record too large, 3200 / 3201 a relationship's referential integrity,
// ...) rolls the whole statement back: the database is as it was. Rows are
// written through jet/integrity.h, so cascading updates and deletes are part
// of the same change. Nothing is written for a statement that fails to parse or bind.
// A read-only or locked database refuses them with 3027.
#pragma once

#include <cstdint>
#include <string>

#include "jet/database.h"
#include "sql/ast.h"
#include "sql/errors.h"
#include "sql/planner.h"

namespace sql {


// True for UPDATE, DELETE, INSERT, SELECT ... INTO and data definition.
bool isAction(const Query& q);

// Runs a parsed action statement; returns the rows it affected (0 for data
// definition).
int64_t runAction(jet::Database& db, const Query& q, const Params& params = {});
// Parses and runs one.
int64_t runAction(jet::Database& db, const std::string& statement, const Params& params = {});
// Runs the saved action query of that name (3078 when there is none, 3065
// when it is a SELECT, UNION or crosstab query).
int64_t runSavedAction(jet::Database& db, const std::string& name, const Params& params = {});

// Data definition (ddl_exec.cpp).
void runDataDefinition(jet::Database& db, const Query& q);

}  // namespace sql
