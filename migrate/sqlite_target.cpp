// The SQLite target: one transaction over the whole migration (SQLite's
// schema changes are transactional too), rows through one prepared insert
// per table. Foreign keys are declared with their tables, since SQLite adds
// none later; their checking stays off while rows arrive.
#include <sqlite3.h>

#include <cstdlib>
#include <cstring>
#include <map>

#include "jet/error.h"
#include "jet/value.h"
#include "migrate/errors.h"
#include "migrate/target.h"

namespace migrate {

namespace {

class SqliteTarget : public Target {
 public:
  explicit SqliteTarget(const std::string& path) {
    int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
      std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
      sqlite3_close(db_);
      db_ = nullptr;
      throw jet::Error(err::kBadTarget, "Cannot open the SQLite database '" + path + "': " + msg + ".");
    }
    exec("PRAGMA foreign_keys=OFF");
    exec("PRAGMA cache_size=-131072");
  }
  ~SqliteTarget() override {
    if (insert_) sqlite3_finalize(insert_);
    sqlite3_close(db_);
  }

  Dialect dialect() const override { return Dialect::SQLite; }

  void begin() override { exec("BEGIN IMMEDIATE"); }
  void commit() override { exec("COMMIT"); }
  void rollback() noexcept override {
    if (insert_) { sqlite3_finalize(insert_); insert_ = nullptr; }
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }

  bool exists(const std::string& name) override { return !kindOf(name).empty(); }

  std::string drop(const std::string& name) override {
    std::string kind = kindOf(name);
    if (kind.empty()) return "";
    exec("DROP " + std::string(kind == "view" ? "VIEW " : "TABLE ") + quoteIdent(name));
    return "";
  }

  void createTable(const TablePlan& t, const std::vector<const ForeignKeyPlan*>& fks) override {
    const IndexPlan* pk = t.primaryIndex >= 0 ? &t.indexes[t.primaryIndex] : nullptr;
    // An auto-number that is the whole primary key becomes the row id.
    std::string rowidColumn;
    if (pk && pk->columns.size() == 1 && pk->columns[0].second) {
      for (const auto& c : t.columns)
        if (c.autoNumber && c.name == pk->columns[0].first) rowidColumn = c.name;
    }
    std::string sql = "CREATE TABLE " + quoteIdent(t.name) + " (";
    for (size_t i = 0; i < t.columns.size(); ++i) {
      const ColumnPlan& c = t.columns[i];
      if (i) sql += ", ";
      sql += quoteIdent(c.name) + " ";
      if (c.name == rowidColumn) {
        sql += "INTEGER PRIMARY KEY AUTOINCREMENT";
        continue;
      }
      sql += targetType(*c.column, t.jet3, Dialect::SQLite);
      if (c.notNull) sql += " NOT NULL";
      std::string def = defaultSql(c, Dialect::SQLite);
      if (!def.empty()) sql += " DEFAULT " + def;
    }
    if (pk && rowidColumn.empty()) {
      sql += ", PRIMARY KEY (";
      for (size_t i = 0; i < pk->columns.size(); ++i)
        sql += (i ? ", " : "") + quoteIdent(pk->columns[i].first) + (pk->columns[i].second ? "" : " DESC");
      sql += ")";
    }
    for (const auto* fk : fks) {
      sql += ", CONSTRAINT " + quoteIdent(fk->name) + " FOREIGN KEY (";
      for (size_t i = 0; i < fk->columns.size(); ++i) sql += (i ? ", " : "") + quoteIdent(fk->columns[i]);
      sql += ") REFERENCES " + quoteIdent(fk->refTable) + " (";
      for (size_t i = 0; i < fk->refColumns.size(); ++i) sql += (i ? ", " : "") + quoteIdent(fk->refColumns[i]);
      sql += ")";
      if (fk->updateCascade) sql += " ON UPDATE CASCADE";
      if (fk->deleteCascade) sql += " ON DELETE CASCADE";
    }
    sql += ")";
    exec(sql);
    autoIncrement_[t.name] = !rowidColumn.empty();
  }

