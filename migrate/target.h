// A database a migration writes into. One implementation per kind of server;
// the migration drives it through one transaction: begin, then schema, rows,
// keys and views, then commit, or rollback on any failure (the target is then
// exactly as it was).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "jet/value.h"
#include "migrate/plan.h"
#include "migrate/types.h"

namespace migrate {

class Target {
 public:
  virtual ~Target() = default;
  virtual Dialect dialect() const = 0;

  virtual void begin() = 0;
  virtual void commit() = 0;
  // Never throws: used while unwinding.
  virtual void rollback() noexcept = 0;

  // True when a table or view of that name exists.
  virtual bool exists(const std::string& name) = 0;
  // Drops a table or view of that name. Returns "" when done (or absent),
  // else why not (another object depends on it) with the transaction still
  // usable: nothing the migration does not replace is dropped.
  virtual std::string drop(const std::string& name) = 0;

  // Creates a table. foreignKeys: those whose child is this table (targets
  // that cannot add them later declare them here).
  virtual void createTable(const TablePlan& t, const std::vector<const ForeignKeyPlan*>& foreignKeys) = 0;

  // Streams rows into a table: values in the plan's column order.
  virtual void beginRows(const TablePlan& t) = 0;
  virtual void row(const std::vector<const jet::Value*>& values) = 0;
  virtual void endRows() = 0;

  // After the rows: indexes, auto-number counters, foreign keys.
  virtual void finishTable(const TablePlan& t) = 0;
  virtual void addForeignKey(const ForeignKeyPlan& fk) = 0;

  // Creates a view; on refusal returns the target's reason and leaves the
  // transaction usable.
  virtual std::string createView(const std::string& name, const std::string& select) = 0;

  // What the target could keep only approximately (for the summary).
  virtual std::vector<Skipped> notes() { return {}; }
};

// sqlite:PATH (the file is created when absent).
std::unique_ptr<Target> openSqlite(const std::string& path);
// A libpq connection string; schema: the schema to create the tables in
// ("" for the connection's default).
std::unique_ptr<Target> openPostgres(const std::string& conninfo, const std::string& schema);

// A name quoted for the dialect ("..." with doubled quotes).
std::string quoteIdent(const std::string& name);
// An index's name in the target: unique in the database, within the
// target's length limit.
std::string indexName(const std::string& table, const std::string& index, Dialect d);
// A column's default value in the target's SQL ("" when it has none or
// the literal does not suit the column's type).
std::string defaultSql(const ColumnPlan& c, Dialect d);
// Date/Time as ISO text: yyyy-mm-dd hh:mm:ss[.fff]. False when out of range.
bool isoDateTime(double serial, std::string& out);
// Date/Time Extended (the engine's text) as ISO text with all seven fraction
// digits: yyyy-mm-dd hh:mm:ss.fffffff. False when not a valid value.
bool isoExtDateTime(const std::string& text, std::string& out);

}  // namespace migrate
