// The data engine interface the windows use: the engine object, an open
// database with its table and query definitions, fields and indexes. A thin
// layer over jet/ (storage) and sql/ (queries), free of any window toolkit.
//
// Names follow the object model users of the product know (TableDefs,
// QueryDefs, Fields, Indexes, RecordCount, SourceTable, ...); collections are
// plain vectors iterated by position.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/types.h"
#include "jet/value_text.h"

namespace jet {
class Database;
struct TableDef;
class Value;
}  // namespace jet

namespace dao {

// A column of a table, a query or a recordset.
struct Field {
  std::string Name;
  int16_t Type = 0;         // the engine's numeric type code (1 Boolean ... 15 GUID, ...)
  int32_t Size = 0;         // characters for Text, bytes for fixed types, 0 for Memo/OLE
  bool Required = false;
  std::string SourceTable;  // the base table a query column comes from ("" when computed)
  std::string SourceField;
};

struct Index {
  std::string Name;
  std::string Fields;       // "+A;-B": direction and name of each indexed column
  bool Primary = false;
  bool Unique = false;
  bool Required = false;
};

class Database;

class TableDef {
 public:
  const std::string& Name() const { return name_; }
  // Rows stored in the table; -1 for a linked table whose count is not known
  // here, and for a table whose definition is damaged (Fields() and
  // recordsets on it then give the error, 3049).
  int64_t RecordCount() const { return recordCount_; }
  bool isSystem() const { return system_; }
  bool isLinked() const { return linked_; }
  // Columns and indexes, read on first use. A linked table has neither here
  // (error 3265 when asked).
  const std::vector<Field>& Fields() const;
  const std::vector<Index>& Indexes() const;

 private:
  friend class Database;
  void load() const;
  Database* db_ = nullptr;
  std::string name_;
  int64_t recordCount_ = 0;
  bool system_ = false;
  bool linked_ = false;
  mutable bool loaded_ = false;
  mutable std::vector<Field> fields_;
  mutable std::vector<Index> indexes_;
};

class QueryDef {
 public:
  const std::string& Name() const { return name_; }
  const std::string& SQL() const { return sql_; }
  // The query's output columns with their source table and field; the query
  // is compiled (not run) on first use.
  const std::vector<Field>& Fields() const;

 private:
  friend class Database;
  Database* db_ = nullptr;
  std::string name_;
  std::string sql_;
  mutable bool loaded_ = false;
  mutable std::vector<Field> fields_;
};

// An open database file. Closing (or destroying) releases the file.
class Database {
 public:
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const std::string& Name() const { return path_; }
  // Every table, system and linked tables included, in name order without
  // regard to case.
  const std::vector<TableDef>& TableDefs() const { return tables_; }
  // Every saved query in the catalogue's order, hidden ones included.
  const std::vector<QueryDef>& QueryDefs() const { return queries_; }
  // By name without regard to case; error 3265 "Item not found in this collection."
  const TableDef& TableDefByName(const std::string& name) const;
  const QueryDef& QueryDefByName(const std::string& name) const;

  void Close();
  bool isOpen() const { return jet_ != nullptr; }
  jet::Database& engine();  // error 3420 when closed
  // The file format in words, e.g. "Jet 4 (Access 2000-2003)"; 3420 when
  // closed.
  std::string formatDescription();

 private:
  friend class DBEngine;
  friend class TableDef;
  friend class QueryDef;
  Database() = default;
  void load();

  std::string path_;
  std::unique_ptr<jet::Database> jet_;
  std::vector<TableDef> tables_;
  std::vector<QueryDef> queries_;
};

// The password carried by a connect string ("MS Access;pwd=secret" gives
// "secret"; "Access 2000;" gives ""). The password is everything after the
// first "pwd=", so it may itself contain ';'.
std::string passwordFromConnect(const std::string& connect);

class DBEngine {
 public:
  // Opens path. connect is a connect string as the data control carries it;
  // empty opens with no password. A file whose mode grants no one the right
  // to write opens read-only, whoever the user. Errors are jet::Error (3024 not found,
  // 3343 not a database, 3049 damaged, 3031 not a valid password, ...).
  static std::unique_ptr<Database> OpenDatabase(const std::string& path,
                                                const std::string& connect = "");
};

// Type names of the structure lists: 1 "dbBoolean" ... 15 "dbGUID"; "" for a
// code without a name.
std::string typeName(int16_t code);

// The text a grid cell or a bound text box shows for a value: the engine's
// own conversion to text ("" for Null; binary data as a short note).
using jet::displayText;

}  // namespace dao
