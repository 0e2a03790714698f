// Reading index b-trees.
//
// An index is a tree of pages: leaf pages (type 04) hold one entry per row,
// intermediate pages (type 03) hold one entry per child page, namely a copy
// of the child's last entry plus the child's page number. The rightmost child
// of an intermediate page is not listed among its entries; the page's "tail"
// field names it. Pages of one level are chained by prev/next pointers, and
// the leaf chain visits every entry in key order.
//
// Entries are packed after a bitmask that marks where each entry ends; all
// entries but the first on a page omit the page's shared prefix (the first
// prefix-length bytes of the first entry). See docs/format-indexes.md.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "jet/bytes.h"
#include "jet/format.h"
#include "jet/pager.h"
#include "jet/table.h"
#include "jet/tabledef.h"

namespace jet {

class Database;

namespace pagetype {
constexpr uint8_t kIndexNode = 0x03, kIndexLeaf = 0x04;
}

// The deepest index tree accepted (deeper is taken for damage); real
// indexes are a handful of levels.
constexpr int kMaxIndexDepth = 32;

// Calls f(end) for each set bit of an index page's entry bitmask, in
// order: where an entry ends, counted in bytes from the first entry byte.
// Eight mask bytes at a time (little-endian words: the bit order matches).
template <class F>
void forEachEntryEnd(const uint8_t* mask, size_t maskLen, F&& f) {
  size_t i = 0;
  for (; i + 8 <= maskLen; i += 8) {
    uint64_t m;
    std::memcpy(&m, mask + i, 8);
    while (m) {
      f(i * 8 + static_cast<size_t>(__builtin_ctzll(m)));
      m &= m - 1;
    }
  }
  for (; i < maskLen; ++i) {
    unsigned m = mask[i];
    while (m) {
      f(i * 8 + static_cast<size_t>(__builtin_ctz(m)));
      m &= m - 1;
    }
  }
}

struct IndexEntry {
  std::vector<uint8_t> key;  // key bytes (row address and child pointer removed)
  RowId row;
  uint32_t child = 0;        // intermediate pages: the page below
};

struct IndexPage {
  uint32_t page = 0;
  bool leaf = false;
  uint32_t prev = 0, next = 0, tail = 0;
  uint16_t prefixLen = 0;
  std::vector<IndexEntry> entries;
};

// Parses one index page. Throws 3049 when the page is not an index page or
// its entries do not fit the page.
IndexPage parseIndexPage(const Format& fmt, ByteView page, uint32_t pgno);

// Byte-wise comparison of keys (a shorter key that is a prefix of a longer
// one sorts first), then by row address: the order of index entries.
int compareKeys(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);
int compareEntries(const std::vector<uint8_t>& ak, RowId ar, const std::vector<uint8_t>& bk, RowId br);
bool keyStartsWith(const std::vector<uint8_t>& key, const std::vector<uint8_t>& prefix);

// Walks an index's entries in key order. Usage:
//   IndexCursor c(db, def, realIndex);
//   c.seek(encodeIndexKeyValues(...));        // optional
//   while (c.next()) use(c.rowId(), c.key());
// Damaged trees (loops, pointers outside the file, wrong page types) throw
// jet::Error 3049; the cursor never loops forever.
class IndexCursor {
 public:
  IndexCursor(Pager& pager, uint32_t rootPage);
  IndexCursor(Database& db, const RealIndex& ix);

  // Positions before the first entry.
  void beforeFirst();
  // Positions so that next() yields the first entry whose key is >= key.
  void seek(const std::vector<uint8_t>& key);
  // Positions so that next() yields the first entry whose key is greater than
  // key and does not start with it (skips every entry with that key prefix).
  void seekPast(const std::vector<uint8_t>& key);

  // For a run of seeks in rising key order with no change to the index in
  // between (the caller's promise): like seek(), but a key that falls within
  // the leaf the cursor stands on is found there without descending from
  // the root.
  void seekNear(const std::vector<uint8_t>& key);

  // Moves to the next entry; false at the end.
  bool next();

  // The place of the entry the last next() yielded, and a return to it
  // (next() then yields that entry again). The mark holds its leaf page, so
  // the return sees the entries that leaf held when marked.
  struct Mark {
    PageRef leaf;
    uint32_t page = 0;
    size_t pos = 0;
  };
  Mark mark() const { return {leaf_.ref, leaf_.page, pos_}; }
  void restore(const Mark& m);

  // Which entries countWhile counts: those whose key equals the bound
  // (Equal), is at most the bound or starts with it (Through), or every one
  // (All).
  enum class Bound { Equal, Through, All };
  // Counts the entries next() would yield from here for as long as their keys
  // meet the bound, and leaves the cursor on the first entry that does not
  // (next() yields it). The run must be a leading run of what remains (after
  // a seek to its first key it is). A leaf whose last entry still meets the
  // bound is counted whole from its entry mask, its other entries not decoded.
  uint64_t countWhile(const std::vector<uint8_t>& bound, Bound mode);
  const std::vector<uint8_t>& key() const { return key_; }
  RowId rowId() const { return row_; }
  // The leaf page that holds the current entry.
  uint32_t leafPage() const { return leaf_.ref ? leaf_.page : 0; }

