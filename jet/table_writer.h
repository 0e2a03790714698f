// The one writer that changes rows. Every insert, update and delete changes
// the row, its long values, every index, the usage maps and the table's row
// count and auto-number together, inside one change of the database (see
// Database::beginChange): either all of it reaches the file or none.
//
// Constraints are checked before anything is written, with the product's
// error numbers: 3022 duplicate key in a unique index, 3314 required field
// left Null, 3058 Null in an index that does not allow it, 3163 text too long
// for its field, 3421 a value of the wrong type, 3021 no current record.
// Calculated columns are computed for every row stored, with the database's
// expression evaluator (jet/calculated.h); without one, or when it cannot
// compute a value, the row is refused (3251 or the evaluator's error).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/index_writer.h"
#include "jet/long_value_writer.h"
#include "jet/table.h"
#include "jet/value.h"

namespace jet {

namespace err {
constexpr int kIndexNull = 3058;       // index or primary key cannot contain a Null value
constexpr int kRecordTooLarge = 3047;  // record is too large
}

class TableWriter {
 public:
  TableWriter(Database& db, const std::string& tableName);
  TableWriter(Database& db, uint32_t tdefPage, const std::string& tableName);

  // The table's definition as it is now.
  std::shared_ptr<const TableDef> def();

  // Adds a row. values: one per column (TableDef::columns order); Null in an
  // auto-number column gets the next number (Long) or a new GUID. Returns
  // the new row's address, which is also its bookmark.
  RowId insert(const std::vector<Value>& values);
  // Replaces every value of the row (auto-number columns keep theirs).
  void update(RowId id, const std::vector<Value>& values);
  void remove(RowId id);
  // Current values of a row; 3021 when the row does not exist.
  std::vector<Value> read(RowId id);

  // Values by column name for callers that have them that way; columns not
  // named are Null.
  std::vector<Value> valuesByName(const std::vector<std::pair<std::string, Value>>& named);

 private:
  struct Prepared;
  template <class F> auto inChange(F&& f) -> decltype(f());
  void load();
  std::vector<Value> prepare(const std::vector<Value>& in, const std::vector<Value>* old, RowId self);
  std::vector<uint8_t> buildRow(const std::vector<Value>& vals, const std::vector<std::string>* keepLong);
  RowId placeNew(const std::vector<uint8_t>& row);
  void storeUpdated(RowId id, RowId where, const std::vector<uint8_t>& row);
  void setCounts(int rowDelta, uint32_t autoNumber);
  uint32_t complexCounter();  // the last complex id of the table (0 outside ACE)
  bool readRaw(RowId id, std::vector<uint8_t>& bytes, RowId& where);
  IndexWriter& indexWriter(size_t real);
  void releaseIfEmpty(uint32_t pg);
  void requireMaintainable();

  Database& db_;
  uint32_t tdefPage_;
  std::string name_;
  std::shared_ptr<const TableDef> def_;
  std::unique_ptr<LongValueWriter> lv_;
  std::vector<std::unique_ptr<IndexWriter>> ix_;
  uint32_t lastPage_ = 0;
  bool lastPageKnown_ = false;
  uint64_t rollbacks_ = 0;
};

// Database-level helper for one change around a block:
//   ChangeScope c(db); ...; c.commit();
// A scope left without commit() rolls the change back.
class ChangeScope {
 public:
  explicit ChangeScope(Database& db) : db_(db) { db_.beginChange(); }
  ~ChangeScope() {
    if (!done_) {
      try { db_.rollbackChange(); } catch (...) {}
    }
  }
  void commit() { done_ = true; db_.commitChange(); }
  ChangeScope(const ChangeScope&) = delete;
  ChangeScope& operator=(const ChangeScope&) = delete;

 private:
  Database& db_;
  bool done_ = false;
};

}  // namespace jet
