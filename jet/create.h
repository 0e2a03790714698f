// Creating databases and objects from nothing: a new, empty database in the
// Access 2000 format (Jet 4, .mdb) or an Access 2007 and later format (ACE,
// .accdb) with the system tables the product keeps, new tables with columns
// of every type and their indexes, and saved SELECT queries. Everything is
// written by this engine's own code.
//
// The ACE format versions differ in the types they allow: Big Integer needs
// the 2016 version or later, Date/Time Extended the 2019 version (3259
// otherwise). Text in files of the 2010 version and later sorts by the
// newer general sort order.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/value.h"

namespace jet {

struct ColumnSpec {
  std::string name;
  DataType type = DataType::Text;
  int size = 0;            // Text: characters (0 = 255); Binary: bytes (0 = 255)
  bool required = false;
  bool autoNumber = false; // Long: counter; GUID: new GUID for each row
  uint8_t precision = 18;  // Decimal
  uint8_t scale = 0;
  bool compressed = true;  // Text/Memo: Unicode compression
  // Complex (ACE files only, 3259 in others): an attachment field, or with
  // multiValue a multi-value field whose values are of valueType (Byte,
  // Integer, Long, Single, Double, GUID or Text of `size` characters).
  bool multiValue = false;
  DataType valueType = DataType::Text;
};

struct IndexSpec {
  std::string name;
  std::vector<std::pair<std::string, bool>> columns;  // column name, ascending
  bool primary = false;
  bool unique = false;
  bool ignoreNulls = false;
  bool required = false;
};

struct TableSpec {
  std::string name;
  std::vector<ColumnSpec> columns;
  std::vector<IndexSpec> indexes;
};

// Shorthands for the specs above.
ColumnSpec columnSpec(const std::string& name, DataType type, int size = 0, bool required = false);
ColumnSpec autoNumberSpec(const std::string& name);  // a Long counter
ColumnSpec attachmentSpec(const std::string& name);
ColumnSpec multiValueSpec(const std::string& name, DataType valueType, int size = 0);
IndexSpec indexSpec(const std::string& name, std::vector<std::pair<std::string, bool>> columns,
                    bool primary = false, bool unique = false);
// "PrimaryKey" on one ascending column.
IndexSpec primaryKeySpec(const std::string& column);

// A saved SELECT query described by its parts (each part is stored as the
// product stores it, so the SQL text is rebuilt from them when read).
struct QuerySpec {
  std::string name;
  std::vector<std::string> tables;                     // FROM, in order
  struct Join { std::string left, right, on; int kind = 1; };  // 1 inner, 2 left, 3 right
  std::vector<Join> joins;
  std::vector<std::pair<std::string, std::string>> columns;  // expression, alias ("" none)
  bool selectStar = false;
  bool distinct = false;
  std::string where;
  std::vector<std::pair<std::string, bool>> orderBy;  // expression, ascending
};

// The format a new file at path gets from its name: ".accdb" (any case)
// makes the Access 2007 format, every other name the Access 2000 format.
Version newFileVersion(const std::string& path);
// The format of a product version's number ("2000", "2007", "2010", "2016",
// "2019"); 3251 for any other text.
Version versionForYear(const std::string& year);

// Creates a new empty database at path (overwriting nothing: 3204 when the
// file exists) in the format its name chooses, or in version v (Jet4 or one
// of the ACE versions; 3251 for Jet 3). The file is complete and closed on
// return.
void createDatabase(const std::string& path);
void createDatabase(const std::string& path, Version v);
// The same in memory (tests).
std::unique_ptr<Database> createMemoryDatabase(Version v = Version::Jet4);

// Adds a table (3010 when the name is taken, 3251 for unsupported column
// types); one change. Each attachment or multi-value field also gets its
// hidden table of entries, its MSysComplexColumns row and, when the file
// has none yet, the product's template table of its kind (see
// jet/complex_create.h).
void createTable(Database& db, const TableSpec& spec);
void createQuery(Database& db, const QuerySpec& spec);

}  // namespace jet