 private:
  enum class Mode { AtOrAfter, Past };
  // One index page as stored. An entry is named by the offset of its first
  // byte (counted from the first entry byte); the entry mask (read in place,
  // a word at a time) marks where each ends, so the entry after one starts
  // where it ends. Seeks bisect the page by offset and compare keys in
  // place, and nothing is done per entry when a page is loaded.
  struct RawPage {
    PageRef ref;
    uint32_t page = 0;
    bool leaf = false;
    uint32_t next = 0, tail = 0;
    uint16_t prefixLen = 0;
    size_t minEntry = 4;
    const uint8_t* data = nullptr;  // first entry byte, inside ref
    size_t lastEnd = 0;             // where the last entry ends; 0 when the page has none
    const uint8_t* mask = nullptr;  // the entry mask, inside ref, read as little-endian words
    size_t nWords = 0;              // whole or partial words in the mask
    uint64_t lastBits = 0;          // the bits of the last word that belong to the mask
    // Word w of the mask (w < nWords); the bytes after the mask are masked off.
    uint64_t word(size_t w) const {
      uint64_t m;
      std::memcpy(&m, mask + 8 * w, 8);
      return w + 1 == nWords ? m & lastBits : m;
    }
    // Where the entry that starts at start (< lastEnd) ends.
    size_t endAfter(size_t start) const;
    // The first entry start at or after off (lastEnd when none; off <= lastEnd).
    size_t startAtOrAfter(size_t off) const { return off == 0 ? 0 : endAfter(off - 1); }
    // Where the last entry starts (the page has entries).
    size_t lastStart() const;
    // The number of entries that start in [from, to) (both entry starts or lastEnd).
    size_t countBetween(size_t from, size_t to) const;
    // Checks that the entry [start, end) holds at least a row address (and
    // child pointer); returns the length of its key.
    size_t keyLength(size_t start, size_t end) const;
    // How the page's shared prefix compares with a key: the number of
    // leading bytes they share (at most the shorter of the two), and at the
    // first byte that differs (if any), whether the prefix's is lower (-1)
    // or higher (1).
    struct PrefixMatch {
      size_t same = 0;
      int sign = 0;
    };
    PrefixMatch matchPrefix(const std::vector<uint8_t>& k) const;
    // Compares the key of the entry [start, end) with k (as compareKeys);
    // *kPrefix tells whether the entry's key starts with k. pm, when given,
    // is matchPrefix(k): the shared prefix is then not compared again.
    int compareKey(size_t start, size_t end, const std::vector<uint8_t>& k, bool* kPrefix,
                   const PrefixMatch* pm = nullptr) const;
  };
  // The leaves one walk along the leaf chain has visited since its seek, to
  // catch a chain that loops. The first few are kept in place (a walk from a
  // seek rarely goes further), the rest in a set.
  class LeafTrail {
   public:
    void reset(uint32_t first);
    // Adds a leaf; false when the walk has been there already.
    bool add(uint32_t page);
    size_t size() const { return n_ + more_.size(); }

   private:
    static constexpr size_t kKept = 16;
    std::array<uint32_t, kKept> kept_{};
    size_t n_ = 0;
    std::unordered_set<uint32_t> more_;
  };
  // from: the level to start at (0, the root; otherwise path_[from] holds an
  // inner page of the index whose subtree holds the first entry sought; the
  // search there begins at the last descent's entry, path_[from].taken, when
  // near: a seek just past the last one).
  void position(const std::vector<uint8_t>& key, Mode mode, size_t from = 0, bool near = false);
  // Stands before the first entry of leaf_ that satisfies the pending seek
  // (its search begins at from), and lets next() go on from there.
  void settle(size_t from);
  void descendFirst();
  bool satisfiesAt(const RawPage& p, size_t start, size_t end, const RawPage::PrefixMatch* pm = nullptr) const;
  void load(uint32_t pgno, RawPage& out);
  void load(uint32_t pgno, PageRef ref, RawPage& out);
  // Decodes the entry [start, end) of p into key (and row / child when asked).
  static void decodeEntry(const RawPage& p, size_t start, size_t end, std::vector<uint8_t>& key, RowId* row,
                          uint32_t* child);
  // The child page named by the entry [start, end) of the inner page p.
  static uint32_t childOf(const RawPage& p, size_t start, size_t end);
  // The start of the first entry of p that satisfies the pending seek
  // (p.lastEnd when none). from: an entry start where the search begins
  // and widens from (a key just past the last one sought is found in a few
  // steps); any entry start gives the same answer.
  size_t firstSatisfying(const RawPage& p, size_t from = 0) const;

  Pager& pager_;
  uint32_t root_;
  RawPage leaf_;
  RawPage node_;  // scratch for intermediate pages
  // The pages of the last seek, by level, with the entry the descent took
  // on each (lastEnd: the tail).
  struct Level {
    RawPage page;
    size_t taken = 0;
  };
  std::vector<Level> path_;
  size_t leafDepth_ = 0;       // the level of the leaf the last seek reached
  uint32_t seekLeaf_ = 0;      // the leaf the last seek found its entry on ...
  size_t seekAt_ = 0;          // ... and that entry's start there
  std::vector<uint8_t> key_;
  std::vector<uint8_t> scratch_;
  RowId row_;
  size_t pos_ = 0;      // where the current (or next) entry of leaf_ starts
  size_t curEnd_ = 0;   // where the current entry ends (when started_)
  bool entered_ = false;  // the cursor stands on a leaf (else it descends on first use)
  bool started_ = false;  // pos_ points at the current entry (else before it)
  bool done_ = false;
  // After a seek: next() skips entries until one satisfies the seek.
  bool pending_ = false;
  Mode pendingMode_ = Mode::AtOrAfter;
  std::vector<uint8_t> pendingKey_;
  LeafTrail leavesSeen_;
};

// Checks one index against its table (index_check.cpp): the tree's structure, entry order,
// that it holds exactly one entry for each live row (rows whose key columns
// are all Null are left out of indexes that ignore nulls), that every stored
// key equals the key built from the row's values (when the key can be
// built), and uniqueness. Returns readable problems; empty when consistent.
std::vector<std::string> checkIndex(Database& db, const TableDef& def, const Index& ix);

}  // namespace jet
