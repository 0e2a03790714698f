// The table scan's address mode: the RowIds of a table's live rows, one data
// page at a time, in physical order, without decoding any value. Only page
// headers and row offset tables are read, plus the target of a row that was
// moved to another page (a broken pointer is skipped the way TableScan skips
// it). Cursors that read values later through readRow() (the recordset of a
// plain table view) count and position rows with it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "jet/pager.h"
#include "jet/table.h"
#include "jet/tabledef.h"

namespace jet {

class Database;

class RowAddressScan {
 public:
  RowAddressScan(Database& db, std::shared_ptr<const TableDef> def);
  // The table's data pages the scan visits (usage-map order).
  const std::vector<uint32_t>& pages() const { return pages_; }
  // Appends the RowIds of the next data page that has live rows; false at
  // the end (nothing appended). Throws 3049 for a row with a bad extent.
  bool nextPage(std::vector<RowId>& out);
  // Lets go of the pages held (at the end, or to save memory).
  void release();

 private:
  ByteView pageBytes(uint32_t pg);
  Database& db_;
  std::shared_ptr<const TableDef> def_;
  std::vector<uint32_t> pages_;
  size_t idx_ = 0;
  // The page being read: held through the pager, or in block_, a run of
  // consecutive committed pages the pager read for the scan without caching
  // them (only headers and offsets are looked at).
  PageRef held_;
  std::vector<uint8_t> block_;
  uint32_t blockFirst_ = 0;
  uint32_t blockPages_ = 0;
};

}  // namespace jet
