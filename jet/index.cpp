#include "jet/index.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/index_key.h"

namespace jet {

namespace {

// Bits set in a word, counted inline (the builtin becomes a library call
// on processors not assumed to count bits themselves).
inline size_t bitCount(uint64_t x) {
  x = x - ((x >> 1) & 0x5555555555555555ULL);
  x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return static_cast<size_t>((x * 0x0101010101010101ULL) >> 56);
}

uint32_t be24(const uint8_t* p) { return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]; }
uint32_t be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

std::string hex(const std::vector<uint8_t>& b, size_t max = 48) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (size_t i = 0; i < b.size() && i < max; ++i) {
    if (i) s += ' ';
    s += d[b[i] >> 4];
    s += d[b[i] & 15];
  }
  if (b.size() > max) s += " ...";
  return s;
}

std::string rowText(RowId r) {
  return "row " + std::to_string(r.page) + ":" + std::to_string(r.row);
}

// Deepest tree we accept; real indexes are a handful of levels.
constexpr int kMaxDepth = 32;

// The fixed header of an index page, checked: its type and that the entry
// area fits the page.
struct PageHeader {
  bool leaf = false;
  uint32_t prev = 0, next = 0, tail = 0;
  uint16_t prefixLen = 0;
};

PageHeader readPageHeader(const Format& fmt, ByteView pv, uint32_t pgno) {
  uint8_t type = pv.u8(0);
  if (type != pagetype::kIndexLeaf && type != pagetype::kIndexNode)
    corrupt("page " + std::to_string(pgno) + " should be an index page but has type " + std::to_string(type));
  if (fmt.offIndexEntries <= fmt.offIndexBitmask || fmt.offIndexEntries > pv.size)
    corrupt("index page layout does not fit the page");
  PageHeader h;
  h.leaf = type == pagetype::kIndexLeaf;
  h.prev = pv.u32(fmt.offIndexPrev);
  h.next = pv.u32(fmt.offIndexNext);
  h.tail = pv.u32(fmt.offIndexTail);
  // Jet 3 keeps the prefix length in one byte (the next byte is a flag that
  // intermediate pages set); later versions use two bytes, then the flag.
  h.prefixLen = fmt.jet3 ? pv.u8(fmt.offIndexPrefixLen) : pv.u16(fmt.offIndexPrefixLen);
  return h;
}

}  // namespace

IndexPage parseIndexPage(const Format& fmt, ByteView pv, uint32_t pgno) {
  IndexPage p;
  p.page = pgno;
  PageHeader h = readPageHeader(fmt, pv, pgno);
  p.leaf = h.leaf;
  p.prev = h.prev;
  p.next = h.next;
  p.tail = h.tail;
  p.prefixLen = h.prefixLen;

  const size_t maskStart = fmt.offIndexBitmask;
  const size_t dataStart = fmt.offIndexEntries;
  const size_t maskLen = dataStart - maskStart;
  const size_t dataLen = pv.size - dataStart;
  const size_t minEntry = p.leaf ? 4 : 8;
  const uint8_t* data = pv.data + dataStart;

  std::vector<uint8_t> prefix;
  std::vector<uint8_t> full;
  size_t last = 0;
  forEachEntryEnd(pv.data + maskStart, maskLen, [&](size_t end) {
    if (end > dataLen || end <= last)
      corrupt("an entry of index page " + std::to_string(pgno) + " lies outside the page");
    full.clear();
    if (p.entries.empty()) {
      if (p.prefixLen > end - last)
        corrupt("the shared prefix of index page " + std::to_string(pgno) + " is longer than its first entry");
      prefix.assign(data + last, data + last + p.prefixLen);
    } else {
      full = prefix;
    }
    full.insert(full.end(), data + last, data + end);
    last = end;
    if (full.size() < minEntry)
      corrupt("an entry of index page " + std::to_string(pgno) + " is too short");
    IndexEntry e;
    size_t keyLen = full.size() - minEntry;
    e.key.assign(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(keyLen));
    e.row.page = be24(full.data() + keyLen);
    e.row.row = full[keyLen + 3];
    if (!p.leaf) e.child = be32(full.data() + keyLen + 4);
    p.entries.push_back(std::move(e));
  });
  return p;
}

