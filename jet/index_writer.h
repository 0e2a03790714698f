// Keeping an index b-tree in step with the rows: inserting and removing
// entries, splitting full pages, dropping emptied ones, and building a whole
// tree from sorted entries. Page layout and entry format: see
// docs/format-indexes.md; the reading side is jet/index.h.
//
// Tree shape kept by this writer (the same as the product's):
//  * leaves (04) hold one entry per row, chained by prev/next in key order;
//  * an intermediate page (03) holds, for every child but the last, a copy
//    of the child's last entry plus the child's page number; the last child
//    is named by the page's tail field. Pages of one level are chained too;
//  * the root page never moves: when it splits, its contents move to two new
//    pages and it becomes their parent.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "jet/index.h"
#include "jet/pager.h"
#include "jet/tabledef.h"

namespace jet {

// Serialises an index page (entries whole, the shared prefix is computed
// here). Returns false when the entries do not fit on one page.
bool encodeIndexPage(const Format& fmt, uint32_t tdefPage, const IndexPage& p, PageBuf& out);
bool indexPageFits(const Format& fmt, const IndexPage& p);
// Bytes an entry takes on a page without prefix sharing.
size_t indexEntrySize(const IndexEntry& e, bool leaf);

class IndexWriter {
 public:
  // mapPtr: the index's usage map (0 when it has none).
  IndexWriter(Pager& pager, uint32_t tdefPage, uint32_t rootPage, uint32_t mapPtr);

  void insert(const std::vector<uint8_t>& key, RowId row);
  // Removes the entry; false when it was not there.
  bool remove(const std::vector<uint8_t>& key, RowId row);
  // The first entry whose key equals key exactly, other than `except`.
  bool findKey(const std::vector<uint8_t>& key, RowId except, RowId* found);

  // A new, empty root leaf for a new index (page allocated and initialised).
  static uint32_t createEmptyRoot(Pager& pager, uint32_t tdefPage, uint32_t mapPtr);

 private:
  struct Step {
    uint32_t page;
    int slot;  // entry taken, or -1 for the tail
  };
  std::shared_ptr<IndexPage> load(uint32_t pg);
  void store(const IndexPage& p);
  void storeOwned(std::shared_ptr<IndexPage> p);  // no copy: p becomes the cached parse
  bool tryStore(const IndexPage& p);  // false (nothing written) when p does not fit
  // Writes a leaf's new entry (at slot) into its page without re-encoding
  // the page; false (nothing written) when that cannot be done.
  bool insertInPlace(const IndexPage& p, size_t slot);
  // Descends to the leaf where (key,row) belongs; fills path (root first).
  uint32_t descendTo(const std::vector<uint8_t>& key, RowId row, std::vector<Step>& path);
  // Inserts into leaf pg's bytes directly (true also when the entry is
  // already there); false, nothing written, when the general path is needed.
  bool insertRaw(uint32_t pg, const std::vector<uint8_t>& key, RowId row);
  // Removes (key,row) from leaf pg's bytes directly: 1 done, 0 the entry is
  // not on the page, -1 (nothing written) when the general path is needed.
  int removeRaw(uint32_t pg, const std::vector<uint8_t>& key, RowId row);
  // Where each entry of a plain index page ends (offsets from the first
  // entry, from the page's bitmask), the shared prefix, and what follows
  // each key (4: a leaf's row address; 8: an intermediate page's row address
  // and child); kept per page while the page's version (Pager::version)
  // stays the same.
  struct LeafLayout {
    uint64_t version = 0;
    size_t prefix = 0;
    size_t suffix = 4;
    std::vector<uint16_t> ends;
  };
  // The layout of leaf pg (whose bytes are b); nullptr when the page is not
  // a plain leaf this writer can handle byte by byte.
  const LeafLayout* leafLayout(uint32_t pg, const PageBuf& b) { return pageLayout(pg, b, true); }
  // The same for an intermediate page.
  const LeafLayout* nodeLayout(uint32_t pg, const PageBuf& b) { return pageLayout(pg, b, false); }
  const LeafLayout* pageLayout(uint32_t pg, const PageBuf& b, bool leaf);
  static RowId leafEntry(const uint8_t* d, const LeafLayout& l, size_t i, std::vector<uint8_t>& k);
  // Entry i of a page against (key,row) without copying the entry.
  static int compareLeafEntry(const uint8_t* d, const LeafLayout& l, size_t i, const std::vector<uint8_t>& key,
                              RowId row);
  // The first entry not below (key,row) (the entry count when none is).
  static size_t lowerBound(const uint8_t* d, const LeafLayout& l, const std::vector<uint8_t>& key, RowId row);
  // Writes leaf pg anew from its own bytes with (key,row) added at slot and
  // the shared prefix worked out again (the page's bytes come out as
  // encodeIndexPage would write them); false, nothing written, when the
  // entries do not fit the page.
  bool insertRebuilt(uint32_t pg, const PageBuf& b, const LeafLayout& l, size_t slot,
                     const std::vector<uint8_t>& key, RowId row);
  // Writes page p, splitting it when it does not fit; path leads to p's
  // parent (path.back() is the step taken in the parent). p is consumed.
  // appended: p's new entry is its last one.
  void writeOrSplit(std::shared_ptr<IndexPage> p, std::vector<Step> path, bool appended);
  // Whether both halves of p, cut before entry cut, fit their pages.
  bool splitFits(const IndexPage& p, size_t cut) const;
  void unlinkEmpty(IndexPage& p, std::vector<Step> path);
  void fixSeparators(const IndexPage& child, std::vector<Step> path);
  uint32_t newPage();
  void dropPage(uint32_t pg);

  Pager& pager_;
  uint32_t tdef_;
  uint32_t root_;
  uint32_t map_;
  struct Cached {
    uint64_t version;  // the page's version the parse was checked against
    std::shared_ptr<IndexPage> page;
  };
  std::map<uint32_t, Cached> cache_;
  PageBuf scratch_;
  std::unordered_map<uint32_t, LeafLayout> leaves_;
  std::vector<uint8_t> keyA_, keyB_;
  PageBuf rebuilt_;
};

}  // namespace jet
