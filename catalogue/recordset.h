// A recordset: the rows of one statement run against an open database, with
// a current record that the moves change. Rows are fetched from the engine
// as they are needed, so a large table opens at once; the data grid reads
// rows by position (valueAt), the bound text boxes read the current record.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "catalogue/dao.h"
#include "jet/table.h"
#include "jet/value.h"

namespace sql {
class Recordset;
}

namespace dao {
class ComplexText;
}

namespace dao {

class Recordset {
 public:
  // Runs statement against db. Errors are jet::Error (3078 unknown object,
  // 3075 syntax, ...).
  // An updatable result keeps the values of its first rows up to this many
  // bytes; later rows are read again through their RowIds when shown (a
  // grid shows a screen of them at a time), so a filter or sort over a
  // large table does not hold its rows' values.
  static constexpr size_t kKeepBytes = size_t{8} << 20;
  Recordset(Database& db, const std::string& statement);
  ~Recordset();
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  const std::string& source() const { return source_; }

  const std::vector<Field>& Fields() const { return fields_; }
  int fieldCount() const { return static_cast<int>(fields_.size()); }
  // Position of the field named name (without regard to case), -1 when absent.
  int fieldIndex(const std::string& name) const;

  // Current record. BOF: before the first (or no records); EOF: after the last.
  bool BOF() const;
  bool EOF_() const;
  bool hasCurrent() const { return !BOF() && !EOF_(); }
  // Value of field col of the current record; 3021 "No current record." when none.
  // An attachment or multi-value field gives the text it shows (file names
  // or values joined by "; ", Null when it has none): see complex_text.h.
  jet::Value value(int col) const;

  void MoveFirst();     // 3021 when there are no records
  void MovePrevious();  // 3021 when already before the first
  void MoveNext();      // 3021 when already after the last
  void MoveLast();      // 3021 when there are no records

  // Records known so far: the whole count once it is known (a table's count
  // is known at once; a query's after the rows were read to the end).
  int64_t RecordCount() const;
  // Reads on until the count is known; returns it.
  int64_t countAll();
  bool countKnown() const;

  // 0-based position of the current record, -1 at BOF/EOF.
  int64_t AbsolutePosition() const;
  void setAbsolutePosition(int64_t row);  // 3001 when out of range

  // Random access for the data grid: field col of record row (0-based).
  // Rows up to row are fetched when they have not been yet. Complex fields
  // as value() gives them.
  jet::Value valueAt(int64_t row, int col);
  // Whether record row exists (fetching up to it).
  bool rowExists(int64_t row);
  // Every value of record row (0-based), fetching up to it; nothing when
  // there is no such record. Valid until the next call on this recordset.
  std::optional<std::span<const jet::Value>> rowValues(int64_t row);

  // Bookmarks: an opaque text naming one record of this recordset.
  std::string Bookmark() const;           // 3021 without a current record
  void setBookmark(const std::string& b);  // 3159 "Not a valid bookmark."
  std::string LastModified() const { return lastModified_; }

  bool Updatable() const;

  // ---- editing (results drawn from one table only; 3027 otherwise)
  // Add: a new record pending until Update; Edit: the current record's
  // changes pending until Update. Update stores the pending values as one
  // change through the journal (all of it or nothing) and reads the result
  // again, standing on the stored record (its bookmark is LastModified).
  // A failing Update keeps the pending values, so they can be corrected and
  // stored again. Fields whose values cannot be typed (OLE, binary,
  // attachments, auto-numbers) keep their stored values; calculated fields
  // are computed again from the stored record (jet/calculated.h).
  enum class EditMode { None, Edit, Add };
  EditMode editMode() const { return editMode_; }
  void AddNew();        // 3027 when the result cannot be updated
  void Edit();          // 3027; 3021 without a current record
  void CancelUpdate();  // drops what is pending
  // Sets field col of the pending record; 3020 without AddNew or Edit,
  // 3164 for a field that cannot be updated.
  void setValue(int col, const Value& v);
  void Update();  // 3020 when nothing is pending
  // Removes the current record at once. The position stays on it until
  // the next move: meanwhile it has no values (3021), and a second Delete
  // is refused.
  void Delete();
  // Whether field col can be changed through this recordset.
  bool fieldUpdatable(int col) const;

  // The engine's cursor underneath (moves made on it directly are not
  // reported to the listener).
  sql::Recordset& cursor() { return *cursor_; }
  // The table whose every column and every row in stored order this
  // recordset shows (no filter, no sort), so that it can be read straight
  // from the table's pages; "" otherwise.
  std::string wholeTable();

  // Called after every change of the current record.
  using Listener = std::function<void()>;
  void setRepositionListener(Listener l) { onReposition_ = std::move(l); }

 private:
  void notify();
  // Runs the statement again and stands on the record at rid (or the
  // nearest position to index when it is gone).
  void reopen(const jet::RowId* rid, int64_t index);
  // After a record was added at rid: when the rows held are every row of
  // the table in stored order, read while nothing else changed the file,
  // rid joins them where a fresh walk of the pages would put it and the
  // recordset stands on it. False when that cannot be known (the caller
  // then runs the statement again).
  bool placeAdded(jet::RowId rid);
  // The same after the record at index was changed (it keeps its place) or
  // removed (removed: the rows after it move up).
  bool keepChanged(jet::RowId rid, int64_t index, bool removed);
  // Whether the rows held are every row of the table in stored order, read
  // while nothing changed the file, for a table of rowCount rows.
  bool holdsWholeTable(uint32_t rowCount) const;
  // The pager's stamp of the committed file when the rows were first read
  // (0: unknown, e.g. read during a change); while it has not moved, the
  // rows held are the file's.
  uint64_t readStamp() const;
  void requireUpdatable() const;
  void leavePending();

  Database& db_;
  std::string source_;
  std::unique_ptr<sql::Recordset> cursor_;
  std::vector<Field> fields_;
  // The shown text of attachment and multi-value fields; null without any.
  std::unique_ptr<ComplexText> complex_;
  std::string lastModified_;
  EditMode editMode_ = EditMode::None;
  std::vector<std::pair<int, Value>> pending_;
  bool onDeleted_ = false;
  uint64_t openedStamp_ = 0;
  Listener onReposition_;
};

}  // namespace dao
