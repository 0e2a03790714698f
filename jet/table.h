// Reading a table's rows: row identities, the row decoder and a scan over the
// table's data pages in physical order.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "jet/pager.h"
#include "jet/tabledef.h"
#include "jet/value.h"

namespace jet {

class Database;

// A row's address: data page and slot. Also the bookmark of a table row.
struct RowId {
  uint32_t page = 0;
  uint16_t row = 0;
  bool valid() const { return page != 0; }
  bool operator==(const RowId& o) const { return page == o.page && row == o.row; }
  bool operator<(const RowId& o) const { return page < o.page || (page == o.page && row < o.row); }
  // Packed the way index entries and long-value pointers store it.
  uint32_t packed() const { return (page << 8) | row; }
  static RowId unpack(uint32_t p) { return RowId{p >> 8, static_cast<uint16_t>(p & 0xFF)}; }
};

// Where a column's stored bytes are in a row (overflow pointers already
// followed). A Null column is not present; a Boolean column is never
// "present" and carries its value, the null-mask bit, in boolValue.
struct ColumnBytes {
  bool present = false;
  bool boolValue = false;
  ByteView data;
};
ColumnBytes locateColumn(const Format& fmt, const TableDef& def, ByteView row, const Column& c);

// A row's header read once (column count, null mask, offset table), for
// finding several of its columns. Throws jet::Error (corrupt) for a header
// that does not fit the row, and locate() for an offset table that does not
// when a value is looked for; keeps a view of the row's bytes.
class RowLayout {
 public:
  RowLayout(const Format& fmt, const TableDef& def, ByteView row);
  ColumnBytes locate(const Column& c) const;

 private:
  size_t varOffset(size_t i) const;
  ByteView row;
  bool jet3;
  bool hasVar = false, badVar = false;
  size_t ccSize = 0, colCount = 0, nms = 0, fixedEnd = 0;
  size_t varCount = 0, tablePos = 0, numJumps = 0;
};

// Decodes rows of one table. Long values are read through the pager.
class RowDecoder {
 public:
  RowDecoder(Database& db, const TableDef& def);
  // Decodes the row bytes (after following any overflow pointer) into values
  // for every column of the table (TableDef::columns order).
  void decode(ByteView row, std::vector<Value>& out) const;
  // Decodes a single column.
  Value decodeColumn(ByteView row, size_t col) const;
  // The same with the row's header already read (several columns of a row).
  Value decodeColumn(const RowLayout& row, size_t col) const;
  // Decoding the column reads nothing but the row's own bytes (no long
  // value, so no other page).
  static bool readsOnlyRow(const Column& c);

 private:
  Value decodeFixed(ByteView data, const Column& c) const;
  Value decodeVar(ByteView data, const Column& c) const;
  Value decodeCalculated(ByteView data, const Column& c) const;
  Database& db_;
  const TableDef& def_;
};

// Reads the bytes of the row at id, following overflow pointers. Returns
// false when the slot is deleted or does not exist.
bool readRow(Pager& pager, const TableDef& def, RowId id, PageRef& holder, ByteView& out);
// The same for rows read one after another: heldPage names the page holder
// holds (0: none), and a row on that page is read without looking it up again.
bool readRow(Pager& pager, const TableDef& def, RowId id, PageRef& holder, uint32_t& heldPage, ByteView& out);
// The bytes of the row at id straight from the page cache, without counting
// a use of the page: for a reader that is done with them before anything
// else asks the pager for a page or changes one (the view is valid only
// until then). False when the page is not cached or a change holds it, when
// it is not a data page of def, when the slot is deleted or empty, and for a
// row moved to another page; the reader then asks readRow, which tells these
// apart. Throws jet::Error (corrupt) for a slot whose extent is impossible.
bool peekRow(const Pager& pager, const TableDef& def, RowId id, ByteView& out);
// Hints for reading rows whose addresses are known ahead (an index range),
// in three steps, each once the previous one's bytes are near: the cache's
// entry for the row's page (prefetchRowEntry, far ahead), the page's header
// and the row's offset entry (prefetchRowPage), then the row's first and
// last bytes (prefetchRowBytes, shortly before the row is read). They read
// nothing that is not cached, check nothing and change nothing. peeking:
// the row will be read with peekRow, so the page's use count is not needed.
void prefetchRowEntry(const Pager& pager, RowId id, bool peeking = false);
void prefetchRowPage(const Pager& pager, RowId id, bool peeking = false);
void prefetchRowBytes(const Pager& pager, RowId id);

// Full scan in physical order (usage-map order of the table's data pages).
class TableScan {
 public:
  TableScan(Database& db, std::shared_ptr<const TableDef> def);
  // A scan over the given data pages only (in that order).
  TableScan(Database& db, std::shared_ptr<const TableDef> def, std::vector<uint32_t> pages);
  // The table's pages this scan visits.
  const std::vector<uint32_t>& pages() const { return pages_; }
  // Moves to the next live row; false at the end.
  bool next();
  RowId rowId() const { return current_; }
  // Values of the current row (decoded on first access).
  const std::vector<Value>& values();
  Value value(size_t col);
  ByteView rawRow() const { return row_; }
  const TableDef& def() const { return *def_; }
  void reset();

 private:
  Database& db_;
  std::shared_ptr<const TableDef> def_;
  RowDecoder decoder_;
  std::vector<uint32_t> pages_;
  size_t pageIdx_ = 0;
  int slot_ = -1;
  PageRef page_;
  PageRef rowHolder_;
  ByteView row_;
  RowId current_;
  std::vector<Value> values_;
  bool decoded_ = false;
};

}  // namespace jet
