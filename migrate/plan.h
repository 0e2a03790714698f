// What a migration carries, read from the source database before anything is
// written: user tables with their columns, indexes and auto-numbers, the
// relationships (MSysRelationships) as foreign keys, the saved queries, and
// every object that stays behind with the reason.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
  DefaultValue defaultValue;
};

struct IndexPlan {
  std::string name;
  std::vector<std::pair<std::string, bool>> columns;  // column, ascending
  bool primary = false;
  bool unique = false;
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
