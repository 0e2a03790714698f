// What a migration carries, read from the source database before anything is
// written: user tables with their columns, indexes and auto-numbers, the
// relationships (MSysRelationships) as foreign keys, the saved queries, and
// every object that stays behind with the reason.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jet/complex.h"
#include "jet/database.h"

namespace migrate {

// A default value that is a plain literal.
struct DefaultValue {
  enum Kind { None, Number, Text, Boolean } kind = None;
  std::string text;  // Number: as written; Text: the string; Boolean: "1" / "0"
};

struct ColumnPlan {
  std::string name;
  size_t source = 0;       // position in the table definition's columns
  const jet::Column* column = nullptr;
  bool notNull = false;
  bool autoNumber = false; // a Long counter
  bool rowNumber = false;  // made by the migration: the row's position in the table, from 1
  DefaultValue defaultValue;
};

struct IndexPlan {
  std::string name;
  std::vector<std::pair<std::string, bool>> columns;  // column, ascending
  bool primary = false;
  bool unique = false;
};

// Where a child table's rows come from: the entries of one attachment or
// multi-value column of its parent, each entry a row with the parent's key.
struct ChildSource {
  std::string parent;             // the parent table's name
  size_t column = 0;              // the complex column in the parent's definition
  jet::ComplexKind kind = jet::ComplexKind::MultiValue;
  // The parent's key columns, positions in the parent's definition; empty
  // when the key is the parent's generated row number.
  std::vector<size_t> keySources;
};

struct TablePlan {
  std::string name;
  bool jet3 = false;  // from a Jet 3 file (Text sizes in bytes of its code page)
  std::shared_ptr<const jet::TableDef> def;
  std::vector<ColumnPlan> columns;
  std::vector<IndexPlan> indexes;
  uint32_t rowCount = 0;
  uint32_t lastAutoNumber = 0;  // the counter's last number handed out
  // The primary key: the index in indexes, -1 when none.
  int primaryIndex = -1;
  // A child table of an attachment or multi-value column (its rows are made
  // from the parent's entries; columns' source counts in the child's own row).
  std::shared_ptr<const ChildSource> child;
  // Columns that the migration defines (a child's columns, a generated row
  // number): ColumnPlan::column points into these.
  std::vector<std::shared_ptr<const jet::Column>> ownColumns;
};

struct ForeignKeyPlan {
  std::string name;
  std::string table, refTable;               // child (many side) and parent
  std::vector<std::string> columns, refColumns;
  bool updateCascade = false, deleteCascade = false;
};

struct QueryPlan {
  std::string name;
  std::string sql;  // the saved query's text
};

struct Skipped {
  std::string object;
  std::string reason;
};

struct Plan {
  bool jet3 = false;
  std::vector<TablePlan> tables;
  std::vector<ForeignKeyPlan> foreignKeys;
  std::vector<QueryPlan> queries;  // SELECT and UNION queries, catalogue order
  std::vector<Skipped> skipped;
};

// Reads the plan. tables: the tables to carry (all user tables when empty;
// 3078 for a name the database does not hold).
Plan buildPlan(jet::Database& db, const std::vector<std::string>& tables);

// Parses a stored default value when it is a plain literal.
DefaultValue parseDefault(const std::string& text);

}  // namespace migrate
