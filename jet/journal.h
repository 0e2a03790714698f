// The rollback journal. Before a change touches any page of the database
// file, the original contents of every page it will overwrite are written to
// a journal beside the database ("FILE-journal") and synced. Then the pages
// are written and the database synced, and the journal is removed: removing
// it is the moment the change becomes permanent.
//
// A journal that survives (the process died in between) is "hot": opening
// the database copies its pages back and cuts the file to its old length, so
// the database holds the state before the change. A journal that was not
// completely written (bad length or checksum) means the database itself was
// never touched; it is simply removed.
//
// Layout: a 32-byte header
//   0  magic "GLMRJNL2"   8  page size   12 page count before the change
//   16 record count       20 zero        24 checksum of all records
// (FNV-1a 64 style over 8-byte words; journals with the older magic
// "GLMRJNL1" sum byte by byte and are rolled back as well)
// then per record: page number (4), zero (4), the page as stored (page size).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "jet/fault_file.h"
#include "jet/file_io.h"

namespace jet {

// Where a database's journal lives.
class JournalStore {
 public:
  virtual ~JournalStore() = default;
  virtual std::unique_ptr<FileIO> create() = 0;
  // The existing journal, or nullptr when there is none.
  virtual std::unique_ptr<FileIO> openExisting() = 0;
  virtual void remove() = 0;
  virtual std::string describe() const = 0;
};

std::string journalPathFor(const std::string& dbPath);
std::unique_ptr<JournalStore> fileJournal(const std::string& dbPath, FileWrapper wrap = {});
// For databases in memory: the journal is a buffer that outlives the store
// only as long as the store does.
std::unique_ptr<JournalStore> memoryJournal(FileWrapper wrap = {});

// Fills out (page size bytes) with page pg exactly as the file stores it now.
using StoredPageFn = std::function<void(uint32_t pg, uint8_t* out)>;

// Writes and syncs the journal of a change: the stored bytes of each page in
// pages (all below origPageCount), as storedPage gives them.
void writeJournal(JournalStore& store, uint32_t pageSize, uint32_t origPageCount,
                  const std::vector<uint32_t>& pages, const StoredPageFn& storedPage);

// Rolls back a hot journal into db. Returns true when pages were restored,
// false when there was no journal or only an incomplete one (removed).
// Throws 3051 when a hot journal exists but db is read-only.
bool recoverJournal(JournalStore& store, FileIO& db);

}  // namespace jet
