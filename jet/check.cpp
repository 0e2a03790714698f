#include "jet/check.h"

#include <map>
#include <set>

#include "jet/error.h"
#include "jet/index.h"
#include "jet/page_alloc.h"
#include "jet/usage_map.h"

namespace jet {

CheckResult checkDatabase(Database& db, bool strict) {
  CheckResult result;
  std::vector<std::string>& out = result.problems;
  Pager& pager = db.pager();
  const Format& fmt = db.format();
  std::map<uint32_t, std::string> dataOwner;  // data page -> table
  for (const CatalogEntry* e : db.tables(true)) {
    if (!e->isTable()) continue;
    const std::string where = "table '" + e->name + "': ";
    std::shared_ptr<const TableDef> def;
    try {
      def = db.table(*e);
    } catch (const Error& err) {
      out.push_back(where + "definition cannot be read: " + err.what());
      continue;
    }
    // Owned pages.
    std::set<uint32_t> owned;
    try {
      if (def->usedPagesPtr) {
        auto um = readUsageMap(pager, def->usedPagesPtr);
        owned.insert(um.pages.begin(), um.pages.end());
      }
    } catch (const Error& err) {
      out.push_back(where + "usage map cannot be read: " + err.what());
    }
    size_t problemsBefore = out.size();
    for (uint32_t pg : owned) {
      PageRef p = pager.page(pg);
      ByteView b = view(p);
      if (b.u8(0) != pagetype_w::kData) continue;  // other kinds are not ours to judge here
      uint32_t owner = b.u32(fmt.offDataTdef);
      if (owner == def->page) {
        auto it = dataOwner.find(pg);
        if (it != dataOwner.end() && out.size() - problemsBefore < 20)
          out.push_back(where + "data page " + std::to_string(pg) + " is also claimed by table '" + it->second + "'");
        dataOwner[pg] = e->name;
        try {
          readSlots(fmt, *p);
        } catch (const Error& err) {
          out.push_back(where + "page " + std::to_string(pg) + ": " + err.what());
        }
      }
    }
    // Rows.
    uint64_t rows = 0;
    std::set<uint32_t> seenPages;
    try {
      TableScan scan(db, def);
      while (scan.next()) {
        ++rows;
        seenPages.insert(scan.rowId().page);
        try {
          scan.values();
        } catch (const Error& err) {
          if (out.size() - problemsBefore < 20)
            out.push_back(where + "row " + std::to_string(scan.rowId().page) + ":" +
                          std::to_string(scan.rowId().row) + " cannot be read: " + err.what());
        }
      }
    } catch (const Error& err) {
      out.push_back(where + "rows cannot be read: " + err.what());
    }
    const bool system = e->kind == ObjectKind::SystemTable;
    std::vector<std::string>& soft = strict ? out : result.notes;
    if (rows != def->rowCount)
      soft.push_back(where + "stored row count " + std::to_string(def->rowCount) + " but " +
                    std::to_string(rows) + " rows found");
    // Every data page of the table must be in its map (scans only visit
    // mapped pages, so look for pages that name the table but are not
    // mapped).
    for (uint32_t pg = 3; pg < pager.pageCount(); ++pg) {
      PageRef p = pager.page(pg);
      ByteView b = view(p);
      if (b.u8(0) != pagetype_w::kData || b.u32(fmt.offDataTdef) != def->page || owned.count(pg)) continue;
      // A page without live rows that is not mapped is harmless; one with
      // live rows is lost data.
      bool live = false;
      try {
        for (const auto& s : readSlots(fmt, *p))
          if (!(s.flags & slotflag::kDeleted)) live = true;
      } catch (const Error&) {
      }
      if (live) (system ? soft : out).push_back(where + "data page " + std::to_string(pg) + " holds rows but is not in the table's usage map");
    }
    // Indexes, once per real index.
    std::set<int> done;
    for (const auto& ix : def->indexes) {
      if (ix.realIndex < 0 || !done.insert(ix.realIndex).second) continue;
      try {
        for (const auto& p : checkIndex(db, *def, ix))
          out.push_back(where + "index '" + ix.name + "': " + p);
      } catch (const Error& err) {
        out.push_back(where + "index '" + ix.name + "' cannot be read: " + err.what());
      }
    }
  }
  return result;
}

}  // namespace jet