  void beginRows(const TablePlan& t) override {
    std::string sql = "INSERT INTO " + quoteIdent(t.name) + " (";
    std::string marks;
    for (size_t i = 0; i < t.columns.size(); ++i) {
      sql += (i ? ", " : "") + quoteIdent(t.columns[i].name);
      marks += i ? ",?" : "?";
    }
    sql += ") VALUES (" + marks + ")";
    if (t.columns.empty()) sql = "INSERT INTO " + quoteIdent(t.name) + " DEFAULT VALUES";
    if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &insert_, nullptr) != SQLITE_OK)
      fail("preparing the insert into " + t.name);
    table_ = &t;
  }

  void row(const std::vector<const jet::Value*>& values) override {
    for (size_t i = 0; i < values.size(); ++i) bind(static_cast<int>(i + 1), *values[i]);
    int rc = sqlite3_step(insert_);
    if (rc != SQLITE_DONE) fail("inserting a row into " + table_->name);
    sqlite3_reset(insert_);
  }

  void endRows() override {
    sqlite3_finalize(insert_);
    insert_ = nullptr;
  }

  void finishTable(const TablePlan& t) override {
    for (const auto& ix : t.indexes) {
      if (ix.primary) continue;
      std::string sql = std::string("CREATE ") + (ix.unique ? "UNIQUE " : "") + "INDEX " +
                        quoteIdent(indexName(t.name, ix.name, Dialect::SQLite)) + " ON " + quoteIdent(t.name) + " (";
      for (size_t i = 0; i < ix.columns.size(); ++i)
        sql += (i ? ", " : "") + quoteIdent(ix.columns[i].first) + (ix.columns[i].second ? "" : " DESC");
      exec(sql + ")");
    }
    if (autoIncrement_[t.name] && t.lastAutoNumber > 0) {
      // The counter continues after the source table's last number.
      std::string next = std::to_string(t.lastAutoNumber);
      std::string name = sqlText(t.name);
      exec("UPDATE sqlite_sequence SET seq = max(seq, " + next + ") WHERE name = " + name);
      if (sqlite3_changes(db_) == 0) exec("INSERT INTO sqlite_sequence (name, seq) VALUES (" + name + ", " + next + ")");
    }
  }

  void addForeignKey(const ForeignKeyPlan&) override {}  // declared with the table

  std::string createView(const std::string& name, const std::string& select) override {
    exec("SAVEPOINT view");
    std::string why;
    char* msg = nullptr;
    std::string sql = "CREATE VIEW " + quoteIdent(name) + " AS " + select;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
      why = msg ? msg : "refused";
    } else {
      // SQLite checks a view's names and functions only when it is used.
      sqlite3_stmt* st = nullptr;
      std::string probe = "SELECT * FROM " + quoteIdent(name);
      if (sqlite3_prepare_v2(db_, probe.c_str(), -1, &st, nullptr) != SQLITE_OK) why = sqlite3_errmsg(db_);
      sqlite3_finalize(st);
    }
    sqlite3_free(msg);
    if (!why.empty()) exec("ROLLBACK TO view");
    exec("RELEASE view");
    return why;
  }

 private:
  static std::string sqlText(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
  }

  std::string kindOf(const std::string& name) {
    sqlite3_stmt* st = nullptr;
    const char* q = "SELECT type FROM sqlite_master WHERE type IN ('table','view') AND name = ?1 COLLATE NOCASE";
    if (sqlite3_prepare_v2(db_, q, -1, &st, nullptr) != SQLITE_OK) fail("reading the schema");
    sqlite3_bind_text(st, 1, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    std::string kind;
    if (sqlite3_step(st) == SQLITE_ROW) kind = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
    sqlite3_finalize(st);
    return kind;
  }

  void bind(int i, const jet::Value& v) {
    using jet::DataType;
    switch (v.type()) {
      case DataType::Null: sqlite3_bind_null(insert_, i); return;
      case DataType::Boolean: sqlite3_bind_int(insert_, i, v.asBool() ? 1 : 0); return;
      case DataType::Byte: case DataType::Integer: case DataType::Long: case DataType::BigInt:
        sqlite3_bind_int64(insert_, i, v.asInt());
        return;
      case DataType::Currency:
        buf_.clear();
        jet::appendScaled(buf_, v.asInt(), 4);
        break;
      case DataType::Decimal: {
        jet::Decimal d = v.asDecimal();
        buf_.clear();
        jet::appendScaled(buf_, d.mantissa, d.scale);
        break;
      }
      case DataType::ExtDateTime:
        buf_.clear();
        if (!isoExtDateTime(v.bytes(), buf_))
          throw jet::Error(err::kValueRefused, "A Date/Time Extended value in table " + table_->name + " is not valid.");
        break;
      case DataType::Single: case DataType::Double: sqlite3_bind_double(insert_, i, v.asDouble()); return;
      case DataType::DateTime:
        buf_.clear();
        if (!isoDateTime(v.asDouble(), buf_))
          throw jet::Error(err::kValueRefused, "A date in table " + table_->name + " is outside years 1 to 9999.");
        break;
      case DataType::GUID: buf_ = jet::formatGuid(v.bytes()); break;
      case DataType::Binary: case DataType::OLE:
        sqlite3_bind_blob64(insert_, i, v.bytes().data(), v.bytes().size(), SQLITE_TRANSIENT);
        return;
      default:
        sqlite3_bind_text64(insert_, i, v.bytes().data(), v.bytes().size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        return;
    }
    sqlite3_bind_text64(insert_, i, buf_.data(), buf_.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
  }

 private:
  void exec(const std::string& sql) {
    char* msg = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
      std::string m = msg ? msg : sqlite3_errmsg(db_);
      sqlite3_free(msg);
      throw jet::Error(err::kTargetFailed, "SQLite refused: " + m + " (in: " + sql.substr(0, 200) + ")");
    }
  }

  [[noreturn]] void fail(const std::string& what) {
    throw jet::Error(err::kTargetFailed, "SQLite refused " + what + ": " + sqlite3_errmsg(db_) + ".");
  }

  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
  const TablePlan* table_ = nullptr;
  std::string buf_;
  std::map<std::string, bool> autoIncrement_;
};

}  // namespace

std::unique_ptr<Target> openSqlite(const std::string& path) { return std::make_unique<SqliteTarget>(path); }

}  // namespace migrate
