// Writing rows with the database's relationships kept: the writer every
// user edit goes through (SQL action statements, the window's editing,
// imports). It changes rows through the table writer and enforces each
// relationship with referential integrity (jet/relationships.h) the way the
// product does:
//
//  * a new or changed record whose foreign key matches no record of the
//    referenced table is refused (3201); a foreign key with a Null in any of
//    its fields is not checked, and one that did not change is not checked
//    again;
//  * deleting a record, or changing its key, while related records use the
//    key is refused (3200), unless the relationship cascades: cascade delete
//    deletes the related records, cascade-to-Null sets their foreign key to
//    Null, cascade update gives them the new key. Cascades go on through the
//    related records' own relationships; a cycle ends because a deleted
//    record is gone before its related records are looked for, and an
//    updated one no longer holds the old key.
//
// Keys match as the index of the referenced key compares them (text without
// regard to case). Related records are found by seeking an index whose
// leading fields are the foreign key (or, for the referenced side, the key),
// else by a scan of the table.
//
// Every call is one change of the database (nested in the caller's): when
// any part is refused, the whole change rolls back and the file is as it was.
// Relationships whose tables or fields are missing, or that join a linked
// table, are not enforced.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "jet/database.h"
#include "jet/relationships.h"
#include "jet/table.h"
#include "jet/value.h"

namespace jet {

class Enforcer;

class IntegrityWriter {
 public:
  IntegrityWriter(Database& db, const std::string& tableName);
  IntegrityWriter(Database& db, uint32_t tdefPage, const std::string& tableName);
  ~IntegrityWriter();
  IntegrityWriter(const IntegrityWriter&) = delete;
  IntegrityWriter& operator=(const IntegrityWriter&) = delete;

  // The same contract as TableWriter's calls of those names, plus the
  // relationships (3200, 3201).
  std::shared_ptr<const TableDef> def();
  RowId insert(const std::vector<Value>& values);
  void update(RowId id, const std::vector<Value>& values);
  void remove(RowId id);
  std::vector<Value> read(RowId id);
  std::vector<Value> valuesByName(const std::vector<std::pair<std::string, Value>>& named);
  // False when the row is gone (a cascade may have deleted it).
  bool contains(RowId id);

 private:
  std::unique_ptr<Enforcer> e_;
  uint32_t page_;
};

// Throws 3201 when a record of the relationship's many side has a foreign
// key (without Nulls) that matches no record of the referenced table.
void requireRelationshipHolds(Database& db, const Relationship& rel);

}  // namespace jet
