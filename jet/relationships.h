// The database's relationships, as the system table MSysRelationships keeps
// them: one row per pair of joined columns, named by the relationship, with
// the many side (the table holding the foreign key, szObject / szColumn)
// and the one side (the referenced table and key, szReferencedObject /
// szReferencedColumn), the position of the pair (icolumn) and the
// relationship's attribute bits (grbit).
//
// This is the one reader of that table: the write path enforces what it
// finds (jet/integrity.h), migration carries it as foreign keys, and data
// definition refuses to drop a table that takes part.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/database.h"

namespace jet {

// Relationship attribute bits (MSysRelationships.grbit).
namespace relflag {
constexpr int32_t kOneToOne = 0x1;
constexpr int32_t kNotEnforced = 0x2;        // referential integrity is not enforced
constexpr int32_t kCascadeUpdate = 0x100;    // a changed key is carried to the related records
constexpr int32_t kCascadeDelete = 0x1000;   // deleting a key deletes the related records
constexpr int32_t kCascadeNull = 0x2000;     // deleting a key sets the related foreign keys to Null
constexpr int32_t kLeftJoin = 0x1000000;
constexpr int32_t kRightJoin = 0x2000000;
}  // namespace relflag

struct Relationship {
  std::string name;
  std::string table;                    // the many side: holds the foreign key
  std::vector<std::string> columns;     // the foreign key, in column-pair order
  std::string refTable;                 // the one side: its key is referred to
  std::vector<std::string> refColumns;  // refColumns[i] is what columns[i] refers to
  int32_t flags = 0;

  bool enforced() const { return !(flags & relflag::kNotEnforced); }
  bool cascadeUpdates() const { return flags & relflag::kCascadeUpdate; }
  bool cascadeDeletes() const { return flags & relflag::kCascadeDelete; }
  bool cascadeNulls() const { return flags & relflag::kCascadeNull; }
};

// Every relationship of the database in the order of their first row; empty
// when the database has no relationship table. Rows whose names are missing
// are skipped; column pairs are put in icolumn order.
std::vector<Relationship> readRelationships(Database& db);

// True when a relationship names the table (either side), without regard to case.
bool takesPartInRelationship(Database& db, const std::string& table);

// Adds a relationship: its rows in MSysRelationships, one change. Table and
// column names are checked (3078 unknown table, 3265 unknown column), the
// name must be new (3012), both sides need the same number of columns and
// the referenced columns a unique index (3377). An enforced relationship is
// refused when rows already break it (3201). The product also keeps an
// index on the foreign key; that is the caller's to create (the write path
// seeks through one when there is one and scans otherwise).
void addRelationship(Database& db, const Relationship& rel);

// Removes the relationship of that name (without regard to case): its rows
// in MSysRelationships, one change. 3265 when there is none.
void removeRelationship(Database& db, const std::string& name);

}  // namespace jet
