// The cursor the windows use: rows fetched lazily from the plan, moves with
// the product's BOF/EOF behaviour, bookmarks, column metadata, and for
// results drawn from one table the RowId of every row.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "jet/database.h"
#include "jet/row_walk.h"
#include "sql/planner.h"
#include "sql/row_store.h"

namespace sql {

class Recordset {
 public:
  using Bookmark = int64_t;

  // keepBytes: how much of an updatable result's values is kept before
  // rows are read again through their RowIds.
  // walkPages: the plan reads every row of its base table in physical order
  // and shows plain columns only (no filter, order, grouping or TOP). Rows
  // are then found by walking the table's data pages (page headers and row
  // offset tables only) and decoded on demand through their RowId, so
  // counting and moving to the last row read no values. Ignored unless the
  // plan is updatable.
  static constexpr size_t kDefaultKeepBytes = size_t{64} << 20;
  Recordset(jet::Database& db, Plan plan, size_t keepBytes = kDefaultKeepBytes, bool walkPages = false);

  const std::vector<ResultColumn>& columns() const { return plan_.columns; }
  size_t fieldCount() const { return plan_.columns.size(); }
  // Index of a column by name (without regard to case); -1 when absent.
  int findColumn(const std::string& name) const;
  // Rows are found by walking the base table's pages (see the constructor).
  bool walksPages() const { return walk_ != nullptr; }

  // One table, plain columns: rows can be written back through their RowId.
  bool updatable() const { return plan_.updatable; }
  const std::string& baseTable() const { return plan_.baseTable; }
  std::shared_ptr<const jet::TableDef> baseDef() const { return plan_.baseDef; }
  const std::vector<std::string>& planNotes() const { return plan_.notes; }

  // Position. A new recordset stands on its first row, or at BOF and EOF
  // together when it is empty.
  bool bof() const;
  bool eof() const;
  void moveFirst();     // 3021 when empty
  void moveLast();      // 3021 when empty; fetches every row
  void moveNext();      // 3021 at EOF; past the last row gives EOF
  void movePrevious();  // 3021 at BOF; before the first row gives BOF
  // Current row index (0-based); -1 at BOF, recordCount() at EOF.
  int64_t position() const { return pos_; }

  // Rows are handed out as views of the recordset's own values: valid while
  // the recordset lives, until forgetValues(), and (for the rows of an
  // updatable result that are read again on demand) until about 4,000 other
  // rows have been looked at.
  // The current row; 3021 "No current record." at BOF or EOF.
  RowView current();
  jet::Value value(size_t column);
  // The current row's RowId; 3027 when the recordset is read-only.
  jet::RowId rowId();

  Bookmark bookmark() const;     // 3021 without a current row
  void setBookmark(Bookmark b);  // 3159 for a bookmark that is not valid

  // Rows fetched so far (the product's RecordCount before MoveLast); after
  // fetchAll() or moveLast() the number of rows.
  size_t recordCount() const { return count_; }
  bool fullyFetched() const { return done_; }
  size_t fetchAll();
  // Makes rows [0, n) available when they exist; false when fewer rows exist.
  bool fetchTo(size_t n);
  // Random access for grids: row i (fetching as needed); 3021 beyond the end.
  RowView row(size_t i);
  jet::RowId rowIdAt(size_t i);
  // A row just added to the base table, placed at position i (0 to
  // recordCount()) without walking the pages again: rows from i on move
  // one place down and the current position stays where it was. Only for a
  // page walk read to the end; the caller vouches that a fresh walk would
  // give exactly these rows. False, with nothing changed, otherwise.
  bool insertRowId(size_t i, jet::RowId rid);
  // The row at position i was removed from the base table: the rows after
  // it move one place up. The same conditions; false, with nothing
  // changed, otherwise.
  bool removeRowId(size_t i);
  // Rows were changed where they are: the values read so far are
  // forgotten and read again from the pages. Only for a page walk (which
  // keeps no values but recently used ones); false otherwise.
  bool forgetValues();

 private:
  bool pullOne();
  RowView load(size_t i);

  jet::Database& db_;
  Plan plan_;
  bool opened_ = false;
  bool done_ = false;
  size_t count_ = 0;
  int64_t pos_ = -1;
  // Read-only results keep their values. Updatable ones keep every RowId,
  // and the values of their first rows while those fit in a memory budget;
  // rows past it are read again through their RowId on demand (only the
  // columns the result shows are decoded; a cache holds recently used rows).
  RowStore rows_;
  Row scratch_;  // the row the plan fills, reused
  size_t keepBytes_;
  size_t keptBytes_ = 0;
  bool keeping_ = true;
  std::vector<jet::RowId> rids_;
  std::unordered_map<size_t, std::vector<jet::Value>> cache_;
  std::unique_ptr<jet::RowDecoder> decoder_;
  // Page walk (jet's address scan): rids_ may hold more rows than count_
  // (the rest of the last page read).
  std::unique_ptr<jet::RowAddressScan> walk_;
};

}  // namespace sql
