// An open database file: header, password check, page codec, the catalogue
// (MSysObjects) and table definitions. The entry point of jet/.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/fault_file.h"
#include "jet/format.h"
#include "jet/journal.h"
#include "jet/pager.h"
#include "jet/table.h"
#include "jet/tabledef.h"

namespace jet {

struct Header {
  Version version = Version::Jet4;
  uint32_t versionCode = 0;
  uint16_t codePage = 0;
  uint32_t sortOrder = 0;         // collation id (0x409 General, ...)
  uint16_t sortVersion = 0;
  double creationDate = 0;        // day serial
  uint8_t dbKey[4] = {0, 0, 0, 0};
  bool encrypted = false;         // RC4 page encoding in use
  bool newEncryption = false;     // .accdb with the newer (not supported) scheme
  std::string password;           // stored database password ("" when none)
};

enum class ObjectKind { Table, SystemTable, LinkedTable, LinkedOdbc, Query, Other };

struct CatalogEntry {
  int32_t id = 0;
  int32_t parentId = 0;
  std::string name;
  int16_t type = 0;          // MSysObjects.Type
  int32_t flags = 0;         // MSysObjects.Flags
  ObjectKind kind = ObjectKind::Other;
  uint32_t tdefPage = 0;     // for local tables
  std::string lvProp;        // raw property blob
  std::string database;      // linked: the other database's path
  std::string foreignName;   // linked: the table's name there
  std::string connect;       // linked ODBC: connect string
  RowId rowId;               // the catalogue row
  bool isTable() const { return kind == ObjectKind::Table || kind == ObjectKind::SystemTable; }
};

struct SavedQuery {
  std::string name;
  int32_t id = 0;
  int32_t flags = 0;
  std::string typeName;   // "SELECT", "UNION", ...
  std::string sql;        // as the product shows it, ending in ";"
};

struct OpenOptions {
  std::string password;   // database password; empty for none
  bool readOnly = false;
  bool checkPassword = true;
  // Wraps every file the database opens (tests: fault injection).
  FileWrapper wrapFile;
  // Journal for databases opened from a FileIO (default: in memory).
  std::shared_ptr<JournalStore> journal;
  // Pages the cache may hold; 0 chooses by use (more for writers). A reader
  // that streams through a table once wants few: its memory is then reused.
  size_t cachePages = 0;
};

class WriterLock;
class ExpressionEvaluator;

class Database {
 public:
  // Opens path. Errors: 3024 missing, 3343 not a database / unrecognized,
  // 3049 damaged, 3031 missing or wrong password, 3251 unsupported encryption.
  static std::unique_ptr<Database> open(const std::string& path, const OpenOptions& opts = {});
  // Opens an already-open file (tests, fuzzing).
  static std::unique_ptr<Database> open(std::unique_ptr<FileIO> file, const OpenOptions& opts = {});

  ~Database();

  const Header& header() const { return header_; }
  const Format& format() const { return *fmt_; }
  Pager& pager() { return *pager_; }
  bool readOnly() const;
  // Why the database is read-only ("" when it is not, or was asked to be).
  const std::string& readOnlyReason() const { return readOnlyReason_; }
  const std::string& path() const { return path_; }
  // True when opening found a journal and rolled an unfinished change back.
  bool recoveredOnOpen() const { return recovered_; }

  // Changes: every write happens inside one. Changes nest; the outermost
  // commit makes everything permanent at once, a rollback (at any level)
  // forgets it all. After a rollback at an inner level the enclosing levels
  // can only end: beginChange and commitChange throw 3034 until the
  // outermost level has been left. Throws 3027 on a read-only database.
  void beginChange();
  void commitChange();
  void rollbackChange();
  bool inChange() const { return changeDepth_ > 0; }
  // How many changes have been rolled back; whoever keeps facts read from
  // pages between calls (the table writer) drops them when this moves.
  uint64_t rollbackCount() const { return rollbacks_; }
  // Throws 3027 with the reason when the database cannot be changed.
  void requireWritable() const;

  // Every catalogue object, in MSysObjects physical order.
  const std::vector<CatalogEntry>& objects() const { return objects_; }
  // Tables (user, system and linked) sorted by name without regard to case.
  std::vector<const CatalogEntry*> tables(bool includeSystem = true) const;
  std::vector<const CatalogEntry*> queryEntries() const;  // catalogue order
  // Finds a table or query by name without regard to case.
  const CatalogEntry* find(const std::string& name) const;

  // Table definition of a local table (cached). Throws 3078 for unknown names.
  std::shared_ptr<const TableDef> table(const std::string& name);
  std::shared_ptr<const TableDef> table(const CatalogEntry& e);
  std::shared_ptr<const TableDef> tableAtPage(uint32_t tdefPage, const std::string& name);

  std::unique_ptr<TableScan> scan(const std::string& tableName);

  // Saved queries with their SQL text (catalogue order).
  std::vector<SavedQuery> queries();
  // "V2000 [VERSION_4]"-style name of the file format.
  std::string formatName();
  // A database property from MSysDb's properties (e.g. "AccessVersion").
  std::optional<std::string> databaseProperty(const std::string& name);

  // Reads a long value (Memo/OLE) from its 12-byte field in a row.
  std::string readLongValue(ByteView field);
  // Decodes stored text (Jet 4 UCS-2 possibly compressed, Jet 3 code page) to UTF-8.
  std::string decodeText(ByteView bytes) const;

  // Computes calculated columns for the table writer (jet/calculated.h);
  // none by default, and then rows of tables with such columns cannot be
  // stored.
  void setExpressionEvaluator(std::shared_ptr<ExpressionEvaluator> e) { evaluator_ = std::move(e); }
  ExpressionEvaluator* expressionEvaluator() const { return evaluator_.get(); }

  void invalidateTable(uint32_t tdefPage);
  // Brings a cached table definition's row count and next auto-number in
  // line with its page after a writer changed only those two fields, so the
  // definition need not be read again. No-op when the table is not cached.
  void setCachedTableCounts(uint32_t tdefPage, uint32_t rowCount, uint32_t nextAutoNumber);
  void reloadCatalog();

 private:
  Database() = default;
  void init(std::unique_ptr<FileIO> file, const OpenOptions& opts);
  void readHeader(const std::vector<uint8_t>& page0, const OpenOptions& opts);
  void loadCatalog();

  std::string path_;
  std::string readOnlyReason_;
  bool recovered_ = false;
  int changeDepth_ = 0;
  uint64_t rollbacks_ = 0;
  bool failed_ = false;  // rolled back while enclosing levels are still open
  std::unique_ptr<WriterLock> lock_;
  Header header_;
  const Format* fmt_ = nullptr;
  std::unique_ptr<Pager> pager_;
  std::vector<CatalogEntry> objects_;
  int32_t tablesParentId_ = 0;
  std::map<uint32_t, std::shared_ptr<const TableDef>> tdefs_;
  std::shared_ptr<ExpressionEvaluator> evaluator_;
};

// Property blobs (MSysObjects.LvProp): object-level properties and
// per-column properties.
struct PropertyValue {
  uint8_t type = 0;
  std::string raw;
};
struct PropertyMaps {
  std::map<std::string, PropertyValue> object;                          // "" chunk
  std::map<std::string, std::map<std::string, PropertyValue>> columns;  // by column name
};
PropertyMaps parseProperties(const std::string& blob, const Database& db);

}  // namespace jet