int compareKeys(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  size_t n = std::min(a.size(), b.size());
  if (n > 0) {
    int c = std::memcmp(a.data(), b.data(), n);
    if (c != 0) return c < 0 ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int compareEntries(const std::vector<uint8_t>& ak, RowId ar, const std::vector<uint8_t>& bk, RowId br) {
  int c = compareKeys(ak, bk);
  if (c != 0) return c;
  if (ar == br) return 0;
  return ar < br ? -1 : 1;
}

bool keyStartsWith(const std::vector<uint8_t>& key, const std::vector<uint8_t>& prefix) {
  return key.size() >= prefix.size() &&
         (prefix.empty() || std::memcmp(key.data(), prefix.data(), prefix.size()) == 0);
}

// ---------------------------------------------------------------------------
// IndexCursor

IndexCursor::IndexCursor(Pager& pager, uint32_t rootPage) : pager_(pager), root_(rootPage) {}

IndexCursor::IndexCursor(Database& db, const RealIndex& ix) : IndexCursor(db.pager(), ix.rootPage) {}

void IndexCursor::load(uint32_t pgno, RawPage& p) {
  if (pgno == 0 || pgno >= pager_.pageCount())
    corrupt("index page pointer " + std::to_string(pgno) + " is outside the file");
  const Format& fmt = pager_.format();
  PageRef ref = pager_.page(pgno);
  // Pages are immutable once handed out: the same buffer parsed before needs
  // no second pass over its entry mask (repeated seeks down one path).
  if (p.ref && p.page == pgno && p.ref.get() == ref.get()) return;
  p.ref.reset();  // set again once the page is parsed whole
  ByteView pv = view(ref);
  p.page = pgno;
  PageHeader h = readPageHeader(fmt, pv, pgno);
  p.leaf = h.leaf;
  p.next = h.next;
  p.tail = h.tail;
  p.prefixLen = h.prefixLen;
  const size_t maskStart = fmt.offIndexBitmask;
  const size_t dataStart = fmt.offIndexEntries;
  const size_t maskLen = dataStart - maskStart;
  const size_t dataLen = pv.size - dataStart;
  p.minEntry = p.leaf ? 4 : 8;
  p.data = pv.data + dataStart;
  const size_t nWords = (maskLen + 7) / 8;
  p.words.assign(nWords, 0);
  if (maskLen) std::memcpy(p.words.data(), pv.data + maskStart, maskLen);  // little-endian: bit order matches
  p.before.resize(nWords + 1);
  size_t n = 0;
  for (size_t w = 0; w < nWords; ++w) {
    p.before[w] = static_cast<uint16_t>(n);
    n += bitCount(p.words[w]);
  }
  p.before[nWords] = static_cast<uint16_t>(n);
  p.count = n;
  p.lastI = SIZE_MAX;
  if (n > 0) {
    // Ends rise with the bits, so the last one bounds them all; each entry's
    // own length is checked when it is decoded.
    size_t lastWord = nWords;
    while (lastWord > 0 && p.words[lastWord - 1] == 0) --lastWord;
    const size_t maxEnd = (lastWord - 1) * 64 + 63 - static_cast<size_t>(__builtin_clzll(p.words[lastWord - 1]));
    if (maxEnd > dataLen)
      corrupt("an entry of index page " + std::to_string(pgno) + " lies outside the page");
    const size_t firstEnd = p.endOf(0);
    if (firstEnd == 0) corrupt("an entry of index page " + std::to_string(pgno) + " lies outside the page");
    if (p.prefixLen > firstEnd)
      corrupt("the shared prefix of index page " + std::to_string(pgno) + " is longer than its first entry");
  }
  p.ref = std::move(ref);
}

size_t IndexCursor::RawPage::endOf(size_t i) const {
  size_t w;
  uint64_t m;
  if (lastI != SIZE_MAX && i == lastI + 1) {
    // the next set bit after the last end found
    w = lastEnd / 64;
    m = lastEnd % 64 == 63 ? 0 : words[w] & (~uint64_t{0} << (lastEnd % 64 + 1));
    while (!m) m = words[++w];  // i < count: a later bit exists
  } else if (i == lastI) {
    return lastEnd;
  } else {
    // the word holding the (i+1)-th set bit, then that bit within it
    w = static_cast<size_t>(std::upper_bound(before.begin(), before.end(), static_cast<uint16_t>(i)) - before.begin()) - 1;
    m = words[w];
    for (size_t k = i - before[w]; k > 0; --k) m &= m - 1;
  }
  lastI = i;
  lastEnd = w * 64 + static_cast<size_t>(__builtin_ctzll(m));
  return lastEnd;
}

void IndexCursor::decodeEntry(const RawPage& p, size_t i, std::vector<uint8_t>& key, RowId* row,
                              uint32_t* child) {
  const size_t start = i == 0 ? 0 : p.endOf(i - 1);
  const size_t end = p.endOf(i);
  if (end - start + (i > 0 ? p.prefixLen : 0) < p.minEntry)
    corrupt("an entry of index page " + std::to_string(p.page) + " is too short");
  key.clear();
  if (i > 0) key.assign(p.data, p.data + p.prefixLen);
  key.insert(key.end(), p.data + start, p.data + end);
  const size_t keyLen = key.size() - p.minEntry;
  if (row) {
    row->page = be24(key.data() + keyLen);
    row->row = key[keyLen + 3];
  }
  if (child) *child = be32(key.data() + keyLen + 4);
  key.resize(keyLen);
}

bool IndexCursor::satisfies(const std::vector<uint8_t>& key) const {
  if (pendingMode_ == Mode::AtOrAfter) return compareKeys(key, pendingKey_) >= 0;
  return compareKeys(key, pendingKey_) > 0 && !keyStartsWith(key, pendingKey_);
}

size_t IndexCursor::firstSatisfying(const RawPage& p) {
  // Entries are in key order and the entries that satisfy a seek form the
  // tail of that order, so a binary search finds the first.
  size_t lo = 0, hi = p.count;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    decodeEntry(p, mid, scratch_, nullptr, nullptr);
    if (satisfies(scratch_)) hi = mid;
    else lo = mid + 1;
  }
  return lo;
}

namespace {

// The pages met on one walk from the root down.
struct DescentGuard {
  std::array<uint32_t, kMaxDepth + 1> pages{};
  size_t n = 0;
  void visit(uint32_t pg) {
    for (size_t i = 0; i < n; ++i)
      if (pages[i] == pg) corrupt("index pages refer to each other in a loop");
    if (n >= kMaxDepth) corrupt("index pages refer to each other in a loop");
    pages[n++] = pg;
  }
};

}  // namespace

void IndexCursor::descendFirst() {
  DescentGuard guard;
  guard.visit(root_);
  load(root_, node_);
  while (!node_.leaf) {
    uint32_t child = node_.tail;
    if (node_.count) decodeEntry(node_, 0, scratch_, nullptr, &child);
    guard.visit(child);
    load(child, node_);
  }
  std::swap(leaf_, node_);
  leavesSeen_.clear();
  leavesSeen_.insert(leaf_.page);
  pos_ = 0;
  entered_ = true;
  started_ = false;
  done_ = false;
  pending_ = false;
}

void IndexCursor::beforeFirst() {
  // The walk down to the first leaf waits for the first next().
  entered_ = false;
  pending_ = false;
}

void IndexCursor::position(const std::vector<uint8_t>& key, Mode mode) {
  pendingKey_ = key;
  pendingMode_ = mode;
  DescentGuard guard;
  guard.visit(root_);
  // One parsed page kept per level, so that the next seek down the same
  // pages reuses them.
  size_t depth = 0;
  if (path_.empty()) path_.resize(1);
  load(root_, path_[0]);
  while (!path_[depth].leaf) {
    // Each entry is its child's last entry: the first child whose last entry
    // qualifies holds the first qualifying entry. Past all entries lies the
    // tail child.
    const RawPage& node = path_[depth];
    const size_t n = node.count;
    const size_t i = firstSatisfying(node);
    uint32_t child = 0;
    if (i < n) decodeEntry(node, i, scratch_, nullptr, &child);
    else if (node.tail) child = node.tail;
    else if (n > 0) decodeEntry(node, n - 1, scratch_, nullptr, &child);
    guard.visit(child);
    ++depth;
    if (path_.size() <= depth) path_.resize(depth + 1);
    load(child, path_[depth]);
  }
  std::swap(leaf_, path_[depth]);
  leavesSeen_.clear();
  leavesSeen_.insert(leaf_.page);
  entered_ = true;
  started_ = false;
  done_ = false;
  // Entries before the first qualifying one on this leaf are skipped; next()
  // checks again in case that lies on a later leaf.
  pos_ = firstSatisfying(leaf_);
  pending_ = true;
}

void IndexCursor::seek(const std::vector<uint8_t>& key) { position(key, Mode::AtOrAfter); }
void IndexCursor::seekPast(const std::vector<uint8_t>& key) { position(key, Mode::Past); }

bool IndexCursor::next() {
  if (!entered_) descendFirst();
  if (done_) return false;
  if (started_) ++pos_;
  started_ = true;
  for (;;) {
    while (pos_ >= leaf_.count) {
      const uint32_t nx = leaf_.next;
      if (nx == 0) {
        done_ = true;
        return false;
      }
      if (!leavesSeen_.insert(nx).second || leavesSeen_.size() > pager_.pageCount())
        corrupt("the leaf pages of an index refer to each other in a loop");
      const uint32_t from = leaf_.page;
      load(nx, leaf_);
      if (!leaf_.leaf) corrupt("index leaf page " + std::to_string(from) + " is followed by a non-leaf page");
      pos_ = 0;
    }
    decodeEntry(leaf_, pos_, key_, &row_, nullptr);
    if (!pending_ || satisfies(key_)) break;
    ++pos_;
  }
  pending_ = false;
  return true;
}

namespace {

bool meetsBound(const std::vector<uint8_t>& key, const std::vector<uint8_t>& bound, IndexCursor::Bound mode) {
  switch (mode) {
    case IndexCursor::Bound::Equal: return key == bound;
    case IndexCursor::Bound::Through: return compareKeys(key, bound) <= 0 || keyStartsWith(key, bound);
    case IndexCursor::Bound::All: break;
  }
  return true;
}

}  // namespace

uint64_t IndexCursor::countWhile(const std::vector<uint8_t>& bound, Bound mode) {
  uint64_t n = 0;
  // next() settles a pending seek and the move from leaf to leaf (with its
  // loop checks); each leaf is then counted from the current entry on.
  while (next()) {
    if (!meetsBound(key_, bound, mode)) {
      started_ = false;  // next() yields this entry again
      return n;
    }
    const size_t count = leaf_.count;
    decodeEntry(leaf_, count - 1, scratch_, nullptr, nullptr);
    if (meetsBound(scratch_, bound, mode)) {
      n += count - pos_;
      pos_ = count - 1;  // next() goes on to the following leaf
      continue;
    }
    // The run ends on this leaf, after pos_ and at or before its last entry.
    size_t lo = pos_ + 1, hi = count - 1;
    while (lo < hi) {
      const size_t mid = lo + (hi - lo) / 2;
      decodeEntry(leaf_, mid, scratch_, nullptr, nullptr);
      if (meetsBound(scratch_, bound, mode)) lo = mid + 1;
      else hi = mid;
    }
    n += lo - pos_;
    pos_ = lo;
    started_ = false;
    return n;
  }
  return n;
}

// ---------------------------------------------------------------------------
// checkIndex

namespace {

struct TreeWalk {
  Pager& pager;
  const Format& fmt;
  std::vector<std::string>& problems;
  std::unordered_set<uint32_t> seen;
  std::vector<uint32_t> leaves;
  size_t mismatchedNodes = 0;

  void problem(const std::string& s) {
    if (problems.size() < 200) problems.push_back(s);
  }

  // Returns false when the subtree could not be read; fills last with its last entry.
  bool walk(uint32_t pgno, int depth, IndexEntry* last, bool* empty) {
    *empty = true;
    if (depth > kMaxDepth) {
      problem("the index tree is deeper than " + std::to_string(kMaxDepth) + " levels");
      return false;
    }
    if (pgno == 0 || pgno >= pager.pageCount()) {
      problem("index page pointer " + std::to_string(pgno) + " is outside the file");
      return false;
    }
    if (!seen.insert(pgno).second) {
      problem("index page " + std::to_string(pgno) + " is reached twice in the tree");
      return false;
    }
    IndexPage p;
    try {
      PageRef ref = pager.page(pgno);
      p = parseIndexPage(fmt, view(ref), pgno);
    } catch (const Error& e) {
      problem(e.what());
      return false;
    }
    if (p.leaf) {
      leaves.push_back(pgno);
      if (!p.entries.empty()) {
        *last = p.entries.back();
        *empty = false;
      }
      return true;
    }
    bool ok = true;
    for (const IndexEntry& e : p.entries) {
      IndexEntry childLast;
      bool childEmpty = true;
      if (!walk(e.child, depth + 1, &childLast, &childEmpty)) {
        ok = false;
        continue;
      }
      if (!childEmpty && (compareKeys(childLast.key, e.key) != 0 || !(childLast.row == e.row))) {
        if (mismatchedNodes++ < 5)
          problem("entry for child page " + std::to_string(e.child) + " on index page " + std::to_string(pgno) +
                  " does not match the child's last entry");
      }
      *last = e;
      *empty = false;
    }
    if (p.tail != 0) {
      IndexEntry tailLast;
      bool tailEmpty = true;
      if (!walk(p.tail, depth + 1, &tailLast, &tailEmpty)) ok = false;
      else if (!tailEmpty) {
        *last = tailLast;
        *empty = false;
      }
    }
    return ok;
  }
};

}  // namespace

std::vector<std::string> checkIndex(Database& db, const TableDef& def, const Index& ix) {
  std::vector<std::string> problems;
  const std::string where = "index '" + ix.name + "' of table '" + def.name + "': ";
  if (ix.realIndex < 0 || static_cast<size_t>(ix.realIndex) >= def.realIndexes.size()) {
    problems.push_back(where + "it refers to a missing index structure");
    return problems;
  }
  const RealIndex& real = def.realIndexes[ix.realIndex];
  const Format& fmt = db.format();
  Pager& pager = db.pager();
  auto add = [&](const std::string& s) {
    if (problems.size() < 200) problems.push_back(where + s);
  };

  // 1. The tree: every page reachable once, intermediate entries matching
  // their children, and the same leaves as the leaf chain.
  std::vector<std::string> treeProblems;
  TreeWalk tw{pager, fmt, treeProblems, {}, {}, 0};
  IndexEntry rootLast;
  bool rootEmpty = true;
  tw.walk(real.rootPage, 0, &rootLast, &rootEmpty);
  for (const auto& s : treeProblems) add(s);

  // 2. The entries along the leaf chain, in order.
  struct Item {
    std::vector<uint8_t> key;
    RowId row;
  };
  std::vector<Item> entries;
  try {
    IndexCursor cur(pager, real.rootPage);
    while (cur.next()) {
      entries.push_back({cur.key(), cur.rowId()});
    }
  } catch (const Error& e) {
    add(std::string("cannot read its entries: ") + e.what());
    return problems;
  }
  if (treeProblems.empty() && !tw.leaves.empty()) {
    // The leaf chain, followed from the leftmost leaf, must visit the tree's
    // leaves in the same order, with matching back pointers.
    std::vector<uint32_t> walked;
    std::unordered_set<uint32_t> seen;
    uint32_t pg = tw.leaves.front(), prev = 0;
    try {
      while (pg != 0 && seen.insert(pg).second && walked.size() <= tw.leaves.size()) {
        if (pg >= pager.pageCount()) {
          add("its leaf chain points outside the file (page " + std::to_string(pg) + ")");
          break;
        }
        PageRef ref = pager.page(pg);
        IndexPage lp = parseIndexPage(fmt, view(ref), pg);
        if (lp.prev != prev)
          add("leaf page " + std::to_string(pg) + " points back to page " + std::to_string(lp.prev) +
              " instead of " + std::to_string(prev));
        walked.push_back(pg);
        prev = pg;
        pg = lp.next;
      }
    } catch (const Error& e) {
      add(std::string("its leaf chain is damaged: ") + e.what());
    }
    if (walked != tw.leaves) add("its leaf chain and its tree list different leaf pages");
  }
  size_t orderProblems = 0;
  for (size_t i = 1; i < entries.size(); ++i) {
    if (compareEntries(entries[i - 1].key, entries[i - 1].row, entries[i].key, entries[i].row) >= 0 &&
        orderProblems++ < 5)
      add("entry " + std::to_string(i) + " (" + rowText(entries[i].row) + ") is out of order");
  }

  // 3. Against the table's rows.
  std::string why;
  const bool canKey = canEncodeKey(fmt, def, real, &why);
  std::unordered_map<uint32_t, size_t> byRow;  // packed row id -> entry index
  byRow.reserve(entries.size());
  size_t dupRows = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    auto [it, fresh] = byRow.emplace(entries[i].row.packed(), i);
    if (!fresh && dupRows++ < 5) add(rowText(entries[i].row) + " has more than one entry");
  }
  std::vector<bool> matched(entries.size(), false);
  std::vector<bool> entryHasNull(entries.size(), false);
  size_t missing = 0, wrongKey = 0, nullProblems = 0;
  try {
    std::shared_ptr<const TableDef> alias(std::shared_ptr<const TableDef>{}, &def);
    TableScan scan(db, alias);
    while (scan.next()) {
      const auto& vals = scan.values();
      RowId rid = scan.rowId();
      auto it = byRow.find(rid.packed());
      bool expectEntry = !(real.ignoreNulls() && keyIsAllNull(def, real, vals));
      if (it == byRow.end()) {
        if (expectEntry && missing++ < 5) add(rowText(rid) + " has no entry");
        continue;
      }
      matched[it->second] = true;
      entryHasNull[it->second] = keyHasNull(def, real, vals);
      if (!expectEntry) {
        if (missing++ < 5) add(rowText(rid) + " has an entry although its key is Null and nulls are ignored");
        continue;
      }
      if ((real.required() || ix.primary()) && keyHasNull(def, real, vals) && nullProblems++ < 5)
        add(rowText(rid) + " has a Null key although the index requires values");
      if (canKey) {
        std::vector<uint8_t> expect = encodeIndexKey(fmt, def, real, vals);
        const auto& got = entries[it->second].key;
        if (expect != got && wrongKey++ < 5)
          add("the key stored for " + rowText(rid) + " is [" + hex(got) + "] but the row gives [" + hex(expect) + "]");
      }
    }
  } catch (const Error& e) {
    add(std::string("cannot compare with the table's rows: ") + e.what());
    return problems;
  }
  size_t stray = 0;
  for (size_t i = 0; i < entries.size(); ++i)
    if (!matched[i] && stray++ < 5) add("an entry points to " + rowText(entries[i].row) + ", which is not a live row");
  if (missing > 5) add(std::to_string(missing) + " rows in all lack a correct entry");
  if (wrongKey > 5) add(std::to_string(wrongKey) + " keys in all differ from their rows");
  if (stray > 5) add(std::to_string(stray) + " entries in all point to no live row");

  // 4. Uniqueness: equal keys are allowed only when they hold a Null.
  if (real.unique() || ix.primary()) {
    size_t dups = 0;
    for (size_t i = 1; i < entries.size(); ++i) {
      if (entries[i].key != entries[i - 1].key) continue;
      if (entryHasNull[i] || entryHasNull[i - 1]) continue;
      if (dups++ < 5) add("the unique key of " + rowText(entries[i].row) + " repeats the previous entry's key");
    }
  }
  return problems;
}

}  // namespace jet
