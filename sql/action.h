// Running the statements that change a database: UPDATE, DELETE, INSERT
// INTO, SELECT ... INTO and the data-definition statements (CREATE TABLE,
// CREATE INDEX, DROP TABLE, DROP INDEX, ALTER TABLE).
//
// Every statement is one change of the database: the rows it touches are
// found and every new value computed first (so SET sees the old values and
// an INSERT ... SELECT never reads its own new rows), then everything is
// written inside one change. Any failing row (3022 duplicate key, 3314
// Required field left Null, 3421 wrong type, 3163 text too long, 3047
// record too large, ...) rolls the whole statement back: the database is as
// it was. Nothing is written for a statement that fails to parse or bind.
// A read-only or locked database refuses them with 3027.
#pragma once

#include <cstdint>
#include <string>

#include "jet/database.h"
#include "sql/ast.h"
#include "sql/planner.h"

namespace sql {

namespace err {
constexpr int kNotUpdatable = 3073;          // operation must use an updatable query
constexpr int kFieldNotUpdatable = 3113;     // cannot update the field
constexpr int kUnknownInsertField = 3127;    // INSERT INTO names an unknown field
constexpr int kDeleteTableUnknown = 3128;    // specify the table to delete from
constexpr int kValueCountMismatch = 3346;    // values and destination fields differ in number
constexpr int kDuplicateDestination = 3066;  // a destination field named twice
constexpr int kFieldExists = 3191;           // field defined more than once
constexpr int kIndexExists = 3375;           // the table already has an index of that name
constexpr int kPrimaryExists = 3283;         // primary key already exists
constexpr int kFieldInIndex = 3280;          // cannot delete a field that is part of an index
constexpr int kActionAsSource = 3065;        // cannot run a SELECT as an action
}

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
